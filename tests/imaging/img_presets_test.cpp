#include <gtest/gtest.h>

#include "imaging/ImgPresets.h"
#include "store/Database.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::imaging;

namespace {

ImgPreset named(const QString& name, const QString& index = "7") {
  ImgPreset p = builtInPresets().first();
  p[Col::ImgPresetName] = name;
  p[Col::ImgIndex] = index;
  return p;
}

int rowCount(const QString& db) {
  store::DBConnection c;
  c.Open(db);
  return c.Query("Select * from ImgPresets").RowCount();
}

}  // namespace

TEST(ImgPresets, BuiltInsCreateTheMissingTableAndAreSeededOnce) {
  test::TempAppFolder app;
  const ImgPresetStore presets(app.statusDb());
  presets.InsertImgPresets();  // the table does not exist yet
  const QList<PresetListEntry> list = presets.DBSelectAllImgPresets();
  ASSERT_EQ(list.size(), 4);
  EXPECT_EQ(list[0].name, "Server");
  EXPECT_EQ(list[3].name, "Laptop");

  const std::optional<ImgPreset> laptop = presets.DBSelectImgPreset("Laptop");
  ASSERT_TRUE(laptop);
  EXPECT_TRUE(laptop->flag(Col::ImgQuarterly));
  EXPECT_FALSE(laptop->flag(Col::ImgMonthly));
  EXPECT_EQ((*laptop)[Col::ImgSat], "1");
  EXPECT_EQ((*laptop)[Col::ImgDest], "C:\\images\\");
  EXPECT_EQ((*laptop)[Col::ImgKeepRemote], "4");
  EXPECT_EQ((*presets.DBSelectImgPreset("Office Computer"))[Col::ImgDiffInterval], "hour");

  presets.InsertImgPresets();
  EXPECT_EQ(rowCount(app.statusDb()), 4);
}

TEST(ImgPresets, NamesAreBoundSoApostrophesWork) {
  test::TempAppFolder app;
  const ImgPresetStore presets(app.statusDb());
  const QString name = "Bob's PC'; Delete from ImgPresets; --";
  presets.DBInsertImgPresetFull(named("Other"));
  presets.DBInsertImgPresetFull(named(name, "042"));
  EXPECT_TRUE(presets.DBDoesImgPresetExist(name));
  EXPECT_EQ(presets.DBSelectImgIndex(name), QString("042"));
  EXPECT_TRUE(presets.DBSelectPresetID(name));
  EXPECT_EQ((*presets.DBSelectImgPreset(name))[Col::ImgPresetName], name);
  presets.DBDeleteImgPreset(name);
  EXPECT_FALSE(presets.DBDoesImgPresetExist(name));
  EXPECT_TRUE(presets.DBDoesImgPresetExist("Other"));
}

TEST(ImgPresets, SharedNamesEmptyNamesAndTheListsLength) {
  test::TempAppFolder app;
  const ImgPresetStore presets(app.statusDb());
  presets.DBInsertImgPresetFull(named("Twice", "1"));
  presets.DBInsertImgPresetFull(named("Twice", "2"));
  presets.DBInsertImgPresetFull(named(""));
  EXPECT_EQ(presets.DBSelectImgIndex("Twice"), QString("1"));  // the first row
  EXPECT_EQ(presets.DBSelectAllImgPresets().size(), 2);           // the empty name is not listed
  presets.DBDeleteImgPreset("Twice");
  EXPECT_FALSE(presets.DBDoesImgPresetExist("Twice"));

  for (int i = 0; i < 105; ++i) presets.DBInsertImgPresetFull(named(QString("P%1").arg(i)));
  EXPECT_EQ(presets.DBSelectAllImgPresets().size(), kPresetListSlots);
}

TEST(ImgPresets, AFailedReplaceKeepsTheOldRows) {
  test::TempAppFolder app;
  const ImgPresetStore presets(app.statusDb());
  presets.DBInsertImgPresetFull(named("Keep", "5"));
  {
    store::DBConnection c;
    c.Open(app.statusDb());
    c.Execute("Create Trigger NoNewKeep Before Insert On ImgPresets When New.ImgIndex = 'bad' "
              "Begin Select Raise(Abort, 'refused'); End");
  }
  EXPECT_THROW(presets.DBReplaceImgPreset(named("Keep", "bad")), store::DBError);
  EXPECT_EQ(presets.DBSelectImgIndex("Keep"), QString("5"));
  presets.DBReplaceImgPreset(named("Keep", "6"));
  EXPECT_EQ(presets.DBSelectImgIndex("Keep"), QString("6"));
  EXPECT_EQ(rowCount(app.statusDb()), 1);
}

TEST(ImgPresets, ABusyDatabaseIsWaitedForWithinABound) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  const ImgPresetStore presets(app.statusDb(), store::RetryPolicy{50, 500});
  presets.DBInsertImgPresetFull(named("Locked"));
  store::DBConnection holder;
  holder.Open(app.statusDb());
  holder.BeginTransaction();
  holder.Execute("Delete from ImgPresets");  // holds the write lock
  EXPECT_THROW(presets.DBDeleteImgPreset("Locked"), store::DBError);
  EXPECT_GT(waiter.sleeps, 0);
  EXPECT_LE(waiter.sleptMs, 500);
  holder.Rollback();
  EXPECT_TRUE(presets.DBDoesImgPresetExist("Locked"));
}
