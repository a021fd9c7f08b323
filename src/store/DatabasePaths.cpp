#include "store/DatabasePaths.h"

#include <QRegularExpression>

#include "platform/AppFolder.h"

namespace corvane::store {

QString applyDevTreeRule(const QString& path, int tailNames) {
  for (const QString& sep : {QStringLiteral("\\"), QStringLiteral("/")}) {
    const QString piece = "ExeSource" + sep + "CorvaneUI" + sep;
    const int at = path.lastIndexOf(piece);
    if (at < 0) continue;
    const QString tail = path.mid(at + piece.size());
    // The piece must be followed by exactly tailNames names (a file name, or a folder and a file).
    if (tail.isEmpty() || tail.count('\\') + tail.count('/') != tailNames - 1) continue;
    QString out = path;
    out.remove(piece);
    return out;
  }
  return path;
}

DatabasePaths DatabasePaths::forAppFolder(const QString& appFolder) {
  return {applyDevTreeRule(platform::joinPath(appFolder, "Files.db")),
          applyDevTreeRule(platform::joinPath(appFolder, "Status.db"))};
}

}  // namespace corvane::store
