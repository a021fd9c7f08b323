#pragma once
#include <QString>

namespace corvane::store {

// A database path that ends in the development tree ("ExeSource\CorvaneUI\" + file name, with
// either separator) loses every "ExeSource\CorvaneUI\" piece; any other path stays as it is.
QString applyDevTreeRule(const QString& path);

struct DatabasePaths {
  QString filesDb;   // <app>/Files.db
  QString statusDb;  // <app>/Status.db
  static DatabasePaths forAppFolder(const QString& appFolder);
};

}  // namespace corvane::store
