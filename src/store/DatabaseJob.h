#pragma once
// How the program runs a statement whose cost grows with the catalogue (statistics over File,
// an UPDATE of many rows) without holding the window. There is one way, and every area uses it:
//  - the work runs on a thread of its own, on connections of its own (JobContext::onDatabase,
//    JobContext::inTransaction: the usual bounded wait on a busy database, off the window);
//  - what it hands back runs on the thread that started it (the window's), from that thread's
//    event loop: each JobContext::post, and, once the work has ended, the job's finished call;
//  - stopping the job (a newer one supersedes it, the page is left, the window closes, the job
//    object goes) makes SQLite end the statement running on the job's connections as
//    interrupted, and from then on nothing the job hands back is run.
// DatabaseJob is for results that arrive while the window goes on (the status tick never waits
// on one); runWhilePainting is the same work for a user action whose next step needs the
// result: the window paints until it is there, clicks and keys wait. runAnswering is that with
// the caller's own answer in place of the painting (a caption, the events of the window, a give-
// up): answer returning false stops the job.
// platform::runAside stays for work that is no statement (a sort in memory, a sync of the file
// system).
#include <QObject>
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "store/Database.h"

namespace corvane::store {

namespace detail {
struct JobState;
}

// What a job's work is given on its thread.
class JobContext {
 public:
  explicit JobContext(std::shared_ptr<detail::JobState> state) : state_(std::move(state)) {}

  // True once the job is stopped: the work should end (its statements already do).
  bool stopped() const;
  // Throws the "interrupted" store::DBError when the job is stopped: between statements, which
  // SQLite only interrupts while they run.
  void throwIfStopped() const;
  // Runs call on the thread that started the job, from its event loop, unless the job is
  // stopped by then.
  void post(std::function<void()> call) const;
  // Raised once the job is stopped: for a connection the work opens itself
  // (DBConnection::InterruptWhen) and for its own loops.
  const std::atomic<bool>& stopFlag() const;

  // store::onDatabase and store::inTransaction on a connection of the job's own, whose
  // statements end as interrupted when the job is stopped; a stopped job tries no more.
  template <class Work>
  auto onDatabase(const QString& path, Work&& work, RetryPolicy policy = {}) const {
    return store::onDatabase(path, [&](DBConnection& c) { return work(interruptible(c)); }, policy);
  }
  template <class Work>
  auto inTransaction(const QString& path, Work&& work, RetryPolicy policy = {}) const {
    return onDatabase(path, [&](DBConnection& c) { return inTransactionOn(c, work); }, policy);
  }

 private:
  DBConnection& interruptible(DBConnection& c) const;
  std::shared_ptr<detail::JobState> state_;
};

class DatabaseJob {
 public:
  using Work = std::function<void(JobContext&)>;
  // Runs once the work has ended, unless the job was stopped: failure is what the work threw
  // (nullptr when it returned).
  using Finished = std::function<void(std::exception_ptr failure)>;

  DatabaseJob();
  ~DatabaseJob();  // stops the work and waits for its thread to end
  DatabaseJob(const DatabaseJob&) = delete;
  DatabaseJob& operator=(const DatabaseJob&) = delete;

  // Stops the job still running, then starts work on a thread of its own.
  void start(Work work, Finished finished = {});
  // Stops the job: returns at once; its thread ends by itself (interrupted) shortly after.
  void stop();
  // Started, and neither finished nor stopped.
  bool running() const;
  // Waits up to ms for the work's thread to end (true when it has, or when nothing started).
  bool waitForEnd(int ms);
  // Waits until the work's thread has ended, then runs what it handed back (posts and the
  // finished call) at once instead of from the event loop. For callers that must have the
  // result now, and for tests, which never wait on time.
  void finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Runs work(context) as a job does and calls answer on this thread at once and then every
// intervalMs until the work has ended; answer returning false stops the job, and the "interrupted"
// store::DBError is thrown here once its thread has ended. Returns what work returns and throws
// what it (or answer) throws. An answer that only paints keeps clicks and keys waiting: with
// busyPointer the pointer then shows busy once the wait outlasts a moment.
template <class Work>
auto runAnswering(Work&& work, const std::function<bool()>& answer, int intervalMs, bool busyPointer = false)
    -> std::invoke_result_t<Work&, JobContext&>;

// runAnswering with the window painting (user input is kept until the work is done, and past a
// moment the pointer shows busy).
template <class Work>
auto runWhilePainting(Work&& work) -> std::invoke_result_t<Work&, JobContext&>;

namespace detail {
// Waits for the job's thread with answer called every intervalMs, then finish(); false when
// answer stopped the job.
bool waitAnswering(DatabaseJob& job, const std::function<bool()>& answer, int intervalMs, bool busyPointer);
bool paintPending();
[[noreturn]] void throwInterrupted();

template <class Work>
auto runJob(Work&& work, const std::function<bool()>& answer, int intervalMs, bool busyPointer)
    -> std::invoke_result_t<Work&, JobContext&> {
  using Result = std::invoke_result_t<Work&, JobContext&>;
  std::exception_ptr failure;
  std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> result{};
  DatabaseJob job;  // last: its thread is ended before what it hands back is gone
  job.start(
      [&](JobContext& context) {
        if constexpr (std::is_void_v<Result>)
          work(context);
        else
          result.emplace(work(context));
      },
      [&](std::exception_ptr f) { failure = f; });
  if (!waitAnswering(job, answer, intervalMs, busyPointer)) throwInterrupted();
  if (failure) std::rethrow_exception(failure);
  if constexpr (!std::is_void_v<Result>) return std::move(*result);
}
}  // namespace detail

template <class Work>
auto runWhilePainting(Work&& work) -> std::invoke_result_t<Work&, JobContext&> {
  return detail::runJob(std::forward<Work>(work), detail::paintPending, 10, true);
}

template <class Work>
auto runAnswering(Work&& work, const std::function<bool()>& answer, int intervalMs, bool busyPointer)
    -> std::invoke_result_t<Work&, JobContext&> {
  return detail::runJob(std::forward<Work>(work), answer, intervalMs, busyPointer);
}

}  // namespace corvane::store
