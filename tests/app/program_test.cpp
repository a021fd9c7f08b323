// The main window with every page and dialog of the program, composed as the program does it.
#include <QCheckBox>
#include <QThread>
#include <QCursor>
#include <QGuiApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "keys/KeysTable.h"
#include "selection/ui/BackupPage.h"
#include "selection/ui/ExtensionList.h"
#include "store/DatabaseJob.h"
#include "store/DatabaseTrouble.h"
#include "platform/PathMap.h"
#include "shell/Composition.h"
#include "shell/ui/FrmConfig.h"
#include "store/Settings.h"
#include "support/TestSupport.h"
#include "ComposedWindow.h"

using namespace corvane;

namespace {

class Program : public test::ComposedWindow {
 protected:
  template <class T>
  T* control(const char* name) {
    T* c = frm_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }

  bool onTab(QWidget* w, int tab) { return frm_->tabs()->widget(tab)->isAncestorOf(w); }
};

TEST_F(Program, LoadsEveryPageOnItsTabWithoutAFailingStep) {
  open();
  EXPECT_TRUE(frm_->stepErrors().isEmpty()) << frm_->stepErrors().join("\n").toStdString();
  EXPECT_TRUE(onTab(control<QTreeWidget>("tvFolders"), 1));
  EXPECT_TRUE(onTab(control<QWidget>("LstExtensions"), 1));
  EXPECT_TRUE(onTab(control<QPushButton>("btnQuickSync"), 5));
  EXPECT_TRUE(messages_.texts.isEmpty()) << messages_.texts.join("\n").toStdString();

  // The first tick after the window is shown fills the folder tree from the mapped drive.
  frm_->Form_Activate();
  frm_->Timer_Status_Timer();
  QTreeWidget* tree = control<QTreeWidget>("tvFolders");
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), 1);
  EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "C:\\");
  EXPECT_TRUE(frm_->stepErrors().isEmpty()) << frm_->stepErrors().join("\n").toStdString();
}

// A Files.db that is no database (its header overwritten, cut to nothing) is told once by the
// whole window, naming the file: the folder tree the first tick fills does not tell it again in
// SQLite's words.
TEST_F(Program, AFilesDbThatCannotBeReadIsToldOnce) {
  for (const bool empty : {false, true}) {
    SCOPED_TRACE(empty ? "empty" : "header overwritten");
    QByteArray bytes = test::readFile(app_.filesDb());
    bytes = empty ? QByteArray() : QByteArray(16, 'X') + bytes.mid(16);
    test::writeFile(app_.filesDb(), bytes);
    store::forgetDatabaseTrouble(app_.filesDb());  // as at a new start
    messages_.texts.clear();
    open();
    frm_->Form_Activate();
    for (int i = 0; i < 5; ++i) frm_->Timer_Status_Timer();
    ASSERT_EQ(messages_.texts.size(), 1) << messages_.texts.join("\n").toStdString();
    EXPECT_TRUE(messages_.texts[0].startsWith("Corvane's database Files.db cannot be read (")) << qPrintable(messages_.texts[0]);
    EXPECT_TRUE(messages_.texts[0].contains(QDir::toNativeSeparators(app_.filesDb())));
    TearDown();
  }
}

TEST_F(Program, ThisComputersNameComesFromTheKeyTable) {
  const auto id = keys::DBInsertKey(app_.statusDb(), "user", "secret", "M-1", "OFFICE-PC", "Y", "", "fkk", "");
  ASSERT_TRUE(id.has_value());
  store::DBInsertSetting(app_.statusDb(), "Identity", QString::number(*id), QDateTime::currentDateTime());
  open();
  EXPECT_EQ(control<QLabel>("lblIdentity")->text(), "This Computer:- OFFICE-PC");
}

TEST_F(Program, RestoreButtonsAndMenuWindowsReachTheirPages) {
  open();
  // Quick sync on the restore options tab asks the service through "Activity".
  control<QPushButton>("btnQuickSync")->click();
  EXPECT_EQ(store::settingValue(app_.statusDb(), "Activity"), "QuickSync");

  frm_->mFileCopy_Click();
  EXPECT_TRUE(control<QWidget>("frmFileCopy")->isVisible());
  frm_->mAdvancedSettings_Click();
  EXPECT_TRUE(control<QWidget>("frmAdvanced")->isVisible());
}

