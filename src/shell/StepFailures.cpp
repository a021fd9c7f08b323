#include "shell/StepFailures.h"

#include <QDir>
#include <QFileInfo>

#include "store/Database.h"
#include "store/DatabaseTrouble.h"

namespace corvane::shell {

namespace {

void tellOnce(const QString& path, const QString& name, const QStringList& tables, const QString& consequence,
              bool& told) {
  if (told) return;
  const QString problem = store::databaseProblem(path, tables);
  if (problem.isEmpty()) return;
  told = true;
  // Once per file whichever road tells it: a damage the store told already is not told again.
  store::tellAboutDatabaseOnce(path, QStringLiteral("Corvane's database ") + name + ' ' + problem + ":\n" +
                                         QDir::toNativeSeparators(path) + "\n\n" + consequence);
}

}  // namespace

bool StepFailures::record(const QString& key, const QString& text) {
  if (keys_.contains(key)) return false;
  keys_.insert(key);
  texts_ << text;
  return true;
}

void StepFailures::tellAboutDatabases(const store::DatabasePaths& paths) {
  tellOnce(paths.statusDb, QStringLiteral("Status.db"), {QStringLiteral("Setting")},
           QStringLiteral("The window cannot follow the backup service or keep your settings until this is "
                          "put right."),
           toldStatusDb_);
  tellOnce(paths.filesDb, QStringLiteral("Files.db"),
           {QStringLiteral("File"), QStringLiteral("Folder"), QStringLiteral("Ext"), QStringLiteral("tempDFile")},
           QStringLiteral("The backup selection and the restore queue cannot be shown or changed until this is "
                          "put right."),
           toldFilesDb_);
  tellAboutTrouble(paths);
}

void StepFailures::tellAboutTrouble(const store::DatabasePaths& paths) {
  const QString filesFolder = QFileInfo(paths.filesDb).absolutePath();
  const QString statusFolder = QFileInfo(paths.statusDb).absolutePath();
  store::tellDatabaseTrouble(filesFolder);
  if (statusFolder != filesFolder) store::tellDatabaseTrouble(statusFolder);
}

}  // namespace corvane::shell
