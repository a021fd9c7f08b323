// The restore page and its dialogs, driven through their handlers.
#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QTreeView>
#include <QTreeWidget>

#include "fakeserver/FakeBackupServer.h"
#include "imaging/clipped_text.h"
#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeysTable.h"
#include "keys/ui/FrmAddComputer.h"
#include "keys/ui/FrmDownloadList.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/FrmFileChooser.h"
#include "restore/ui/FrmFolderChooser.h"
#include "restore/ui/FrmSourceFolderChooser.h"
#include "restore/ui/RestorePage.h"
#include "store/DatabaseTrouble.h"
#include "page_fixture.h"
#include "restore_fixture.h"

using namespace corvane;
using namespace corvane::restore;
using restore::ui::RestorePage;
using test::CatalogueRow;
using test::PageTest;

TEST_F(PageTest, SourcesCatalogueFiltersAndSorting) {
  test::addRows(app.filesDb(), {{"C:\\Mine", "own.", "txt", 1000}});
  test::makeCatalogue(app.file("PC2Files.db"), {{"C:\\W", "a.", "doc", 1000, "2012-01-01 00:00:00"},
                                                {"C:\\W", "b.", "docx", 3000, "2011-01-01 00:00:00"},
                                                {"C:\\W", "prc.", "Doc", 2000, "2010-01-01 00:00:00"},
                                                {"C:\\W", "c.", "odoc", 10, "2009-01-01 00:00:00"}});
  page->InitRestorePage();
  ASSERT_EQ(sources()->count(), 2);
  EXPECT_EQ(sources()->currentText(), "PC1");
  EXPECT_EQ(names(), QStringList{"own.txt"});  // this computer: Files.db

  sources()->setCurrentIndex(sources()->findText("PC2"));
  page->cbxSources_Click();
  EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), QString::number(pc2));
  EXPECT_EQ(names(), (QStringList{"a.doc", "b.docx", "prc.Doc", "c.odoc"}));
  EXPECT_EQ(page->findChild<QLabel*>("lblStats")->text(), "4 Files, 5.9 KBytes");

  auto* ext = page->findChild<QLineEdit*>("tbxExtension");
  auto* name = page->findChild<QLineEdit*>("tbxFileName");
  ext->setText("DOC");
  EXPECT_EQ(names(), (QStringList{"a.doc", "b.docx", "prc.Doc"}));
  name->setText("PR");  // the file-name box alone decides now
  EXPECT_EQ(names(), QStringList{"prc.Doc"});
  name->clear();
  EXPECT_EQ(rows().size(), 4);

  ext->setText("doc");
  page->btnCheckAll_Click();
  ext->clear();
  EXPECT_EQ(page->fileList().checkedRecords().size(), 0);  // a refill loses the ticks
  ext->setText("docx");
  page->btnCheckAll_Click();
  ext->clear();
  ext->setText("do");
  EXPECT_EQ(page->fileList().checkedRecords().size(), 0);

  auto& fl = page->fileList();
  fl.ColumnClick(4);  // Size, as text
  EXPECT_EQ(names(), (QStringList{"a.doc", "prc.Doc", "b.docx"}));
  fl.ColumnClick(4);
  EXPECT_EQ(names(), (QStringList{"b.docx", "prc.Doc", "a.doc"}));
  fl.ColumnClick(2);
  EXPECT_FALSE(fl.descending());
  EXPECT_EQ(names().first(), "a.doc");

  // A "DIdentity" that names no entry selects nothing and shows no catalogue.
  test::setSetting(app.statusDb(), "DIdentity", "x");
  page->DFolderView("PC9");
  page->InitRestorePage();
  EXPECT_EQ(sources()->currentIndex(), -1);
  EXPECT_TRUE(rows().isEmpty());
}

// The status tick re-reads the page without waiting: a Status.db the service holds throws the
// busy error before anything changes, and the next tick does it all.
TEST_F(PageTest, TheTicksReinitialisationNeverWaitsOnABusyStatusDb) {
  test::addRows(app.filesDb(), {{"C:\\Mine", "own.", "txt", 1000}});
  page->InitRestorePage();
  ASSERT_EQ(sources()->count(), 2);
  ASSERT_EQ(names(), QStringList{"own.txt"});
  {
    store::DBConnection service;
    service.Open(app.statusDb());
    service.Execute("BEGIN EXCLUSIVE");
    win.policy = store::kNoWait;
    const int sleeps = waiter.sleeps;
    try {
      page->InitRestorePage();
      ADD_FAILURE() << "no busy error";
    } catch (const store::DBError& e) {
      EXPECT_TRUE(e.isBusy());
    }
    EXPECT_THROW(page->DFolderView("PC1"), store::DBError);  // the view stays for the next tick
    EXPECT_EQ(waiter.sleeps, sleeps);
    EXPECT_EQ(sources()->count(), 2);
    EXPECT_EQ(names(), QStringList{"own.txt"});
  }
  page->InitRestorePage();
  EXPECT_EQ(sources()->currentText(), "PC1");
  EXPECT_EQ(names(), QStringList{"own.txt"});
}

// A catalogue the service keeps locked past the bounded wait is not a catalogue without files:
// the list says it could not be read, and choosing the computer again reads it.
TEST_F(PageTest, ABusyCatalogueSaysSoInsteadOfShowingNoFiles) {
  test::addRows(app.filesDb(), {{"C:\\Mine", "own.", "txt", 1000}});
  auto* stats = page->findChild<QLabel*>("lblStats");
  {
    store::DBConnection service;
    service.Open(app.filesDb());
    service.Execute("BEGIN EXCLUSIVE");
    page->InitRestorePage();
    EXPECT_EQ(page->fileList().rowCount(), 0);
    EXPECT_EQ(page->fileList().notice(), ui::busyCatalogueText());
    EXPECT_EQ(stats->text(), "");
    page->findChild<QLineEdit*>("tbxExtension")->setText("t");  // a filter of nothing says so too
    EXPECT_EQ(page->fileList().notice(), ui::busyCatalogueText());
  }
  page->cbxSources_Click();
  EXPECT_EQ(names(), QStringList{"own.txt"});
  EXPECT_EQ(stats->text(), "1 Files, 1.0 KBytes");
  EXPECT_EQ(page->fileList().notice(), "");

  // Nor is a catalogue that cannot be named because Status.db stays busy.
  {
    store::DBConnection service;
    service.Open(app.statusDb());
    service.Execute("BEGIN EXCLUSIVE");
    win.policy = store::RetryPolicy{1, 2, 0};
    page->DFolderView("PC1");
    EXPECT_EQ(page->fileList().rowCount(), 0);
    EXPECT_EQ(page->fileList().notice(), ui::busyCatalogueText());
  }
}

// Start Download while the service holds Files.db past the bounded wait: the message names the
// file and says nothing was done (SQLite's "database is locked" alone says neither), and no
// destination is asked for.
TEST_F(PageTest, StartDownloadOnABusyFilesDbSaysWhichFileAndThatNothingWasDone) {
  test::addRows(app.filesDb(), {{"C:\\Mine", "own.", "txt", 1000}});
  page->InitRestorePage();
  page->btnCheckAll_Click();
  store::DBConnection service;
  service.Open(app.filesDb());
  service.Execute("BEGIN EXCLUSIVE");
  page->btnStartDownloads_Click();
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_EQ(messages.texts[0], store::busyDatabaseText(app.filesDb(), "the restore queue was not emptied"));
  EXPECT_TRUE(!page->destinationFolderChooser() || page->destinationFolderChooser()->isHidden());
}

