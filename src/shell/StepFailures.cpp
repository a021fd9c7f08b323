#include "shell/StepFailures.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Messages.h"
#include "store/Database.h"

namespace corvane::shell {

namespace {

void tellOnce(const QString& path, const QString& name, const QString& consequence, bool& told) {
  if (told) return;
  const QString problem = store::databaseProblem(path);
  if (problem.isEmpty()) return;
  told = true;
  const QString what = QFileInfo::exists(path) ? QStringLiteral(" cannot be read (%1)").arg(problem)
                                               : QStringLiteral(" is missing");
  platform::showMessage(QStringLiteral("Corvane's database ") + name + what + ":\n" + QDir::toNativeSeparators(path) +
                            "\n\n" + consequence,
                        QStringLiteral("Corvane"), platform::MsgButtons::Ok, platform::MsgIcon::Critical);
}

}  // namespace

bool StepFailures::record(const QString& key, const QString& text) {
  if (keys_.contains(key)) return false;
  keys_.insert(key);
  texts_ << text;
  return true;
}

void StepFailures::tellAboutDatabases(const store::DatabasePaths& paths) {
  tellOnce(paths.statusDb, QStringLiteral("Status.db"),
           QStringLiteral("The window cannot follow the backup service or keep your settings until the file is "
                          "back and readable."),
           toldStatusDb_);
  tellOnce(paths.filesDb, QStringLiteral("Files.db"),
           QStringLiteral("The backup selection and the restore queue cannot be shown or changed until the file is "
                          "back and readable."),
           toldFilesDb_);
}

}  // namespace corvane::shell
