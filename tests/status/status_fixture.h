#pragma once
// Helpers shared by the page tests: the upload log's XML.
#include <QByteArray>
#include <QList>
#include <QString>

namespace corvane::test {

// A FileDetails element of the upload log.
inline QByteArray fileDetails(const QString& name, const QString& folder, const QString& type, const QString& size,
                              const QString& uploaded, const QString& success = "Y",
                              const QString& modified = "1/2/2026 10:00:00 AM") {
  return QStringLiteral("<FileDetails><FileName>%1</FileName><FileFolderName>%2</FileFolderName>"
                        "<FileModifiedDate>%3</FileModifiedDate><FileSize>%4</FileSize><FileType>%5</FileType>"
                        "<FilePriority>1</FilePriority><UpSuccess>%6</UpSuccess><UpDTime>%7</UpDTime></FileDetails>")
      .arg(name, folder, modified, size, type, success, uploaded)
      .toUtf8();
}

inline QByteArray successLog(const QList<QByteArray>& records) {
  QByteArray xml = "<?xml version=\"1.0\"?>\n<FileCollection>";
  for (const QByteArray& r : records) xml += r;
  return xml + "</FileCollection>";
}

}  // namespace corvane::test
