#include "handoff/FileTypeName.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include "platform/PathMap.h"

namespace corvane::handoff {

QString GetFileTypeName(const QString& path) {
  if (path.isEmpty()) return {};
  QString native = path;
  if (path.size() >= 2 && path[0].isLetter() && path[1] == ':') {
    native = platform::pathMap().toNative(path).value_or(QString());
    if (native.isEmpty()) native = QString(path).replace('\\', '/').mid(2);  // name only matters then
  }
  const QFileInfo info(native);
  QMimeDatabase db;
  const QMimeType mime = info.exists() ? db.mimeTypeForFile(info) : db.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
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
