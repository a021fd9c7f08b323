#include <gtest/gtest.h>

#include "store/Database.h"
#include "store/Settings.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::store;

namespace {

int rowsNamed(const QString& db, const QString& name) {
  DBConnection c;
  c.Open(db);
  return c.Query("Select * From Setting WHERE SettingName = ?", {name}).RowCount();
}

TEST(Settings, MissingKeyReadsEmptyAndLeavesTheDate) {
  test::TempAppFolder app;
  QString value = "old";
  const QDateTime passed(QDate(1999, 5, 6), QTime(7, 8, 9));
  QDateTime date = passed;
  DBSelectSetting(app.statusDb(), "NoSuchKey", value, date);
  EXPECT_EQ(value, "");
  EXPECT_EQ(date, passed);
  EXPECT_FALSE(DBSettingExists(app.statusDb(), "NoSuchKey"));
}

TEST(Settings, InsertReadUpdateRoundTrip) {
  test::TempAppFolder app;
  const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
  DBInsertSetting(app.statusDb(), "Identity", "12", when);
  EXPECT_TRUE(DBSettingExists(app.statusDb(), "Identity"));
  QString value;
  QDateTime date;
  DBSelectSetting(app.statusDb(), "Identity", value, date);
  EXPECT_EQ(value, "12");
  EXPECT_EQ(date, when);

  DBUpdateSetting(app.statusDb(), "Identity", "13", when.addDays(1));
  DBSelectSetting(app.statusDb(), "Identity", value, date);
  EXPECT_EQ(value, "13");
  EXPECT_EQ(date, when.addDays(1));
  EXPECT_EQ(rowsNamed(app.statusDb(), "Identity"), 1);
}

TEST(Settings, UpdateOfAMissingKeyInsertsNothing) {
  test::TempAppFolder app;
  EXPECT_NO_THROW(DBUpdateSetting(app.statusDb(), "Nowhere", "x", QDateTime::currentDateTime()));
  EXPECT_EQ(rowsNamed(app.statusDb(), "Nowhere"), 0);
}

TEST(Settings, DuplicateKeysReadAndUpdateTheFirstRow) {
  test::TempAppFolder app;
  const QDateTime d = QDateTime::currentDateTime();
  DBInsertSetting(app.statusDb(), "Dup", "first", d);
  DBInsertSetting(app.statusDb(), "Dup", "second", d);
  EXPECT_EQ(rowsNamed(app.statusDb(), "Dup"), 2);
  EXPECT_EQ(settingValue(app.statusDb(), "Dup"), "first");
  DBUpdateSetting(app.statusDb(), "Dup", "changed", d);
  EXPECT_EQ(settingValue(app.statusDb(), "Dup"), "changed");
  DBConnection c;
  c.Open(app.statusDb());
  EXPECT_EQ(c.Query("Select * From Setting WHERE SettingName = 'Dup' AND Setting = 'second'").RowCount(), 1);
}

TEST(Settings, NamesAndValuesWithApostrophesAreBound) {
  test::TempAppFolder app;
  const QDateTime d = QDateTime::currentDateTime();
  DBInsertSetting(app.statusDb(), "it's", "Restore to C:\\O'Brien", d);
  EXPECT_EQ(settingValue(app.statusDb(), "it's"), "Restore to C:\\O'Brien");
  DBUpdateSetting(app.statusDb(), "x' OR '1'='1", "boom", d);  // matches no row, changes nothing
  EXPECT_EQ(settingValue(app.statusDb(), "Activity"), "Start");
}

// A second connection holds the write lock; the write waits (through the replaceable
// waiter, so no real sleeping) and succeeds once the lock goes.
TEST(BusyDatabase, AWriteSucceedsOnceAShortLockIsReleased) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  auto holder = std::make_unique<DBConnection>();
  holder->Open(app.statusDb());
  holder->BeginTransaction();
  holder->Execute("Insert Into Setting (SettingName, Setting) Values ('held', '1')");
  waiter.onSleep = [&](int) {
    if (waiter.sleeps == 3 && holder) {
      holder->Commit();
      holder.reset();
    }
  };
  DBInsertSetting(app.statusDb(), "AfterLock", "ok", QDateTime::currentDateTime());
  EXPECT_EQ(waiter.sleeps, 3);
  EXPECT_EQ(rowsNamed(app.statusDb(), "AfterLock"), 1);
  EXPECT_EQ(rowsNamed(app.statusDb(), "held"), 1);
}

TEST(BusyDatabase, ALockHeldPastTheBoundReportsAnErrorAndDoesNotHang) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  DBConnection holder;
  holder.Open(app.statusDb());
  holder.BeginTransaction();
  holder.Execute("Insert Into Setting (SettingName, Setting) Values ('held', '1')");
  try {
    DBUpdateSetting(app.statusDb(), "Activity", "Pause", QDateTime::currentDateTime());
    FAIL() << "the write should have failed";
  } catch (const DBError& e) {
    EXPECT_TRUE(e.isBusy());
  }
  EXPECT_GT(waiter.sleeps, 0);
  EXPECT_LE(waiter.sleptMs, RetryPolicy{}.budgetMs);
  holder.Rollback();
  EXPECT_EQ(settingValue(app.statusDb(), "Activity"), "Start");
}

TEST(BusyDatabase, TheNoWaitPolicyMakesOneAttemptAndNoWait) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  DBConnection holder;
  holder.Open(app.statusDb());
  holder.Execute("BEGIN EXCLUSIVE");
  try {
    readSetting(app.statusDb(), "Status", kNoWait);
    FAIL() << "the read should have failed";
  } catch (const DBError& e) {
    EXPECT_TRUE(e.isBusy());
  }
  EXPECT_EQ(waiter.sleeps, 0);
  holder.Rollback();
  EXPECT_TRUE(readSetting(app.statusDb(), "Status", kNoWait).has_value());
}

TEST(BusyDatabase, OtherErrorsAreNotRetried) {
  test::FakeWaiter waiter;
  int runs = 0;
  EXPECT_THROW(withBusyRetry([&] {
                 ++runs;
                 throw DBError(missingTableDescription("Keys"), 1);
               }),
               DBError);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(waiter.sleeps, 0);
}

}  // namespace
