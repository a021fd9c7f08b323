#include "selection/ExtensionTypes.h"

#include <QFile>
#include <QLocale>
#include <QMimeDatabase>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <limits>
#include <pugixml.hpp>

#include "selection/NullText.h"

namespace corvane::selection {

QVector<RegisteredType> systemFileTypes() {
  QVector<RegisteredType> types;
  QSet<QString> seen;
  const QMimeDatabase db;
  for (const QMimeType& mime : db.allMimeTypes()) {
    for (const QString& suffix : mime.suffixes()) {
      const QString name = QLatin1Char('.') + suffix;
      const QString key = name.toLower();
      if (seen.contains(key)) continue;
      seen.insert(key);
      types.append({name, mime.comment()});
    }
  }
  // The system's own list is ordered by name without regard to case.
  std::stable_sort(types.begin(), types.end(), [](const RegisteredType& a, const RegisteredType& b) {
    return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
  });
  return types;
}

void AddToArrayList(QVector<FileTypeEntry>& fileTypes, const QString& fileExtension, const QString& fileName) {
  if (fileExtension.size() >= 6) return;
  if (fileTypes.isEmpty()) fileTypes.append(FileTypeEntry{});
  // The id is a 16-bit number: the list ends where the ids end.
  if (fileTypes.size() > std::numeric_limits<qint16>::max()) return;
  FileTypeEntry e;
  e.FileId = static_cast<qint16>(fileTypes.size());
  e.Extension = fileExtension;
  e.FileName = fileName;
  fileTypes.append(e);
}

QVector<FileTypeEntry> filterRegisteredTypes(const QVector<RegisteredType>& registered) {
  QVector<FileTypeEntry> types;
  for (const RegisteredType& r : registered) {
    QString name = r.first;
    // A type key starts with "." and its second character is no digit (".7z" is dropped).
    if (!name.startsWith(QLatin1Char('.'))) continue;
    if (name.size() >= 2 && name.at(1).isDigit()) continue;
    name = TrimAtNull(name);
    const QString value = TrimAtNull(r.second.left(255));
    if (name.contains(QLatin1Char('_'))) continue;
    if (value.trimmed().size() <= 1) continue;
    if (value.contains(QLatin1Char('}'))) continue;
    AddToArrayList(types, name.toLower(), properCase(value));
  }
  return types;
}

QString properCase(const QString& text) {
  QString out = text.toLower();
  bool wordStart = true;
  for (qsizetype i = 0; i < out.size(); ++i) {
    const QChar ch = out.at(i);
    if (ch.isSpace()) {
      wordStart = true;
    } else {
      if (wordStart) out[i] = ch.toUpper();
      wordStart = false;
    }
  }
  return out;
}

QStringList readTypeList(const QString& path) {
  QStringList list;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return list;
  const QByteArray data = f.readAll();
  pugi::xml_document doc;
  if (!doc.load_buffer(data.constData(), static_cast<size_t>(data.size()))) return list;
  for (const pugi::xpath_node& n : doc.select_nodes("FileTypeList/FileType")) {
    const QString text = QString::fromUtf8(n.node().text().get());
    if (!text.isEmpty()) list.append(text);
  }
  return list;
}

QString sizeText(double totalSize) {
  double value = totalSize;
  QString unit = QStringLiteral(" KB");
  if (value > 0) value /= 1024.0;
  if (value > 1024.0 && value < 1048576.0) {
    value /= 1024.0;
    unit = QStringLiteral(" MB");
  }
  if (value > 1048576.0) {
    value /= 1048576.0;
    unit = QStringLiteral(" GB");
  }
  QLocale c(QLocale::C);
  c.setNumberOptions(QLocale::DefaultNumberOptions);  // keeps the digit grouping
  const QString number = c.toString(std::abs(value), 'f', 2);
  // Rounding may leave -0.00, which shows as 0.00.
  if (value < 0 && number != QStringLiteral("0.00")) return QLatin1Char('(') + number + QLatin1Char(')') + unit;
  return number + unit;
}

}  // namespace corvane::selection
