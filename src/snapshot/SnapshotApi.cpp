// libsnapshot.so: the window's view of the engine, read from the status file the engine keeps
// in the application folder. Nothing here waits and nothing fails loudly: with no engine the
// answers are "not paused", "no image in progress" and the figures of the last image (zeros
// when there never was one).
#include <cstring>
#include <mutex>

#include "snapshot/StatusBlock.h"
#include "snapshot/snapshot.h"

using corvane::snapshot::loadField;
using corvane::snapshot::StatusBlock;
using corvane::snapshot::StatusMapping;
using corvane::snapshot::storeField;

namespace {

std::mutex gLock;
StatusMapping gConnection;  // held from SShConnect to SShDisconnect

// The engine rewrites the same file in place, but the file can be removed or replaced (a
// reinstalled application folder); a held mapping is only trusted while it is still that file.
StatusMapping* currentMapping(StatusMapping& transient) {
  const std::string path = corvane::snapshot::statusFilePath();
  if (gConnection.valid() && gConnection.sameFile(path)) return &gConnection;
  transient = StatusMapping::openForReading(path);
  return transient.valid() ? &transient : nullptr;
}

bool imageRunning(const StatusMapping& m) {
  return loadField(m.block()->inProgress) != 0 && m.ownerAlive();
}

int32_t postPause(int32_t value) {
  std::lock_guard guard(gLock);
  StatusMapping transient;
  StatusMapping* m = currentMapping(transient);
  if (!m || !imageRunning(*m)) return 1;
  storeField(m->block()->pauseRequested, value);
  return 0;
}

}  // namespace

extern "C" {

int32_t SShConnect(void) {
  std::lock_guard guard(gLock);
  gConnection = StatusMapping::openForReading(corvane::snapshot::statusFilePath());
  return 0;
}

int32_t SShDisconnect(void) {
  std::lock_guard guard(gLock);
  gConnection = StatusMapping();
  return 0;
}

int32_t SShGetStatusInfo(SShStatusInfo* info) {
  if (!info) return 1;
  std::memset(info, 0, sizeof *info);
  std::lock_guard guard(gLock);
  StatusMapping transient;
  StatusMapping* m = currentMapping(transient);
  if (!m) return 0;
  StatusBlock* b = m->block();
  int32_t code = loadField(b->statusCode);
  // An engine that died without finishing (killed hard, crashed) left "in progress" set: that
  // image failed, whatever its last code said.
  if (code == 0 && loadField(b->inProgress) != 0 && !m->ownerAlive()) code = corvane::snapshot::kEngineVanished;
  const uint64_t read = loadField(b->bytesRead);
  const uint64_t written = loadField(b->bytesWritten);
  info->StatusCode = code;
  info->BytesReadHigh = static_cast<int32_t>(read >> 32);
  info->BytesReadLow = static_cast<int32_t>(static_cast<uint32_t>(read & 0xffffffffu));
  info->BytesWrittenHigh = static_cast<int32_t>(written >> 32);
  info->BytesWrittenLow = static_cast<int32_t>(static_cast<uint32_t>(written & 0xffffffffu));
  return 0;
}

int16_t SShIsPaused(void) {
  std::lock_guard guard(gLock);
  StatusMapping transient;
  StatusMapping* m = currentMapping(transient);
  return (m && imageRunning(*m) && loadField(m->block()->paused) != 0) ? 1 : 0;
}

int16_t SShIsInProgress(void) {
  std::lock_guard guard(gLock);
  StatusMapping transient;
  StatusMapping* m = currentMapping(transient);
  return (m && imageRunning(*m)) ? 0 : 1;
}

int32_t SShPause(void) { return postPause(1); }

int32_t SShResume(void) { return postPause(0); }

}  // extern "C"
