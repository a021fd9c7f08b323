#include <gtest/gtest.h>

#include <QStringList>
#include <future>
#include <thread>

#include "store/DatabaseJob.h"
#include "support/TestSupport.h"

namespace corvane::store {
namespace {

// A statement that never ends by itself: only an interruption stops it.
const QString kEndless =
    QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");

// What a job hands back runs on the window's thread, in the order it was handed, the finished
// call last with what the work threw; runWhilePainting gives the work's result or its error.
TEST(DatabaseJob, WhatTheWorkHandsBackRunsOnTheWindowsThreadInOrder) {
  test::TempAppFolder app;
  const std::thread::id window = std::this_thread::get_id();
  QStringList seen;
  bool otherThread = false;
  bool allOnWindow = true;
  DatabaseJob job;
  job.start(
      [&, db = app.filesDb()](JobContext& context) {
        otherThread = std::this_thread::get_id() != window;
        const qint64 tables = context.onDatabase(
            db, [](DBConnection& c) { return c.Query("SELECT count(*) AS n FROM sqlite_master").Long("n"); });
        for (const QString& text : {QString("one"), QString("two"), QString::number(tables > 0)})
          context.post([&, text] {
            allOnWindow = allOnWindow && std::this_thread::get_id() == window;
            seen << text;
          });
        context.onDatabase(db, [](DBConnection& c) { c.Query("SELECT * FROM NoSuchTable"); });
      },
      [&](std::exception_ptr failure) {
        try {
          if (failure) std::rethrow_exception(failure);
          seen << "no failure";
        } catch (const DBError& e) {
          seen << e.description();
        }
      });
  EXPECT_TRUE(job.running());
  job.finish();
  EXPECT_TRUE(otherThread);
  EXPECT_TRUE(allOnWindow);
  EXPECT_EQ(seen, (QStringList{"one", "two", "1", "Cannot compile mSQL-Statement: no such table: NoSuchTable"}));
  EXPECT_FALSE(job.running());

  EXPECT_EQ(runWhilePainting([](JobContext&) { return 42; }), 42);
  EXPECT_THROW(runWhilePainting([](JobContext&) { throw DBError("refused", 1); }), DBError);
}

// A job superseded by a new one, or stopped, has its running statement interrupted and hands
// back nothing more, not even its finished call; a job object that goes ends its work too.
TEST(DatabaseJob, AStoppedJobEndsItsStatementAndHandsBackNothing) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  QStringList seen;
  std::promise<void> querying;
  DatabaseJob job;
  job.start(
      [&](JobContext& context) {
        context.onDatabase(db, [&](DBConnection& c) {
          context.post([&] { seen << "old"; });
          querying.set_value();
          c.Query(kEndless);
        });
      },
      [&](std::exception_ptr) { seen << "old finished"; });
  querying.get_future().wait();  // the endless statement runs (or is about to)
  job.start([&](JobContext& context) { context.post([&] { seen << "new"; }); },
            [&](std::exception_ptr) { seen << "new finished"; });
  job.finish();
  EXPECT_EQ(seen, (QStringList{"new", "new finished"}));

  std::promise<void> again;
  bool interrupted = false;
  {
    DatabaseJob going;
    going.start([&](JobContext& context) {
      try {
        context.onDatabase(db, [&](DBConnection& c) {
          again.set_value();
          c.Query(kEndless);
        });
      } catch (const DBError& e) {
        interrupted = e.description() == "interrupted";
        throw;
      }
    });
    again.get_future().wait();
    going.stop();
    EXPECT_FALSE(going.running());
  }  // returns once the thread has ended
  EXPECT_TRUE(interrupted);

  // A caller's answer that gives up ends the statement as well, and the caller hears of it.
  int answers = 0;
  EXPECT_THROW(runAnswering([&](JobContext& context) { context.onDatabase(db, [](DBConnection& c) { c.Query(kEndless); }); },
                            [&] { return ++answers < 3; }, 1),
               DBError);
  EXPECT_EQ(answers, 3);
}

}  // namespace
}  // namespace corvane::store
