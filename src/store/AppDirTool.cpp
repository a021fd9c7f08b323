// corvane-appdir <folder> <share-dir> [<engine-dir>]: lays out an application folder as an
// installation does, the imaging engine included (from engine-dir, by default the engine this
// build made).
#include <QCoreApplication>
#include <cstdio>

#include "store/AppFolderLayout.h"

#ifndef CORVANE_ENGINE_DIR
#define CORVANE_ENGINE_DIR ""
#endif

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: corvane-appdir <folder> <share-dir> [<engine-dir>]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QString engineDir = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(CORVANE_ENGINE_DIR);
  QString error;
  if (!corvane::store::layOutAppFolder(folder, QString::fromLocal8Bit(argv[2]), &error) ||
      (!engineDir.isEmpty() && !corvane::store::installEngine(folder, engineDir, &error))) {
    std::fprintf(stderr, "corvane-appdir: %s\n", qPrintable(error));
    return 1;
  }
  return 0;
}
