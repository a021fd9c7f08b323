// Zip archives through the unzip wrapper: extracted with and without the archive's folders,
// listed and tested, and expanded as the catalogue fetch does. Everything happens in a scratch
// folder, which afterwards must hold nothing but what the extractions were allowed to make.
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "fuzz/FuzzSupport.h"
#include "restore/CatalogueFetch.h"
#include "restore/Unzip.h"

using namespace corvane;

namespace {

// Every entry below folder is a plain file or folder inside it.
void checkInside(const QString& folder) {
  const QString root = QDir::cleanPath(folder) + '/';
  QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo entry(it.next());
    fuzz::expect(!entry.isSymLink(), "an extraction made a link");
    fuzz::expect(QDir::cleanPath(entry.absoluteFilePath()).startsWith(root), "an entry lies outside its folder");
  }
}

}  // namespace

CORVANE_FUZZ_TARGET(unzip) {
  const platform::AppPaths& app = fuzz::scratchApp();
  const QString base = platform::joinPath(app.appFolder, QStringLiteral("unzip"));
  QDir(base).removeRecursively();
  const QString archive = platform::joinPath(base, QStringLiteral("archive.zip"));
  const QString out = platform::joinPath(base, QStringLiteral("out"));
  const QString catalogue = platform::joinPath(base, QStringLiteral("catalogue"));
  fuzz::writeFile(archive, fuzz::bytesOf(data, size));
  QDir().mkpath(catalogue);

  restore::CGUnzipFiles unzip;
  unzip.setZipFileName(archive);
  unzip.setExtractDir(out);
  unzip.Unzip();
  unzip.setHonorDirectories(false);
  unzip.Unzip();
  unzip.setExtractList(1);
  unzip.Unzip();
  unzip.setExtractList(0);
  unzip.setTestZip(true);
  unzip.Unzip();

  const int code = restore::UnzipFile(archive, catalogue);
  const QStringList delivered = QDir(catalogue).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
  fuzz::expect(delivered.isEmpty() || delivered == QStringList{restore::kInnerDbFile},
               "the catalogue expansion left more than the catalogue in its folder");
  fuzz::expect((code == 0) == !delivered.isEmpty(), "the catalogue expansion's result does not match what it left");

  checkInside(out);
  const QStringList made = QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
  for (const QString& name : made)
    fuzz::expect(name == QLatin1String("archive.zip") || name == QLatin1String("out") || name == QLatin1String("catalogue"),
                 "an extraction made something outside its folder");
  fuzz::expect(QDir(app.appFolder).entryList(QStringList{QStringLiteral("UnzipFile-*")}, QDir::AllEntries).isEmpty(),
               "a staging folder was left behind");
  QDir(base).removeRecursively();
  return 0;
}
