// Catalogue names whose bytes are no UTF-8 (written by another program, or damaged): the views
// show them with replacement characters, and every write and look-up uses the stored bytes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>

#include "page_fixture.h"
#include "platform/LosslessUtf8.h"
#include "platform/PathMap.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/FrmFileChooser.h"
#include "restore/ui/FrmFolderChooser.h"
#include "restore/ui/FrmSourceFolderChooser.h"
#include "restore_fixture.h"
#include "selection/FolderTable.h"

using namespace corvane;
using namespace corvane::restore;
using test::ByteRow;
using test::hexRow;
using test::PageTest;

namespace {

const QString kReplacement(QChar::ReplacementCharacter);

// A text a list or tree shows: replacement characters where the bytes were, never half a
// character (which no font draws).
bool drawable(const QString& shown) {
  for (qsizetype i = 0; i < shown.size(); ++i) {
    if (shown[i].isHighSurrogate() && i + 1 < shown.size() && shown[i + 1].isLowSurrogate()) ++i;
    else if (shown[i].isSurrogate()) return false;
  }
  return true;
}

QStringList sorted(QStringList l) {
  l.sort();
  return l;
}

}  // namespace

// The records keep the bytes: names that differ only there stay apart, a quote pair is still
// undone, and the queue, the folder look-up and the verify write name exactly the stored rows.
TEST(StoredBytes, RecordsQueueAndLookUpTheStoredBytes) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::addByteRows(app.filesDb(), {{"C:\\D\xFF", "x\xFF.", "t\xFEt", 1},
                                    {"C:\\D\xFF", "x\xFE.", "t\xFEt", 2},
                                    {"C:\\D\xFF", "it''s\xFE.", "txt", 3},
                                    {"C:\\D\xFE", "x\xFF.", "t\xFEt", 4}});
  UploadedFileRecords records = freshRecords();
  ASSERT_EQ(DBSelectAllUploadedFiles(app.filesDb(), records), 4);
  records.removeLast();
  QStringList names;
  for (const auto& r : records) names << r.Folder + '\\' + r.FileName + r.Extension;
  EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 4);
  const auto quoted = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.FileSize == "3"; });
  ASSERT_NE(quoted, records.end());
  EXPECT_TRUE(quoted->FileName.startsWith("it's"));

  ASSERT_EQ(QueueRecords(app.filesDb(), QList<UploadedFileRecord>(records.begin(), records.end())), 4);
  EXPECT_EQ(sorted(test::queuedBytes(app.filesDb())),
            sorted({hexRow("C:\\D\xFF", "x\xFF.", "t\xFEt"), hexRow("C:\\D\xFF", "x\xFE.", "t\xFEt"),
                    hexRow("C:\\D\xFF", "it''s\xFE.", "txt"), hexRow("C:\\D\xFE", "x\xFF.", "t\xFEt")}));

  // A folder is looked up by its own bytes, not by its neighbour's.
  UploadedFileRecords inFolder = freshRecords();
  EXPECT_EQ(DBSelectUploadedFiles(app.filesDb(), records[0].Folder, inFolder),
            records[0].Folder.endsWith(QChar(0xDCFF)) ? 3 : 1);

  // Verify (folder view) marks the one row it names, and none of its look-alikes.
  const auto first = std::find_if(records.begin(), records.end(), [](const auto& r) { return r.FileSize == "1"; });
  ASSERT_NE(first, records.end());
  EXPECT_EQ(ValidateRecords(app.filesDb(), app.statusDb(), {*first}, ActionView::Folders, QDateTime::currentDateTime()).handled, 1);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 0"), 1);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 0 AND Filesize = 1"), 1);
}

// In file view, verify and delete find the file here by the name's own bytes.
TEST(StoredBytes, TheLocalFileIsFoundByTheStoredBytes) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  QTemporaryDir drive;
  test::ScopedPathMap map(platform::PathMap::parse("C:=" + drive.path()));
  // Qt lists no name that is not UTF-8, so it could not remove these with the folder.
  const QByteArray dir = QFile::encodeName(drive.path()) + "/D\xFF";
  const QByteArray file = dir + "/x\xFF.t\xFEt";
  const auto removeBoth = qScopeGuard([&] {
    ::unlink(file.constData());
    ::rmdir(dir.constData());
  });
  ASSERT_EQ(::mkdir(dir.constData(), 0700), 0);
  const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, "1234567", 7), 7);
  ::close(fd);
  test::addByteRows(app.filesDb(), {{"C:\\D\xFF", "x\xFF.", "t\xFEt", 99}, {"C:\\D\xFF", "x\xFE.", "t\xFEt", 98}});
  UploadedFileRecords records = freshRecords();
  ASSERT_EQ(DBSelectAllUploadedFiles(app.filesDb(), records), 2);
  const QList<UploadedFileRecord> here{records[records[0].FileSize == "99" ? 0 : 1]};
  const QList<UploadedFileRecord> missing{records[records[0].FileSize == "99" ? 1 : 0]};

  EXPECT_EQ(ValidateRecords(app.filesDb(), app.statusDb(), missing, ActionView::Files, QDateTime::currentDateTime()).handled, 0);
  EXPECT_EQ(
      RewriteRecordsForDelete(app.filesDb(), app.statusDb(), here, ActionView::Files, QDateTime::currentDateTime()).handled,
      1);
  // The row is written anew under its own name (not as a third row) with the size found here.
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File"), 2);
  store::DBConnection c;
  c.Open(app.filesDb());
  auto rs = c.Query("Select hex(FileName) AS n, Filesize, Uploaded From File ORDER BY hex(FileName)");
  EXPECT_EQ(rs.Text("n"), QString::fromLatin1(QByteArray("x\xFE.").toHex().toUpper()));
  EXPECT_EQ(rs.Long("Uploaded"), 1);
  rs.MoveNext();
  EXPECT_EQ(rs.Text("n"), QString::fromLatin1(QByteArray("x\xFF.").toHex().toUpper()));
  EXPECT_EQ(rs.Long("Filesize"), 7);
  EXPECT_EQ(rs.Long("Uploaded"), 0);
}

