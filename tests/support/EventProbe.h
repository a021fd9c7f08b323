#pragma once
// For the benchmarks: how long the window's thread left its events waiting. Another thread posts
// a call to the window's thread every 10 ms, as the desktop's ping does; the figure is the
// longest time one of those calls waited before it ran (calls still waiting when the figure is
// taken count until then). Header only.
#include <QCoreApplication>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace corvane::test {

class EventProbe {
 public:
  EventProbe() : poster_([this] { post(); }) {}
  ~EventProbe() { stop(); }
  EventProbe(const EventProbe&) = delete;
  EventProbe& operator=(const EventProbe&) = delete;

  // Stops the posting and runs the calls still queued; the longest wait in ms.
  double longestMs() {
    stop();
    return longestNs_.load() / 1e6;
  }

 private:
  using Clock = std::chrono::steady_clock;

  void post() {
    while (!stopped_) {
      const Clock::time_point posted = Clock::now();
      QMetaObject::invokeMethod(
          &target_,
          [this, posted] {
            const long long waited = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - posted).count();
            long long seen = longestNs_.load();
            while (waited > seen && !longestNs_.compare_exchange_weak(seen, waited)) {
            }
          },
          Qt::QueuedConnection);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  void stop() {
    if (stopped_.exchange(true)) return;
    poster_.join();
    QCoreApplication::sendPostedEvents(&target_);
  }

  QObject target_;
  std::atomic<bool> stopped_{false};
  std::atomic<long long> longestNs_{0};
  std::thread poster_;
};

}  // namespace corvane::test
