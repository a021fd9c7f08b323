#pragma once
#include <QString>

namespace corvane::store {

// Lays out an application folder as an installation does: Files.db and Status.db made from
// the schema scripts in shareDir (Files.sql, Status.sql) when missing, the folders Config,
// Logs, Extensions and Dir, and TypeLst.xml when shareDir has one. Existing files are kept.
// A database is built under a temporary name and renamed, so it is whole or absent.
bool layOutAppFolder(const QString& folder, const QString& shareDir, QString* error);

}  // namespace corvane::store
