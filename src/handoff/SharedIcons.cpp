#include "handoff/SharedIcons.h"

#include <QApplication>
#include <QStyle>

namespace corvane::handoff {

namespace {

// A style's standardIcon builds a new icon with pixmaps of its own on every call; these are
// made once, on the window thread like every widget, and never freed, so that no icon outlives
// the application object in a destructor that runs after it.
const QIcon* makeIcon(QStyle::StandardPixmap pixmap) {
  return new QIcon(QApplication::style()->standardIcon(pixmap));
}

}  // namespace

const QIcon& sharedIcon(SharedIcon which) {
  switch (which) {
    case SharedIcon::Folder: {
      static const QIcon* folder = makeIcon(QStyle::SP_DirIcon);
      return *folder;
    }
    case SharedIcon::Drive: {
      static const QIcon* drive = makeIcon(QStyle::SP_DriveHDIcon);
      return *drive;
    }
    case SharedIcon::File:
      break;
  }
  static const QIcon* file = makeIcon(QStyle::SP_FileIcon);
  return *file;
}

}  // namespace corvane::handoff
