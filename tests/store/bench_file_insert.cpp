// Measures File rows per second through the download-catalogue insert (one connection and one
// transaction per row, as the catalogue import does). Usage: bench_file_insert [rows]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

#include "store/Database.h"
#include "store/FileTables.h"

using namespace corvane::store;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  QTemporaryDir dir;
  const QString db = dir.filePath("BenchFiles.db");
  {
    DBConnection c;
    c.Create(db);
    c.Execute(fileTableCreateStatement());
    for (const QString& s : fileTableIndexStatements()) c.Execute(s);
  }
  FileRow r;
  r.extension = "doc";
  r.dateCreated = r.dateLastModified = QDateTime::currentDateTime();
  r.uploaded = 1;
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < rows; ++i) {
    r.folder = QString("C:\\Bench\\Folder%1").arg(i / 100);
    r.fileName = QString("file%1.").arg(i);
    r.fileSize = i;
    if (!DBInsertDownloadFile(db, r)) {
      std::fprintf(stderr, "insert %d failed: %s\n", i, qPrintable(lastSwallowedError()));
      return 1;
    }
  }
  const double secs = t.elapsed() / 1000.0;
  std::printf("%d rows in %.2f s: %.0f rows per second\n", rows, secs, rows / secs);
  return 0;
}
