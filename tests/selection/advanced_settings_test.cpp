#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include "selection/ui/FrmAdvanced.h"
#include "store/Database.h"
#include "store/Settings.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

namespace corvane::selection {
namespace {

using store::settingValue;

class AdvancedSettingsTest : public ::testing::Test {
 protected:
  AdvancedSettingsTest() : services({app.filesDb(), app.statusDb()}), dialog(services) {}

  void fill(const QString& scan, const QString& sf, const QString& lf, const QString& order) {
    dialog.tbxScanInterval()->setText(scan);
    dialog.tbxSFBatchSize()->setText(sf);
    dialog.tbxLFBatchSize()->setText(lf);
    dialog.tbxSortOrder()->setText(order);
  }
  QPushButton* button(const char* name) { return dialog.findChild<QPushButton*>(name); }

  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::FakeMainWindow services;
  FrmAdvanced dialog;
};

TEST_F(AdvancedSettingsTest, ShowingLoadsTheStoredValuesAndCancelKeepsThem) {
  dialog.showModeless();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(dialog.isModal());
  EXPECT_EQ(dialog.windowTitle(), "Corvane Advanced Settings");
  EXPECT_EQ(dialog.tbxScanInterval()->text(), "60");
  EXPECT_EQ(dialog.tbxSFBatchSize()->text(), "100");
  EXPECT_EQ(dialog.tbxLFBatchSize()->text(), "10");
  EXPECT_EQ(dialog.tbxSortOrder()->text(), "Asc");

  fill("5", "6", "7", "Desc");
  button("btnAdvancedCancel")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(settingValue(app.statusDb(), "ScanInterval"), "60");
  EXPECT_EQ(settingValue(app.statusDb(), "SortOrder"), "Asc");
  dialog.showModeless();
  EXPECT_EQ(dialog.tbxScanInterval()->text(), "60");
  EXPECT_EQ(dialog.tbxSortOrder()->text(), "Asc");
}

// Each activation reloads the stored values: what was typed and not saved gives way to them,
// and a value the service changed meanwhile shows.
TEST_F(AdvancedSettingsTest, EveryActivationReloadsTheStoredValues) {
  dialog.showModeless();
  fill("5", "6", "7", "Desc");
  test::setSetting(app.statusDb(), "SFBatchSize", "250");
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&dialog, &activate);
  EXPECT_EQ(dialog.tbxScanInterval()->text(), "60");
  EXPECT_EQ(dialog.tbxSFBatchSize()->text(), "250");
  EXPECT_EQ(dialog.tbxSortOrder()->text(), "Asc");
}

// A read that fails never empties the boxes (OK would save the empty texts over the service's
// values): coming back to the window while the service holds Status.db keeps what it shows,
// without waiting; a window whose values could not be read at all says so and OK waits until
// they have been read.
TEST_F(AdvancedSettingsTest, AFailedReadKeepsTheBoxesAndNeverSavesThemEmpty) {
  dialog.showModeless();
  store::DBConnection holder;
  holder.Open(app.statusDb());
  holder.Execute("BEGIN EXCLUSIVE");
  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&dialog, &activate);
  EXPECT_EQ(waiter.sleeps, 0);
  EXPECT_EQ(dialog.tbxScanInterval()->text(), "60");
  EXPECT_EQ(dialog.tbxSFBatchSize()->text(), "100");
  holder.Execute("ROLLBACK");
  dialog.tbxSortOrder()->setText("Desc");
  button("btnAdvancedOk")->click();
  EXPECT_EQ(settingValue(app.statusDb(), "SortOrder"), "Desc");
  EXPECT_EQ(settingValue(app.statusDb(), "ScanInterval"), "60");
  EXPECT_EQ(settingValue(app.statusDb(), "LFBatchSize"), "10");
  EXPECT_TRUE(messages.texts.isEmpty());

  test::FakeMainWindow other({app.filesDb(), app.path() + "/Missing.db"});
  FrmAdvanced unread(other);
  unread.showModeless();
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("The advanced settings could not be read.")) << messages.texts[0].toStdString();
  auto* ok = unread.findChild<QPushButton*>("btnAdvancedOk");
  EXPECT_FALSE(ok->isEnabled());
  other.paths.statusDb = app.statusDb();
  QApplication::sendEvent(&unread, &activate);
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_EQ(unread.tbxSortOrder()->text(), "Desc");
}

