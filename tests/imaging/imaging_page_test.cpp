#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

#include "imaging/ImgPresets.h"
#include "imaging/ui/ImagingPage.h"
#include "page_fixture.h"
#include "store/Database.h"
#include "store/Settings.h"

using namespace corvane;
using namespace corvane::imaging;
using test::PageTest;

TEST_F(PageTest, FirstStartSeedsThePresetsOnceAndOpensTheWizardAtTheNextEntry) {
  auto page = makePage();
  page->InitImagePage();
  const ImgPresetStore& store = page->presets();
  const QList<PresetListEntry> rows = store.DBSelectAllImgPresets();
  ASSERT_EQ(rows.size(), 5);
  EXPECT_EQ(rows[4].name, kWizardSetup);
  EXPECT_EQ(store.DBSelectImgIndex(kWizardSetup), QString("000"));
  EXPECT_EQ((*store.DBSelectImgPreset(kWizardSetup))[Col::ImgSource], "");
  EXPECT_EQ(currentPreset(), kWizardSetup);
  // The first start had no name to choose: nothing is selected yet.
  EXPECT_EQ(find<QComboBox>(*page, "cbxPreset")->currentIndex(), -1);

  // The next entry chooses the wizard, lists the seeded presets once, schedule lists hold their
  // items once.
  page->InitImagePage();
  EXPECT_EQ(find<QGroupBox>(*page, "FrameImagingSetup")->title(),
            "Imaging Setup - choose one or more drives for a full backup...");
  EXPECT_TRUE(find<QGroupBox>(*page, "frameFullImage")->isHidden());
  EXPECT_FALSE(find<QGroupBox>(*page, "frameSourceDrives")->isHidden());
  EXPECT_FALSE(find<QPushButton>(*page, "btnSave")->isEnabled());
  EXPECT_EQ(store.DBSelectAllImgPresets().size(), 5);
  auto* list = find<QComboBox>(*page, "cbxPreset");
  EXPECT_EQ(list->currentText(), kWizardSetup);
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  EXPECT_EQ(items, QStringList({"Help Page", "Wizard Setup", "Server", "Office Computer", "Home Computer", "Laptop"}));
  EXPECT_EQ(find<QComboBox>(*page, "cbxStartDay")->count(), 32);
  EXPECT_EQ(find<QComboBox>(*page, "cbxDiffInterval")->count(), 15);
  EXPECT_EQ(find<QListWidget>(*page, "lstImgSourceDrives")->count(), 3);
}

TEST_F(PageTest, AMissingSettingRowIsMadeSoTheBuiltInsAreNotSeededAgain) {
  {
    store::DBConnection c;
    c.Open(app_.statusDb());
    c.Execute("Delete from Setting where SettingName = 'CurrentImagePreset'");
  }
  makePage()->InitImagePage();
  makePage()->InitImagePage();
  EXPECT_EQ(currentPreset(), kWizardSetup);
  EXPECT_EQ(ImgPresetStore(app_.statusDb()).DBSelectAllImgPresets().size(), 5);
}

