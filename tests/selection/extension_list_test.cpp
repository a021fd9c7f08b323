#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include "selection/ExtensionStore.h"
#include "selection/SmallImageFilter.h"
#include "selection/ui/ExtensionList.h"
#include "store/Database.h"
#include "store/Settings.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

namespace corvane::selection {
namespace {

using store::DBConnection;

void run(const QString& db, const QString& sql, const QVariantList& params = {}) {
  DBConnection c;
  c.Open(db);
  c.Execute(sql, params);
}

// A page with the seven controls and the controller attached, over a fresh application folder.
class ExtensionListTest : public ::testing::Test {
 protected:
  ExtensionListTest()
      : services({app.filesDb(), app.statusDb()}),
        list(new QTreeWidget(&page)),
        text1(new QLineEdit(&page)),
        label(new QLabel(&page)),
        selected(new QCheckBox(&page)),
        addExt(new QPushButton(&page)),
        reset(new QPushButton(&page)),
        smallImages(new QCheckBox(&page)),
        controller({list, text1, label, selected, addExt, reset, smallImages}, services) {
    controller.LoadRegisteredExtensions({{".doc", "word document"},
                                         {".docx", "word document"},
                                         {".dot", "word template"},
                                         {".jpg", "jpeg image"},
                                         {".txt", "text document"},
                                         {".xls", "excel sheet"}});
    run(app.filesDb(), "Insert Into Folder (Folders, Bu, BuAll) Values ('C:\\Docs', 1, 0)");
  }