// Sorting goes by the column's text as QString orders it (code unit by code unit, case counted),
// rows of equal text keeping their order in either direction: texts shared by many rows, equal
// texts stored apart, long common beginnings, a text that begins another, and characters beyond
// the first plane.
TEST(FileListSort, OrdersAsAPlainStableSortOfTheTexts) {
  QRandomGenerator rng(7);
  const QStringList pieces{"a", "B", "b", "C:\\Users\\Ann\\Documents\\Project", "2012-01-01 10-00-", "1",
                           "10", "\u00e9", QString::fromUtf8("\xf0\x9f\x98\x80"), "\uff5e", ""};
  const QString shared = "C:\\Shared\\Folder";
  UploadedFileRecords records;
  for (int i = 0; i < 3000; ++i) {
    UploadedFileRecord r;
    r.Index = i;
    for (QString* f : {&r.FileName, &r.Extension, &r.FileSize, &r.DateCreated, &r.DateLastModified, &r.DateUploaded})
      for (int k = int(rng.bounded(4)); k >= 0; --k) *f += pieces[int(rng.bounded(int(pieces.size())))];
    // Most rows share one folder text; some hold an equal text of their own, some another one.
    const int kind = int(rng.bounded(10));
    r.Folder = kind < 8 ? shared : kind < 9 ? QString(shared.data(), shared.size()) : r.FileName;
    records.push_back(r);
  }
  records.push_back(UploadedFileRecord());  // the spare entry
  QWidget parent;
  ui::FileList list(&parent, ui::FileList::DateOrder::CreatedFirst);
  list.show(records);
  const auto listed = [&] {
    std::vector<qint32> order;
    for (int row = 0; row < list.rowCount(); ++row) order.push_back(qint32(list.model().record(row).Index));
    return order;
  };
  for (int column = 1; column < 8; ++column) {
    for (bool descending : {false, true}) {
      std::vector<qint32> wanted = listed();  // rows of equal text keep the order they had
      const auto field = [&](qint32 i) -> const QString& {
        const UploadedFileRecord& r = records[i];
        const QString* f[] = {nullptr, &r.Folder, &r.FileName, &r.Extension, &r.FileSize, &r.DateCreated,
                              &r.DateLastModified, &r.DateUploaded};
        return *f[column];
      };
      std::stable_sort(wanted.begin(), wanted.end(), [&](qint32 a, qint32 b) {
        return descending ? field(b) < field(a) : field(a) < field(b);
      });
      list.ColumnClick(column);
      ASSERT_EQ(list.descending(), descending);
      ASSERT_TRUE(listed() == wanted) << "column " << column << (descending ? " descending" : " ascending");
      // A refill of the sorted list (a filter key) sorts what it shows, from the records' order.
      const auto kept = [&](const UploadedFileRecord& r) { return r.FileName.startsWith('a'); };
      list.show(records, kept);
      wanted.clear();
      for (qint32 i = 0; i + 1 < records.size(); ++i)
        if (kept(records[i])) wanted.push_back(i);
      std::stable_sort(wanted.begin(), wanted.end(), [&](qint32 a, qint32 b) {
        return descending ? field(b) < field(a) : field(a) < field(b);
      });
      ASSERT_TRUE(listed() == wanted) << "refill, column " << column;
      list.show(records);
    }
  }
}

