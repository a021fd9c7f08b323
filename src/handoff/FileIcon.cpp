#include "handoff/FileIcon.h"

#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>

#include "platform/PathMap.h"

namespace corvane::handoff {

QPixmap GetFileIcon(const QString& path, int size) {
  const int pixels = size == 2 ? 32 : 16;
  QString native = path;
  if (platform::isWindowsDrivePath(path))
    native = platform::pathMap().toNative(path).value_or(QString());
  if (native.isEmpty()) return {};
  const QFileInfo info(native);
  QIcon icon;
  if (info.exists()) {
    icon = QFileIconProvider().icon(info);
  } else {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    if (icon.isNull()) icon = QFileIconProvider().icon(QAbstractFileIconProvider::File);
  }
  if (icon.isNull()) return {};
  return icon.pixmap(pixels, pixels);
}

}  // namespace corvane::handoff
