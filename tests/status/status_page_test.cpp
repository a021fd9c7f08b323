#include <gtest/gtest.h>

#include <QCheckBox>
#include <QIcon>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include "handoff/SharedLists.h"
#include "status/StatusFolders.h"
#include "status/ui/IconListView.h"
#include "status/ui/StatusPage.h"
#include "status_fixture.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::status;

namespace {

// A drive C: in a temporary folder, an upload log naming files in C:\Data\Mail and
// C:\Data\Work\X, and one excluded folder.
struct StatusFixture {
  test::TempAppFolder app;
  QTemporaryDir drive;
  test::ScopedPathMap map{platform::PathMap::parse("C:=" + drive.path())};
  test::FakeMainWindow window;
  QStringList typeCalls;  // paths whose type name was fetched
  std::unique_ptr<StatusPage> page;

  StatusFixture() {
    const QString c = drive.path();
    for (const char* d : {"Data/Mail", "Data/Work/X", "Data/Skip", "Data/skipcase", "Data/.hidden"}) QDir(c).mkpath(d);
    for (const char* file : {"Data/a.txt", "Data/b.txt", "Data/c.weird", "Data/d.weird", "Data/one.exe", "Data/two.exe",
                             "Data/unlogged.txt", "Data/.dot.txt"})
      test::writeFile(c + "/" + file, "x");
    const platform::AppPaths& paths = platform::appPaths();
    test::writeFile(platform::joinPath(paths.logsFolderPath, "SuccessLog.xml"),
                    test::successLog({
                        test::fileDetails("a.txt", "C:\\Data\\Mail", "TXT", "1", "3/1/2026 1:00:00 PM"),
                        test::fileDetails("b.txt", "C:\\Data\\Work\\X", "TXT", "1", "3/2/2026"),
                        test::fileDetails("a.txt", "C:\\Other", "TXT", "1", "3/3/2026"),
                        test::fileDetails("c.weird", "C:\\Data", "W", "1", "1/1/2026"),
                        test::fileDetails("d.weird", "C:\\Data", "W", "1", "1/1/2026"),
                        test::fileDetails("one.exe", "C:\\Data", "E", "1", "1/1/2026"),
                        test::fileDetails("two.exe", "C:\\Data", "E", "1", "1/1/2026"),
                        test::fileDetails(".dot.txt", "C:\\Data", "E", "1", "1/1/2026"),
                    }));
    test::writeFile(platform::joinPath(paths.dirFolderPath, "FolderCollection.xml"),
                    "<FolderCollection><SelectedFolders/><UnSelectedFolders>"
                    "<FolderDetails><FolderPath>C:\\Data\\Skip</FolderPath></FolderDetails>"
                    "<FolderDetails><FolderPath>C:\\Data\\SkipCase</FolderPath></FolderDetails>"
                    "</UnSelectedFolders></FolderCollection>");
    IconCache icons([](const QString&, int size) { return QPixmap(size == 2 ? 32 : 16, size == 2 ? 32 : 16); },
                    [this](const QString& path) {
                      typeCalls << path;
                      return "type of " + path.mid(path.lastIndexOf('\\') + 1);
                    });
    page = std::make_unique<StatusPage>(window, std::move(icons));
    page->InitStatusPage();
  }

  QString mirror(const QString& rel) const { return platform::appPaths().mirrorRootPath + rel; }
  QTreeWidgetItem* node(const QString& rel) const { return page->nodeByKey(mirror(rel)); }
  QStringList column(int c) const {
    QStringList out;
    for (int r = 0; r < page->iconList()->rowCount(); ++r) out << page->iconList()->text(r, c);
    return out;
  }
};

}  // namespace

TEST(StatusMirror, RealFolderOfAMirrorFolder) {
  EXPECT_EQ(realFolderOf("/m/TmpCorvane", "/m/TmpCorvane/CDrive/Data/Mail"), "C:\\Data\\Mail");
  EXPECT_EQ(realFolderOf("/m/TmpCorvane", "/m/TmpCorvane/DDrive"), "D:");
  // The mirror path may come back inside the folder: only the leading prefix is translated.
  EXPECT_EQ(realFolderOf("/m", "/m/CDrive/m/CDrive"), "C:\\m\\CDrive");
  EXPECT_EQ(realFolderOf("/m/TmpCorvane", "/m/TmpCorvane"), std::nullopt);
  EXPECT_EQ(realFolderOf("/m/TmpCorvane", "/m/TmpCorvane/Other"), std::nullopt);
}