  void addFile(const QString& name, const QString& ext, qint64 size, bool uploaded = false) {
    run(app.filesDb(),
        "Insert Into File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) Values ('C:\\Docs', ?, ?, ?, ?, 0)",
        {name, ext, size, uploaded ? 1 : 0});
  }
  QStringList column(int c) const {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(c);
    return out;
  }
  QTreeWidgetItem* row(const QString& ext) const {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (list->topLevelItem(i)->text(1) == ext) return list->topLevelItem(i);
    return nullptr;
  }
  void userTick(const QString& ext, bool on) { row(ext)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked); }
  void type(const QString& text) {
    text1->setText(text);
    emit text1->textEdited(text);
  }
  // The figures the statistics job counts, shown (and stored) once it has ended.
  void figures() { controller.statisticsJob().finish(); }

  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::FakeMainWindow services;
  QWidget page;
  QTreeWidget* list;
  QLineEdit* text1;
  QLabel* label;
  QCheckBox* selected;
  QPushButton* addExt;
  QPushButton* reset;
  QCheckBox* smallImages;
  ExtensionList controller;
};

TEST_F(ExtensionListTest, TypingFiltersByPrefixAndTicksFollowTheExtTable) {
  DBInsertExtNew(app.filesDb(), ".dot", "Word Template", true);
  DBInsertExtNew(app.filesDb(), ".xls", "Excel Sheet", false);
  selected->setChecked(true);
  type(".d");
  EXPECT_FALSE(selected->isChecked());
  EXPECT_EQ(column(1), (QStringList{".doc", ".docx", ".dot"}));
  EXPECT_EQ(column(0), (QStringList{"1", "2", "3"}));  // the types' ids
  EXPECT_EQ(column(2)[0], "Word Document");
  EXPECT_EQ(row(".dot")->checkState(0), Qt::Checked);
  EXPECT_EQ(row(".doc")->checkState(0), Qt::Unchecked);
  type(".");
  EXPECT_EQ(list->topLevelItemCount(), 6);
  EXPECT_EQ(row(".xls")->checkState(0), Qt::Unchecked);
  type(".zz");
  EXPECT_EQ(list->topLevelItemCount(), 0);
}

// A tick is stored at once, a second tick of the same type updates the row; "Show Selected"
// lists the ticked types with figures computed once and cached.
TEST_F(ExtensionListTest, TicksAreStoredAndShowSelectedComputesAndCachesStatistics) {
  addFile("a.", "doc", 1024, true);
  addFile("b.", "doc", 2048);
  addFile("c.", "txt", 10);
  controller.FillExtensionList(QString());
  userTick(".doc", true);
  userTick(".txt", true);
  userTick(".txt", false);
  ASSERT_TRUE(DBSelectExt(app.filesDb(), ".doc").has_value());
  EXPECT_TRUE(DBSelectExt(app.filesDb(), ".doc")->ExtBu);
  EXPECT_EQ(DBSelectExt(app.filesDb(), ".doc")->ExtName, "Word Document");
  EXPECT_FALSE(DBSelectExt(app.filesDb(), ".txt")->ExtBu);

  controller.ShowSelectedExtensions();
  figures();
  EXPECT_TRUE(selected->isChecked());
  ASSERT_EQ(list->topLevelItemCount(), 1);
  QTreeWidgetItem* doc = list->topLevelItem(0);
  EXPECT_EQ(doc->text(0), "1");  // the row's position
  EXPECT_EQ(doc->checkState(0), Qt::Checked);
  EXPECT_EQ(doc->text(3), "2");
  EXPECT_EQ(doc->text(4), "3.00 KB");
  EXPECT_EQ(doc->text(5), "1");
  EXPECT_EQ(DBSelectExt(app.filesDb(), ".doc")->TotalFiles, 2);
  EXPECT_TRUE(label->isEnabled() && text1->isEnabled() && selected->isEnabled() && list->isEnabled());

  // Cached figures answer from then on, also at the periodic refresh; figures that are all
  // zero count as not computed and are computed again each time.
  addFile("d.", "doc", 1024);
  userTick(".doc", true);  // already ticked: nothing to write
  DBInsertExtNew(app.filesDb(), ".xls", "Excel Sheet", true);
  controller.cbxSelected_Click();
  figures();
  ASSERT_EQ(column(1), (QStringList{".doc", ".xls"}));
  EXPECT_EQ(row(".doc")->text(3), "2");
  EXPECT_EQ(row(".xls")->text(3), "0");
  addFile("e.", "xls", 100);
  controller.RefreshExtensionList();
  figures();
  EXPECT_EQ(row(".doc")->text(3), "2");
  EXPECT_EQ(row(".xls")->text(3), "1");
  EXPECT_EQ(DBSelectExt(app.filesDb(), ".doc")->TotalFiles, 2);
  EXPECT_EQ(DBSelectExt(app.filesDb(), ".xls")->TotalFiles, 1);
}

// While the service writes to Files.db (it holds the write lock; reads still go) the list shows
// the figures it computes, and only their storing waits for a later fill: off the window's
// thread, whether the status tick's refresh or the user's click started it.
TEST_F(ExtensionListTest, FiguresShowWhileTheServiceHoldsTheWriteLock) {
  addFile("a.", "doc", 1024);
  addFile("b.", "txt", 10);
  addFile("c.", "txt", 20);
  DBInsertExtNew(app.filesDb(), ".doc", "Word", true);
  DBInsertExtNew(app.filesDb(), ".txt", "Text", true);
  DBConnection service;
  service.Open(app.filesDb());
  service.Execute("BEGIN IMMEDIATE");
  services.policy = store::kNoWait;
  selected->setChecked(true);
  controller.RefreshExtensionList();
  figures();
  EXPECT_EQ(column(3), (QStringList{"1", "2"}));
  EXPECT_EQ(column(4), (QStringList{"1.00 KB", "0.03 KB"}));

  services.policy = {};
  controller.cbxSelected_Click();
  figures();
  EXPECT_EQ(column(3), (QStringList{"1", "2"}));
  EXPECT_EQ(waiter.windowSleeps, 0);
  EXPECT_GT(waiter.sleeps, 0);  // the job waited for the lock, a bounded while
  service.Execute("ROLLBACK");
  EXPECT_FALSE(DBSelectExt(app.filesDb(), ".txt")->statisticsCached());
  controller.cbxSelected_Click();
  figures();
  EXPECT_EQ(DBSelectExt(app.filesDb(), ".txt")->TotalFiles, 2);
  EXPECT_TRUE(messages.texts.isEmpty());
}

// When the service holds Files.db whole (its reads fail too), the status tick's refresh leaves
// the list as it was shown, its figures included: taken before the list is read, the busy error
// goes back to the tick at once, which calls again; taken once the rows are listed, the figures
// being counted again keep what they showed while the job meets the lock off the window.
TEST_F(ExtensionListTest, TheTicksRefreshNeverWaitsAndKeepsWhatIsShown) {
  addFile("a.", "doc", 1024);
  addFile("b.", "xls", 2048);
  DBInsertExtNew(app.filesDb(), ".doc", "Word Document", true);
  DBInsertExtNew(app.filesDb(), ".xls", "Excel Sheet", true);
  controller.ShowSelectedExtensions();
  figures();
  const QStringList files = column(3);
  ASSERT_EQ(files, (QStringList{"1", "1"}));
  run(app.filesDb(), "Update Ext SET TotalFiles = '', TotalSize = '', TotalFilesNU = ''");  // computed again

  services.policy = store::kNoWait;
  auto holder = std::make_unique<DBConnection>();
  holder->Open(app.filesDb());
  holder->Execute("BEGIN EXCLUSIVE");
  const long long slept = waiter.windowSleptMs;
  try {
    controller.RefreshExtensionList();
    ADD_FAILURE() << "no busy error";
  } catch (const store::DBError& e) {
    EXPECT_TRUE(e.isBusy());
  }
  EXPECT_EQ(column(1), (QStringList{".doc", ".xls"}));
  EXPECT_EQ(column(3), files);

  holder.reset();
  waiter.onEvents = [&] {  // the service takes Files.db once the rows are listed
    if (holder) return;
    holder = std::make_unique<DBConnection>();
    holder->Open(app.filesDb());
    holder->Execute("BEGIN EXCLUSIVE");
  };
  controller.RefreshExtensionList();
  figures();
  EXPECT_EQ(column(1), (QStringList{".doc", ".xls"}));
  EXPECT_EQ(column(3), files);
  EXPECT_EQ(column(4), (QStringList{"1.00 KB", "2.00 KB"}));
  EXPECT_EQ(waiter.windowSleptMs, slept);
  EXPECT_TRUE(label->isEnabled() && list->isEnabled());
  EXPECT_TRUE(messages.texts.isEmpty());
  waiter.onEvents = nullptr;
  holder.reset();
}

// The figures the job shows and stores are those of the three statements, in every letter
// case, for a type spelt with non-ASCII letters, one without letters and one without any
// extension; also once a ticked folder has two rows (the statements count its files twice).
TEST_F(ExtensionListTest, TheJobsFiguresAreThoseOfTheStatements) {
  run(app.filesDb(), "Insert Into Folder (Folders, Bu, BuAll) Values ('C:\\Twice', 1, 0), ('C:\\All', 0, 1)");
  const QStringList spellings{"doc", "DOC", "dOc", "\u00e9t\u00e9", "\u00c9T\u00c9", "7z", "", "docx"};
  int n = 0;
  for (const char* folder : {"C:\\Docs", "C:\\Twice", "C:\\All"})
    for (const QString& e : spellings) {
      ++n;
      run(app.filesDb(),
          "Insert Into File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) Values (?, ?, ?, ?, ?, ?)",
          {folder, QString("f%1.").arg(n), e, 1000 * n, n % 2, n % 5 == 0 ? 1 : 0});
    }
  const QStringList types{".doc", ".\u00e9t\u00e9", ".7z", ".", ".none"};
  for (const QString& t : types) DBInsertExtNew(app.filesDb(), t, "Type", true);
  const auto check = [&](const QString& docFiles) {
    controller.ShowSelectedExtensions();
    figures();
    for (const QString& t : types) {
      DBConnection c;
      c.Open(app.filesDb());
      const QVariantList p{t.mid(1).toLower()};
      const QString where = " WHERE lower(a.Extension) = ? AND a.folder = b.folders AND b.bu = 1";
      const qint64 files =
          c.Query("Select count(*) AS n FROM File a, Folder b" + where + " AND a.Filtered = 0", p).Long("n");
      const double size =
          c.Query("Select Total(a.FileSize) AS n From File a, Folder b" + where + " AND a.Filtered = 0", p).Number("n");
      const qint64 notUploaded =
          c.Query("Select Count(*) AS n from File a, Folder b" + where + " AND Uploaded = 0 AND Filtered = 0", p).Long("n");
      const std::optional<ExtRow> stored = DBSelectExt(app.filesDb(), t);
      ASSERT_TRUE(stored.has_value());
      EXPECT_EQ(stored->TotalFiles, files) << t.toStdString();
      EXPECT_DOUBLE_EQ(stored->TotalSize, size) << t.toStdString();
      EXPECT_EQ(stored->TotalFilesNU, notUploaded) << t.toStdString();
      EXPECT_EQ(row(t)->text(3), QString::number(files)) << t.toStdString();
      EXPECT_EQ(row(t)->text(5), QString::number(notUploaded)) << t.toStdString();
    }
    EXPECT_EQ(row(".doc")->text(3), docFiles);
  };
  check("5");  // 3 in C:\Docs, 2 in C:\Twice (one is filtered); C:\All counts not
  run(app.filesDb(), "Insert Into Folder (Folders, Bu, BuAll) Values ('C:\\Twice', 1, 0)");
  run(app.filesDb(), "Update Ext SET TotalFiles = '', TotalSize = '', TotalFilesNU = ''");
  check("7");  // C:\Twice counted twice
}

// A job whose list is rebuilt (a key typed in the filter box), or whose window is closed,
// shows nothing of its own any more; shown again, the window counts what is still missing.
TEST_F(ExtensionListTest, AStoppedJobShowsNothingAndTheListShownAgainCountsWhatIsMissing) {
  addFile("a.", "doc", 1024);
  addFile("b.", "doc", 1024);
  DBInsertExtNew(app.filesDb(), ".doc", "Word", true);
  {
    DBConnection service;  // holds the write lock: no job stores its figures meanwhile
    service.Open(app.filesDb());
    service.Execute("BEGIN IMMEDIATE");
    controller.ShowSelectedExtensions();
    type(".d");  // all types whose extension starts with ".d"
    figures();
    EXPECT_EQ(row(".doc")->text(3), "0");
    EXPECT_EQ(row(".docx")->text(3), "0");
    EXPECT_FALSE(DBSelectExt(app.filesDb(), ".doc")->statisticsCached());
  }

  page.show();
  controller.ShowSelectedExtensions();
  page.close();
  EXPECT_FALSE(controller.statisticsJob().running());
  figures();
  EXPECT_EQ(row(".doc")->text(3), "0");
  page.show();
  EXPECT_TRUE(controller.statisticsJob().running());
  figures();
  EXPECT_EQ(row(".doc")->text(3), "2");
  EXPECT_EQ(DBSelectExt(app.filesDb(), ".doc")->TotalFiles, 2);
}

// An action that stops the count and then fails (here the small image filter while the service
// holds the write lock) leaves no row without its figures: the count goes on.
TEST_F(ExtensionListTest, AFailedActionThatStoppedTheCountLetsItGoOn) {
  addFile("a.", "doc", 1024);
  addFile("b.", "doc", 1024);
  DBInsertExtNew(app.filesDb(), ".doc", "Word", true);
  controller.ShowSelectedExtensions();
  ASSERT_TRUE(controller.statisticsJob().running());
  {
    DBConnection service;
    service.Open(app.filesDb());
    service.Execute("BEGIN IMMEDIATE");
    smallImages->click();
    EXPECT_FALSE(smallImages->isChecked());
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(controller.statisticsJob().running());
    figures();
  }
  EXPECT_EQ(row(".doc")->text(3), "2");
}

// The small image filter marks the files at once; figures computed while it is on leave the
// small images out, and figures already cached stay as they are (a folder tick, the filter and
// the periodic refresh all show the cache).
TEST_F(ExtensionListTest, TheSmallImageFilterMarksFilesAndCachedFiguresStay) {
  addFile("small.", "jpg", 10000);
  addFile("big.", "JPG", 30000);
  addFile("edge.", "jpg", 20480);
  DBInsertExtNew(app.filesDb(), ".jpg", "Jpeg Image", true);

  smallImages->click();
  EXPECT_TRUE(smallImages->isChecked());
  EXPECT_TRUE(smallImages->isEnabled());
  EXPECT_EQ(store::settingValue(app.statusDb(), "SmallImageFileFilter"), "1");
  controller.ShowSelectedExtensions();
  figures();
  EXPECT_EQ(list->topLevelItem(0)->text(3), "2");
  EXPECT_EQ(list->topLevelItem(0)->text(4), "49.30 KB");

  // The folder is unticked: the tree writes Folder, applies the filter and shows the list.
  run(app.filesDb(), "Update Folder SET Bu = 0");
  DBUpdateSmallImageFiles(app.filesDb(), controller.SmallImageFilterSetting());
  controller.cbxSelected_Click();
  EXPECT_EQ(list->topLevelItem(0)->text(3), "2");

  run(app.filesDb(), "Update Folder SET Bu = 1");
  smallImages->click();
  EXPECT_EQ(store::settingValue(app.statusDb(), "SmallImageFileFilter"), "0");
  EXPECT_EQ(list->topLevelItem(0)->text(3), "2");
  EXPECT_EQ(DBCountExtensions(app.filesDb(), ".jpg"), 3);  // the files themselves are unmarked
  EXPECT_TRUE(messages.texts.isEmpty());
}

// When a write fails, the controls show what is stored and the user is told.
TEST_F(ExtensionListTest, FailedWritesLeaveTheStoredStateShown) {
  controller.FillExtensionList(QString());
  run(app.filesDb(), "DROP TABLE Ext");
  userTick(".doc", true);
  EXPECT_EQ(row(".doc")->checkState(0), Qt::Unchecked);
  EXPECT_EQ(messages.texts.size(), 1);

  // The files cannot be marked: the setting stays as it was, not "1" over unmarked files.
  run(app.filesDb(), "DROP TABLE File");
  smallImages->click();
  EXPECT_FALSE(smallImages->isChecked());
  EXPECT_EQ(store::settingValue(app.statusDb(), "SmallImageFileFilter"), "0");
  EXPECT_EQ(messages.texts.size(), 2);

  run(app.statusDb(), "DROP TABLE Setting");
  smallImages->click();
  EXPECT_FALSE(smallImages->isChecked());
  EXPECT_TRUE(smallImages->isEnabled());
  EXPECT_EQ(messages.texts.size(), 3);
}

TEST_F(ExtensionListTest, AddExtStoresATickedRowOnceAndRefusesTextWithoutDot) {
  text1->setText("doc");
  addExt->click();
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_EQ(messages.texts[0], "Type a valid extension preceeded by a '.' in the 'Choose Extension' box.");
  EXPECT_TRUE(DBSelectAllExt(app.filesDb()).isEmpty());

  text1->setText(".a'b");
  addExt->click();
  addExt->click();
  const QVector<ExtRow> rows = DBSelectAllExt(app.filesDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0].Extension, ".a'b");
  EXPECT_TRUE(rows[0].ExtBu);
  controller.ShowSelectedExtensions();
  EXPECT_EQ(column(1), QStringList{".a'b"});
  EXPECT_EQ(list->topLevelItem(0)->text(3), "0");
}