// The first sort by a column waits for its order with the window painting; a status tick that
// shows another catalogue meanwhile wins: the list shows that catalogue's rows in the order the
// click asked for, and the statistics line says what the list shows.
TEST_F(PageTest, ARefillThatComesInWhileTheListWaitsForItsOrderTakesOver) {
  test::addRows(app.filesDb(), {{"C:\\Mine", "b.", "txt", 1000, "2010-01-01 00:00:00"},
                                {"C:\\Mine", "a.", "txt", 2000, "2012-01-01 00:00:00"},
                                {"C:\\Mine", "c.", "txt", 3000, "2011-01-01 00:00:00"}});
  test::makeCatalogue(app.file("PC2Files.db"), {{"C:\\W", "z.", "doc", 1024, "2012-01-01 00:00:00"},
                                                {"C:\\W", "y.", "doc", 1024, "2011-01-01 00:00:00"}});
  page->InitRestorePage();
  auto* stats = page->findChild<QLabel*>("lblStats");
  const auto showOnce = [&](const char* computer) {
    waiter.onPaint = [this, computer, shown = false]() mutable {
      if (std::exchange(shown, true)) return;
      sources()->setCurrentIndex(sources()->findText(computer));
      page->cbxSources_Click();
    };
  };
  showOnce("PC2");
  page->fileList().ColumnClick(2);
  EXPECT_EQ(names(), (QStringList{"y.doc", "z.doc"}));
  EXPECT_EQ(stats->text(), "2 Files, 2.0 KBytes");

  // This computer's list, sorted by name, waits for its order; the tick shows PC2 again.
  showOnce("PC2");
  sources()->setCurrentIndex(sources()->findText("PC1"));
  page->cbxSources_Click();
  waiter.onPaint = nullptr;
  EXPECT_EQ(names(), (QStringList{"y.doc", "z.doc"}));
  EXPECT_EQ(stats->text(), "2 Files, 2.0 KBytes");
  sources()->setCurrentIndex(sources()->findText("PC1"));
  page->cbxSources_Click();
  EXPECT_EQ(names(), (QStringList{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(stats->text(), "3 Files, 5.9 KBytes");
}

// A folder name the tree cuts ("VeryLongFolderNam...") is read whole in the tip of its node;
// a name shown whole gets no tip.
TEST_F(PageTest, AFolderNameTheTreeCutsIsShownWholeInItsTip) {
  const QString longName = QString("Quarterly reports and statements ").repeated(6) + "2009";
  test::addRows(app.filesDb(), {{"C:\\" + longName, "x.", "txt", 1}, {"C:\\short", "y.", "txt", 2}});
  page->resize(1000, 700);
  page->InitRestorePage();
  page->btnMode_Click();
  auto* tv = page->findChild<QTreeWidget*>("tvDLFolders");
  tv->expandAll();
  const auto tipAt = [&](const QString& key) {
    const QPoint at = tv->visualItemRect(page->tree().nodeByKey(key)).center();
    QHelpEvent e(QEvent::ToolTip, at, tv->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tv->viewport(), &e);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  EXPECT_EQ(tipAt("C:\\short"), "");
  EXPECT_EQ(tipAt("C:\\" + longName), longName);
}

// A list made wider than its columns gives the room to the folder column, so that folder paths
// it had to cut show whole; at its load width the columns keep their fitted widths.
TEST_F(PageTest, AWiderListShowsFolderPathsWhole) {
  const QString path = "C:\\Users\\Ann\\Documents\\Projects\\Quarterly\\Reports";
  test::addRows(app.filesDb(), {{path, "x.", "txt", 1}});
  page->InitRestorePage();
  QTreeView* list = page->fileList().widget();
  const int fitted = list->columnWidth(1);
  list->resize(1500, 400);
  QCoreApplication::processEvents();
  EXPECT_GE(list->columnWidth(1), list->sizeHintForIndex(list->model()->index(0, 1)).width());
  list->resize(907, 400);
  QCoreApplication::processEvents();
  EXPECT_EQ(list->columnWidth(1), fitted);
}

TEST_F(PageTest, FolderTreeQueuesTickedFoldersOnly) {
  test::addRows(app.filesDb(), {{"C:\\a", "x.", "txt", 1}, {"C:\\a\\b", "y.", "txt", 2}, {"C:\\c\\d", "z.", "txt", 3},
                                {"C:\\a", "old.", "txt", 4, "2009-01-01 00:00:00", false}});
  page->InitRestorePage();
  page->btnMode_Click();
  EXPECT_FALSE(page->fileView());
  // Check All and Uncheck All tick the hidden list's rows: the tree has them out of sight.
  EXPECT_FALSE(page->findChild<QPushButton*>("btnCheckAll")->isVisible());
  EXPECT_FALSE(page->findChild<QPushButton*>("btnUncheckAll")->isVisible());
  auto& tree = page->tree();
  for (const char* key : {"Drives", "C:", "C:\\a", "C:\\a\\b", "C:\\c", "C:\\c\\d"}) EXPECT_TRUE(tree.nodeByKey(key)) << key;
  int nodes = 0;
  for (QTreeWidgetItemIterator it(page->findChild<QTreeWidget*>("tvDLFolders")); *it; ++it) ++nodes;
  EXPECT_EQ(nodes, 6);
  // One icon object for every folder node, another for the drives.
  const qint64 folderIcon = tree.nodeByKey("C:\\a")->icon(0).cacheKey();
  for (const char* key : {"C:\\a\\b", "C:\\c", "C:\\c\\d"}) EXPECT_EQ(tree.nodeByKey(key)->icon(0).cacheKey(), folderIcon);
  EXPECT_NE(tree.nodeByKey("C:")->icon(0).cacheKey(), folderIcon);

  tree.nodeByKey("C:\\a\\b")->setCheckState(0, Qt::Checked);
  tree.nodeByKey("C:\\c")->setCheckState(0, Qt::Checked);  // its files lie in a sub-folder
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  ASSERT_TRUE(dest && dest->isVisible());
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  child<QCheckBox>(dest, "cbxPreserveFolders")->setChecked(true);
  dest->btnOK_Click();
  EXPECT_EQ(messages.titles.last(), "Restore Files and Directories");
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Restore to D:\\R Preserve Folders");
  EXPECT_EQ(queued(), QStringList{"C:\\a\\b|y.txt|2"});
  EXPECT_FALSE(dest->isVisible());

  page->btnClearDownloads_Click();
  EXPECT_TRUE(queued().isEmpty());
  EXPECT_EQ(store::settingValue(app.statusDb(), "DownloadAbort"), "1");

  page->btnMode_Click();
  EXPECT_TRUE(page->fileView());
  EXPECT_TRUE(page->findChild<QPushButton*>("btnCheckAll")->isVisible());
}

// Ticking a folder restores the files lying directly in it. A choice that would queue nothing
// says so, and which folders, instead of being confirmed as a restore; the service is sent no
// command for it. Restore All with nothing ticked anywhere still sends its command alone.
TEST_F(PageTest, ARestoreThatWouldQueueNothingSaysWhyAndWritesNothing) {
  test::addRows(app.filesDb(), {{"C:\\c\\d", "z.", "txt", 3}, {"C:\\e\\f", "y.", "txt", 2}});
  page->InitRestorePage();
  page->btnMode_Click();
  page->tree().nodeByKey("C:\\c")->setCheckState(0, Qt::Checked);
  page->tree().nodeByKey("C:\\e")->setCheckState(0, Qt::Checked);
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  dest->btnOK_Click();
  EXPECT_EQ(messages.titles.last(), "Nothing to restore");
  EXPECT_EQ(messages.texts.last(),
            "Nothing was queued for restore: the ticked folders hold no files of their own.\n\n    C:\\c\n    C:\\e\n\n"
            "A ticked folder restores only the files lying directly in it. Tick the sub-folders that hold the "
            "files, then restore again.");
  EXPECT_EQ(messages.texts.size(), 1);  // no "Files will be restored to ..." question
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");
  EXPECT_TRUE(queued().isEmpty());
  EXPECT_FALSE(dest->isVisible());

  page->btnMode_Click();  // the file view, nothing ticked
  page->btnStartDownloads_Click();
  dest->btnOK_Click();
  EXPECT_EQ(messages.texts.last(), "Nothing was queued for restore: no file or folder is ticked.");
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");

  page->btnRestoreAll_Click();
  auto* folder = page->folderChooser();
  child<QLineEdit>(folder, "tbxDirectory")->setText("D:\\R");
  folder->btnOK_Click();
  EXPECT_EQ(messages.titles.last(), "Restore Files Only");
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Restore to D:\\R");
  EXPECT_TRUE(queued().isEmpty());
}

// A path added by hand is queued at once; Restore All does not empty the queue, and its OK
// leaves the path queued once.
TEST_F(PageTest, AnAddedPathIsQueuedOnceAlsoThroughRestoreAll) {
  test::addRows(app.filesDb(), {{"C:\\Data", "d.", "txt", 1}});
  page->InitRestorePage();
  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  files->Form_Activate();
  child<QLineEdit>(files, "tbxAddFile")->setText("C:\\Docs\\a.txt");
  files->btnAddFile_Click();
  files->fileList().setRowChecked(0, true);
  page->btnRestoreAll_Click();  // the status tick gave the button back meanwhile
  auto* folder = page->folderChooser();
  child<QLineEdit>(folder, "tbxDirectory")->setText("D:\\R");
  folder->btnOK_Click();
  EXPECT_EQ(queued(), (QStringList{"C:\\Docs\\|a.txt|-1", "C:\\Data|d.txt|1"}));
}

// The service restores the queue in its order: ticked folders go in the order their nodes were
// added to the tree, not in the tree's depth-first order. Their files are read with the window
// painting (a folder can hold 20,000 of them), before the question.
TEST_F(PageTest, FolderViewQueuesTickedFoldersInTheOrderTheirNodesWereAdded) {
  // The tree gets C:\a, C:\a b, then C:\a\z (under C:\a, above C:\a b).
  test::addRows(app.filesDb(), {{"C:\\a", "x.", "txt", 1}, {"C:\\a b", "y.", "txt", 2}, {"C:\\a\\z", "z.", "txt", 3}});
  page->InitRestorePage();
  page->btnMode_Click();
  page->tree().nodeByKey("C:\\a\\z")->setCheckState(0, Qt::Checked);
  page->tree().nodeByKey("C:\\a b")->setCheckState(0, Qt::Checked);
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  int paintedBeforeTheQuestion = 0;
  waiter.onPaint = [&] { paintedBeforeTheQuestion += messages.texts.isEmpty(); };
  dest->btnOK_Click();
  waiter.onPaint = nullptr;
  EXPECT_GT(paintedBeforeTheQuestion, 0);
  EXPECT_EQ(queued(), (QStringList{"C:\\a b|y.txt|2", "C:\\a\\z|z.txt|3"}));
}

// Each folder level is one node under the level above it, added where the level is first met:
// a folder read before its parent, names that begin alike, a stored folder ending in a backslash
// (an empty level) or holding two in a row (read as one), and a drive letter in both cases.
TEST_F(PageTest, FolderTreeNodesFollowTheLevelsOfEveryPathInTheOrderFirstMet) {
  test::addRows(app.filesDb(), {{"C:\\x\\y\\z", "1.", "txt", 1}, {"C:\\x", "2.", "txt", 1}, {"C:\\a b", "3.", "txt", 1},
                                {"C:\\a\\c", "4.", "txt", 1}, {"C:\\t\\", "5.", "txt", 1}, {"C:\\p\\\\q", "6.", "txt", 1},
                                {"c:\\low", "7.", "txt", 1}, {"C:\\x\\y", "8.", "txt", 1}});
  page->InitRestorePage();
  page->btnMode_Click();
  QStringList texts;
  for (QTreeWidgetItemIterator it(page->findChild<QTreeWidget*>("tvDLFolders")); *it; ++it) {
    if ((*it)->parent()) (*it)->setCheckState(0, Qt::Checked);
    texts << (*it)->text(0);
  }
  EXPECT_EQ(page->tree().GetAllCheckedNodes(),
            (QStringList{"C:", "C:\\x", "C:\\x\\y", "C:\\x\\y\\z", "C:\\a b", "C:\\a", "C:\\a\\c", "C:\\t", "C:\\t\\", "C:\\p",
                         "C:\\p\\q", "c:", "c:\\low"}));
  EXPECT_EQ(texts, (QStringList{"Drives", "C:", "x", "y", "z", "a b", "a", "c", "t", "", "p", "q", "c:", "low"}));
}

// A folder view left for the list, or a window closed, while its tree is being built leaves no
// nodes behind (nothing can be ticked in a tree half built); the next folder view builds it.
TEST_F(PageTest, AFolderViewLeftOrClosedWhileItsTreeIsBuiltEndsTheBuild) {
  test::addRows(app.filesDb(), {{"C:\\a", "x.", "txt", 1}, {"C:\\a\\b", "y.", "txt", 2}});
  page->InitRestorePage();
  auto* tv = page->findChild<QTreeWidget*>("tvDLFolders");
  bool left = false;
  waiter.onEvents = [&] {
    if (!std::exchange(left, true)) page->btnMode_Click();  // "File View" while the tree is built
  };
  page->btnMode_Click();
  waiter.onEvents = nullptr;
  EXPECT_TRUE(left);
  EXPECT_TRUE(page->fileView());
  EXPECT_FALSE(page->tree().building());
  EXPECT_EQ(tv->topLevelItemCount(), 0);
  EXPECT_FALSE(page->tree().nodeByKey("C:\\a"));

  page->btnMode_Click();
  EXPECT_FALSE(page->fileView());
  ASSERT_TRUE(page->tree().nodeByKey("C:\\a\\b"));

  page->btnMode_Click();
  waiter.onEvents = [&] { page->hide(); };  // the page is its own window here
  page->btnMode_Click();
  waiter.onEvents = nullptr;
  EXPECT_FALSE(page->tree().building());
  EXPECT_EQ(tv->topLevelItemCount(), 0);
  EXPECT_FALSE(page->tree().nodeByKey("C:\\a"));
}

// A key request fetches the new computer's catalogue: the source box names that computer, not
// the one it showed before, and never a computer whose files the list does not show.
TEST_F(PageTest, AKeyRequestShowsTheNewComputerInTheSourceBox) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  server.addAccount({"ann", "pw", "PC3", "M-3", kFileKey, "kk3"});
  QTemporaryDir dir;
  QFile db(test::makeCatalogue(dir.filePath("c.db"), {{"C:\\Far", "far.", "txt", 7}}));
  db.open(QIODevice::ReadOnly);
  server.setCatalogueFile("M-3", "FilesE.db",
                          test::zipOf({{"FilesE.db", fakeserver::FakeBackupServer::encryptWithKey(db.readAll(), kFileKey)}}));
  test::addRows(app.filesDb(), {{"C:\\Mine", "own.", "txt", 1}});
  page->InitRestorePage();
  ASSERT_EQ(sources()->currentText(), "PC1");

  page->btnAddSource_Click();
  auto* add = page->addComputer();
  child<QLineEdit>(add, "tbxKRComputerName")->setText("pc3");
  child<QLineEdit>(add, "tbxKRUserName")->setText("ann");
  child<QLineEdit>(add, "tbxKRPassword")->setText("pw");
  child<QPushButton>(add, "btnKeyReqRequest")->click();
  EXPECT_EQ(sources()->currentText(), "PC3");
  EXPECT_EQ(QString::number(sources()->currentData().toLongLong()), store::settingValue(app.statusDb(), "DIdentity"));
  EXPECT_EQ(names(), QStringList{"far.txt"});

  // Removed from the sources, it leaves the box empty rather than naming another computer.
  ASSERT_TRUE(page->RemoveSourceEntry(sources()->currentData().toLongLong()));
  EXPECT_EQ(sources()->currentText(), "");
}

TEST_F(PageTest, VerifyAndDeleteActOnThisComputersFilesOnly) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  QTemporaryDir drive;
  test::ScopedPathMap map(platform::PathMap::parse("C:=" + drive.path()));
  QDir().mkpath(drive.filePath("a"));
  QFile f(drive.filePath("a/x.txt"));
  f.open(QIODevice::WriteOnly);
  f.write("12345");
  f.close();
  test::addRows(app.filesDb(), {{"C:\\a", "x.", "txt", 99, "2012-01-01 00:00:00"},
                                {"C:\\a", "gone.", "txt", 1, "2011-01-01 00:00:00"},
                                {"C:\\a", "after.", "txt", 1, "2010-01-01 00:00:00"}});
  {
    store::DBConnection c;
    c.Open(app.filesDb());
    c.Execute("Insert Into Hash (FileId, BlockNo, Hash) Select FileID, 1, 'h' From File");
  }
  const auto uploaded = [&] { return test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"); };
  page->InitRestorePage();
  page->btnCheckAll_Click();

  // Another computer is shown: nothing happens.
  test::setSetting(app.statusDb(), "DIdentity", QString::number(pc2));
  page->btnVerifyDownloads_Click();
  page->btnDeleteFiles_Click();
  EXPECT_EQ(uploaded(), 3);
  EXPECT_EQ(server.count("ReceiveMessage"), 0);

  // Verify stops at the file that is no longer here.
  test::setSetting(app.statusDb(), "DIdentity", QString::number(pc1));
  page->btnVerifyDownloads_Click();
  EXPECT_EQ(uploaded(), 2);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From Hash"), 2);
  EXPECT_EQ(store::settingValue(app.statusDb(), "DownloadAbort"), "1");
  // ... and says so: the caption's count read as every ticked file done.
  ASSERT_FALSE(messages.texts.isEmpty());
  EXPECT_TRUE(messages.texts.last().startsWith("Corvane stopped at C:\\a\\gone.txt: the file is not on this computer.") &&
              messages.texts.last().contains("1 of 3 ticked files were marked for verify"))
      << qPrintable(messages.texts.last());

  // Delete writes the row anew with the size found here; the file that is gone ends it before
  // the server is asked.
  page->btnDeleteFiles_Click();
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE FileName = 'x.' AND Uploaded = 0 AND Filesize = 5"), 1);
  EXPECT_EQ(server.count("ReceiveMessage"), 0);
  EXPECT_TRUE(messages.texts.last().endsWith("The server was not asked to delete any of them."))
      << qPrintable(messages.texts.last());
  // A folder where the file was is no file here either, and is said the same way.
  ASSERT_TRUE(QDir().mkpath(drive.filePath("a/gone.txt")));
  const qsizetype told = messages.texts.size();
  page->btnDeleteFiles_Click();
  ASSERT_EQ(messages.texts.size(), told + 1);
  EXPECT_TRUE(messages.texts.last().startsWith("Corvane stopped at C:\\a\\gone.txt: the file is not on this computer."))
      << qPrintable(messages.texts.last());
  EXPECT_EQ(server.count("ReceiveMessage"), 0);

  // Without the missing file the request goes once, under the session the window has: none
  // is made for it.
  auto& fl = page->fileList();
  for (int i = 0; i < fl.rowCount(); ++i)
    if (fl.model().text(i, 2) != "x.") fl.setRowChecked(i, false);
  page->btnDeleteFiles_Click();
  EXPECT_EQ(server.count("SwopPublicKey"), 0);
  EXPECT_EQ(server.count("ReceiveMessage"), 0);
  ASSERT_EQ(keys::BeginEncryptionSession(page->session()), "OK");
  page->btnDeleteFiles_Click();
  EXPECT_EQ(server.count("ReceiveMessage"), 1);
}

// Verify, Delete and Start Download while the service keeps Files.db past the bounded wait: the
// user is told in plain words instead of the action ending as if done (or in SQLite's), and
// nothing is marked; the marking (Delete's, which is Verify's too), in the folder view the
// reading of the ticked folder's files, and the emptying of the queue.
TEST_F(PageTest, RestoreActionsOnAFilesDbTheServiceKeepsSaySo) {
  QTemporaryDir drive;
  test::ScopedPathMap map(platform::PathMap::parse("C:=" + drive.path()));
  QDir().mkpath(drive.filePath("a"));
  QFile f(drive.filePath("a/x.txt"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  test::addRows(app.filesDb(), {{"C:\\a", "x.", "txt", 1}});
  page->InitRestorePage();
  page->btnCheckAll_Click();
  store::DBConnection service;
  service.Open(app.filesDb());
  service.Execute("BEGIN EXCLUSIVE");
  const qsizetype before = messages.texts.size();
  page->btnDeleteFiles_Click();
  ASSERT_EQ(messages.texts.size(), before + 1);
  EXPECT_EQ(messages.texts.back(), store::busyDatabaseText(app.filesDb(), "0 of 1 files were marked"));
  service.Rollback();
  page->btnMode_Click();
  page->tree().nodeByKey("C:\\a")->setCheckState(0, Qt::Checked);
  service.Execute("BEGIN EXCLUSIVE");
  page->btnVerifyDownloads_Click();
  service.Rollback();
  ASSERT_EQ(messages.texts.size(), before + 2);
  EXPECT_EQ(messages.texts.back(), store::busyDatabaseText(app.filesDb(), "nothing was changed"));
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 1);
  EXPECT_TRUE(store::settingValue(app.statusDb(), "DownloadAbort").isEmpty());

  // Start Download empties the queue first, and says so when it cannot.
  service.Execute("BEGIN EXCLUSIVE");
  page->btnStartDownloads_Click();
  service.Rollback();
  ASSERT_EQ(messages.texts.size(), before + 3);
  EXPECT_EQ(messages.texts.back(), store::busyDatabaseText(app.filesDb(), "the restore queue was not emptied"));
}

// A verify of thousands of ticked files (more than one transaction holds) marks every one, with
// the window painting and the caption telling how far it has come.
TEST_F(PageTest, AVerifyOfThousandsOfFilesMarksThemAllWithProgress) {
  QTemporaryDir drive;
  test::ScopedPathMap map(platform::PathMap::parse("C:=" + drive.path()));
  QDir().mkpath(drive.filePath("Bulk"));
  constexpr int kFiles = 4500;
  for (int i = 0; i < kFiles; ++i) {
    QFile f(drive.filePath(QString("Bulk/f%1.txt").arg(i)));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  test::addBulkRows(app.filesDb(), kFiles);
  page->InitRestorePage();
  page->btnCheckAll_Click();
  const int paints = waiter.paints;
  page->btnVerifyDownloads_Click();
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 0);
  EXPECT_GT(waiter.paints, paints);
  EXPECT_TRUE(win.captions.contains(QString("Corvane Marking files for verify - %1 files...").arg(kFiles)))
      << win.captions.join("\n").toStdString();
  EXPECT_EQ(store::settingValue(app.statusDb(), "DownloadAbort"), "1");
}

TEST_F(PageTest, SyncOfThisComputerWritesBackOnlyAFetchedCatalogue) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  server.addAccount({"ann", "pw", "PC1", "M-1", kFileKey, "kk1"});
  test::addRows(app.filesDb(), {{"C:\\Local", "kept.", "txt", 5}});
  page->InitRestorePage();

  page->btnSync_Click();  // the server holds no catalogue
  EXPECT_EQ(messages.texts.last(), "Directory Download Failed...");
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 1);

  QTemporaryDir dir;
  QFile db(test::makeCatalogue(dir.filePath("c.db"), {{"C:\\Srv", "s.", "txt", 7}}));
  db.open(QIODevice::ReadOnly);
  server.setCatalogueFile("M-1", "FilesE.db",
                          test::zipOf({{"FilesE.db", fakeserver::FakeBackupServer::encryptWithKey(db.readAll(), kFileKey)}}));
  page->btnSync_Click();
  EXPECT_EQ(names(), QStringList{"s.txt"});
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 0 AND Folder = 'C:\\Local'"), 1);
  EXPECT_TRUE(win.captions.contains("Corvane - Restoring Directory - 0 files..."));
}

// A filter box that still holds text after the list is refilled from a new catalogue (Sync, the
// file chooser shown again) goes on filtering it, with figures for the rows listed.
TEST_F(PageTest, ARefilledListKeepsToTheFilterBoxThatChangedLast) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  server.addAccount({"ann", "pw", "PC1", "M-1", kFileKey, "kk1"});
  test::addRows(app.filesDb(), {{"C:\\Local", "report.", "txt", 5}, {"C:\\Local", "notes.", "doc", 5}});
  QTemporaryDir dir;
  const QByteArray db = test::readFile(test::makeCatalogue(
      dir.filePath("c.db"),
      {{"C:\\Srv", "report.", "txt", 2048}, {"C:\\Srv", "rep2.", "doc", 1024}, {"C:\\Srv", "other.", "txt", 7}}));
  server.setCatalogueFile("M-1", "FilesE.db",
                          test::zipOf({{"FilesE.db", fakeserver::FakeBackupServer::encryptWithKey(db, kFileKey)}}));
  page->InitRestorePage();
  page->findChild<QLineEdit*>("tbxExtension")->setText("doc");
  page->findChild<QLineEdit*>("tbxFileName")->setText("rep");
  ASSERT_EQ(names(), QStringList{"report.txt"});

  const auto sorted = [](QStringList l) {
    l.sort();
    return l;
  };
  page->btnSync_Click();
  EXPECT_EQ(sorted(names()), (QStringList{"rep2.doc", "report.txt"}));
  EXPECT_EQ(page->findChild<QLabel*>("lblStats")->text(), "2 Files, 3.0 KBytes");

  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  child<QLineEdit>(files, "tbxExtension")->setText("tx");
  files->btnExit_Click();
  files->Form_Activate();
  QStringList chosen;
  for (const auto& r : files->fileList().rows()) chosen << r.FileName + r.Extension;
  EXPECT_EQ(sorted(chosen), (QStringList{"other.txt", "report.txt"}));
}

namespace {

// The server's account of a computer (user "ann") holding a catalogue of these rows under fileKey.
void serveCatalogue(fakeserver::FakeBackupServer& server, const QString& name, const QString& machineId,
                    const QString& fileKey, const QList<test::CatalogueRow>& rows) {
  server.addAccount({"ann", "pw", name, machineId, fileKey, "kk1"});
  QTemporaryDir dir;
  const QByteArray db = test::readFile(test::makeCatalogue(dir.filePath("c.db"), rows));
  server.setCatalogueFile(machineId, "FilesE.db",
                          test::zipOf({{"FilesE.db", fakeserver::FakeBackupServer::encryptWithKey(db, fileKey)}}));
}

}  // namespace

// The message about a damaged catalogue copy says none of its files are shown: the list behind
// it no longer shows the files of the computer chosen before.
TEST_F(PageTest, TheListIsEmptiedBeforeADamagedCatalogueIsTold) {
  test::addRows(app.filesDb(), {{"C:\\Mine", "own.", "txt", 1000}});
  test::writeFile(app.file("PC2Files.db"), QByteArray(8192, 'x'));
  page->InitRestorePage();
  ASSERT_EQ(names(), QStringList{"own.txt"});
  int rowsWhenTold = -1;
  messages.onShow = [&] { rowsWhenTold = page->fileList().rowCount(); };
  sources()->setCurrentIndex(sources()->findText("PC2"));
  page->cbxSources_Click();
  ASSERT_EQ(messages.texts.size(), 1) << messages.texts.join("\n").toStdString();
  EXPECT_EQ(rowsWhenTold, 0);
}

// The catalogue copy of the computer chosen for restore with a zeroed page is shown as damaged,
// not as a computer without files, and told once; Sync fetches it again and shows its files.
TEST_F(PageTest, ADamagedCatalogueCopyIsShownAsDamagedAndSyncFetchesItAgain) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  serveCatalogue(server, "PC2", "M-2", kFileKey, {{"C:\\Srv", "s.", "txt", 7}});
  const QString copy = app.file("PC2Files.db");
  test::makeCatalogue(copy, {});
  test::addBulkRows(copy, 3000);
  if (!test::zeroPageOf(copy, "File")) GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  test::setSetting(app.statusDb(), "DIdentity", QString::number(pc2));
  auto* stats = page->findChild<QLabel*>("lblStats");

  page->InitRestorePage();
  for (int i = 0; i < 3; ++i) page->cbxSources_Click();
  EXPECT_EQ(page->fileList().rowCount(), 0);
  EXPECT_TRUE(page->fileList().notice().contains("PC2Files.db is damaged")) << qPrintable(page->fileList().notice());
  EXPECT_EQ(stats->text(), "");
  ASSERT_EQ(messages.texts.size(), 1) << messages.texts.join("\n").toStdString();
  EXPECT_TRUE(messages.texts[0].startsWith("The catalogue copy PC2Files.db is damaged (")) << qPrintable(messages.texts[0]);

  page->btnSync_Click();
  EXPECT_EQ(names(), QStringList{"s.txt"});
  EXPECT_EQ(stats->text(), "1 Files, .0 KBytes");
  EXPECT_EQ(messages.texts.size(), 1) << messages.texts.join("\n").toStdString();

  // A copy cut to nothing (a full disk, a copy of the folder cut short) is damaged as well, not
  // a computer without files.
  ASSERT_TRUE(QFile::resize(copy, 0));
  page->cbxSources_Click();
  EXPECT_EQ(page->fileList().rowCount(), 0);
  EXPECT_TRUE(page->fileList().notice().contains("PC2Files.db is damaged")) << qPrintable(page->fileList().notice());
  ASSERT_EQ(messages.texts.size(), 2) << messages.texts.join("\n").toStdString();
  EXPECT_TRUE(messages.texts[1].startsWith("The catalogue copy PC2Files.db is damaged (the file is empty)"))
      << qPrintable(messages.texts[1]);
}