// The restore list shows such names with replacement characters; both look-alikes listed and
// ticked are queued through the destination dialog as two rows holding the stored bytes.
TEST_F(PageTest, TheListShowsStrayBytesAndQueuesTheStoredOnes) {
  test::addByteRows(app.filesDb(), {{"C:\\D\xFF", "x\xFF.", "t\xFEt", 1}, {"C:\\D\xFF", "x\xFE.", "t\xFEt", 2}});
  page->InitRestorePage();
  auto& list = page->fileList();
  ASSERT_EQ(list.rowCount(), 2);
  for (int row = 0; row < 2; ++row)
    for (int column = 1; column <= 3; ++column) {
      const QString shown = list.model().data(list.model().index(row, column), Qt::DisplayRole).toString();
      EXPECT_TRUE(drawable(shown)) << row << ' ' << column;
      EXPECT_EQ(shown.count(kReplacement), 1);
    }

  page->btnCheckAll_Click();
  page->btnStartDownloads_Click();
  auto* dest = page->destinationFolderChooser();
  child<QLineEdit>(dest, "tbxDirectory")->setText("D:\\R");
  dest->btnOK_Click();
  EXPECT_EQ(sorted(test::queuedBytes(app.filesDb())),
            sorted({hexRow("C:\\D\xFF", "x\xFF.", "t\xFEt"), hexRow("C:\\D\xFF", "x\xFE.", "t\xFEt")}));
}

// The source folder chooser keeps two folders that differ only in such bytes apart, shows them
// drawable, and queues the files of the one ticked; the file chooser queues its ticked look-alike.
TEST_F(PageTest, BothChoosersQueueTheStoredBytesOfWhatIsTicked) {
  test::addByteRows(app.filesDb(), {{"C:\\D\xFF", "in-ff.", "txt", 1},
                                    {"C:\\D\xFE", "in-fe.", "txt", 2},
                                    {"C:\\E", "y\xFF.", "txt", 3},
                                    {"C:\\E", "y\xFE.", "txt", 4}});
  selection::DownloadNodes nodes;
  int count = 0;
  QString result;
  nodes.DBSelectDLNodes("C:", count, app.filesDb(), result);
  ASSERT_EQ(result, "OK");
  QList<QByteArray> folders;
  for (int i = 0; i < count; ++i) folders << platform::toUtf8Lossless(nodes.DLRawNodeNames[i]);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (QList<QByteArray>{"C:\\D\xFE\\", "C:\\D\xFF\\", "C:\\E\\"}));

  page->InitRestorePage();
  page->btnRestoreFolders_Click();
  auto* source = page->sourceFolderChooser();
  auto* tree = source->findChild<QTreeWidget*>("tvDLSFolders");
  ASSERT_TRUE(tree);
  QList<QTreeWidgetItem*> lookAlikes;
  for (QTreeWidgetItemIterator it(tree); *it; ++it) {
    EXPECT_TRUE(drawable((*it)->text(0)));
    if ((*it)->text(0) == "D" + kReplacement) lookAlikes << *it;
  }
  ASSERT_EQ(lookAlikes.size(), 2);
  QTreeWidgetItem* ff = lookAlikes[0];
  if (platform::toUtf8Lossless(source->tree().keyOf(ff)) != "C:\\D\xFF") ff = lookAlikes[1];
  EXPECT_EQ(platform::toUtf8Lossless(source->tree().keyOf(ff)), "C:\\D\xFF");
  ff->setCheckState(0, Qt::Checked);
  source->btnCancel_Click();

  page->btnRestoreFiles_Click();
  auto* files = page->fileChooser();
  files->Form_Activate();
  ASSERT_EQ(files->fileList().rowCount(), 4);
  for (int i = 0; i < 4; ++i)
    if (files->fileList().rows()[i].FileSize == "4") files->fileList().setRowChecked(i, true);
  files->btnNext_Click();
  auto* folder = page->folderChooser();
  child<QLineEdit>(folder, "tbxDirectory")->setText("D:\\R");
  folder->btnOK_Click();
  EXPECT_EQ(test::queuedBytes(app.filesDb()),
            (QStringList{hexRow("C:\\E", "y\xFE.", "txt"), hexRow("C:\\D\xFF", "in-ff.", "txt")}));
}
