#pragma once
// What the engine's work loops consult between chunks: the figures they publish, the pause
// the window asks for and the end a signal asks for.
#include <atomic>
#include <cstdint>
#include <string>

#include "snapshot/StatusBlock.h"

namespace corvane::snapshot {

// Thrown from deep inside the work to end an image with a status code.
struct EngineFailure {
  int32_t code;
  std::string message;
};

// A source drive's file or folder that cannot be read (kSourceUnreadable).
[[noreturn]] void failRead(const std::string& what, int err);

// Set from the signal handler.
extern std::atomic<bool> gEndRequested;

class Control {
 public:
  explicit Control(StatusBlock* block) : block_(block) {}  // block may be null (no status file)

  void addRead(uint64_t n);
  void addWritten(uint64_t n);
  uint64_t bytesWritten() const { return written_; }

  // Called between chunks: throws kEndedByRequest once an end is asked for, and holds still
  // while a pause is asked for (polling often enough to answer within 100 ms).
  void checkpoint();

 private:
  StatusBlock* block_;
  uint64_t read_ = 0;
  uint64_t written_ = 0;
};

}  // namespace corvane::snapshot
