// corvane-appdir <folder> <share-dir>: lays out an application folder as an installation does.
#include <QCoreApplication>
#include <cstdio>

#include "store/AppFolderLayout.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: corvane-appdir <folder> <share-dir>\n");
    return 2;
  }
  QString error;
  if (!corvane::store::layOutAppFolder(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), &error)) {
    std::fprintf(stderr, "corvane-appdir: %s\n", qPrintable(error));
    return 1;
  }
  return 0;
}
