// snapshot: the imaging engine. Started by the window with the command line of an image; it
// publishes its figures in the status file of the application folder while it works and
// leaves either a whole image or nothing.
#include <signal.h>
#include <sys/resource.h>

#include <clocale>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "snapshot/Control.h"
#include "snapshot/Engine.h"
#include "snapshot/EngineOptions.h"
#include "snapshot/StatusBlock.h"

using namespace corvane::snapshot;

namespace {

void onEndSignal(int) { gEndRequested.store(true); }

void installSignals() {
  struct sigaction sa {};
  sa.sa_handler = onEndSignal;
  sigemptyset(&sa.sa_mask);
  // No SA_RESTART: a read or a pause's nap returns early, so the end is seen at once.
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// Each folder level of the walk keeps one descriptor open; deep trees need more than the
// usual soft limit.
void raiseDescriptorLimit() {
  rlimit rl{};
  if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
    rl.rlim_cur = rl.rlim_max;
    setrlimit(RLIMIT_NOFILE, &rl);
  }
}

int32_t runImage(const std::vector<std::string>& args, Control& control) {
  EngineOptions options;
  std::string error;
  if (!parseEngineOptions(args, &options, &error)) {
    std::fprintf(stderr, "snapshot: %s\n", error.c_str());
    return kBadCommandLine;
  }
  try {
    makeImage(options, corvane::platform::PathMap::fromEnvironment(), control);
    return kOk;
  } catch (const EngineFailure& f) {
    if (f.code != kEndedByRequest) std::fprintf(stderr, "snapshot: %s\n", f.message.c_str());
    return f.code;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "snapshot: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "snapshot: %s\n", e.what());
  }
  return kInternalError;
}

}  // namespace

int main(int argc, char** argv) {
  // Names are bytes to the walk; in a UTF-8 locale the archive library writes those that are
  // UTF-8 as the pax standard has them, and marks only the others as raw bytes (which tar then
  // reads with a warning per name).
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  installSignals();
  raiseDescriptorLimit();
  StatusMapping::OwnResult owned;
  StatusMapping status = StatusMapping::openAsOwner(statusFilePath(), &owned);
  if (owned == StatusMapping::OwnResult::AlreadyOwned) {
    std::fprintf(stderr, "snapshot: another image is being written\n");
    return kAlreadyRunning;
  }
  // Without a status file the image is still made; only the window cannot follow it.
  if (!status.valid()) std::fprintf(stderr, "snapshot: cannot open the status file %s\n", statusFilePath().c_str());

  Control control(status.block());
  const int32_t code = runImage(std::vector<std::string>(argv + 1, argv + argc), control);
  if (StatusBlock* b = status.block()) {
    storeField(b->paused, 0);
    storeField(b->statusCode, code);
    storeField(b->inProgress, 0);
  }
  // An end asked for is a clean end: the partial image is already gone.
  return code == kEndedByRequest ? 0 : code;
}
