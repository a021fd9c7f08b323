#include <gtest/gtest.h>

#include "shell/IdentityStep.h"
#include "shell/PageSeam.h"
#include "shell_fakes.h"
#include "store/Database.h"
#include "store/Settings.h"
#include "support/TestSupport.h"

using namespace corvane;
using shell::resolveIdentity;

namespace {

int rows(const QString& statusDb, const QString& name) {
  store::DBConnection c;
  c.Open(statusDb);
  return int(c.Query("Select count(*) AS n From Setting WHERE SettingName = ?", {name}).Long("n"));
}

const QDateTime kNow(QDate(2026, 12, 8), QTime(22, 0));

}  // namespace

TEST(IdentityStep, FirstStartLeavesExactlyOneZeroRowPerKey) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  for (int run = 0; run < 2; ++run) {
    resolveIdentity(app.statusDb(), nullptr, kNow);
    for (const char* key : {"Identity", "UIdentity", "DIdentity"}) {
      EXPECT_EQ(rows(app.statusDb(), key), 1) << key << " run " << run;
      EXPECT_EQ(store::settingValue(app.statusDb(), key), "0") << key;
    }
  }
  // A later start with "0" and no key table wired changes nothing.
  EXPECT_EQ(resolveIdentity(app.statusDb(), nullptr, kNow).identityValue, "0");
}

TEST(IdentityStep, EmptyRowsAreFilledNotDuplicatedAndChosenComputerKept) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  store::DBInsertSetting(app.statusDb(), "Identity", "", kNow);
  store::DBInsertSetting(app.statusDb(), "DIdentity", "7", kNow);
  const shell::IdentityResult r = resolveIdentity(app.statusDb(), nullptr, kNow);
  EXPECT_EQ(r.identityValue, "");
  EXPECT_EQ(rows(app.statusDb(), "Identity"), 1);
  EXPECT_EQ(store::settingValue(app.statusDb(), "Identity"), "0");
  EXPECT_EQ(rows(app.statusDb(), "UIdentity"), 1);
  EXPECT_EQ(rows(app.statusDb(), "DIdentity"), 1);
  EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), "7");
}

TEST(IdentityStep, NameFoundAtOnceTouchesNothing) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  store::DBInsertSetting(app.statusDb(), "Identity", "5000000000", kNow);  // beyond 16 and 32 bits
  test::FakeIdentity keys;
  keys.names.insert(5000000000LL, "Laptop");
  const shell::IdentityResult r = resolveIdentity(app.statusDb(), &keys, kNow);
  EXPECT_EQ(r.machineName, "Laptop");
  EXPECT_EQ(r.identityValue, "5000000000");
  EXPECT_EQ(keys.lookedUp, (QList<qint64>{5000000000LL}));
  EXPECT_EQ(keys.imports, 0);
}

TEST(IdentityStep, MissingNameImportsOnceAndLooksUpOnceMore) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  resolveIdentity(app.statusDb(), nullptr, kNow);  // the three "0" rows
  test::FakeIdentity keys;
  keys.lastKeyId = 12;
  keys.nameAfterImport = "Desktop";
  shell::IdentityResult r = resolveIdentity(app.statusDb(), &keys, kNow);
  EXPECT_EQ(r.machineName, "Desktop");
  EXPECT_EQ(r.identityValue, "12");
  EXPECT_EQ(keys.lookedUp, (QList<qint64>{0, 12}));
  for (const char* key : {"Identity", "UIdentity", "DIdentity"}) EXPECT_EQ(store::settingValue(app.statusDb(), key), "12");

  // No name even after the import: two lookups, then the step ends (it used to loop forever).
  test::FakeIdentity empty;
  empty.lastKeyId = 0;
  store::DBUpdateSetting(app.statusDb(), "Identity", "not a number", kNow);
  r = resolveIdentity(app.statusDb(), &empty, kNow);
  EXPECT_EQ(r.machineName, "");
  EXPECT_EQ(empty.lookedUp, (QList<qint64>{0, 0}));  // unparsable text counts as 0
  EXPECT_EQ(empty.imports, 1);
  EXPECT_EQ(shell::parseIdentity(" 42 "), 42);
  EXPECT_EQ(shell::parseIdentity("9223372036854775807"), 9223372036854775807LL);
  EXPECT_EQ(shell::parseIdentity("12abc"), 0);
}

// The service holds Status.db for a moment at start: the read waits for it instead of taking
// the busy database for a first start and adding "0" rows beside the real ones.
TEST(IdentityStep, ABusyDatabaseIsNotMistakenForAFirstStart) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  store::DBInsertSetting(app.statusDb(), "Identity", "5", kNow);
  auto holder = std::make_unique<store::DBConnection>();
  holder->Open(app.statusDb());
  holder->Execute("BEGIN EXCLUSIVE");
  waiter.onSleep = [&](int) { holder.reset(); };
  test::FakeIdentity keys;
  keys.names.insert(5, "Laptop");
  const shell::IdentityResult r = resolveIdentity(app.statusDb(), &keys, kNow);
  EXPECT_GE(waiter.sleeps, 1);
  EXPECT_EQ(r.machineName, "Laptop");
  for (const char* key : {"Identity", "UIdentity", "DIdentity"}) EXPECT_LE(rows(app.statusDb(), key), 1) << key;
  EXPECT_EQ(store::settingValue(app.statusDb(), "Identity"), "5");
}
