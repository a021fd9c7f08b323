#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include "folder_fixture.h"
#include "selection/ui/BackupPage.h"
#include "selection/ui/ExtensionList.h"
#include "store/Settings.h"
#include "support/TestSupport.h"
#include "support/FakeMainWindow.h"

using namespace corvane;
using namespace corvane::selection;
using corvane::test::FolderFixture;

namespace {

class BackupPageTest : public FolderFixture {
 protected:
  BackupPageTest() : window_(store::DatabasePaths{filesDb(), statusDb()}) {}

  BackupPage& page() {
    if (!page_) page_ = std::make_unique<BackupPage>(window_);
    return *page_;
  }
  QTreeWidget* tree() { return page().findChild<QTreeWidget*>("tvFolders"); }
  QTreeWidgetItem* node(const QString& key) { return page().nodeByKey(key); }
  bool ticked(const QString& key) {
    QTreeWidgetItem* n = node(key);
    EXPECT_NE(n, nullptr) << key.toStdString();
    return n && n->checkState(0) == Qt::Checked;
  }
  QStringList childKeys(const QString& key) {
    QStringList out;
    if (QTreeWidgetItem* n = node(key))
      for (int i = 0; i < n->childCount(); ++i) out << BackupPage::keyOf(n->child(i));
    return out;
  }
  // The user's click on a node's box.
  void click(const QString& key) {
    QTreeWidgetItem* n = node(key);
    ASSERT_NE(n, nullptr) << key.toStdString();
    n->setCheckState(0, n->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
  void standardTree() {
    addFolders({{"C:", false, false},
                {"C:\\a", false, false},
                {"C:\\a b", false, false},
                {"C:\\aB", false, false},
                {"C:\\a\\x", false, false},
                {"C:\\a\\x\\deep", false, false},
                {"C:\\Data", true, false},
                {"C:\\Database", false, true},
                {"D:\\Docs", true, true}});  // no row for D: itself
  }

  test::FakeMainWindow window_;
  std::unique_ptr<BackupPage> page_;
};

TEST_F(BackupPageTest, TreeLoadsOneLevelAheadWithEachChildOnceAndStoredTicks) {
  standardTree();
  page().PopulateDriveNodes();
  EXPECT_TRUE(tree()->isEnabled());
  EXPECT_EQ(childKeys("Drives"), (QStringList{"C:\\", "D:\\"}));
  EXPECT_EQ(page().DriveNames().value(0), "C:\\");
  // The drives' folders are there already, the next level only after expanding.
  EXPECT_EQ(childKeys("C:\\"), (QStringList{"C:\\Data", "C:\\Database", "C:\\a", "C:\\a b", "C:\\aB"}));
  EXPECT_EQ(node("C:\\a")->text(0), "a");
  EXPECT_EQ(node("C:\\a\\x"), nullptr);
  tree()->expandItem(node("C:\\"));
  EXPECT_EQ(childKeys("C:\\a"), QStringList{"C:\\a\\x"});
  EXPECT_EQ(node("C:\\a\\x\\deep"), nullptr);
  // Expanding again adds nothing twice.
  tree()->collapseItem(node("C:\\"));
  tree()->expandItem(node("C:\\"));
  EXPECT_EQ(childKeys("C:\\a"), QStringList{"C:\\a\\x"});
  EXPECT_EQ(childKeys("C:\\").size(), 5);

  // Folder/File mode shows Bu; a drive without a row is unticked even after a ticked one.
  EXPECT_TRUE(ticked("C:\\Data"));
  EXPECT_FALSE(ticked("C:\\Database"));
  EXPECT_FALSE(ticked("C:\\"));
  EXPECT_TRUE(ticked("D:\\Docs"));
  EXPECT_FALSE(ticked("D:\\"));

  // One icon object for all folders and one for all drives, not a copy per node.
  const qint64 folderIcon = node("C:\\a")->icon(0).cacheKey();
  for (const char* k : {"C:\\Data", "C:\\a\\x", "D:\\Docs"}) EXPECT_EQ(node(k)->icon(0).cacheKey(), folderIcon);
  EXPECT_EQ(node("C:\\")->icon(0).cacheKey(), node("D:\\")->icon(0).cacheKey());
  EXPECT_NE(node("C:\\")->icon(0).cacheKey(), folderIcon);
}

TEST_F(BackupPageTest, DriveTickFollowsItsOwnRowOnly) {
  addFolders({{"C:", true, false}, {"D:\\x", true, false}});
  page().PopulateDriveNodes();
  EXPECT_TRUE(ticked("C:\\"));
  EXPECT_FALSE(ticked("D:\\"));  // the flags read for C: do not carry over
}

TEST_F(BackupPageTest, TickStoresTheSubtreeShowsWhatIsStoredAndTellsTheService) {
  standardTree();
  addFolders({{"D:\\Temp", true, false}});
  addExclude("deep");
  page().PopulateDriveNodes();
  tree()->expandItem(node("C:\\"));
  tree()->expandItem(node("C:\\a"));
  ASSERT_NE(node("C:\\a\\x\\deep"), nullptr);
  // Load the rows of drive C:, then of D:, so that a stale copy of C: would be on hand.
  tree()->expandItem(node("D:\\"));
  ASSERT_TRUE(ticked("D:\\Temp"));
  addExclude("temp");  // the exclusions the tick applies reach the other drive too

  click("C:\\a");
  EXPECT_EQ(folderTable()["D:\\Temp"], qMakePair(false, false));
  EXPECT_FALSE(ticked("D:\\Temp"));
  auto t = folderTable();
  EXPECT_EQ(t["C:\\a"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\a\\x"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\a\\x\\deep"], qMakePair(false, false));  // excluded after the tick
  EXPECT_EQ(t["C:\\a b"], qMakePair(false, false));
  EXPECT_EQ(t["C:\\aB"], qMakePair(false, false));
  EXPECT_TRUE(ticked("C:\\a"));
  EXPECT_TRUE(ticked("C:\\a\\x"));
  EXPECT_FALSE(ticked("C:\\a\\x\\deep"));
  EXPECT_FALSE(ticked("C:\\a b"));
  EXPECT_TRUE(tree()->isEnabled());
  EXPECT_EQ(store::settingValue(statusDb(), "UploadsWaiting"), "Yes");
  EXPECT_TRUE(messages_.texts.isEmpty());

  // Unticking clears the subtree; the service changing a row meanwhile shows at the next tick.
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("UPDATE Folder SET Bu = 1 WHERE Folders = 'C:\\aB'");
  }
  click("C:\\a");
  EXPECT_FALSE(ticked("C:\\a\\x"));
  EXPECT_EQ(folderTable()["C:\\a\\x"], qMakePair(false, false));
  EXPECT_TRUE(ticked("C:\\aB"));

  // A drive tick takes the whole drive, loaded or not.
  click("C:\\");
  t = folderTable();
  EXPECT_EQ(t["C:"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Database"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\a\\x\\deep"], qMakePair(false, false));
  EXPECT_EQ(t["D:\\Docs"], qMakePair(true, true));
  EXPECT_TRUE(ticked("C:\\"));
  EXPECT_TRUE(ticked("C:\\Database"));
}

TEST_F(BackupPageTest, TickOnAFolderWithAnApostrophe) {
  addFolders({{"C:"}, {"C:\\Bob's"}, {"C:\\Bob's\\it's here"}, {"C:\\Bobs"}});
  page().PopulateDriveNodes();
  tree()->expandItem(node("C:\\"));
  click("C:\\Bob's");
  const auto t = folderTable();
  EXPECT_EQ(t["C:\\Bob's"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Bob's\\it's here"], qMakePair(true, false));
  EXPECT_EQ(t["C:\\Bobs"], qMakePair(false, false));
  EXPECT_EQ(storedFolder("C:\\Bob's\\it's here"), "C:\\Bob''s\\it''s here");
  // The sub-folder comes on show with the tick stored for it.
  tree()->expandItem(node("C:\\Bob's"));
  EXPECT_TRUE(ticked("C:\\Bob's\\it's here"));
}

TEST_F(BackupPageTest, ModeSwitchShowsTheOtherFlagAndTheExtensionControls) {
  standardTree();
  page().PopulateDriveNodes();
  auto* mode = page().findChild<QPushButton*>("btnBackupMode");
  auto* list = page().findChild<QTreeWidget*>("LstExtensions");
  auto* frame = page().findChild<QGroupBox*>("Frame7");
  ASSERT_TRUE(mode && list && frame);
  page().show();
  EXPECT_EQ(mode->text(), "Folder/File Backup");
  EXPECT_TRUE(list->isVisible());
  const int narrow = tree()->width();

  mode->click();
  EXPECT_EQ(mode->text(), "Full Folder Backup");
  EXPECT_FALSE(list->isVisible());
  EXPECT_GT(tree()->width(), narrow);
  EXPECT_EQ(frame->title(), "Full Folder Backup - backup all files in these folders");
  EXPECT_EQ(window_.relayouts, 1);
  EXPECT_FALSE(ticked("C:\\Data"));
  EXPECT_TRUE(ticked("C:\\Database"));
  EXPECT_TRUE(tree()->isVisible());
  EXPECT_TRUE(mode->isEnabled());

  // A tick in this mode writes BuAll and clears Bu.
  click("C:\\Data");
  EXPECT_EQ(folderTable()["C:\\Data"], qMakePair(false, true));

  mode->click();
  EXPECT_EQ(mode->text(), "Folder/File Backup");
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(frame->title(), "Folders and Files - backup only the selected extensions in these folders");
  EXPECT_FALSE(ticked("C:\\Data"));
  EXPECT_EQ(window_.relayouts, 2);
}

TEST_F(BackupPageTest, ScanButtonFillsTheTableAndTheTree) {
  mk(c_, {"Data/x", "Music"});
  page().PopulateDriveNodes();
  EXPECT_TRUE(childKeys("C:\\").isEmpty());
  auto* scan = page().findChild<QPushButton*>("btnScanForNewFolders");
  // Runs at the scan's first pass of event processing.
  bool disabledWhileRunning = false;
  QMetaObject::invokeMethod(
      &page(), [&] { disabledWhileRunning = !scan->isEnabled() && page().scanRunning(); }, Qt::QueuedConnection);
  scan->click();
  EXPECT_TRUE(disabledWhileRunning);
  EXPECT_EQ(folderTable().size(), 5);  // C:, C:\Data, C:\Data\x, C:\Music, D:
  EXPECT_EQ(childKeys("C:\\"), (QStringList{"C:\\Data", "C:\\Music"}));
  EXPECT_TRUE(scan->isEnabled());
  EXPECT_FALSE(page().scanRunning());
  EXPECT_EQ(window_.captions.value(0), "Corvane Checking folders...");
  EXPECT_EQ(store::settingValue(statusDb(), "FolderScanThrottle"), "Full");
  QString v;
  QDateTime d;
  store::DBSelectSetting(statusDb(), "LastScanStart", v, d);
  EXPECT_LT(d, QDateTime::currentDateTime().addSecs(-80 * 60));

  // Ticked folders hand their ticks down to folders found later.
  click("C:\\Data");
  mk(c_, {"Data/New"});
  scan->click();
  tree()->expandItem(node("C:\\"));
  EXPECT_TRUE(ticked("C:\\Data\\New"));
  EXPECT_EQ(folderTable()["C:\\Data\\New"], qMakePair(true, false));
  scan->click();
  EXPECT_EQ(folderTable().size(), 6);
}

// A drive or folder without a row of its own cannot keep a tick: the user is told to scan first,
// and nothing is written, not the folders below it either (the message says nothing was kept).
// One with a row keeps it without a word.
TEST_F(BackupPageTest, TickingWhatTheScanHasNotStoredSaysToScanFirst) {
  addFolders({{"C:", false, false}, {"D:\\Docs", false, false}});  // no row for D: itself
  page().PopulateDriveNodes();
  click("D:\\");
  EXPECT_FALSE(ticked("D:\\"));
  ASSERT_EQ(messages_.texts.size(), 1);
  EXPECT_TRUE(messages_.texts[0].startsWith("D:\\ ")) << messages_.texts[0].toStdString();
  EXPECT_TRUE(messages_.texts[0].contains("\"Scan Folders/Files\"")) << messages_.texts[0].toStdString();
  EXPECT_EQ(folderTable()["D:\\Docs"], qMakePair(false, false));
  EXPECT_NE(store::settingValue(statusDb(), "UploadsWaiting"), "Yes");

  click("C:\\");
  EXPECT_TRUE(ticked("C:\\"));
  EXPECT_EQ(messages_.texts.size(), 1);
}

// The tree applies the small image filter as its setting says after every tick, and writes
// "UploadsWaiting" with the date of that setting's row (the window's shared settings date).
TEST_F(BackupPageTest, ATickAppliesTheSmallImageFilterAndDatesUploadsWaitingWithIt) {
  addFolders({{"C:", false, false}, {"C:\\Pics", false, false}});
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("INSERT INTO File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) VALUES "
               "('C:\\Pics', 'a.', 'JPG', 100, 0, 0), ('C:\\Pics', 'b.', 'jpg', 30000, 0, 0), "
               "('D:\\Else', 'c.', 'gif', 5, 0, 0)");
    store::DBConnection st;
    st.Open(statusDb());
    st.Execute("UPDATE Setting SET Setting = '1', DateSetting = '2021-05-06 07:08:09' "
               "WHERE SettingName = 'SmallImageFileFilter'");
  }
  const auto filtered = [&] {
    store::DBConnection db;
    db.Open(filesDb());
    store::DBRecordset rs = db.Query("SELECT group_concat(FileName || Filtered, ' ') AS f FROM "
                                     "(SELECT FileName, Filtered FROM File ORDER BY FileName)");
    return rs.Text("f");
  };
  page().PopulateDriveNodes();
  click("C:\\Pics");
  EXPECT_EQ(filtered(), "a.1 b.0 c.1");
  QString value;
  QDateTime date;
  store::DBSelectSetting(statusDb(), "UploadsWaiting", value, date);
  EXPECT_EQ(value, "Yes");
  EXPECT_EQ(date, QDateTime(QDate(2021, 5, 6), QTime(7, 8, 9)));

  // The service holds Status.db as the tick reads the setting: the read waits for it instead of
  // taking the filter for off and unmarking every small image.
  store::DBConnection holder;
  holder.Open(statusDb());
  holder.Execute("BEGIN EXCLUSIVE");
  waiter_.onSleep = [&](int) {
    if (holder.InTransaction()) holder.Execute("ROLLBACK");
  };
  click("C:\\Pics");
  EXPECT_FALSE(holder.InTransaction());
  EXPECT_EQ(filtered(), "a.1 b.0 c.1");
  EXPECT_EQ(folderTable()["C:\\Pics"], qMakePair(false, false));
  EXPECT_TRUE(messages_.texts.isEmpty());
  waiter_.onSleep = nullptr;

  test::setSetting(statusDb(), "SmallImageFileFilter", "0");
  click("C:\\Pics");
  EXPECT_EQ(filtered(), "a.0 b.0 c.0");
}

// A tick is stored whole or not at all: when a later part of it fails, the folder's flags are
// not left changed, the box goes back and the user is told.
TEST_F(BackupPageTest, ATickThatCannotBeStoredWholeLeavesNothingChanged) {
  addFolders({{"C:", false, false}, {"C:\\a", false, false}, {"C:\\a\\b", false, false}});
  page().PopulateDriveNodes();
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("DROP TABLE File");  // the small image marks cannot be written
  }
  click("C:\\a");
  EXPECT_FALSE(ticked("C:\\a"));
  EXPECT_EQ(folderTable()["C:\\a"], qMakePair(false, false));
  EXPECT_EQ(folderTable()["C:\\a\\b"], qMakePair(false, false));
  ASSERT_EQ(messages_.texts.size(), 1);
  EXPECT_TRUE(messages_.texts[0].contains("no such table: file", Qt::CaseInsensitive)) << messages_.texts[0].toStdString();
  EXPECT_NE(store::settingValue(statusDb(), "UploadsWaiting"), "Yes");
}

// A tick disables the tree while it is stored, which moves the keyboard focus on; it comes back
// to the tree, so the next Space ticks the next folder instead of toggling a filter box.
TEST_F(BackupPageTest, AfterATickTheFocusIsBackOnTheTree) {
  addFolders({{"C:", false, false}, {"C:\\a", false, false}, {"C:\\b", false, false}});
  page().resize(page().minimumSize());
  page().show();
  page().activateWindow();
  QApplication::processEvents();
  page().PopulateDriveNodes();
  tree()->setFocus();
  const auto space = [&] {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(QApplication::focusWidget(), &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(QApplication::focusWidget(), &release);
  };
  tree()->setCurrentItem(node("C:\\a"));
  ASSERT_EQ(QApplication::focusWidget(), tree());
  space();
  EXPECT_TRUE(ticked("C:\\a"));
  EXPECT_EQ(QApplication::focusWidget(), tree());
  tree()->setCurrentItem(node("C:\\b"));
  space();
  EXPECT_TRUE(ticked("C:\\b"));
  click("C:\\a");  // the mouse
  EXPECT_FALSE(ticked("C:\\a"));
  EXPECT_EQ(QApplication::focusWidget(), tree());
  for (const char* box : {"cbxSmallImageFileFilter", "cbxDefaultFolderFilter", "cbxImageSwitch"})
    EXPECT_FALSE(page().findChild<QCheckBox*>(box)->isChecked()) << box;
  EXPECT_EQ(folderTable()["C:\\b"], qMakePair(true, false));
}

// Only drive slots 0 to 19 are shown: a drive in slot 20 stays out of the tree.
TEST_F(BackupPageTest, ADriveInSlot20IsNotShown) {
  QStringList map;
  for (int i = 0; i < 21; ++i) {
    const QString dir = drives_.path() + "/s" + QString::number(i);
    QDir().mkpath(dir);
    map << QString(QChar('A' + i)) + ":=" + dir;
  }
  test::ScopedDrives drives(map.join(';'));
  addFolders({{"T:", true, false}, {"U:", true, false}});
  page().PopulateDriveNodes();
  EXPECT_EQ(page().DriveNames().value(20), "U:\\");
  const QStringList shown = childKeys("Drives");
  EXPECT_EQ(shown.size(), 20);
  EXPECT_EQ(shown.last(), "T:\\");
  EXPECT_EQ(node("U:\\"), nullptr);
}

// At the page's design size every caption shows whole: each column header of the extension
// list (with the sort arrow) within the list, every type and figure the list holds within its
// column, and every box and button within its place.
TEST_F(BackupPageTest, EveryCaptionAndColumnHeaderShowsWhole) {
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("INSERT INTO Ext (Extension, ExtName, ExtBu, TotalFiles, TotalSize, TotalFilesNU) VALUES "
               "('.html', 'Web Page', 1, 123456, 1200000000000, 98765), "
               "('.mpeg', 'Movie', 1, 7, 627000000, 3), ('.bmp', 'Bitmap', 1, 9999999, 1048000, 9999999)");
  }
  page().resize(page().minimumSize());
  page().show();
  page().ShowSelectedExtensions();
  auto* list = page().findChild<QTreeWidget*>("LstExtensions");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->topLevelItemCount(), 3);
  const auto cellsFit = [&](const char* when) {
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    for (int c : {1, 3, 4, 5})
      for (int row = 0; row < list->topLevelItemCount(); ++row)
        EXPECT_LE(list->itemDelegate()->sizeHint(option, list->model()->index(row, c)).width(),
                  list->header()->sectionSize(c))
            << list->topLevelItem(row)->text(c).toStdString() << " " << when;
  };
  cellsFit("shown selected");
  QHeaderView* header = list->header();
  for (int sorted : {-1, 2, 4}) {  // unsorted, then sorted by the description, by the size
    if (sorted >= 0) emit header->sectionClicked(sorted);
    // What each caption needs: with room for the arrow in the sort column only.
    QList<int> need;
    const bool arrow = header->isSortIndicatorShown();
    for (int c = 0; c < list->columnCount(); ++c) {
      header->setSortIndicatorShown(c == sorted);
      need << header->sectionSizeHint(c);
    }
    header->setSortIndicatorShown(arrow);
    int total = 0;
    for (int c = 0; c < list->columnCount(); ++c) {
      EXPECT_GE(header->sectionSize(c), need[c]) << list->headerItem()->text(c).toStdString() << " sorted by " << sorted;
      total += header->sectionSize(c);
    }
    EXPECT_LE(total, list->viewport()->width());
    cellsFit("sorted");
  }
  for (QAbstractButton* w : page().findChildren<QAbstractButton*>())
    EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
  for (QLabel* w : page().findChildren<QLabel*>())
    EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
}

// Tab follows the order of the page as it is read: the filter box before the list below it.
TEST_F(BackupPageTest, TabFollowsTheVisualOrder) {
  QStringList chain;
  QWidget* w = page().findChild<QWidget*>("btnBackupMode");
  while (w && chain.size() < 11) {
    if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    w = w->nextInFocusChain();
  }
  EXPECT_EQ(chain, (QStringList{"btnBackupMode", "btnScanForNewFolders", "CmdRsetList", "Text1", "cbxSelected",
                                "btnAddExt", "tvFolders", "LstExtensions", "cbxSmallImageFileFilter",
                                "cbxDefaultFolderFilter", "cbxImageSwitch"}));
}

// The status tick's calls never wait on a lock the service holds on Files.db: they give the
// busy error back at once (the tick calls again a second later) and leave the page as shown.
TEST_F(BackupPageTest, TheTicksCallsGiveBackABusyDatabaseWithoutWaiting) {
  addFolders({{"C:", true, false}});
  page().PopulateDriveNodes();
  store::DBConnection holder;
  holder.Open(filesDb());
  holder.Execute("BEGIN EXCLUSIVE");
  try {
    page().RefreshExtensionList();
    FAIL() << "no busy error";
  } catch (const store::DBError& e) {
    EXPECT_TRUE(e.isBusy());
  }
  EXPECT_THROW(page().PopulateDriveNodes(), store::DBError);
  EXPECT_EQ(waiter_.sleeps, 0);
  EXPECT_TRUE(ticked("C:\\"));
  EXPECT_TRUE(messages_.texts.isEmpty());
  holder.Execute("ROLLBACK");
  page().RefreshExtensionList();
  page().PopulateDriveNodes();
  EXPECT_TRUE(ticked("C:\\"));
}

// While the service holds Files.db, the page's own actions wait a bounded while with the window
// painting and then say so: switching the mode back and forth never lets the busy error escape
// the button, and an expansion stops at its first busy read instead of waiting out the retries
// once per sub-folder. Inside the status tick nothing waits: a lock taken during the fill makes
// it give the busy error back for the next tick.
TEST_F(BackupPageTest, ABusyFilesDbMakesActionsWaitPaintingAndTheTickNotAtAll) {
  standardTree();
  page().PopulateDriveNodes();
  auto* mode = page().findChild<QPushButton*>("btnBackupMode");
  ASSERT_NE(mode, nullptr);
  auto holder = std::make_unique<store::DBConnection>();
  holder->Open(filesDb());
  // The service lets go at the first wait.
  for (int click = 0; click < 2; ++click) {
    holder->Execute("BEGIN EXCLUSIVE");
    waiter_.onSleep = [&](int) {
      if (holder->InTransaction()) holder->Execute("ROLLBACK");
    };
    EXPECT_NO_THROW(mode->click());
    EXPECT_FALSE(holder->InTransaction());
  }
  waiter_.onSleep = nullptr;
  EXPECT_EQ(mode->text(), "Folder/File Backup");
  EXPECT_TRUE(tree()->isEnabled());
  EXPECT_TRUE(mode->isEnabled());
  EXPECT_TRUE(messages_.texts.isEmpty());
  EXPECT_EQ(waiter_.sleeps, waiter_.paintingSleeps);  // never a wait that freezes the window
  EXPECT_TRUE(ticked("C:\\Data"));

  ASSERT_EQ(childKeys("C:\\").size(), 5);
  holder->Execute("BEGIN EXCLUSIVE");
  waiter_.sleptMs = 0;
  messages_.texts.clear();
  tree()->expandItem(node("C:\\"));  // five children, each with folders to read
  EXPECT_LE(waiter_.sleptMs, store::RetryPolicy{}.budgetMs);
  ASSERT_EQ(messages_.texts.size(), 1);
  EXPECT_TRUE(messages_.texts[0].startsWith("The folders below C:\\ could not be read.")) << messages_.texts[0].toStdString();
  EXPECT_TRUE(tree()->isEnabled());
  holder->Execute("ROLLBACK");
  tree()->collapseItem(node("C:\\"));
  tree()->expandItem(node("C:\\"));
  EXPECT_EQ(childKeys("C:\\a"), QStringList{"C:\\a\\x"});

  // The tick: the service takes the lock while the fill lets events through.
  window_.policy = store::kNoWait;
  waiter_.sleeps = 0;
  QMetaObject::invokeMethod(
      &page(), [&] { holder->Execute("BEGIN EXCLUSIVE"); }, Qt::QueuedConnection);
  try {
    page().PopulateDriveNodes();
    FAIL() << "no busy error";
  } catch (const store::DBError& e) {
    EXPECT_TRUE(e.isBusy());
  }
  EXPECT_EQ(waiter_.sleeps, 0);
  EXPECT_EQ(messages_.texts.size(), 1);
  holder->Execute("ROLLBACK");
  page().PopulateDriveNodes();
  EXPECT_EQ(childKeys("C:\\").size(), 5);
  EXPECT_TRUE(tree()->isEnabled());
}

// A handler that rebuilds the tree while a rebuild lets events through (the mode button, the
// filter box) leaves one whole tree, not drives added under a root already thrown away.
TEST_F(BackupPageTest, ARebuildDuringARebuildLeavesOneTree) {
  addFolders({{"C:", true, false}, {"C:\\a", false, false}, {"D:\\Docs", true, false}});
  int nested = 0;
  QMetaObject::invokeMethod(
      &page(), [&] { ++nested; page().PopulateDriveNodes(); }, Qt::QueuedConnection);
  page().PopulateDriveNodes();
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(tree()->topLevelItemCount(), 1);
  EXPECT_EQ(childKeys("Drives"), (QStringList{"C:\\", "D:\\"}));
  EXPECT_EQ(node("C:\\")->parent(), node("Drives"));
  EXPECT_EQ(node("D:\\")->parent(), node("Drives"));
  EXPECT_TRUE(ticked("C:\\"));
  EXPECT_TRUE(ticked("D:\\Docs"));
  EXPECT_TRUE(tree()->isEnabled());
}

TEST_F(BackupPageTest, DefaultFolderFilterAppliesTheListAndSavesTheBox) {
  addFolders({{"C:", true, false}, {"C:\\Temp", true, false}, {"C:\\Data", true, false}});
  addExclude("temp");
  page().PopulateDriveNodes();
  EXPECT_TRUE(ticked("C:\\Temp"));
  auto* box = page().findChild<QCheckBox*>("cbxDefaultFolderFilter");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), "Apply Default Folder Filter");
  box->click();
  EXPECT_EQ(store::settingValue(statusDb(), "DefaultFolderFilter"), "1");
  EXPECT_FALSE(ticked("C:\\Temp"));
  EXPECT_TRUE(ticked("C:\\Data"));
  EXPECT_EQ(folderTable()["C:\\Temp"], qMakePair(false, false));

  // Unticking saves "0" and changes no row.
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("UPDATE Folder SET Bu = 1 WHERE Folders = 'C:\\Temp'");
  }
  box->click();
  EXPECT_EQ(store::settingValue(statusDb(), "DefaultFolderFilter"), "0");
  EXPECT_EQ(folderTable()["C:\\Temp"], qMakePair(true, false));
  EXPECT_TRUE(ticked("C:\\Temp"));
  EXPECT_TRUE(box->isEnabled());
}

TEST_F(BackupPageTest, FailuresEndWithTheTreeEnabledAndTheErrorShown) {
  addFolders({{"C:", true, false}, {"C:\\a", false, false}});
  page().PopulateDriveNodes();
  {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("DROP TABLE Folder");
  }
  // The tick cannot be stored: the tree says so and stays usable.
  click("C:\\a");
  EXPECT_TRUE(tree()->isEnabled());
  EXPECT_FALSE(ticked("C:\\a"));
  ASSERT_EQ(messages_.texts.size(), 1);
  EXPECT_TRUE(messages_.texts[0].contains("no such table: Folder")) << messages_.texts[0].toStdString();
  EXPECT_NE(store::settingValue(statusDb(), "UploadsWaiting"), "Yes");

  // Rebuilding gives up after a few waits instead of trying for ever.
  waiter_.sleeps = 0;
  waiter_.sleptMs = 0;
  page().PopulateDriveNodes();
  EXPECT_EQ(waiter_.sleptMs, 2000);
  EXPECT_TRUE(tree()->isEnabled());
  EXPECT_EQ(messages_.texts.size(), 2);
  EXPECT_NE(node("Drives"), nullptr);
}

}  // namespace