TEST_F(PageTest, ChoosingAPresetReplaysItAndShowsItsSummary) {
  auto page = pageListingPresets();
  choose(*page, "Laptop");
  EXPECT_EQ(currentPreset(), "Laptop");
  EXPECT_TRUE(find<QRadioButton>(*page, "rbQuarterly")->isChecked());
  EXPECT_TRUE(find<QCheckBox>(*page, "cbxWed")->isChecked());
  EXPECT_EQ(find<QComboBox>(*page, "cbxMonth")->currentText(), "1");
  EXPECT_EQ(find<QLabel>(*page, "lblIndex")->text(), "BU Index is 000");
  EXPECT_EQ(find<QLineEdit>(*page, "tbxDest")->text(), "C:\\images\\");
  EXPECT_EQ(find<QLabel>(*page, "lblLastDiffBU")->text(), "Last backup at 10:00PM ");
  EXPECT_EQ(find<QListWidget>(*page, "lstImgSourceDrives")->selectedItems().size(), 1);
  EXPECT_FALSE(page->presetEdited());
  EXPECT_FALSE(find<QGroupBox>(*page, "frameFullImage")->isHidden());  // the wizard left the detail view
  page->btnDetail_Click();
  EXPECT_TRUE(find<QGroupBox>(*page, "frameFullImage")->isHidden());
  const QString summary = find<QLabel>(*page, "lblSummary")->text();
  EXPECT_TRUE(summary.startsWith("PRESET NAME: Laptop\n\nFULL IMAGE BACKUP: Quarterly - from C  drives at 2:00 AM on 1 day of 1 to C: \\images\\"))
      << summary.toStdString();

  // The help page writes no setting and allows no saving.
  choose(*page, kHelpPage);
  EXPECT_EQ(currentPreset(), "Laptop");
  EXPECT_FALSE(find<QPushButton>(*page, "btnSaveAs")->isEnabled());
  EXPECT_TRUE(find<QLabel>(*page, "lblSummary")->text().startsWith("You can use this page"));
}

TEST_F(PageTest, SaveAsStoresTheSourceDrivesAndAnOverwriteKeepsTheIndex) {
  auto page = pageListingPresets();
  choose(*page, "Server");
  auto* drives = find<QListWidget>(*page, "lstImgSourceDrives");
  drives->item(0)->setSelected(true);
  drives->item(2)->setSelected(true);
  typedName = "Bob's PC";
  page->btnSaveAs_Click();
  const ImgPresetStore& store = page->presets();
  EXPECT_EQ((*store.DBSelectImgPreset("Bob's PC"))[Col::ImgSource], "C:\\E:\\");
  EXPECT_EQ((*store.DBSelectImgPreset("Bob's PC"))[Col::ImgMonthly], "True");
  EXPECT_EQ(currentPreset(), "Bob's PC");
  EXPECT_EQ(find<QComboBox>(*page, "cbxPreset")->currentText(), "Bob's PC");

  // Replaying selects C and E, not D.
  choose(*page, "Server");
  choose(*page, "Bob's PC");
  EXPECT_TRUE(drives->item(0)->isSelected());
  EXPECT_FALSE(drives->item(1)->isSelected());
  EXPECT_TRUE(drives->item(2)->isSelected());

  // Saving over "Server" keeps its index and leaves one row; a cancelled dialog stores nothing.
  typedName = "Server";
  page->btnSaveAs_Click();
  EXPECT_EQ(store.DBSelectImgIndex("Server"), QString("000"));
  EXPECT_EQ((*store.DBSelectImgPreset("Server"))[Col::ImgSource], "C:\\E:\\");
  const int before = store.DBSelectAllImgPresets().size();
  typedName.reset();
  page->btnSaveAs_Click();
  typedName = "";
  page->btnSaveAs_Click();
  EXPECT_EQ(store.DBSelectAllImgPresets().size(), before);
}

