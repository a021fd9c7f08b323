#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "shell/FrameRules.h"
#include "shell/ui/FrmAbout.h"
#include "shell/ui/FrmConfig.h"
#include "shell_fakes.h"
#include "store/AppFolderLayout.h"
#include "store/Database.h"
#include "store/FileTables.h"
#include "store/Settings.h"
#include "support/TestSupport.h"
#include "support/WriteFaults.h"

using namespace corvane;
using shell::FrmConfig;

namespace {

class MainWindow : public ::testing::Test {
 protected:
  MainWindow() { waiter.pumpRealEvents = false; }

  FrmConfig& make(const shell::Pages& pages = {}) {
    frame = std::make_unique<FrmConfig>();
    frame->setPages(pages);
    return *frame;
  }
  FrmConfig& load(const shell::Pages& pages = {}) {
    make(pages).Form_Load();
    return *frame;
  }
  void set(const char* name, const char* value) { test::setSetting(app.statusDb(), name, value); }
  QAction* action(const char* name) { return frame->findChild<QAction*>(name); }
  QPushButton* button(const char* name) { return frame->findChild<QPushButton*>(name); }
  bool restoreButtonsEnabled() {
    bool all = true;
    for (const char* b : {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"})
      all = all && button(b)->isEnabled();
    return all;
  }
  void setRestoreButtons(bool enabled) {
    for (const char* b : {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"})
      button(b)->setEnabled(enabled);
  }
  QByteArray configBytes() {
    QFile f(app.file("Logs/Config.txt"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }

  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages boxes;
  std::unique_ptr<FrmConfig> frame;
};

}  // namespace

TEST_F(MainWindow, TabsMenusAndOwnControlsAfterLoad) {
  FrmConfig& f = load();
  QTabWidget* tabs = f.findChild<QTabWidget*>("SSTab1");
  ASSERT_EQ(tabs, f.tabs());
  ASSERT_EQ(tabs->count(), 9);
  const QStringList captions = {"File Extension", "Backup", "Scheduler", "Log", "Status",
                                "Restore Files", "Old Imaging", "Restore", "Imaging"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(tabs->tabText(i), captions[i]);
  const bool visible[] = {false, true, false, true, false, false, false, true, true};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(tabs->isTabVisible(i), visible[i]) << "tab " << i;
  EXPECT_FALSE(tabs->isTabEnabled(6));
  EXPECT_TRUE(tabs->isTabEnabled(1));
  EXPECT_EQ(tabs->currentIndex(), 1);

  const QList<std::pair<const char*, const char*>> menus = {
      {"mStart", "Resume Corvane"}, {"mStop", "Pause Corvane"}, {"mSetupWizard", "Setup Wizard"},
      {"mAdvancedSettings", "Advanced Settings"}, {"mFileCopy", "File Copy Utility"}, {"mExit", "Exit"},
      {"mHelp", "Help"}, {"mAbout", "About..."}};
  for (const auto& [name, text] : menus) {
    ASSERT_NE(action(name), nullptr) << name;
    EXPECT_EQ(action(name)->text(), text);
  }
  // No advanced-settings or file-copy window in this composition: their menus cannot be used.
  EXPECT_FALSE(action("mAdvancedSettings")->isEnabled());
  EXPECT_FALSE(action("mFileCopy")->isEnabled());

  EXPECT_EQ(f.findChild<QTimer*>("Timer_Status"), f.statusTimer());
  EXPECT_TRUE(f.statusTimer()->isActive());
  EXPECT_EQ(f.statusTimer()->interval(), 1000);
  EXPECT_NE(f.findChild<QLabel*>("lblIdentity"), nullptr);
  EXPECT_EQ(f.findChild<QLineEdit*>("TxtFirstTime")->text(), "0");
  EXPECT_NE(f.findChild<QWidget*>("Frame16"), nullptr);
  EXPECT_TRUE(f.restorePending());
  EXPECT_EQ(f.loadWidth(), f.width());
  EXPECT_TRUE(f.stepErrors().isEmpty()) << f.stepErrors().join("\n").toStdString();
}

TEST_F(MainWindow, FirstStartInsertsEachIdentityRowOnce) {
  load();
  frame.reset();
  load();
  store::DBConnection c;
  c.Open(app.statusDb());
  for (const char* key : {"Identity", "UIdentity", "DIdentity"}) {
    EXPECT_EQ(c.Query("Select count(*) AS n From Setting WHERE SettingName = ?", {QString(key)}).Long("n"), 1) << key;
    EXPECT_EQ(store::settingValue(app.statusDb(), key), "0");
  }
}

TEST_F(MainWindow, IdentityNameShowsInTheLabel) {
  set("Identity", "3");
  test::FakeIdentity keys;
  keys.names.insert(3, "Office PC");
  shell::Pages pages;
  pages.identity = &keys;
  FrmConfig& f = load(pages);
  EXPECT_EQ(f.findChild<QLabel*>("lblIdentity")->text(), "This Computer:- Office PC");
  EXPECT_EQ(f.identityValue(), "3");
}

TEST_F(MainWindow, ActivityDrivesStartAndPauseMenus) {
  set("Activity", "Pause");
  FrmConfig& f = load();
  EXPECT_TRUE(action("mStart")->isEnabled());
  EXPECT_FALSE(action("mStop")->isEnabled());
  EXPECT_EQ(f.activityValue(), "Pause");

  set("Activity", "Start");
  f.Timer_Status_Timer();
  EXPECT_FALSE(action("mStart")->isEnabled());
  EXPECT_TRUE(action("mStop")->isEnabled());

  set("Activity", "Restore to C:\\Out");  // anything else leaves them as they are
  f.Timer_Status_Timer();
  EXPECT_FALSE(action("mStart")->isEnabled());
  EXPECT_TRUE(action("mStop")->isEnabled());

  f.mStop_Click();
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Pause");
  EXPECT_TRUE(action("mStart")->isEnabled());
  EXPECT_FALSE(action("mStop")->isEnabled());
  action("mStart")->trigger();
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");
  EXPECT_FALSE(action("mStart")->isEnabled());
}

TEST_F(MainWindow, CaptionFollowsStatusEveryTick) {
  FrmConfig& f = load();
  EXPECT_EQ(f.windowTitle(), "Corvane Backup - Status: Active");
  set("Status", "Corvane Backup - Uploading report.doc");
  f.Timer_Status_Timer();
  EXPECT_EQ(f.windowTitle(), "Corvane Backup - Uploading report.doc");
  EXPECT_EQ(f.caption(), f.windowTitle());
}

TEST_F(MainWindow, RestoreButtonsWaitForAnEmptyQueue) {
  FrmConfig& f = load();
  EXPECT_TRUE(restoreButtonsEnabled());  // empty queue at load

  store::TempDFileRow row;
  row.folder = "C:\\Data";
  row.fileName = "a.";
  row.extension = "txt";
  store::DBInsertTempDFile(app.filesDb(), row);
  setRestoreButtons(false);  // as the restore dialogs do when they queue files
  for (int i = 0; i < 25; ++i) f.Timer_Status_Timer();
  EXPECT_FALSE(restoreButtonsEnabled());
  EXPECT_EQ(f.tempDFileCount(), 1);

  store::DBDeleteAllTempDFile(app.filesDb());
  int ticks = 0;
  while (!restoreButtonsEnabled() && ticks < 20) {
    f.Timer_Status_Timer();
    ++ticks;
  }
  EXPECT_TRUE(restoreButtonsEnabled());
  EXPECT_LE(ticks, 10);
  EXPECT_GE(ticks, 1);
}

TEST_F(MainWindow, FolderTreeFillsOnTheFirstTickAfterActivationOnly) {
  test::FakeBackupPage backup;
  shell::Pages pages;
  pages.backup = &backup;
  FrmConfig& f = load(pages);
  EXPECT_EQ(backup.populate, 0);  // the load's own tick comes before activation
  f.Form_Activate();
  EXPECT_TRUE(f.firstTickPending());
  f.Timer_Status_Timer();
  EXPECT_EQ(backup.loadRegistered, 1);
  EXPECT_EQ(backup.loadTypeList, 1);
  EXPECT_EQ(backup.populate, 1);
  EXPECT_EQ(backup.showSelected, 1);
  EXPECT_EQ(f.tickCount(), 1);
  f.Form_Activate();  // later activations do nothing
  f.Timer_Status_Timer();
  EXPECT_EQ(backup.populate, 1);

  // The extension list refreshes once the count reaches 150, only on its own tab.
  ASSERT_EQ(f.tabs()->currentIndex(), shell::TabBackup);
  while (f.tickCount() != 0) f.Timer_Status_Timer();
  EXPECT_EQ(backup.refresh, 1);
  f.tabs()->setCurrentIndex(shell::TabRestore);
  for (int i = 0; i < 151; ++i) f.Timer_Status_Timer();
  EXPECT_EQ(backup.refresh, 1);
  EXPECT_EQ(f.tickCount(), 0);
}

// The known file types and the imaging page are read once the window is on the screen, not
// in the load before it shows; in the load's order and always before the first tick's fill,
// which replaces the rows the list file gave, whichever comes first, also when a tick runs
// while they let events in.
TEST_F(MainWindow, TypesAndImagingPageAreReadAfterTheWindowShowsAndBeforeTheFirstTick) {
  QStringList calls;
  test::FakeBackupPage backup;
  test::FakeOtherPages imaging;
  backup.calls = imaging.calls = &calls;
  shell::Pages pages;
  pages.backup = &backup;
  pages.imaging = &imaging;
  const QStringList afterShow{"LoadRegisteredExtensions", "LoadFileTypeList", "InitImagePage"};
  FrmConfig& f = load(pages);
  EXPECT_TRUE(calls.isEmpty()) << calls.join(' ').toStdString();
  f.show();
  f.Form_Activate();
  backup.onLoadRegistered = [&] { f.Timer_Status_Timer(); };
  f.Timer_Status_Timer();  // came before the window was painted
  EXPECT_EQ(calls, (afterShow + QStringList{"PopulateDriveNodes", "ShowSelectedExtensions"}));
  QApplication::processEvents();
  f.Timer_Status_Timer();
  EXPECT_EQ(backup.loadRegistered, 1);
  EXPECT_EQ(imaging.initImage, 1);

  calls.clear();
  frame.reset();  // and the backup page placed on it
  test::FakeBackupPage other;
  other.calls = &calls;
  pages.backup = &other;
  FrmConfig& g = load(pages);
  g.show();
  for (int i = 0; i < 3 && calls.isEmpty(); ++i) QApplication::processEvents();  // its first paint
  EXPECT_EQ(calls, afterShow);
  EXPECT_TRUE(g.stepErrors().isEmpty()) << g.stepErrors().join("\n").toStdString();
}

TEST_F(MainWindow, CheckBoxesFollowSettingsWithoutRunningClickHandlers) {
  set("ImageSwitch", "N");
  set("SmallImageFileFilter", "1");
  set("DefaultFolderFilter", "0");
  test::FakeBackupPage backup;
  backup.page->findChild<QCheckBox*>("cbxDefaultFolderFilter")->setChecked(true);
  backup.clickHandlers = 0;
  shell::Pages pages;
  pages.backup = &backup;
  FrmConfig& f = load(pages);
  EXPECT_FALSE(f.findChild<QCheckBox*>("cbxImageSwitch")->isChecked());
  EXPECT_TRUE(f.findChild<QCheckBox*>("cbxSmallImageFileFilter")->isChecked());
  EXPECT_FALSE(f.findChild<QCheckBox*>("cbxDefaultFolderFilter")->isChecked());
  EXPECT_EQ(backup.clickHandlers, 0);
}

TEST_F(MainWindow, FailingStepsAreReportedAndTheRestStillRuns) {
  test::FakeSchedulerPage scheduler;
  test::FakeOtherPages others;
  test::FakeBackupPage backup;
  shell::Pages pages;
  pages.scheduler = &scheduler;
  pages.imaging = &others;
  pages.restore = &others;
  pages.backup = &backup;
  set("Activity", "Pause");
  FrmConfig& f = load(pages);
  EXPECT_EQ(scheduler.captions, 1);
  EXPECT_EQ(scheduler.clicks, 1);
  EXPECT_EQ(f.stepErrors().size(), 2);
  EXPECT_FALSE(f.tabs()->isTabVisible(0));  // later steps ran
  EXPECT_TRUE(action("mStart")->isEnabled());
  EXPECT_EQ(others.disconnects, 1);
  EXPECT_EQ(store::settingValue(app.statusDb(), "Identity"), "0");
  EXPECT_EQ(waiter.sleptMs, 400);

  // A failing tick step: the others run and the timer is on again.
  others.throwOnUpdate = true;
  backup.throwOnPopulate = true;
  f.tabs()->setCurrentIndex(shell::TabImaging);
  f.Form_Activate();
  set("Status", "after the failure");
  f.Timer_Status_Timer();
  EXPECT_EQ(others.updateImage, 1);
  EXPECT_EQ(f.windowTitle(), "after the failure");
  EXPECT_EQ(backup.showSelected, 1);  // the step after the failing walk
  EXPECT_FALSE(f.firstTickPending());
  EXPECT_TRUE(f.statusTimer()->isActive());
  EXPECT_EQ(f.stepErrors().size(), 4);
}

TEST_F(MainWindow, TabChangesReachTheirPages) {
  test::FakeBackupPage backup;
  test::FakeOtherPages others;
  shell::Pages pages;
  pages.backup = &backup;
  pages.log = &others;
  pages.status = &others;
  pages.imaging = &others;
  pages.restore = &others;
  FrmConfig& f = load(pages);
  EXPECT_EQ(others.initRestore, 1);  // the load's own call
  f.tabs()->setCurrentIndex(shell::TabRestore);
  f.Timer_Status_Timer();
  f.Timer_Status_Timer();
  EXPECT_EQ(others.initRestore, 2);  // once by the load, once by the first tick on the tab

  auto* first = f.findChild<QLineEdit*>("TxtFirstTime");
  f.tabs()->setCurrentIndex(shell::TabFileExtension);
  EXPECT_EQ(first->text(), "1");
  EXPECT_EQ(backup.showSelected, 1);
  f.tabs()->setCurrentIndex(shell::TabLog);
  f.tabs()->setCurrentIndex(shell::TabFileExtension);
  EXPECT_EQ(backup.showSelected, 1);
  EXPECT_EQ(others.writeLog, 1);
  f.tabs()->setCurrentIndex(shell::TabStatus);
  EXPECT_EQ(others.initStatus, 1);
  f.tabs()->setCurrentIndex(shell::TabImaging);
  EXPECT_EQ(others.imagePage, 1);
  f.Timer_Status_Timer();
  EXPECT_EQ(others.updateImage, 1);
  EXPECT_EQ(others.updateOldImage, 0);
}

TEST_F(MainWindow, HelpAndSetupWriteTheCommandFile) {
  FrmConfig& f = load();
  action("mHelp")->trigger();
  EXPECT_EQ(configBytes(), QByteArray("Help\r\n"));
  int unloads = 0;
  QObject::connect(&f, &FrmConfig::unloaded, [&] { ++unloads; });
  action("mSetupWizard")->trigger();
  EXPECT_EQ(configBytes(), QByteArray("Setup\r\n"));
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Setup");
  EXPECT_EQ(unloads, 1);
  EXPECT_TRUE(f.isUnloaded());
  EXPECT_FALSE(f.statusTimer()->isActive());
}

TEST_F(MainWindow, EscapeAndExitUnloadAndStopTheDialogs) {
  test::FakeOtherPages others;
  shell::Pages pages;
  pages.dialogs = &others;
  FrmConfig& f = load(pages);
  EXPECT_TRUE(action("mFileCopy")->isEnabled());
  action("mFileCopy")->trigger();
  action("mAdvancedSettings")->trigger();
  EXPECT_EQ(others.fileCopy, 1);
  EXPECT_EQ(others.advanced, 1);

  f.show();
  int unloads = 0;
  QObject::connect(&f, &FrmConfig::unloaded, [&] { ++unloads; });
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&f, &esc);
  EXPECT_EQ(unloads, 1);
  EXPECT_EQ(others.stops, 1);
  EXPECT_FALSE(f.isVisible());

  make().show();
  int second = 0;
  QObject::connect(frame.get(), &FrmConfig::unloaded, [&] { ++second; });
  action("mExit")->trigger();
  EXPECT_EQ(second, 1);
}

TEST_F(MainWindow, AboutBoxShowsAndCloseOnlyHidesIt) {
  FrmConfig& f = load();
  action("mAbout")->trigger();
  shell::FrmAbout* about = f.aboutBox();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->objectName(), "frmabout");
  EXPECT_EQ(about->windowTitle(), "About - Corvane Remote Backup");
  EXPECT_TRUE(about->isVisible());
  EXPECT_FALSE(about->isModal());
  about->findChild<QPushButton*>("cmdOk")->click();
  EXPECT_FALSE(about->isVisible());
  action("mAbout")->trigger();
  EXPECT_EQ(f.aboutBox(), about);  // the same box, shown again
}

// Shown from the menu, the About box has the focus, also when it was open already behind the
// main window: Escape closes it and the main window (which Escape would end) stays.
TEST_F(MainWindow, AboutBoxTakesTheFocusAndEscapeClosesOnlyIt) {
  FrmConfig& f = load();
  f.show();
  int unloads = 0;
  QObject::connect(&f, &FrmConfig::unloaded, [&] { ++unloads; });
  action("mAbout")->trigger();
  QApplication::processEvents();
  shell::FrmAbout* about = f.aboutBox();
  ASSERT_TRUE(about->isVisible());
  f.activateWindow();  // the user goes back to the main window, the box stays open
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeWindow(), &f);
  action("mAbout")->trigger();
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeWindow(), about);
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  EXPECT_EQ(focus->window(), about);
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(focus, &esc);
  EXPECT_FALSE(about->isVisible());
  EXPECT_EQ(unloads, 0);
  EXPECT_TRUE(f.isVisible());
}

TEST_F(MainWindow, ResizeAppliesTheLayoutRulesAboveTheLoadSize) {
  FrmConfig& f = load();
  f.show();
  f.resize(f.loadWidth() + 200, f.loadHeight() + 150);
  QApplication::processEvents();
  QWidget* client = f.centralWidget();
  const QRect tab = f.tabs()->geometry();
  EXPECT_EQ(tab, QRect(4, 4, client->width() - 8, client->height() - 8));

  QWidget* frame16 = f.findChild<QWidget*>("Frame16");
  QWidget* frame2 = f.findChild<QWidget*>("Frame2");
  EXPECT_EQ(frame16->width(), frame2->width() - 33);  // 500 twips
  EXPECT_NEAR(button("btnRestoreAll")->y() - button("btnQuickSync")->y(), frame16->height() / 5.0, 1.0);
  EXPECT_NEAR(button("btnRestoreFiles")->y() - button("btnRestoreFolders")->y(), frame16->height() / 5.0, 1.0);

  // The window cannot be made smaller than at load, so the layout never meets a size below it.
  f.resize(f.loadWidth() - 100, f.loadHeight() - 50);
  QApplication::processEvents();
  EXPECT_EQ(f.size(), QSize(f.loadWidth(), f.loadHeight()));
  EXPECT_EQ(f.minimumSize(), QSize(f.loadWidth(), f.loadHeight()));
  EXPECT_EQ(f.tabs()->geometry(), QRect(4, 4, client->width() - 8, client->height() - 8));
}

// The service holds both databases locked (a second connection in an exclusive transaction):
// the tick waits for nothing, records no failure and leaves caption, menus and restore buttons
// as they were; once the lock goes, the next tick catches up, the queue count included.
TEST_F(MainWindow, ATickMeetingALockedDatabaseKeepsWhatItShowsAndCatchesUpLater) {
  test::FakeOtherPages others;
  shell::Pages pages;
  pages.imaging = &others;
  pages.restore = &others;
  set("Status", "Corvane before the lock");
  set("Activity", "Pause");
  FrmConfig& f = load(pages);
  f.tabs()->setCurrentIndex(shell::TabImaging);
  while (f.tickCount() % shell::kQueueCheckEvery != 0) f.Timer_Status_Timer();
  setRestoreButtons(false);

  auto statusHolder = std::make_unique<store::DBConnection>();
  statusHolder->Open(app.statusDb());
  statusHolder->Execute("BEGIN EXCLUSIVE");
  statusHolder->Execute("UPDATE Setting SET Setting = 'Corvane after the lock' WHERE SettingName = 'Status'");
  statusHolder->Execute("UPDATE Setting SET Setting = 'Start' WHERE SettingName = 'Activity'");
  auto filesHolder = std::make_unique<store::DBConnection>();
  filesHolder->Open(app.filesDb());
  filesHolder->Execute("BEGIN EXCLUSIVE");

  int pagePolicyWait = -1;
  int clickPolicyWait = -1;
  others.onUpdate = [&] { pagePolicyWait = f.databasePolicy().budgetMs; };
  // A click handled while the tick lets events in is the user's action: it waits as they do.
  waiter.onEvents = [&] { clickPolicyWait = f.databasePolicy().budgetMs; };
  const long long sleptBefore = waiter.sleptMs;
  f.Timer_Status_Timer();
  waiter.onEvents = nullptr;
  EXPECT_EQ(waiter.sleptMs, sleptBefore);
  EXPECT_EQ(pagePolicyWait, 0);  // the page is told not to wait either
  EXPECT_GT(clickPolicyWait, 0);
  EXPECT_GT(f.databasePolicy().budgetMs, 0);
  EXPECT_EQ(f.windowTitle(), "Corvane before the lock");
  EXPECT_TRUE(action("mStart")->isEnabled());
  EXPECT_EQ(f.activityValue(), "Pause");
  EXPECT_FALSE(restoreButtonsEnabled());
  EXPECT_TRUE(f.stepErrors().isEmpty()) << f.stepErrors().join("\n").toStdString();
  EXPECT_TRUE(boxes.texts.isEmpty());
  EXPECT_TRUE(f.statusTimer()->isActive());

  statusHolder->Execute("COMMIT");
  filesHolder->Execute("COMMIT");
  statusHolder.reset();
  filesHolder.reset();
  f.Timer_Status_Timer();  // not a tenth tick, yet the missed queue count runs now
  EXPECT_EQ(f.windowTitle(), "Corvane after the lock");
  EXPECT_FALSE(action("mStart")->isEnabled());
  EXPECT_TRUE(restoreButtonsEnabled());
}

// The service holds Status.db while the window loads: the load waits for it once, then the
// rest of the load (the pages' parts too) reads without waiting again, and check boxes whose
// settings could not be read keep their design state until the first tick after the lock
// reads them.
TEST_F(MainWindow, ALoadUnderALockWaitsOnceAndTheTicksCatchUp) {
  set("ImageSwitch", "N");
  set("SmallImageFileFilter", "1");
  test::FakeBackupPage backup;
  test::FakeOtherPages others;
  shell::Pages pages;
  pages.backup = &backup;
  pages.restore = &others;
  make(pages);
  int restorePolicyWait = -1;
  others.onInitRestore = [&] {
    restorePolicyWait = frame->databasePolicy().budgetMs;
    try {
      store::readSetting(app.statusDb(), "DIdentity", frame->databasePolicy());
    } catch (const store::DBError&) {
    }
  };
  auto holder = std::make_unique<store::DBConnection>();
  holder->Open(app.statusDb());
  holder->Execute("BEGIN EXCLUSIVE");

  frame->Form_Load();
  EXPECT_EQ(restorePolicyWait, 0);
  EXPECT_LE(waiter.paintingSleeps * 50, store::RetryPolicy{}.budgetMs);
  EXPECT_GT(frame->databasePolicy().budgetMs, 0);  // the next user action waits again
  auto box = [&](const char* name) { return frame->findChild<QCheckBox*>(name)->isChecked(); };
  EXPECT_FALSE(box("cbxImageSwitch") || box("cbxSmallImageFileFilter") || box("cbxDefaultFolderFilter"));

  frame->Timer_Status_Timer();  // still held: nothing changes, nothing waits
  EXPECT_FALSE(box("cbxSmallImageFileFilter"));
  holder.reset();
  frame->Timer_Status_Timer();
  EXPECT_FALSE(box("cbxImageSwitch"));
  EXPECT_TRUE(box("cbxSmallImageFileFilter"));
  EXPECT_FALSE(box("cbxDefaultFolderFilter"));
  EXPECT_EQ(backup.clickHandlers, 0);
  set("SmallImageFileFilter", "0");  // read once: later ticks leave the boxes to the user
  frame->Timer_Status_Timer();
  EXPECT_TRUE(box("cbxSmallImageFileFilter"));
}

// A page that meets a busy database while the tick runs its pending set-up gets another
// attempt at the next tick; a real failure gets none.
TEST_F(MainWindow, PendingRestoreSetUpWaitsOutABusyDatabaseButNotAFailure) {
  test::FakeOtherPages others;
  shell::Pages pages;
  pages.restore = &others;
  FrmConfig& f = load(pages);
  f.tabs()->setCurrentIndex(shell::TabRestore);
  others.onInitRestore = [] { throw store::DBError("database is locked", 5); };
  f.Timer_Status_Timer();
  EXPECT_TRUE(f.restorePending());
  others.onInitRestore = [] { throw store::DBError("disk I/O error", 10); };
  f.Timer_Status_Timer();
  EXPECT_FALSE(f.restorePending());
  const int calls = others.initRestore;
  f.Timer_Status_Timer();
  EXPECT_EQ(others.initRestore, calls);
  EXPECT_EQ(f.stepErrors().size(), 1);
}

// Without the command file the service's tray side never hears of Help or Setup: the user is
// told, and Setup Wizard keeps the window (and the service's "Activity") as they were.
TEST_F(MainWindow, ACommandFileThatCannotBeWrittenIsShownAndSetupDoesNotEnd) {
  FrmConfig& f = load();
  set("Activity", "Start");
  ASSERT_TRUE(QDir(app.file("Logs")).removeRecursively());
  int unloads = 0;
  QObject::connect(&f, &FrmConfig::unloaded, [&] { ++unloads; });
  action("mHelp")->trigger();
  ASSERT_EQ(boxes.texts.size(), 1);
  EXPECT_TRUE(boxes.texts[0].contains("\"Help\"")) << qPrintable(boxes.texts[0]);
  EXPECT_TRUE(boxes.texts[0].contains("Config.txt")) << qPrintable(boxes.texts[0]);
  action("mSetupWizard")->trigger();
  ASSERT_EQ(boxes.texts.size(), 2);
  EXPECT_TRUE(boxes.texts[1].contains("\"Setup\"")) << qPrintable(boxes.texts[1]);
  EXPECT_EQ(unloads, 0);
  EXPECT_FALSE(f.isUnloaded());
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");
}

// A database that is gone or damaged makes steps fail on every tick: each failing step is
// listed once, and the user hears once per file, in plain words, what is wrong with it.
TEST_F(MainWindow, AMissingOrDamagedDatabaseIsToldOnceAndItsFailuresListedOnce) {
  ASSERT_TRUE(QFile::remove(app.filesDb()));
  {
    QFile status(app.statusDb());
    ASSERT_TRUE(status.open(QIODevice::WriteOnly | QIODevice::Truncate));
    status.write(QByteArray(4096, 'x'));
  }
  FrmConfig& f = load();
  f.Timer_Status_Timer();
  const int listed = f.stepErrors().size();
  EXPECT_GT(listed, 0);
  for (int i = 0; i < 30; ++i) f.Timer_Status_Timer();
  EXPECT_EQ(f.stepErrors().size(), listed) << f.stepErrors().join("\n").toStdString();
  ASSERT_EQ(boxes.texts.size(), 2) << boxes.texts.join("\n").toStdString();
  const QString statusText = boxes.texts.filter("Status.db").value(0);
  const QString filesText = boxes.texts.filter("Files.db").value(0);
  EXPECT_TRUE(statusText.contains("cannot be read")) << qPrintable(statusText);
  EXPECT_TRUE(filesText.contains("is missing")) << qPrintable(filesText);
  EXPECT_TRUE(filesText.contains(QDir::toNativeSeparators(app.filesDb()))) << qPrintable(filesText);
}

// A page zeroed in the middle of Files.db and one of Status.db, pages no step of the window
// reads: the window says which file is damaged, once each however many ticks follow, and writes
// nothing more into either (the first start's identity rows neither, nor a menu's setting).
TEST_F(MainWindow, DamagedDatabasesAreToldOnceEachAndWrittenNoMore) {
  {
    store::DBConnection c;
    c.Open(app.filesDb());
    c.BeginTransaction();
    for (int i = 0; i < 3000; ++i)
      c.Execute("Insert Into File (Folder, FileName, Extension) Values(?,?,?)",
                {QString("C:\\Data\\%1").arg(i % 50), QString("f%1.").arg(i), "txt"});
    c.Commit();
  }
  if (!test::zeroPageOf(app.filesDb(), "File") || !test::zeroPageOf(app.statusDb(), "idx_Setting_Name"))
    GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  const QByteArray files = test::readFile(app.filesDb()), status = test::readFile(app.statusDb());
  FrmConfig& f = load();
  f.Form_Activate();
  for (int i = 0; i < 30; ++i) f.Timer_Status_Timer();
  ASSERT_EQ(boxes.texts.size(), 2) << boxes.texts.join("\n").toStdString();
  const QString filesText = boxes.texts.filter("Files.db").value(0);
  EXPECT_TRUE(filesText.startsWith("Corvane's database Files.db is damaged (")) << qPrintable(filesText);
  EXPECT_TRUE(filesText.contains(QDir::toNativeSeparators(app.filesDb()))) << qPrintable(filesText);
  EXPECT_TRUE(boxes.texts.filter("Status.db").value(0).startsWith("Corvane's database Status.db is damaged ("));
  action("mStop")->trigger();
  ASSERT_EQ(boxes.texts.size(), 3);
  EXPECT_TRUE(boxes.texts[2].startsWith("Status.db is damaged")) << qPrintable(boxes.texts[2]);
  EXPECT_TRUE(action("mStop")->isEnabled());
  EXPECT_TRUE(test::readFile(app.filesDb()) == files) << "Files.db was written";
  EXPECT_TRUE(test::readFile(app.statusDb()) == status) << "Status.db was written";
}

// The first start on a full disk cannot store this computer's identity: the user hears it once,
// naming the file, not only the error stream.
TEST_F(MainWindow, AFullDiskAtTheFirstStartIsToldOnce) {
  test::SmallDisk disk(qint64(1) << 20);
  if (disk.whyNot) GTEST_SKIP() << disk.whyNot;
  struct RestoreAppPaths {
    platform::AppPaths previous = platform::appPaths();
    ~RestoreAppPaths() { platform::setAppPaths(previous); }
  } restorePaths;
  QString error;
  ASSERT_TRUE(store::layOutAppFolder(disk.path(), test::shareDir(), &error)) << qPrintable(error);
  platform::setAppPaths(platform::AppPaths::forFolder(disk.path()));
  disk.fill();
  FrmConfig& f = load();
  for (int i = 0; i < 30; ++i) f.Timer_Status_Timer();
  ASSERT_EQ(boxes.texts.size(), 1) << boxes.texts.join("\n").toStdString();
  EXPECT_TRUE(boxes.texts[0].startsWith("Corvane could not write into its database Status.db: the disk is full"))
      << qPrintable(boxes.texts[0]);
  EXPECT_TRUE(boxes.texts[0].contains(QDir::toNativeSeparators(disk.path() + "/Status.db"))) << qPrintable(boxes.texts[0]);
  EXPECT_TRUE(f.stepErrors().filter("Identity").value(0).contains("database or disk is full"));
  frame.reset();  // before its folder goes
}

// A database that opens but is of no use is told as plainly: an empty file (which is left
// empty) and a file without the tables the window reads.
TEST_F(MainWindow, AnEmptyDatabaseOrOneWithoutItsTablesIsTold) {
  {
    QFile status(app.statusDb());
    ASSERT_TRUE(status.open(QIODevice::WriteOnly | QIODevice::Truncate));
  }
  store::DBConnection files;
  files.Open(app.filesDb());
  files.Execute("DROP TABLE tempDFile");
  FrmConfig& f = load();
  f.Timer_Status_Timer();
  ASSERT_EQ(boxes.texts.size(), 2) << boxes.texts.join("\n").toStdString();
  const QString statusText = boxes.texts.filter("Status.db").value(0);
  const QString filesText = boxes.texts.filter("Files.db").value(0);
  EXPECT_TRUE(statusText.contains("Status.db cannot be read (the file is empty)")) << qPrintable(statusText);
  EXPECT_TRUE(filesText.contains("Files.db has no tempDFile table")) << qPrintable(filesText);
  EXPECT_EQ(QFile(app.statusDb()).size(), 0);
}
