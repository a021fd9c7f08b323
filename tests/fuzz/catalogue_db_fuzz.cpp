// Opening another computer's catalogue database: the fetch's check that it is a catalogue, then,
// for one that passes, its uploaded files as the restore page and the choosers read them, its
// drives and folders for the tree, and the restore queue rows its records would become.
#include <QFile>
#include <QList>

#include "fuzz/FuzzSupport.h"
#include "restore/CatalogueFetch.h"
#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "selection/FolderTable.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(catalogue_db) {
  const platform::AppPaths& app = fuzz::scratchApp();
  const QString db = platform::joinPath(app.appFolder, QStringLiteral("FUZZFiles.db"));
  fuzz::writeFile(db, fuzz::bytesOf(data, size));
  // The fetch keeps a downloaded catalogue only when it passes; nothing else reads one.
  if (!restore::IsCatalogueDatabase(db)) {
    QFile::remove(db);
    return 0;
  }

  restore::UploadedFileRecords records = restore::freshRecords();
  const int n = restore::DBSelectAllUploadedFiles(db, records);
  fuzz::expect(n == 0 || restore::filledCount(records) == n, "the records do not hold the rows read");

  for (qsizetype i = 0; i < restore::filledCount(records); ++i) {
    const restore::UploadedFileRecord& r = records.at(i);
    if (const auto row = restore::TempDFileRowOf(r))
      fuzz::expect(restore::IsSafeCataloguePath(row->folder) && restore::IsSafeNamePart(row->fileName + row->extension),
                   "a record that could restore outside its destination was queued");
    restore::FolderLevels(r.Folder);
  }
  if (n > 0) {
    restore::UploadedFileRecords inFolder = restore::freshRecords();
    restore::DBSelectUploadedFiles(db, records.first().Folder, inFolder);
  }

  for (const QString& drive : restore::DBSelectDrives(db).value_or(QStringList())) {
    selection::DownloadNodes nodes;
    int count = 0;
    QString result;
    nodes.DBSelectDLNodes(drive.left(2), count, db, result);
    for (int j = 0; j < count && j < nodes.DLRawNodeNames.size(); ++j) restore::FolderLevels(nodes.DLRawNodeNames.at(j));
  }
  QFile::remove(db);
  return 0;
}