TEST(StatusTree, DrivesFoldersAndImagesLoadOneLevelAhead) {
  StatusFixture f;
  QTreeWidgetItem* root = f.page->nodeByKey(platform::appPaths().mirrorRootPath);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->text(0), "Selected Folders");
  ASSERT_EQ(root->childCount(), 1);
  EXPECT_EQ(root->child(0)->text(0), "CDrive");
  EXPECT_EQ(f.page->iconList()->columnHeader(3), "Corvaneed On");

  f.page->tvDrivesStatus_Expand(root);
  QTreeWidgetItem* data = f.node("/CDrive/Data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(StatusPage::imageOf(root), StatusPage::ImageDrive);

  f.page->tvDrivesStatus_Expand(f.node("/CDrive"));
  f.page->tvDrivesStatus_Expand(f.node("/CDrive"));
  EXPECT_EQ(data->childCount(), 2);  // Mail and Work, once each
  EXPECT_EQ(StatusPage::imageOf(f.node("/CDrive")), StatusPage::ImageDrive);

  f.page->tvDrivesStatus_Expand(data);
  EXPECT_EQ(StatusPage::imageOf(data), StatusPage::ImageOpenFolder);
  f.page->tvDrivesStatus_Expand(f.node("/CDrive/Data/Work"));
  EXPECT_EQ(StatusPage::imageOf(data), StatusPage::ImageFolder);
  EXPECT_EQ(StatusPage::imageOf(f.node("/CDrive/Data/Work")), StatusPage::ImageOpenFolder);
  EXPECT_NE(f.node("/CDrive/Data/Work/X"), nullptr);
}

TEST(StatusList, FoldersThenLoggedFilesWithCachedIcons) {
  StatusFixture f;
  f.page->tvDrivesStatus_NodeClick(f.node("/CDrive"));
  EXPECT_EQ(f.column(0), QStringList{"Data"});  // the drive node lists the drive's root

  f.page->tvDrivesStatus_Expand(f.page->nodeByKey(platform::appPaths().mirrorRootPath));
  f.page->tvDrivesStatus_NodeClick(f.node("/CDrive/Data"));
  // Excluded folders are compared exactly; hidden entries and unlogged files are left out.
  EXPECT_EQ(f.column(0), (QStringList{"Mail", "skipcase", "Work", "a.txt", "b.txt", "c.weird", "d.weird", "one.exe",
                                      "two.exe"}));
  // a.txt is logged for another folder too: the first record of that name counts.
  EXPECT_EQ(f.column(3).mid(3, 2), (QStringList{"3/1/2026 1:00:00 PM", "3/2/2026"}));
  EXPECT_EQ(f.column(3)[0], "");
  EXPECT_FALSE(f.column(2)[3].isEmpty());
  EXPECT_EQ(f.column(1)[6], "type of c.weird");  // the first file of an extension names the type
  EXPECT_EQ(f.column(1)[7], "type of one.exe");
  EXPECT_EQ(f.column(1)[8], "type of two.exe");  // files with their own icons are keyed by path
  EXPECT_EQ(f.typeCalls.size(), 5);  // DIR, TXT, WEIRD, two .exe
  // Every row shows its key's icon, one icon shared by all rows of a key.
  const QAbstractItemModel* model = f.page->iconList()->reportWidget()->model();
  const auto icon = [&](int row) { return model->index(row, 0).data(Qt::DecorationRole).value<QIcon>(); };
  EXPECT_FALSE(icon(3).isNull());
  EXPECT_EQ(icon(0).cacheKey(), icon(1).cacheKey());  // folders
  EXPECT_EQ(icon(3).cacheKey(), icon(4).cacheKey());  // a.txt, b.txt
  EXPECT_NE(icon(7).cacheKey(), icon(8).cacheKey());  // one.exe, two.exe
  EXPECT_TRUE(model->index(3, 1).data(Qt::DecorationRole).isNull());

  f.page->tvDrivesStatus_NodeClick(f.node("/CDrive/Data"));
  EXPECT_EQ(f.typeCalls.size(), 5);  // kept for the rest of the run
  f.page->tvDrivesStatus_NodeClick(f.page->nodeByKey(platform::appPaths().mirrorRootPath));
  EXPECT_EQ(f.page->iconList()->rowCount(), 0);
}

TEST(StatusList, ColumnClicksToggleTheOrderAndDetailsSwitchesTheView) {
  StatusFixture f;
  f.page->tvDrivesStatus_Expand(f.page->nodeByKey(platform::appPaths().mirrorRootPath));
  f.page->tvDrivesStatus_NodeClick(f.node("/CDrive/Data"));
  f.page->lvwIcons_ColumnClick(1);  // the initial sort key is this column: descending
  EXPECT_EQ(f.column(0).first(), "Work");
  f.page->lvwIcons_ColumnClick(1);
  EXPECT_EQ(f.column(0).first(), "a.txt");
  f.page->lvwIcons_ColumnClick(4);
  f.page->lvwIcons_ColumnClick(4);
  EXPECT_EQ(f.column(3).first(), "3/2/2026");

  EXPECT_FALSE(f.page->iconList()->reportView());
  f.page->findChild<QCheckBox*>("chkDetails")->setChecked(true);
  EXPECT_TRUE(f.page->iconList()->reportView());

  // The tab selected again empties the sorted list and keeps its four columns.
  f.page->InitStatusPage();
  EXPECT_EQ(f.page->iconList()->rowCount(), 0);
  EXPECT_EQ(f.page->iconList()->columnCount(), 4);
  EXPECT_EQ(f.page->iconList()->columnHeader(0), "File Name");
}

