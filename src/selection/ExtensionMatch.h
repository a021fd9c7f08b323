#pragma once
// How statements over the File table pick the files of some extensions in any letter case.
// "lower(Extension) = ?" reads every row of File (the index on Extension cannot answer it);
// the same match written as "Extension IN (...)" of every case form ("jpg", "jpG", ... "JPG")
// is answered by the index, reading only the rows of those extensions.
#include <QString>
#include <QStringList>
#include <QVariantList>

#include "store/Database.h"

namespace corvane::selection {

struct ExtensionMatch {
  QString condition;    // "a.Extension IN (?,?,...)" or, for very long extensions, "lower(a.Extension) IN (?)"
  QVariantList params;  // bound in order
  bool indexed = true;  // the condition is one the extension index answers
};

// The condition on `column` ("a.Extension") that matches each of the extensions (lower case as
// the File table keeps them: no dot, each "'" doubled) in any ASCII letter case, exactly as
// lower(column) = extension does.
ExtensionMatch extensionMatch(const QString& column, const QStringList& extensions);

// Runs work(indexHint): first with indexHint = " INDEXED BY idx_Extension" (to be written after
// the File table's name, so that the planner cannot pick a worse index such as Filtered's), then,
// on a database that has no such index or one of that name the statement cannot use (a partial
// index, one on another column), once more with an empty hint.
template <class Work>
auto withExtensionIndex(bool indexed, Work&& work) {
  if (!indexed) return work(QString());
  try {
    return work(QStringLiteral(" INDEXED BY idx_Extension"));
  } catch (const store::DBError& e) {
    if (!e.description().contains(QStringLiteral("no such index")) &&
        !e.description().contains(QStringLiteral("no query solution")))
      throw;
  }
  return work(QString());
}

}  // namespace corvane::selection
