#include "store/DatabaseJob.h"

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <thread>
#include <vector>

#include "platform/Wait.h"
#include "platform/WideRegisters.h"

namespace corvane::store {

namespace detail {

// One run of a job, shared by its thread and the thread that started it.
struct JobState {
  QObject* receiver = nullptr;  // lives on the starting thread, as long as the DatabaseJob
  std::atomic<bool> stop{false};
  bool finished = false;  // the finished call ran (starting thread only)
  std::mutex mutex;
  std::condition_variable endedSignal;
  bool ended = false;  // the work's thread is done (under mutex)
};

}  // namespace detail

using detail::JobState;

bool JobContext::stopped() const { return state_->stop.load(); }

void JobContext::throwIfStopped() const {
  if (stopped()) detail::throwInterrupted();
}

const std::atomic<bool>& JobContext::stopFlag() const { return state_->stop; }

void JobContext::post(std::function<void()> call) const {
  QMetaObject::invokeMethod(
      state_->receiver,
      [state = state_, call = std::move(call)] {
        if (!state->stop) call();
      },
      Qt::QueuedConnection);
}

DBConnection& JobContext::interruptible(DBConnection& c) const {
  throwIfStopped();
  c.InterruptWhen(&state_->stop);
  return c;
}

struct DatabaseJob::Impl {
  QObject receiver;
  std::shared_ptr<JobState> current;
  struct Run {
    std::shared_ptr<JobState> state;
    std::thread thread;
  };
  std::vector<Run> runs;  // threads not joined yet, the current one last

  static bool hasEnded(JobState& s) {
    const std::lock_guard<std::mutex> lock(s.mutex);
    return s.ended;
  }
  // Threads of stopped or finished runs end by themselves; they are joined here, never waited on.
  void joinEnded() {
    for (auto it = runs.begin(); it != runs.end();) {
      if (hasEnded(*it->state)) {
        it->thread.join();
        it = runs.erase(it);
      } else {
        ++it;
      }
    }
  }
  void join(const std::shared_ptr<JobState>& state) {
    for (auto it = runs.begin(); it != runs.end(); ++it) {
      if (it->state != state) continue;
      it->thread.join();
      runs.erase(it);
      return;
    }
  }
};

DatabaseJob::DatabaseJob() : impl_(std::make_unique<Impl>()) {}

DatabaseJob::~DatabaseJob() {
  for (Impl::Run& run : impl_->runs) run.state->stop = true;
  for (Impl::Run& run : impl_->runs) run.thread.join();
}

void DatabaseJob::start(Work work, Finished finished) {
  stop();
  impl_->joinEnded();
  auto state = std::make_shared<JobState>();
  state->receiver = &impl_->receiver;
  impl_->current = state;
  std::thread thread([state, work = std::move(work), finished = std::move(finished)] {
    platform::clearWideRegisters();  // as every worker starts (see WideRegisters.h)
    std::exception_ptr failure;
    try {
      JobContext context(state);
      work(context);
    } catch (...) {
      failure = std::current_exception();
    }
    // Posted before the end is signalled, so that finish() finds it queued.
    QMetaObject::invokeMethod(
        state->receiver,
        [state, finished, failure] {
          if (state->stop || state->finished) return;
          state->finished = true;
          if (finished) finished(failure);
        },
        Qt::QueuedConnection);
    const std::lock_guard<std::mutex> lock(state->mutex);
    state->ended = true;
    state->endedSignal.notify_all();
  });
  impl_->runs.push_back({state, std::move(thread)});
}

void DatabaseJob::stop() {
  if (impl_->current) impl_->current->stop = true;
}

bool DatabaseJob::running() const {
  const JobState* s = impl_->current.get();
  return s && !s->stop && !s->finished;
}

bool DatabaseJob::waitForEnd(int ms) {
  const std::shared_ptr<JobState> state = impl_->current;
  if (!state) return true;
  std::unique_lock<std::mutex> lock(state->mutex);
  return state->endedSignal.wait_for(lock, std::chrono::milliseconds(ms), [&] { return state->ended; });
}

void DatabaseJob::finish() {
  const std::shared_ptr<JobState> state = impl_->current;
  if (!state) return;
  {
    std::unique_lock<std::mutex> lock(state->mutex);
    state->endedSignal.wait(lock, [&] { return state->ended; });
  }
  impl_->join(state);
  // What it handed back runs now, in the order it was posted (a finished call may start the
  // next job: that one is not waited for).
  QCoreApplication::sendPostedEvents(&impl_->receiver, QEvent::MetaCall);
}

namespace detail {

bool waitAnswering(DatabaseJob& job, const std::function<bool()>& answer, int intervalMs, bool busyPointer) {
  // Clicks and keys wait until the job is done: past a moment (a service holding the database,
  // a large catalogue) the pointer says so.
  constexpr auto kBusyPointerAfter = std::chrono::milliseconds(250);
  const auto started = std::chrono::steady_clock::now();
  std::optional<platform::BusyPointerWhileWaiting> pointer;
  bool stopped = false;
  do {
    if (!stopped && !answer()) {
      job.stop();
      stopped = true;
    }
    if (busyPointer && !pointer && std::chrono::steady_clock::now() - started >= kBusyPointerAfter) pointer.emplace();
  } while (!job.waitForEnd(intervalMs));
  job.finish();
  return !stopped;
}

bool paintPending() {
  platform::paintPending();
  return true;
}

void throwInterrupted() { throw DBError(QStringLiteral("interrupted"), SQLITE_INTERRUPT); }

}  // namespace detail

}  // namespace corvane::store
