// libsnapshot.so: the window's view of the engine, read from the status file the engine keeps
// in the application folder. Nothing here waits and nothing fails loudly: with no engine the
// answers are "not paused", "no image in progress" and the figures of the last image (zeros
// when there never was one).
#include <cstring>
#include <mutex>

#include "snapshot/StatusBlock.h"
#include "snapshot/snapshot.h"

using corvane::snapshot::StatusBlock;
using corvane::snapshot::StatusFile;

namespace {

std::mutex gLock;
StatusFile gConnection;  // held from SShConnect to SShDisconnect

// The engine rewrites the same file in place, but the file can be removed or replaced (a
// reinstalled application folder); a kept connection is only trusted while it is still that file.
const StatusFile* currentFile(StatusFile& transient) {
  const std::string path = corvane::snapshot::statusFilePath();
  if (gConnection.valid() && gConnection.sameFile(path)) return &gConnection;
  transient = StatusFile::open(path);
  return transient.valid() ? &transient : nullptr;
}

// The engine's block, when there is one; running: an image is being written right now.
bool readBlock(StatusBlock* block, bool* running, StatusFile& transient, const StatusFile** file = nullptr) {
  const StatusFile* f = currentFile(transient);
  if (file) *file = f;
  if (!f || !f->read(block)) return false;
  *running = block->inProgress != 0 && f->ownerAlive();
  return true;
}

int32_t postPause(int32_t value) {
  std::lock_guard guard(gLock);
  StatusFile transient;
  const StatusFile* f = nullptr;
  StatusBlock b{};
  bool running = false;
  if (!readBlock(&b, &running, transient, &f) || !running) return 1;
  return f->postPause(value) ? 0 : 1;
}

}  // namespace

extern "C" {

int32_t SShConnect(void) {
  std::lock_guard guard(gLock);
  gConnection = StatusFile::open(corvane::snapshot::statusFilePath());
  return 0;
}

int32_t SShDisconnect(void) {
  std::lock_guard guard(gLock);
  gConnection = StatusFile();
  return 0;
}

int32_t SShGetStatusInfo(SShStatusInfo* info) {
  if (!info) return 1;
  std::memset(info, 0, sizeof *info);
  std::lock_guard guard(gLock);
  StatusFile transient;
  StatusBlock b{};
  bool running = false;
  if (!readBlock(&b, &running, transient)) return 0;
  int32_t code = b.statusCode;
  // An engine that died without finishing (killed hard, crashed) left "in progress" set: that
  // image failed, whatever its last code said.
  if (code == 0 && b.inProgress != 0 && !running) code = corvane::snapshot::kEngineVanished;
  info->StatusCode = code;
  info->BytesReadHigh = static_cast<int32_t>(b.bytesRead >> 32);
  info->BytesReadLow = static_cast<int32_t>(static_cast<uint32_t>(b.bytesRead & 0xffffffffu));
  info->BytesWrittenHigh = static_cast<int32_t>(b.bytesWritten >> 32);
  info->BytesWrittenLow = static_cast<int32_t>(static_cast<uint32_t>(b.bytesWritten & 0xffffffffu));
  return 0;
}

int16_t SShIsPaused(void) {
  std::lock_guard guard(gLock);
  StatusFile transient;
  StatusBlock b{};
  bool running = false;
  return (readBlock(&b, &running, transient) && running && b.paused != 0) ? 1 : 0;
}

int16_t SShIsInProgress(void) {
  std::lock_guard guard(gLock);
  StatusFile transient;
  StatusBlock b{};
  bool running = false;
  return (readBlock(&b, &running, transient) && running) ? 0 : 1;
}

int32_t SShPause(void) { return postPause(1); }

int32_t SShResume(void) { return postPause(0); }

}  // extern "C"