// Rows a list read while its catalogue was sound: once another read finds the catalogue damaged
// (the folder tree, a chooser), the rows ticked before are not queued, and the list shows the
// damage when it shows again. The page's list of a catalogue copy, and the file chooser's of a
// download catalogue.
TEST_F(PageTest, RowsReadBeforeTheCatalogueWasFoundDamagedAreNotQueued) {
  const QString copy = app.file("PC2Files.db");
  test::makeCatalogue(copy, {});
  test::addBulkRows(copy, 3000);
  test::setSetting(app.statusDb(), "DIdentity", QString::number(pc2));
  const QString activity = store::settingValue(app.statusDb(), "Activity");
  page->InitRestorePage();
  ASSERT_EQ(page->fileList().rowCount(), 3000);
  page->btnCheckAll_Click();
  if (!test::zeroPageOf(copy, "File")) GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  page->btnMode_Click();
  page->btnMode_Click();
  EXPECT_EQ(page->fileList().rowCount(), 0);
  EXPECT_TRUE(page->fileList().notice().contains("PC2Files.db is damaged"));
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  dest->btnOK_Click();
  EXPECT_TRUE(queued().isEmpty());
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), activity);

  const QString catalogue = app.file("PC2Download.db");
  test::makeCatalogue(catalogue, {});
  test::addBulkRows(catalogue, 3000);
  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  ASSERT_EQ(files->fileList().rowCount(), 3000);
  files->btnCheckAll_Click();
  ASSERT_TRUE(test::zeroPageOf(catalogue, "File"));
  page->btnRestoreFolders_Click();  // its tree meets the damage
  page->sourceFolderChooser()->btnCancel_Click();
  files->btnNext_Click();
  child<QLineEdit>(page->folderChooser(), "tbxDirectory")->setText("D:\\R");
  page->folderChooser()->btnOK_Click();
  EXPECT_TRUE(queued().isEmpty());
  EXPECT_TRUE(messages.texts.last().startsWith("Nothing was queued for restore: the catalogue PC2Download.db is damaged"))
      << messages.texts.join("\n").toStdString();
  EXPECT_EQ(messages.texts.filter(" is damaged (").size(), 2) << messages.texts.join("\n").toStdString();
}