TEST_F(PageTest, PendingEditsAreSavedUnderTheChosenNameWhichLoadsOnlyWhenChosenAgain) {
  auto page = pageListingPresets();
  choose(*page, "Server");
  auto* local = find<QLineEdit>(*page, "tbxKeepLocal");
  page->keepCopies_Click(local, 1);  // 1 -> 2
  ASSERT_TRUE(page->presetEdited());

  messages_.answerWith(platform::MsgResult::Cancel);
  choose(*page, "Laptop");
  EXPECT_EQ(messages_.titles.value(0), "Save Preset Laptop?");
  EXPECT_EQ(find<QComboBox>(*page, "cbxPreset")->currentText(), "Laptop");
  EXPECT_EQ(local->text(), "2");
  EXPECT_TRUE(page->presetEdited());

  // Yes saves the values shown under the chosen name, after Save's own question.
  messages_.answerWith(platform::MsgResult::Yes);
  choose(*page, "Laptop");
  EXPECT_EQ(messages_.titles.mid(1), QStringList({"Save Preset Laptop?", "Save Preset as Laptop"}));
  const ImgPresetStore& store = page->presets();
  EXPECT_EQ((*store.DBSelectImgPreset("Laptop"))[Col::ImgKeepLocal], "2");
  EXPECT_TRUE((*store.DBSelectImgPreset("Laptop"))[Col::ImgMonthly] == "True");
  EXPECT_EQ((*store.DBSelectImgPreset("Server"))[Col::ImgKeepLocal], "1");
  EXPECT_EQ(currentPreset(), "Server");  // nothing was loaded
  EXPECT_FALSE(page->presetEdited());

  choose(*page, "Laptop");
  EXPECT_EQ(messages_.texts.size(), 3);
  EXPECT_EQ(currentPreset(), "Laptop");
  EXPECT_TRUE(find<QRadioButton>(*page, "rbMonthly")->isChecked());

  // The help page is no preset: its edits are saved under a new name, never as "Help Page".
  page->keepCopies_Click(local, 1);
  typedName = "Mine";
  choose(*page, kHelpPage);
  EXPECT_FALSE(store.DBDoesImgPresetExist(kHelpPage));
  EXPECT_EQ((*store.DBSelectImgPreset("Mine"))[Col::ImgKeepLocal], "3");
  EXPECT_EQ(currentPreset(), "Mine");
}

TEST_F(PageTest, AFailedSaveIsReportedAndKeepsTheEdits) {
  auto page = pageListingPresets();
  choose(*page, "Server");
  {
    store::DBConnection c;
    c.Open(app_.statusDb());
    c.Execute("Create Trigger NoSave Before Insert On ImgPresets Begin Select Raise(Abort, 'disk full'); End");
  }
  page->keepCopies_Click(find<QLineEdit>(*page, "tbxKeepRemote"), -1);
  page->btnSave_Click();
  ASSERT_EQ(messages_.texts.size(), 2);
  EXPECT_TRUE(messages_.texts[1].startsWith("Could not save preset...")) << messages_.texts[1].toStdString();
  EXPECT_TRUE(page->presetEdited());
  EXPECT_EQ((*page->presets().DBSelectImgPreset("Server"))[Col::ImgKeepRemote], "4");
}

TEST_F(PageTest, EraseRemovesEveryRowOfTheNameAndOpensTheWizard) {
  auto page = pageListingPresets();
  ImgPreset twin = *page->presets().DBSelectImgPreset("Home Computer");
  page->presets().DBInsertImgPresetFull(twin);
  choose(*page, "Home Computer");
  page->btnErase_Click();
  EXPECT_FALSE(page->presets().DBDoesImgPresetExist("Home Computer"));
  auto* list = find<QComboBox>(*page, "cbxPreset");
  EXPECT_EQ(list->findText("Home Computer"), -1);
  EXPECT_EQ(list->currentText(), kWizardSetup);
  EXPECT_EQ(currentPreset(), kWizardSetup);
}

TEST_F(PageTest, TheEngineIsReachedOnlyThroughItsSeam) {
  auto without = makePage();
  without->UpdateImagePage();  // nothing to call, nothing breaks
  EXPECT_EQ(without->oldWidget(), nullptr);

  test::CountingEngine engine;
  auto page = makePage(&engine);
  find<QPushButton>(*page, "btnRunNow")->click();  // starts nothing, marks no edit
  EXPECT_FALSE(page->presetEdited());
  page->UpdateImagePage();
  page->UpdateOldImagePage();
  page->UIDisconnect();
  EXPECT_EQ(engine.updates, 1);
  EXPECT_EQ(engine.oldUpdates, 1);
  EXPECT_EQ(engine.disconnects, 1);
}

