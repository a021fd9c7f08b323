// The text catalogue Files.txt: folder lines (code "000"), skipped lines and file lines, read
// into a fresh download catalogue as the keys window does.
#include <QDateTime>

#include "fuzz/FuzzSupport.h"
#include "restore/CatalogueFetch.h"
#include "restore/RestoreCatalogue.h"
#include "store/Database.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(files_txt) {
  const platform::AppPaths& app = fuzz::scratchApp();
  fuzz::writeFile(platform::joinPath(app.appFolder, restore::kTextCatalogueFile), fuzz::bytesOf(data, size));
  const std::optional<QString> db = restore::DBCreateDatabaseDownload(app.appFolder, QStringLiteral("FUZZ"));
  fuzz::expect(db.has_value(), "the download catalogue could not be made");

  const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
  const std::optional<int> inserted = restore::ImportFileToFileDB(app.appFolder, *db, {}, now);
  if (!inserted) return 0;

  // The rows are those the import inserted (a file listed twice is one row), each naming a
  // place below its drive.
  store::DBConnection c;
  c.Open(*db);
  store::DBRecordset rs = c.Query(QStringLiteral("Select Folder, FileName, Extension From File"));
  fuzz::expect(rs.RowCount() <= *inserted && (rs.RowCount() > 0) == (*inserted > 0),
               "the catalogue does not hold the rows the import inserted");
  for (; !rs.AtEnd(); rs.MoveNext()) {
    fuzz::expect(restore::IsSafeCataloguePath(store::fromStoredText(rs.Text("Folder"))),
                 "a catalogue row names a folder outside its drive");
    fuzz::expect(restore::IsSafeNamePart(store::fromStoredText(rs.Text("FileName")) +
                                         store::fromStoredText(rs.Text("Extension"))),
                 "a catalogue row's file name holds a separator");
  }
  return 0;
}
