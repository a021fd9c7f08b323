#pragma once
// The failing steps of the main window's load and status tick. The tick runs every second, so
// a step that keeps failing (a database file gone) is recorded once, not once a second, and
// the user is told once, plainly, when the cause is a database file that is missing, empty,
// unreadable, damaged, without its tables, not writable or on a full disk.
#include <QSet>
#include <QString>
#include <QStringList>

#include "store/DatabasePaths.h"

namespace corvane::shell {

class StepFailures {
 public:
  // Keeps "step: description" the first time the step (key) fails; false when it was kept
  // before.
  bool record(const QString& key, const QString& text);
  // Looks at both database files and shows one message for each that cannot be used (see
  // store::databaseProblem) and was not told about before; then tellAboutTrouble.
  void tellAboutDatabases(const store::DatabasePaths& paths);
  // Tells what the store learnt, wherever it was met (a damaged file, a full disk), about the
  // databases beside Files.db and Status.db (the catalogue copies included) and did not tell yet.
  void tellAboutTrouble(const store::DatabasePaths& paths);

  const QStringList& texts() const { return texts_; }

 private:
  QSet<QString> keys_;
  QStringList texts_;
  bool toldStatusDb_ = false;
  bool toldFilesDb_ = false;
};

}  // namespace corvane::shell
