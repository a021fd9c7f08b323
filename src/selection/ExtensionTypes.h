#pragma once
// The file types offered in the extension list: the system's registered types (here the shared
// MIME database) passed through the list's filter rules, the TypeLst.xml list, and the size text.
#include <QPair>
#include <QString>
#include <QVector>

namespace corvane::selection {

struct FileTypeEntry {
  qint16 FileId = 0;   // its own index in FileTypes
  QString Extension;   // lower case, with the dot
  QString FileName;    // the type's description
};

// One registered type as the system lists it: the key name (".doc") and its description.
using RegisteredType = QPair<QString, QString>;

// The system's file types: every suffix of the shared MIME database as "." + suffix with the
// MIME type's comment as description, sorted by name, each name once.
QVector<RegisteredType> systemFileTypes();

// Appends one entry (the first append makes the empty entry 0 first). Extensions of 6 or more
// characters, dot included, are not taken.
void AddToArrayList(QVector<FileTypeEntry>& fileTypes, const QString& fileExtension, const QString& fileName);

// The filter rules of the list applied to the registered types, in their order.
QVector<FileTypeEntry> filterRegisteredTypes(const QVector<RegisteredType>& registered);

// First letter of each word upper case, the rest lower case.
QString properCase(const QString& text);

// The "FileTypeList/FileType" texts of a TypeLst.xml file, non-empty ones in file order; empty
// when the file is missing or unreadable.
QStringList readTypeList(const QString& path);

// "1.50 KB", "5.00 MB", "2.00 GB", "0.00 KB".
QString sizeText(double totalSize);

}  // namespace corvane::selection
