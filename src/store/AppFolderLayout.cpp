#include "store/AppFolderLayout.h"

#include <QDir>
#include <QFile>

#include <cstdio>

#include "store/Database.h"

namespace corvane::store {

namespace {
bool makeDatabase(const QString& target, const QString& script, QString* error) {
  if (QFile::exists(target)) return true;
  QFile f(script);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = "cannot read " + script;
    return false;
  }
  const QString sql = QString::fromUtf8(f.readAll());
  const QString temp = target + ".part";
  QFile::remove(temp);
  try {
    DBConnection c;
    c.Create(temp);
    c.BeginTransaction();
    c.Execute(sql);
    c.Commit();
    c.Close();
  } catch (const DBError& e) {
    QFile::remove(temp);
    if (error) *error = script + ": " + e.description();
    return false;
  }
  if (!QFile::rename(temp, target)) {
    QFile::remove(temp);
    if (error) *error = "cannot write " + target;
    return false;
  }
  return true;
}
bool copyReplacing(const QString& source, const QString& target, QString* error) {
  const QString temp = target + ".part";
  QFile::remove(temp);
  if (!QFile::copy(source, temp)) {
    if (error) *error = "cannot copy " + source + " to " + temp;
    return false;
  }
  QFile::setPermissions(temp, QFile::permissions(source));
  // rename() replaces atomically; QFile::rename refuses an existing target.
  if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
    QFile::remove(temp);
    if (error) *error = "cannot write " + target;
    return false;
  }
  return true;
}
}  // namespace

bool installEngine(const QString& folder, const QString& engineDir, QString* error) {
  for (const QString& name : {QStringLiteral("snapshot"), QStringLiteral("libsnapshot.so")}) {
    const QString source = QDir(engineDir).filePath(name);
    if (!QFile::exists(source)) {
      if (error) *error = "no imaging engine at " + source;
      return false;
    }
    if (!copyReplacing(source, QDir(folder).filePath(name), error)) return false;
  }
  return true;
}

bool layOutAppFolder(const QString& folder, const QString& shareDir, QString* error) {
  QDir dir;
  for (const QString& sub : {QString(), QString("Config"), QString("Logs"), QString("Extensions"), QString("Dir")}) {
    const QString path = sub.isEmpty() ? folder : QDir(folder).filePath(sub);
    if (!dir.mkpath(path)) {
      if (error) *error = "cannot create " + path;
      return false;
    }
  }
  if (!makeDatabase(QDir(folder).filePath("Files.db"), QDir(shareDir).filePath("Files.sql"), error)) return false;
  if (!makeDatabase(QDir(folder).filePath("Status.db"), QDir(shareDir).filePath("Status.sql"), error)) return false;
  const QString typeList = QDir(shareDir).filePath("TypeLst.xml");
  const QString typeTarget = QDir(folder).filePath("Extensions/TypeLst.xml");
  if (QFile::exists(typeList) && !QFile::exists(typeTarget) && !QFile::copy(typeList, typeTarget)) {
    if (error) *error = "cannot write " + typeTarget;
    return false;
  }
  return true;
}

}  // namespace corvane::store
