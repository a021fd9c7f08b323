// Times the folder scan over one folder mapped as drive C: (the walk alone, then the walk with
// the database work of a first scan and of a rescan). Not part of the test suite; run through
// bench-scan.sh.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

#include "platform/PathMap.h"
#include "selection/BackupDrives.h"
#include "selection/FolderScan.h"
#include "selection/FolderTable.h"
#include "store/Database.h"

using namespace corvane;

namespace {
void createSchema(const QString& dbPath, const QString& schemaFile) {
  QFile f(schemaFile);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + schemaFile.toStdString());
  store::DBConnection db;
  db.Create(dbPath);
  const QString sql = QString::fromUtf8(f.readAll());
  for (QString statement : sql.split(';')) {
    QStringList kept;
    for (const QString& line : statement.split('\n'))
      if (!line.trimmed().startsWith("--")) kept << line;
    statement = kept.join('\n').trimmed();
    if (!statement.isEmpty()) db.Execute(statement);
  }
}

void report(const char* what, qint64 folders, qint64 ms) {
  std::printf("%-28s %8lld folders %8lld ms %10.0f folders/s\n", what, static_cast<long long>(folders),
              static_cast<long long>(ms), ms > 0 ? folders * 1000.0 / ms : 0.0);
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_scan TREE_DIR FILES_SQL\n");
    return 2;
  }
  const QString tree = QString::fromLocal8Bit(argv[1]);
  const QString schema = QString::fromLocal8Bit(argv[2]);
  qputenv("CORVANE_DRIVES", ("C:=" + tree).toUtf8());
  platform::setPathMap(platform::PathMap::parse("C:=" + tree));

  QTemporaryDir dir;
  const QString filesDb = dir.filePath("Files.db");
  try {
    createSchema(filesDb, schema);
    selection::FolderScan scan(filesDb, [](const QString&) {});

    QElapsedTimer t;
    t.start();
    const qint64 walked = scan.ScanDrive("C:\\").size() - 1;  // less the drive's own entry
    report("walk only", walked, t.elapsed());

    t.restart();
    scan.Run(selection::GetDrives());
    report("first scan (walk + store)", scan.foldersFound(), t.elapsed());

    t.restart();
    scan.Run(selection::GetDrives());
    report("rescan, nothing new", scan.foldersFound(), t.elapsed());
    std::printf("rescan added %lld folders\n", static_cast<long long>(scan.foldersAdded()));

    // What the tree pays when a node of the drive is expanded first: all rows of the drive.
    t.restart();
    selection::FolderRows rows(filesDb);
    const qsizetype top = rows.SelectChildNodes("C:\\").size();
    const qint64 loadMs = t.elapsed();
    t.restart();
    qint64 listed = 0;
    for (const selection::ChildNode& n : rows.SelectChildNodes("C:\\")) listed += rows.SelectChildNodes(n.key).size();
    std::printf("tree: drive rows read in %lld ms (%lld top folders); children of all %lld in %lld ms\n",
                static_cast<long long>(loadMs), static_cast<long long>(top), static_cast<long long>(listed),
                static_cast<long long>(t.elapsed()));
  } catch (const store::DBError& e) {
    std::fprintf(stderr, "database error: %s\n", qPrintable(e.description()));
    return 1;
  }
  return 0;
}
