#include "snapshot/Control.h"

#include <time.h>

#include <cstring>

namespace corvane::snapshot {

std::atomic<bool> gEndRequested{false};

void failRead(const std::string& what, int err) {
  throw EngineFailure{kSourceUnreadable, "cannot read " + what + ": " + std::strerror(err)};
}

namespace {
void nap(long ms) {
  timespec ts{0, ms * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && !gEndRequested.load()) {
  }
}
}  // namespace

void Control::addRead(uint64_t n) {
  read_ += n;
  if (block_) storeField(block_->bytesRead, read_);
}

void Control::addWritten(uint64_t n) {
  written_ += n;
  if (block_) storeField(block_->bytesWritten, written_);
}

void Control::checkpoint() {
  if (gEndRequested.load(std::memory_order_relaxed)) throw EngineFailure{kEndedByRequest, "ended by request"};
  if (!block_ || loadField(block_->pauseRequested) == 0) return;
  // Nothing is being read or written from here on, so the pause can be reported as real.
  storeField(block_->paused, 1);
  while (loadField(block_->pauseRequested) != 0) {
    if (gEndRequested.load()) {
      storeField(block_->paused, 0);
      throw EngineFailure{kEndedByRequest, "ended by request"};
    }
    nap(10);
    storeField(block_->pausedNaps, loadField(block_->pausedNaps) + 1);
  }
  storeField(block_->paused, 0);
}

}  // namespace corvane::snapshot