TEST_F(Program, TheEnginePanelIsServedOnItsHiddenTabAndTheImageSwitchIsStored) {
  open();
  EXPECT_FALSE(frm_->tabs()->isTabVisible(6));
  QWidget* frame = control<QWidget>("frameImaging");
  EXPECT_TRUE(onTab(frame, 6));
  // No engine in this application folder: the panel says so, and its buttons stay off.
  EXPECT_TRUE(control<QLabel>("lblEngineProblem")->text().contains("not installed"));
  EXPECT_FALSE(control<QPushButton>("btnConnectToImageEngine")->isEnabled());

  frm_->tabs()->setCurrentIndex(6);
  frm_->show();
  frm_->Timer_Status_Timer();
  EXPECT_EQ(control<QLabel>("lblPercentImageVerified")->text(), "0 %");
  // The frame keeps its size and stands centred across the tab control.
  const int left = frame->mapTo(frm_->tabs(), QPoint(0, 0)).x();
  EXPECT_NEAR(left + frame->width() / 2, frm_->tabs()->width() / 2, 2);
  frm_->hide();

  control<QCheckBox>("cbxImageSwitch")->click();
  EXPECT_EQ(store::settingValue(app_.statusDb(), "ImageSwitch"), "N");
  EXPECT_TRUE(frm_->stepErrors().isEmpty()) << frm_->stepErrors().join("\n").toStdString();
}

// While the figures of a type without cached ones are counted, a status tick keeps the list as
// it shows it and never waits on the count; the figures then arrive on the same rows. Closing
// the window ends the count: nothing of it is shown.
TEST_F(Program, TheTickKeepsTheListWhileFiguresAreCountedAndClosingEndsTheCount) {
  {
    store::DBConnection c;
    c.Open(app_.filesDb());
    c.Execute("INSERT INTO Folder (Folders, Bu, BuAll) VALUES ('C:', 0, 0), ('C:\\Data', 1, 0)");
    c.Execute("INSERT INTO File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) VALUES "
              "('C:\\Data', 'a.', 'doc', 2048, 0, 0), ('C:\\Data', 'b.', 'DOC', 1024, 1, 0)");
    c.Execute("INSERT INTO Ext (Extension, ExtName, ExtBu, TotalFiles, TotalSize, TotalFilesNU) VALUES "
              "('.doc', 'Word', 1, '', '', ''), ('.txt', 'Text', 1, 7, 7168, 3)");
  }
  waiter_.pumpRealEvents = false;  // what the count hands back waits for the test
  open();
  frm_->show();
  frm_->Form_Activate();
  frm_->Timer_Status_Timer();  // the first tick lists the ticked types
  auto* list = control<QTreeWidget>("LstExtensions");
  auto* page = frm_->findChild<selection::BackupPage*>();
  ASSERT_TRUE(list && page);
  store::DatabaseJob& count = page->extensionList()->statisticsJob();
  const auto rows = [&] {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      out << list->topLevelItem(i)->text(1) + " " + list->topLevelItem(i)->text(3) + " " + list->topLevelItem(i)->text(4);
    return out;
  };
  ASSERT_EQ(rows(), (QStringList{".doc 0 0.00 KB", ".txt 7 7.00 KB"}));
  QTreeWidgetItem* doc = list->topLevelItem(0);
  EXPECT_TRUE(count.running());
  for (int i = 0; i < 3; ++i) frm_->Timer_Status_Timer();
  EXPECT_EQ(rows(), (QStringList{".doc 0 0.00 KB", ".txt 7 7.00 KB"}));
  EXPECT_EQ(list->topLevelItem(0), doc);
  count.finish();
  EXPECT_EQ(rows(), (QStringList{".doc 2 3.00 KB", ".txt 7 7.00 KB"}));
  EXPECT_EQ(list->topLevelItem(0), doc);

  {
    store::DBConnection c;
    c.Open(app_.filesDb());
    c.Execute("UPDATE Ext SET TotalFiles = '', TotalSize = '', TotalFilesNU = '' WHERE Extension = '.txt'");
  }
  page->ShowSelectedExtensions();
  EXPECT_TRUE(count.running());
  frm_->close();
  EXPECT_FALSE(count.running());
  count.finish();
  EXPECT_EQ(rows(), (QStringList{".doc 2 3.00 KB", ".txt 7 7.00 KB"}));
  EXPECT_TRUE(frm_->stepErrors().isEmpty()) << frm_->stepErrors().join("\n").toStdString();
}

// An action that waits for a Files.db the service keeps busy takes no clicks meanwhile (for
// seconds): the pointer shows busy while it waits, and not after.
TEST_F(Program, AnActionWaitingOnABusyDatabaseShowsTheBusyPointerUntilItEnds) {
  open();
  store::DBConnection service;
  service.Open(app_.filesDb());
  service.Execute("BEGIN EXCLUSIVE");
  // The wait runs on the window's thread or, for work done aside, the window paints meanwhile.
  QList<int> shapes;
  const auto note = [&] {
    if (QThread::currentThread() != qApp->thread()) return;
    const QCursor* c = QGuiApplication::overrideCursor();
    shapes << (c ? int(c->shape()) : -1);
  };
  waiter_.onSleep = [&](int) { note(); };
  waiter_.onPaint = note;
  control<QPushButton>("btnStartDownloads")->click();
  waiter_.onSleep = nullptr;
  waiter_.onPaint = nullptr;
  EXPECT_TRUE(shapes.contains(int(Qt::BusyCursor)));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(messages_.texts.isEmpty());
}

}  // namespace
