#pragma once
#include <QString>

namespace corvane::store {

// A path that ends in the development tree ("ExeSource\CorvaneUI\" followed by tailNames names:
// 1 for a database file, 2 for "Logs\SuccessLog.xml"; either separator) loses every
// "ExeSource\CorvaneUI\" piece; any other path stays as it is.
QString applyDevTreeRule(const QString& path, int tailNames = 1);

struct DatabasePaths {
  QString filesDb;   // <app>/Files.db
  QString statusDb;  // <app>/Status.db
  static DatabasePaths forAppFolder(const QString& appFolder);
};

}  // namespace corvane::store