// Sync of this computer into a Files.db whose index page was zeroed after the list was read (a
// page no read meets): the catalogue is fetched, but nothing is written back into the damaged
// file, the user hears which file is damaged, and the list says so instead of stale rows.
TEST_F(PageTest, SyncWritesNothingBackIntoADamagedFilesDb) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  serveCatalogue(server, "PC1", "M-1", kFileKey, {{"C:\\Srv", "s.", "txt", 7}});
  test::addBulkRows(app.filesDb(), 3000);
  page->InitRestorePage();  // looked through and read while still sound
  ASSERT_EQ(page->fileList().rowCount(), 3000);
  if (!test::zeroPageOf(app.filesDb(), "idx_Extension")) GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  const QByteArray before = test::readFile(app.filesDb());

  page->btnSync_Click();
  EXPECT_EQ(server.downloads().size(), 1);
  EXPECT_TRUE(test::readFile(app.filesDb()) == before) << "Files.db was written";
  ASSERT_EQ(messages.texts.size(), 1) << messages.texts.join("\n").toStdString();
  EXPECT_TRUE(messages.texts[0].startsWith("Corvane's database Files.db is damaged (")) << qPrintable(messages.texts[0]);
  EXPECT_FALSE(win.captions.contains("Corvane Restoring Directory..."));
  EXPECT_EQ(page->fileList().rowCount(), 0);
  EXPECT_TRUE(page->fileList().notice().contains("Files.db is damaged"));
}