TEST_F(AdvancedSettingsTest, OnlyAscOrDescIsAcceptedAndTextsAreSavedAsTyped) {
  dialog.showModeless();
  for (const char* bad : {"asc", "Asc ", "DESC", ""}) {
    fill("1", "2", "3", bad);
    button("btnAdvancedOk")->click();
    EXPECT_TRUE(dialog.isVisible()) << bad;
  }
  ASSERT_EQ(messages.texts.size(), 4);
  EXPECT_EQ(messages.texts[0], "Sort Order must be 'Asc' or 'Desc' only...");
  EXPECT_EQ(settingValue(app.statusDb(), "ScanInterval"), "60");

  const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
  fill("", "many", "3", "Desc");
  button("btnAdvancedOk")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(messages.texts.size(), 4);
  EXPECT_EQ(settingValue(app.statusDb(), "ScanInterval"), "");
  EXPECT_EQ(settingValue(app.statusDb(), "SFBatchSize"), "many");
  EXPECT_EQ(settingValue(app.statusDb(), "LFBatchSize"), "3");
  EXPECT_EQ(settingValue(app.statusDb(), "SortOrder"), "Desc");
  QString value;
  QDateTime date;
  store::DBSelectSetting(app.statusDb(), "SortOrder", value, date);
  EXPECT_GE(date, before);  // dated now
}

// A missing row is added, so the save really happens.
TEST_F(AdvancedSettingsTest, AMissingRowIsAdded) {
  {
    store::DBConnection c;
    c.Open(app.statusDb());
    c.Execute("DELETE FROM Setting WHERE SettingName = 'LFBatchSize'");
  }
  dialog.showModeless();
  EXPECT_EQ(dialog.tbxLFBatchSize()->text(), "");
  fill("60", "100", "25", "Asc");
  button("btnAdvancedOk")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(settingValue(app.statusDb(), "LFBatchSize"), "25");
}

// A save that fails (the database stays locked) shows an error, keeps the dialog open with the
// typed values, and stores none of the four.
TEST_F(AdvancedSettingsTest, AFailedSaveIsReportedAndStoresNothing) {
  dialog.showModeless();
  store::DBConnection holder;
  holder.Open(app.statusDb());
  holder.BeginTransaction();
  holder.Execute("Insert Into Setting (SettingName, Setting) Values ('held', '1')");
  fill("15", "200", "20", "Desc");
  button("btnAdvancedOk")->click();
  holder.Rollback();

  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_NE(messages.texts[0], "Sort Order must be 'Asc' or 'Desc' only...");
  EXPECT_TRUE(messages.texts[0].contains("could not be saved"));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.tbxScanInterval()->text(), "15");
  EXPECT_GT(waiter.sleeps, 0);
  EXPECT_EQ(settingValue(app.statusDb(), "SortOrder"), "Asc");
  EXPECT_EQ(settingValue(app.statusDb(), "ScanInterval"), "60");

  // Once the lock is gone the same click saves.
  button("btnAdvancedOk")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(settingValue(app.statusDb(), "SortOrder"), "Desc");
}

// Four rows in one transaction: when the last one cannot be written, the first ones are not
// left changed either.
TEST(AdvancedSettingsSave, IsAllOrNothing) {
  test::TempAppFolder app;
  {
    store::DBConnection c;
    c.Open(app.statusDb());
    c.Execute("DELETE FROM Setting WHERE SettingName = 'LFBatchSize'");
    c.Execute("CREATE TRIGGER no_insert BEFORE INSERT ON Setting BEGIN SELECT RAISE(ABORT, 'read only'); END");
  }
  EXPECT_THROW(saveAdvancedSettings(app.statusDb(), {"1", "2", "3", "Desc"}, QDateTime::currentDateTime()),
               store::DBError);
  EXPECT_EQ(settingValue(app.statusDb(), "SortOrder"), "Asc");
  EXPECT_EQ(settingValue(app.statusDb(), "ScanInterval"), "60");
}

}  // namespace
}  // namespace corvane::selection
