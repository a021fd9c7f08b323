// The service's upload log SuccessLog.xml (and the folder list FolderCollection.xml, which the
// same rebuild reads): searched as the log page does, and rebuilt into the mirror folders that
// the status page shows as a tree.
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "handoff/ClsUtils.h"
#include "handoff/SharedLists.h"
#include "status/LogTable.h"
#include "status/LogSearch.h"
#include "status/StatusFolders.h"
#include "status/UploadHours.h"

using namespace corvane;

namespace {

void search(const QString& log, const QString& schInfo) {
  const QDateTime now(QDate(2026, 6, 15), QTime(12, 0, 0));
  status::LogCriteria all;
  status::LogCriteria filtered;
  filtered.days = QStringLiteral("30");
  filtered.fileTypes = QStringLiteral("Text Document, JPEG Image,");
  filtered.fileNames = QStringLiteral("rep,a");
  filtered.action = 1;
  status::LogCriteria lastUpload;
  lastUpload.lastUploadOnly = true;
  lastUpload.action = 2;
  for (const status::LogCriteria& criteria : {all, filtered, lastUpload}) {
    const status::LogResult result = status::LogSearch(log, schInfo).run(criteria, now);
    const status::LogTable& table = *result.table;
    for (int i = 0; i < table.rowCount(); ++i)
      fuzz::expect(table.row(i).columns.size() == status::LogTable::kColumns, "a result row lacks columns");
    // The list sorts by any column, hidden sort keys included.
    std::vector<int> order(size_t(table.rowCount()));
    for (int i = 0; i < table.rowCount(); ++i) order[size_t(i)] = i;
    for (int column = 0; column < status::LogTable::kColumns; ++column) table.sort(order, column, column % 2 == 1);
  }
}

// Every folder of the mirror lies below the mirror root and stands for a real folder whose
// mirror it is.
void checkMirror(const platform::AppPaths& app) {
  const QString root = QDir::cleanPath(app.mirrorRootPath);
  QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString folder = QDir::cleanPath(it.next());
    fuzz::expect(folder.startsWith(root + '/'), "a mirror folder lies outside the mirror root");
    const std::optional<QString> real = status::realFolderOf(root, folder);
    fuzz::expect(real.has_value(), "a mirror folder stands for no real folder");
    if (real->size() > 2) {
      const std::optional<QString> back = handoff::ClsUtils::mirrorFolderFor(root, *real);
      fuzz::expect(back && QDir::cleanPath(*back) == folder, "a mirror folder is not the mirror of its real folder");
    }
  }
  // Nothing was made beside the application folder's own entries.
  const QStringList beside = QDir(QFileInfo(app.appFolder).absolutePath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  fuzz::expect(beside == QStringList{QStringLiteral("app")}, "the rebuild made something outside the application folder");
}

}  // namespace

CORVANE_FUZZ_TARGET(success_log) {
  const platform::AppPaths& app = fuzz::scratchApp();
  const QByteArray content = fuzz::bytesOf(data, size);
  const QString log = status::successLogPath(app);
  fuzz::writeFile(log, content);
  search(log, status::schInfoPath(app));

  const QString folders = platform::joinPath(app.dirFolderPath, QStringLiteral("FolderCollection.xml"));
  fuzz::writeFile(folders, content);
  handoff::ClsUtils(app).CreateFolderList();
  handoff::sharedLists().loggedUploads.uploadTimeOf(QStringLiteral("report.txt"));
  checkMirror(app);
  QFile::remove(folders);
  return 0;
}