// A Files.db the service keeps locked past the bound of waiting cannot be looked through: nothing
// is written back into it unchecked, and the user hears why.
TEST_F(PageTest, SyncWritesNothingBackIntoAFilesDbItCouldNotLookThrough) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  serveCatalogue(server, "PC1", "M-1", kFileKey, {{"C:\\Srv", "s.", "txt", 7}});
  test::addBulkRows(app.filesDb(), 30);
  page->InitRestorePage();
  const QByteArray before = test::readFile(app.filesDb());
  store::DBConnection service;
  service.Open(app.filesDb());
  service.Execute("BEGIN EXCLUSIVE");

  page->btnSync_Click();
  service.Rollback();
  EXPECT_EQ(server.downloads().size(), 1);
  EXPECT_TRUE(test::readFile(app.filesDb()) == before) << "Files.db was written";
  EXPECT_TRUE(messages.texts.join("\n").contains("could not look Files.db through for damage"))
      << messages.texts.join("\n").toStdString();
  EXPECT_FALSE(win.captions.contains("Corvane Restoring Directory..."));
}

// The download catalogue of the computer chosen for restore, damaged: both choosers say so
// instead of showing no files, and nothing is queued from it, from folders ticked before the
// damage was found neither.
TEST_F(PageTest, TheChoosersShowADamagedCatalogueAsDamagedAndQueueNothingFromIt) {
  const QString catalogue = app.file("PC2Download.db");
  test::makeCatalogue(catalogue, {});
  test::addBulkRows(catalogue, 3000);
  test::setSetting(app.statusDb(), "DIdentity", QString::number(pc2));
  const QString activity = store::settingValue(app.statusDb(), "Activity");

  page->btnRestoreFolders_Click();
  auto* source = page->sourceFolderChooser();
  ASSERT_TRUE(source->tree().nodeByKey("C:\\Bulk"));
  source->tree().nodeByKey("C:\\Bulk")->setCheckState(0, Qt::Checked);
  if (!test::zeroPageOf(catalogue, "File")) GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  source->btnOK_Click();
  auto* dest = page->destinationFolderChooser();
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  dest->btnOK_Click();
  EXPECT_TRUE(queued().isEmpty());
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), activity);
  ASSERT_EQ(messages.texts.size(), 1) << messages.texts.join("\n").toStdString();
  EXPECT_TRUE(messages.texts[0].startsWith("Nothing was queued for restore: the catalogue PC2Download.db is damaged"))
      << qPrintable(messages.texts[0]);

  const QString damaged =
      "Corvane The catalogue copy PC2Download.db is damaged - its file list cannot be shown. Press DL List, tick the "
      "computer and press Change Identity to fetch it again.";
  page->btnRestoreFolders_Click();
  EXPECT_FALSE(child<QTreeWidget>(source, "tvDLSFolders")->isVisible());
  EXPECT_TRUE(child<QLabel>(source, "lblCatalogue")->isVisible());
  EXPECT_EQ(child<QLabel>(source, "lblCatalogue")->text(), damaged);
  EXPECT_TRUE(source->GetAllCheckedNodes().isEmpty());
  source->btnCancel_Click();

  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  EXPECT_EQ(files->fileList().rowCount(), 0);
  EXPECT_EQ(child<QLabel>(files, "lblSortBy")->text(), damaged);
  files->btnCheckAll_Click();
  files->btnNext_Click();
  child<QLineEdit>(page->folderChooser(), "tbxDirectory")->setText("D:\\R");
  page->folderChooser()->btnOK_Click();
  EXPECT_TRUE(queued().isEmpty());
  // The damage itself was told once.
  EXPECT_EQ(messages.texts.filter("The download catalogue PC2Download.db is damaged (").size(), 1)
      << messages.texts.join("\n").toStdString();
}

