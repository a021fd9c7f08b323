#include "platform/RunAside.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace corvane::platform {

namespace {

// Qt's string hashing leaves the upper halves of the wide vector registers in use, and a new
// thread inherits that state: every SSE instruction of SQLite then waits on them, and a look
// through a database of a million rows took twice as long (0.74 s against 0.39 s). A worker
// that runs SQLite alone starts with them cleared.
#if defined(__x86_64__)
__attribute__((target("avx"))) void clearUpperHalves() { _mm256_zeroupper(); }
void startClean() {
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx) clearUpperHalves();
}
#else
void startClean() {}
#endif

}  // namespace

void runAside(const std::function<void(const std::atomic<bool>& stop)>& work, const std::function<bool()>& answer,
              int intervalMs) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
  };
  auto shared = std::make_shared<Shared>();
  std::thread worker([shared, &work] {
    startClean();
    try {
      work(shared->stop);
    } catch (...) {
      shared->failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->done = true;
    shared->finished.notify_all();
  });
  // The worker uses what this frame holds: it is stopped and joined however the answering ends.
  std::exception_ptr answerFailure;
  try {
    for (;;) {
      if (!shared->stop && !answer()) shared->stop = true;
      std::unique_lock<std::mutex> lock(shared->mutex);
      if (shared->finished.wait_for(lock, std::chrono::milliseconds(intervalMs), [&] { return shared->done; }))
        break;
    }
  } catch (...) {
    answerFailure = std::current_exception();
    shared->stop = true;
  }
  worker.join();
  if (answerFailure) std::rethrow_exception(answerFailure);
  if (shared->failure) std::rethrow_exception(shared->failure);
}

}  // namespace corvane::platform