TEST_F(PageTest, StartTimeButtonsStepTheClockAndMarkTheEdit) {
  auto page = pageListingPresets();
  choose(*page, "Office Computer");  // 7:00 AM full, 6:0 AM differential, 8 a day, hourly
  auto* hours = find<QLineEdit>(*page, "tbxHours");
  for (int i = 0; i < 5; ++i) find<QToolButton>(*page, "btnHoursUp")->click();
  EXPECT_EQ(hours->text() + " " + find<QLineEdit>(*page, "tbxAMPM")->text(), "12 PM");
  EXPECT_TRUE(page->presetEdited());
  find<QToolButton>(*page, "btnBUPerDayDown")->click();  // 7 a day: 6 AM + 6 hours
  EXPECT_EQ(find<QLabel>(*page, "lblLastDiffBU")->text(), "Last backup at 12:00PM ");
  for (int i = 0; i < 7; ++i) find<QToolButton>(*page, "btnBUPerDayDown")->click();
  EXPECT_EQ(find<QLineEdit>(*page, "tbxBUPerDay")->text(), "0");
  EXPECT_EQ(find<QLabel>(*page, "lblLastDiffBU")->text(), "");
  // The differential hours step their box alone, round from 12 to 1; AM/PM has its own buttons.
  for (int i = 0; i < 7; ++i) find<QToolButton>(*page, "btnDiffHoursUp")->click();
  EXPECT_EQ(find<QLineEdit>(*page, "tbxDiffHours")->text() + " " + find<QLineEdit>(*page, "tbxDiffAMPM")->text(), "1 AM");
}

TEST_F(PageTest, AnsweringNoDropsTheEditsButLoadsTheChosenPresetOnlyWhenChosenAgain) {
  auto page = pageListingPresets();
  choose(*page, "Server");
  auto* local = find<QLineEdit>(*page, "tbxKeepLocal");
  page->keepCopies_Click(local, 1);  // 1 -> 2
  messages_.answerWith(platform::MsgResult::No);
  choose(*page, "Laptop");
  EXPECT_EQ(find<QComboBox>(*page, "cbxPreset")->currentText(), "Laptop");
  EXPECT_EQ(local->text(), "2");  // Server's edited values stay shown
  EXPECT_TRUE(find<QRadioButton>(*page, "rbMonthly")->isChecked());
  EXPECT_FALSE(page->presetEdited());
  EXPECT_EQ(currentPreset(), "Server");
  EXPECT_EQ((*page->presets().DBSelectImgPreset("Server"))[Col::ImgKeepLocal], "1");  // nothing saved

  choose(*page, "Laptop");
  EXPECT_EQ(messages_.texts.size(), 1);
  EXPECT_TRUE(find<QRadioButton>(*page, "rbQuarterly")->isChecked());
  EXPECT_EQ(currentPreset(), "Laptop");
}

TEST_F(PageTest, AnErasedPresetStaysGoneWhenItsPendingEditsAreSaved) {
  auto page = pageListingPresets();
  choose(*page, "Server");
  page->keepCopies_Click(find<QLineEdit>(*page, "tbxKeepRemote"), 1);
  messages_.answerWith(platform::MsgResult::Yes);
  page->btnErase_Click();
  // The erase chooses the wizard, whose question saves the edits under its own name.
  EXPECT_EQ(messages_.titles, QStringList({"Save Preset Wizard Setup?", "Save Preset as Wizard Setup"}));
  EXPECT_FALSE(page->presets().DBDoesImgPresetExist("Server"));
  EXPECT_EQ(find<QComboBox>(*page, "cbxPreset")->findText("Server"), -1);
  EXPECT_EQ((*page->presets().DBSelectImgPreset(kWizardSetup))[Col::ImgKeepRemote], "5");
  EXPECT_EQ(page->presets().DBSelectImgIndex(kWizardSetup), QString("000"));
  EXPECT_FALSE(page->presetEdited());
}