TEST_F(PageTest, RestoreDialogs) {
  test::addRows(app.filesDb(), {{"C:\\Data", "d.", "txt", 1}, {"C:\\Data\\2009", "e.", "txt", 2}});
  page->InitRestorePage();
  auto* restoreFiles = win.button("btnRestoreFiles");

  // Restore files: the chooser lists the catalogue; a typed path survives Next.
  page->btnRestoreFiles_Click();
  EXPECT_FALSE(restoreFiles->isEnabled());
  auto* files = page->fileChooser();
  ASSERT_TRUE(files);
  files->Form_Activate();
  EXPECT_EQ(files->fileList().rows().size(), 2);
  child<QLineEdit>(files, "tbxAddFile")->setText("C:\\Docs\\a.txt");
  files->btnAddFile_Click();
  files->fileList().setRowChecked(0, true);
  const QString ticked = files->fileList().rows()[0].FileName;
  files->btnNext_Click();
  auto* folder = page->folderChooser();
  ASSERT_TRUE(folder && folder->isVisible());
  child<QLineEdit>(folder, "tbxDirectory")->setText("E:\\");
  folder->btnOK_Click();
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Restore to E:\\");
  EXPECT_EQ(queued().size(), 2);
  EXPECT_TRUE(queued().contains("C:\\Docs\\|a.txt|-1"));
  // The chooser shows Last Modified before Created; each date goes back to its own column.
  EXPECT_EQ(queuedDates(ticked), "2009-01-02 03:04:05|2010-09-27 14:05:09|2011-05-06 07:08:09");
  EXPECT_FALSE(files->isVisible());

  // No folder: a message, nothing written. Cancel of the question: nothing written.
  test::setSetting(app.statusDb(), "Activity", "Start");
  page->btnRestoreAll_Click();
  child<QLineEdit>(folder, "tbxDirectory")->clear();
  folder->btnOK_Click();
  EXPECT_EQ(messages.texts.last(), "Please choose a destination folder.");
  child<QLineEdit>(folder, "tbxDirectory")->setText("D:\\R");
  messages.answerWith(platform::MsgResult::Cancel);
  folder->btnOK_Click();
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");
  messages.answerWith(platform::MsgResult::Ok);

  // Restore folders: only the files directly in the ticked folder.
  page->btnRestoreFolders_Click();
  auto* source = page->sourceFolderChooser();
  ASSERT_TRUE(source && source->isVisible());
  ASSERT_TRUE(source->tree().nodeByKey("C:\\Data\\2009"));
  source->tree().nodeByKey("C:\\Data")->setCheckState(0, Qt::Checked);
  source->btnOK_Click();
  auto* dest = page->destinationFolderChooser();
  ASSERT_TRUE(dest && dest->isVisible());
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  dest->btnOK_Click();
  EXPECT_EQ(queued(), QStringList{"C:\\Data|d.txt|1"});

  // Cancel of a destination dialog empties the queue and gives the buttons back.
  page->btnStartDownloads_Click();
  dest->btnCancel_Click();
  EXPECT_TRUE(queued().isEmpty());
  EXPECT_TRUE(restoreFiles->isEnabled());
}

TEST_F(PageTest, ComputerDialogsOpenOverTheWindowWithoutAnOwner) {
  // Placed inside the (small) test screen, so that keeping the dialogs on screen moves nothing.
  const QRect screen = page->screen()->availableGeometry();
  page->setGeometry(QRect(screen.topLeft() + QPoint(40, 30), screen.size() - QSize(80, 60)));
  page->show();
  child<QPushButton>(page.get(), "btnAddSource")->click();
  child<QPushButton>(page.get(), "btnRemoveSource")->click();
  QList<QWidget*> dialogs;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "frmAddComputer" || w->objectName() == "frmRemoveComputer") dialogs << w;
  ASSERT_EQ(dialogs.size(), 2);
  for (QWidget* d : dialogs) {
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->parentWidget(), nullptr);
    const QPoint offset = d->frameGeometry().center() - page->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << d->objectName().toStdString();
  }
}

TEST_F(PageTest, ChangeIdentityImportsTheTextCatalogueTheChooserReads) {
  fakeserver::FakeBackupServer server;
  ASSERT_TRUE(server.start());
  fakeserver::ScopedServerHost host(server.hostPort());
  server.addAccount({"ann", "pw", "PC2", "M-2", kFileKey, "kk1"});
  server.setCatalogueFile("M-2", "Files.txt",
                          fakeserver::FakeBackupServer::encryptWithKey("C:\\Far\\f.txt\r\n", kFileKey));
  page->InitRestorePage();
  page->showDownloadList();
  auto* dl = page->downloadList();
  QTreeWidget* keysList = dl->lstComputerKeys();
  for (int i = 0; i < keysList->topLevelItemCount(); ++i)
    if (keysList->topLevelItem(i)->text(0) == QString::number(pc2)) keysList->topLevelItem(i)->setCheckState(0, Qt::Checked);
  page->btnIdentity_Click();
  EXPECT_EQ(dl->lblIdentity()->text(), "Downloading from:- PC2");
  EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), QString::number(pc2));

  // Back in the file chooser at once: the page's source list still shows this computer.
  ASSERT_EQ(sources()->currentText(), "PC1");
  page->btnRestoreFiles_Click();
  page->fileChooser()->Form_Activate();
  EXPECT_TRUE(page->fileChooser()->catalogue().endsWith("PC2Download.db"));
  ASSERT_EQ(page->fileChooser()->fileList().rows().size(), 1);
  EXPECT_EQ(page->fileChooser()->fileList().rows()[0].Folder, "C:\\Far");
}

// This computer's catalogue can be huge: a page nobody sees leaves it for later, the read runs
// in steps that show progress and let the window answer, and a view chosen meanwhile wins.
TEST_F(PageTest, LargeCatalogueIsReadWhenShownInStepsAndALaterViewWins) {
  test::addBulkRows(app.filesDb(), 6000);
  test::makeCatalogue(app.file("PC2Files.db"), {{"C:\\W", "a.", "doc", 1000}});
  auto* stats = page->findChild<QLabel*>("lblStats");
  page->hide();
  page->InitRestorePage();
  EXPECT_EQ(page->fileList().rowCount(), 0);
  EXPECT_TRUE(page->pendingCatalogue().endsWith("Files.db"));
  page->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(page->pendingCatalogue().isEmpty());
  ASSERT_EQ(page->fileList().rowCount(), 6000);
  EXPECT_EQ(names().first(), "f5999.txt");  // newest first
  EXPECT_EQ(stats->text(), "6000 Files, 17.2 MBytes");

  const int pumpsBefore = waiter.eventPumps;
  QString shownWhileReading;
  QTimer picker;
  picker.setInterval(0);
  QObject::connect(&picker, &QTimer::timeout, [&] {
    if (!shownWhileReading.isEmpty() || waiter.eventPumps < pumpsBefore + 2) return;  // the read has begun
    shownWhileReading = stats->text();
    sources()->setCurrentIndex(sources()->findText("PC2"));
    page->cbxSources_Click();
  });
  picker.start();
  page->DFolderView("PC1");
  picker.stop();
  EXPECT_TRUE(shownWhileReading.startsWith("Corvane Reading file list")) << shownWhileReading.toStdString();
  EXPECT_EQ(names(), QStringList{"a.doc"});
  EXPECT_EQ(stats->text(), "1 Files, 1.0 KBytes");
}