TEST_F(ExtensionListTest, CancelClearsFilterAndTicksWithoutWriting) {
  DBInsertExtNew(app.filesDb(), ".doc", "Word Document", true);
  controller.LoadFileTypeList();  // the shipped list names all six of these types
  EXPECT_EQ(controller.ListedTypes().size(), 7);
  EXPECT_EQ(list->topLevelItemCount(), 6);
  type(".d");
  reset->click();
  EXPECT_TRUE(text1->text().isEmpty());
  EXPECT_EQ(list->topLevelItemCount(), 6);
  EXPECT_EQ(row(".doc")->checkState(0), Qt::Unchecked);
  EXPECT_TRUE(DBSelectExt(app.filesDb(), ".doc")->ExtBu);
  for (const FileTypeEntry& e : controller.ListedTypes()) EXPECT_TRUE(e.Extension.isEmpty());
}

TEST_F(ExtensionListTest, ColumnClickSortsByTextAndReversesOnSecondClick) {
  addFile("a.", "doc", 5 * 1048576);
  addFile("b.", "txt", 1536);
  addFile("c.", "xls", 900 * 1024);
  for (const char* e : {".doc", ".txt", ".xls"}) DBInsertExtNew(app.filesDb(), e, "", true);
  controller.ShowSelectedExtensions();
  figures();
  emit list->header()->sectionClicked(4);
  EXPECT_EQ(column(4), (QStringList{"1.50 KB", "5.00 MB", "900.00 KB"}));
  emit list->header()->sectionClicked(4);
  EXPECT_EQ(column(4), (QStringList{"900.00 KB", "5.00 MB", "1.50 KB"}));
  emit list->header()->sectionClicked(1);
  EXPECT_EQ(column(1), (QStringList{".doc", ".txt", ".xls"}));
}

}  // namespace
}  // namespace corvane::selection