// While a folder is listed the window gets its events, but the list takes no row until the
// folder is listed whole: a list laid out anew at each pass while rows came in took seconds
// for a folder of twenty thousand files.
TEST(StatusList, RowsComeInTogetherOnceTheFolderIsListed) {
  StatusFixture f;
  test::FakeWaiter waiter;
  f.page->tvDrivesStatus_Expand(f.page->nodeByKey(platform::appPaths().mirrorRootPath));
  f.page->lvwIcons_ColumnClick(1);  // descending by name
  int rowsMeanwhile = -1;
  QMetaObject::invokeMethod(
      f.page.get(), [&] { rowsMeanwhile = f.page->iconList()->rowCount(); }, Qt::QueuedConnection);
  f.page->tvDrivesStatus_NodeClick(f.node("/CDrive/Data"));
  EXPECT_EQ(rowsMeanwhile, 0);
  EXPECT_EQ(f.column(0), (QStringList{"Work", "two.exe", "skipcase", "one.exe", "Mail", "d.weird", "c.weird", "b.txt",
                                      "a.txt"}));
}

TEST(StatusList, AClickWhileIconsAreFetchedListsOnlyTheNewFolder) {
  StatusFixture f;
  test::FakeWaiter waiter;
  f.page->tvDrivesStatus_Expand(f.page->nodeByKey(platform::appPaths().mirrorRootPath));
  // The drive node is clicked while the first new icon of the Data listing lets events run.
  bool clicked = false;
  QMetaObject::invokeMethod(
      f.page.get(),
      [&] {
        clicked = true;
        f.page->tvDrivesStatus_NodeClick(f.node("/CDrive"));
      },
      Qt::QueuedConnection);
  f.page->tvDrivesStatus_NodeClick(f.node("/CDrive/Data"));
  EXPECT_TRUE(clicked);
  EXPECT_EQ(f.column(0), QStringList{"Data"});
}

TEST(StatusTree, SelectingTheTabAgainWhileTheLogIsReadRebuildsOnceMore) {
  StatusFixture f;
  test::FakeWaiter waiter;
  // A log larger than one read, so the window gets its events while it is read.
  QList<QByteArray> records;
  for (int i = 0; i < 4000; ++i) records << test::fileDetails(QString("f%1.txt").arg(i), "C:\\Data\\Mail", "TXT", "1", "3/1/2026");
  records << test::fileDetails("late.txt", "C:\\Data\\Late", "TXT", "1", "3/2/2026");
  test::writeFile(platform::joinPath(platform::appPaths().logsFolderPath, "SuccessLog.xml"), test::successLog(records));
  f.window.setCaption("Corvane Backup - Status: Active");

  bool nestedReturned = false;
  QMetaObject::invokeMethod(
      f.page.get(),
      [&] {
        f.page->InitStatusPage();  // the tab selected again: noted, not run inside the first
        nestedReturned = true;
      },
      Qt::QueuedConnection);
  f.page->InitStatusPage();
  EXPECT_TRUE(nestedReturned);
  EXPECT_EQ(f.window.captions.filter("Corvane Reading the upload log...").size(), 2);  // two passes
  EXPECT_EQ(f.window.caption(), "Corvane Backup - Status: Active");
  EXPECT_TRUE(QFileInfo(f.mirror("/CDrive/Data/Late")).isDir());
  EXPECT_FALSE(QFileInfo::exists(f.mirror("/CDrive/Data/Work")));  // no longer logged
  ASSERT_NE(f.node("/CDrive"), nullptr);
  EXPECT_EQ(f.node("/CDrive")->parent(), f.page->nodeByKey(platform::appPaths().mirrorRootPath));
}

// A mirror of a couple of hundred thousand folders takes a while to make or to remove: the
// window answers meanwhile, also when the log is gone and the whole mirror goes.
TEST(StatusTree, TheWindowAnswersWhileTheMirrorIsRemoved) {
  StatusFixture f;
  ASSERT_TRUE(QFileInfo(f.mirror("/CDrive/Data/Mail")).isDir());
  QFile::remove(platform::joinPath(platform::appPaths().logsFolderPath, "SuccessLog.xml"));
  bool answered = false;
  QMetaObject::invokeMethod(f.page.get(), [&] { answered = true; }, Qt::QueuedConnection);
  f.page->InitStatusPage();
  EXPECT_TRUE(answered);
  EXPECT_FALSE(QFileInfo::exists(f.mirror("")));
  EXPECT_EQ(f.page->nodeByKey(platform::appPaths().mirrorRootPath)->childCount(), 0);
}
