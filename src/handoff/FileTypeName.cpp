#include "handoff/FileTypeName.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include "platform/PathMap.h"

namespace corvane::handoff {

QString GetFileTypeName(const QString& path) {
  if (path.isEmpty()) return {};
  QString native = path;
  bool onDisk = true;
  if (platform::isWindowsDrivePath(path)) {
    const auto mapped = platform::pathMap().toNative(path);
    // An unmapped drive: only the name counts, never a local file that happens to share the path.
    onDisk = mapped.has_value();
    native = mapped ? *mapped : QString(path).replace('\\', '/').mid(2);
  }
  const QFileInfo info(native);
  QMimeDatabase db;
  const QMimeType mime = onDisk && info.exists() ? db.mimeTypeForFile(info)
                                                 : db.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
  QString name;
  if (mime.isValid() && !mime.isDefault() && !mime.comment().isEmpty()) {
    name = mime.comment();
  } else {
    const QString suffix = info.suffix();
    name = suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
  }
  return name.left(80);
}

}  // namespace corvane::handoff
