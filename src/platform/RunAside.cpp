#include "platform/RunAside.h"
#include "platform/Wait.h"
#include "platform/WideRegisters.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace corvane::platform {

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
    clearWideRegisters();  // string work (sorts, hashes) runs faster with them cleared
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

void runAsidePainting(const std::function<void(const std::atomic<bool>& stop)>& work) {
  runAside(
      work,
      [] {
        paintPending();
        return true;
      },
      20);
}

}  // namespace corvane::platform