// Queueing many ticked files writes exactly those rows, as the catalogue holds them, in one go;
// an impatient second OK while the window answers during the queueing changes nothing.
TEST_F(PageTest, QueueingTwentyThousandTickedFilesWritesExactlyThoseRows) {
  test::addBulkRows(app.filesDb(), 20000);
  page->InitRestorePage();
  ASSERT_EQ(page->fileList().rowCount(), 20000);
  page->btnCheckAll_Click();
  page->fileList().setRowChecked(0, false);  // the newest, f19999.txt, stays out
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  int clicks = 0;
  QTimer impatient;
  impatient.setInterval(0);
  QObject::connect(&impatient, &QTimer::timeout, [&] {
    if (++clicks == 1) dest->btnOK_Click();
  });
  impatient.start();
  const qsizetype asked = messages.texts.size();
  dest->btnOK_Click();
  impatient.stop();
  EXPECT_GE(clicks, 1);
  EXPECT_EQ(messages.texts.size(), asked + 1);  // one confirmation only
  EXPECT_TRUE(dest->isHidden());

  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From tempDFile"), 19999);
  EXPECT_EQ(test::rowCount(app.filesDb(),
                           "Select * From tempDFile t JOIN File f ON f.Folder = t.Folder AND f.FileName = t.FileName "
                           "AND f.Extension = t.Extension AND f.Filesize = t.FileSize AND f.DateCreated = t.DateCreated "
                           "AND f.DateLastModified = t.DateLastModified AND f.DateUploaded = t.DateUploaded"),
            19999);
  EXPECT_EQ(queuedDates("f19999."), "<none>");
  EXPECT_TRUE(win.captions.contains("Corvane Queueing files for restore - 19999 files..."));
}

// The file chooser's whole list ticked is written into the queue on a thread of its own (200,000
// rows held the window half a second), and Clear Downloads empties it there (a tenth of a
// second): the wait for the service's lock on Files.db is that thread's too, the window painting
// meanwhile, and the work is done once the service lets go.
TEST_F(PageTest, TheQueueIsWrittenAndEmptiedOffTheWindowsThreadWithTheWindowPainting) {
  test::addBulkRows(app.filesDb(), 2000);
  page->InitRestorePage();
  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  files->Form_Activate();
  files->btnCheckAll_Click();
  files->btnNext_Click();
  auto* folder = page->folderChooser();
  child<QLineEdit>(folder, "tbxDirectory")->setText("D:\\R");
  store::DBConnection service;
  service.Open(app.filesDb());
  service.Execute("BEGIN EXCLUSIVE");
  waiter.onSleep = [&](int) {
    if (service.InTransaction()) service.Rollback();
  };
  folder->btnOK_Click();
  EXPECT_EQ(waiter.windowSleeps, 0);
  EXPECT_GT(waiter.paints, 0);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From tempDFile"), 2000);

  service.Execute("BEGIN EXCLUSIVE");
  const int paints = waiter.paints;
  page->btnClearDownloads_Click();
  waiter.onSleep = nullptr;
  EXPECT_EQ(waiter.windowSleeps, 0);
  EXPECT_GT(waiter.paints, paints);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From tempDFile"), 0);
}

// The folder chooser's OK queues what the file chooser holds and then what the source folder
// chooser holds, whichever opened it; folders ticked there earlier go too. Reading a folder
// leaves "State" free for the service.
TEST_F(PageTest, FolderChooserQueuesWhatBothChoosersHold) {
  test::addRows(app.filesDb(), {{"C:\\Data", "d.", "txt", 1, "2011-01-01 00:00:00"},
                                {"C:\\Data\\2009", "e.", "txt", 2, "2010-01-01 00:00:00"},
                                {"C:\\Other", "f.", "txt", 3, "2012-01-01 00:00:00"}});
  page->InitRestorePage();
  page->btnRestoreFolders_Click();
  auto* source = page->sourceFolderChooser();
  source->tree().nodeByKey("C:\\Data\\2009")->setCheckState(0, Qt::Checked);
  source->btnCancel_Click();

  test::setSetting(app.statusDb(), "State", "Busy");
  page->btnRestoreAll_Click();
  auto* folder = page->folderChooser();
  child<QLineEdit>(folder, "tbxDirectory")->setText("D:\\R");
  folder->btnOK_Click();
  EXPECT_EQ(queued(), QStringList{"C:\\Data\\2009|e.txt|2"});
  EXPECT_EQ(store::settingValue(app.statusDb(), "State"), "Free");

  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  files->Form_Activate();
  ASSERT_EQ(files->fileList().rows()[0].FileName, "f.");  // newest first
  files->fileList().setRowChecked(0, true);
  files->btnNext_Click();
  EXPECT_TRUE(queued().isEmpty());  // Next empties the queue first
  folder->btnOK_Click();
  EXPECT_EQ(queued(), (QStringList{"C:\\Other|f.txt|3", "C:\\Data\\2009|e.txt|2"}));
  EXPECT_FALSE(files->isVisible());
  EXPECT_FALSE(folder->isVisible());
}

// Two computers of the same name are both listed (the source list ends only at a name that
// decodes empty). Quick Sync asks first, and a Cancel writes nothing.
TEST_F(PageTest, SourcesListRepeatedNamesAndQuickSyncAsksFirst) {
  ASSERT_TRUE(keys::DBInsertKey(app.statusDb(), "ann", "pw", "M-3", "PC2", "Y", fileKeyE(), "kk1", ""));
  ASSERT_TRUE(keys::DBInsertKey(app.statusDb(), "ann", "pw", "M-4", "PC3", "Y", fileKeyE(), "kk1", ""));
  page->InitRestorePage();
  QStringList listed;
  for (int i = 0; i < sources()->count(); ++i) listed << sources()->itemText(i);
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"PC1", "PC2", "PC2", "PC3"}));

  messages.answerWith(platform::MsgResult::Cancel);
  page->btnQuickSync_Click();
  EXPECT_EQ(messages.texts.last(), "This will download ANY missing files to their original folders...");
  EXPECT_EQ(messages.titles.last(), "QuickSync");
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");
  messages.answerWith(platform::MsgResult::Ok);
  page->btnQuickSync_Click();
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "QuickSync");
}

// At the main window's load size every caption of the page and every column header shows its
// whole text; Tab goes through the page in reading order; the destination chooser opens over
// the main window, without an owner.
TEST_F(PageTest, TextsFitAtTheLoadSizeTabReadsInOrderAndTheChooserOpensOverTheWindow) {
  test::addRows(app.filesDb(), {{"C:\\Data", "d.", "txt", 1}});
  QWidget room;
  room.resize(980, 630);
  page->setParent(&room);
  page->setGeometry(0, 0, 980, 630);
  room.show();
  page->InitRestorePage();
  QCoreApplication::processEvents();
  EXPECT_EQ(test::clippedTexts(&room), QStringList());
  auto* header = page->fileList().widget()->header();
  page->fileList().ColumnClick(5);  // the sort arrow takes its room too
  for (int c = 1; c < 8; ++c) {
    const QString caption = page->fileList().model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c)) << caption.toStdString();
    EXPECT_GT(header->sectionSize(c), header->fontMetrics().horizontalAdvance(caption)) << caption.toStdString();
  }

  const QStringList order{
      "cbxSources",   "btnSync",           "btnAddSource",      "btnRemoveSource",    "tbxFileName",
      "tbxExtension", "lstFileChooser",    "tvDLFolders",       "btnCheckAll",        "btnUncheckAll",
      "btnMode",      "btnStartDownloads", "btnClearDownloads", "btnVerifyDownloads", "btnDeleteFiles"};
  QStringList seen;
  QWidget* w = child<QWidget>(page.get(), "cbxSources");
  for (int steps = 0; steps < 500 && seen.size() < order.size(); ++steps, w = w->nextInFocusChain())
    if (order.contains(w->objectName()) && !seen.contains(w->objectName())) seen << w->objectName();
  EXPECT_EQ(seen, order);

  room.move(60, 40);
  win.host->setGeometry(QRect(room.pos(), room.size()));
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  ASSERT_TRUE(dest->isVisible());
  EXPECT_EQ(dest->parentWidget(), nullptr);
  EXPECT_LE((dest->frameGeometry().center() - win.host->frameGeometry().center()).manhattanLength(), 4);
  EXPECT_EQ(test::clippedTexts(dest), QStringList());

  // The choosers at the size they open with.
  page->btnRestoreFiles_Click();
  page->btnRestoreFolders_Click();
  QCoreApplication::processEvents();
  EXPECT_EQ(test::clippedTexts(page->fileChooser()), QStringList());
  EXPECT_EQ(test::clippedTexts(page->sourceFolderChooser()), QStringList());
  page->setParent(nullptr);
}
