#pragma once
#include <QString>

namespace corvane::store {

// Lays out an application folder as an installation does: Files.db and Status.db made from
// the schema scripts in shareDir (Files.sql, Status.sql) when missing, the folders Config,
// Logs, Extensions and Dir, and TypeLst.xml when shareDir has one. Existing files are kept.
// A database is built under a temporary name and renamed, so it is whole or absent.
bool layOutAppFolder(const QString& folder, const QString& shareDir, QString* error);

// Puts the imaging engine (the program "snapshot" and "libsnapshot.so" from engineDir) into
// the application folder, replacing older copies. Each is copied under a temporary name and
// renamed, so an engine still running from the folder keeps its own file.
bool installEngine(const QString& folder, const QString& engineDir, QString* error);

}  // namespace corvane::store
