#include "store/AppFolderLayout.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

#include "platform/WholeFile.h"
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
// The target is replaced by the whole copy, with the source's permissions, or left as it was.
bool copyReplacing(const QString& source, const QString& target, QString* error) {
  QFile in(source);
  struct stat st {};
  if (!in.open(QIODevice::ReadOnly) || ::fstat(in.handle(), &st) != 0) {
    if (error) *error = "cannot read " + source;
    return false;
  }
  const QByteArray data = in.readAll();
  if (in.error() != QFileDevice::NoError) {
    if (error) *error = "cannot read " + source;
    return false;
  }
  return platform::writeWholeFile(target, data, platform::WholeFileOptions{.mode = mode_t(st.st_mode & 0777)}, error);
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
  // The folder holds the key pair and Config the exported key files: at most 0755 and 0700
  // whatever the umask (an existing folder is left as it is).
  if (!platform::makeFolders(folder, 0755, error)) return false;
  if (!platform::makeFolders(QDir(folder).filePath("Config"), 0700, error)) return false;
  QDir dir;
  for (const QString& sub : {QString("Logs"), QString("Extensions"), QString("Dir")}) {
    const QString path = QDir(folder).filePath(sub);
    if (!dir.mkpath(path)) {
      if (error) *error = "cannot create " + path;
      return false;
    }
  }
  if (!makeDatabase(QDir(folder).filePath("Files.db"), QDir(shareDir).filePath("Files.sql"), error)) return false;
  if (!makeDatabase(QDir(folder).filePath("Status.db"), QDir(shareDir).filePath("Status.sql"), error)) return false;
  const QString typeList = QDir(shareDir).filePath("TypeLst.xml");
  const QString typeTarget = QDir(folder).filePath("Extensions/TypeLst.xml");
  if (QFile::exists(typeList) && !QFile::exists(typeTarget)) {
    QFile in(typeList);
    if (!in.open(QIODevice::ReadOnly)) {
      if (error) *error = "cannot read " + typeList;
      return false;
    }
    return platform::writeWholeFile(typeTarget, in.readAll(), {}, error);
  }
  return true;
}

}  // namespace corvane::store
