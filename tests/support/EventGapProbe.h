#pragma once
// For the measuring tools: how long the window's thread went without handling its events. A
// thread of its own posts a call to the window's thread every 10 ms; each call notes how long it
// waited in the queue, and the longest wait since restart() is the figure. It sees every way
// events get handled (a pass of platform::doEvents, a nested loop, the main loop), not only the
// passes the code under measure makes itself.
#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace corvane::test {

class EventGapProbe {
 public:
  EventGapProbe() : receiver_(new QObject) {
    thread_ = std::thread([this] { run(); });
  }
  ~EventGapProbe() {
    done_ = true;
    thread_.join();
    delete receiver_;  // drops the calls still queued for it
  }
  EventGapProbe(const EventGapProbe&) = delete;
  EventGapProbe& operator=(const EventGapProbe&) = delete;

  // Starts a new measure: calls posted before it no longer count.
  void restart() {
    ++generation_;
    longestNs_ = 0;
  }
  // The longest wait since restart(), once the calls now queued have been handled.
  double longestMs() {
    QCoreApplication::processEvents();
    return double(longestNs_) / 1e6;
  }

 private:
  using Clock = std::chrono::steady_clock;
  void run() {
    while (!done_) {
      const auto posted = Clock::now();
      const int generation = generation_;
      QMetaObject::invokeMethod(
          receiver_,
          [this, posted, generation] {
            if (generation != generation_) return;
            const qint64 waited = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - posted).count();
            longestNs_ = std::max<qint64>(longestNs_, waited);
          },
          Qt::QueuedConnection);
      std::this_thread::sleep_until(posted + std::chrono::milliseconds(10));
    }
  }

  QObject* receiver_;  // lives on the window's thread, so the calls run there
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::atomic<int> generation_{0};
  qint64 longestNs_ = 0;  // written on the window's thread only
};

}  // namespace corvane::test
