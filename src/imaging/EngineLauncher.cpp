#include "imaging/EngineLauncher.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include "platform/AppFolder.h"

namespace corvane::imaging {

namespace {
const QString kProgramWord = QStringLiteral("\\snapshot");

QString driveMapText(const platform::PathMap& map) {
  QStringList pieces;
  for (const platform::PathMap::Entry& e : map.entries()) pieces << e.drive + QLatin1Char('=') + e.nativeRoot;
  return pieces.join(QLatin1Char(';'));
}
}  // namespace

QString commandAppFolder(const QString& nativeAppFolder, const platform::PathMap& map) {
  QString text = map.toWindows(nativeAppFolder).value_or(nativeAppFolder);
  while (text.endsWith(QLatin1Char('\\')) || (text.endsWith(QLatin1Char('/')) && text.size() > 1)) text.chop(1);
  return text;
}

QString engineCommandLine(const QString& appFolderText, const QString& operation, const QString& source,
                          const QString& destination) {
  QString line = appFolderText + kProgramWord + QLatin1Char(' ') + source + QLatin1Char(' ') + destination;
  if (operation == QLatin1String("Full")) return line + QStringLiteral("\\CorvaneImage\\$DISK.sna -L4 -W");
  return line + QStringLiteral("\\CorvaneImage\\$DISK_Diff.sna -h") + destination +
         QStringLiteral("\\CorvaneImage\\$DISK.hsh --exclude:\\CorvaneImage\\* -L4 -W");
}

std::optional<NativeCommand> nativeCommand(const QString& line, const QString& appFolderText,
                                           const QString& nativeAppFolder) {
  // The folder may hold blanks, so the program word is matched whole rather than split off.
  const QString programWord = appFolderText + kProgramWord;
  if (!line.startsWith(programWord)) return std::nullopt;
  const QString rest = line.mid(programWord.size());
  if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(' '))) return std::nullopt;
  NativeCommand c;
  c.program = platform::joinPath(nativeAppFolder, QStringLiteral("snapshot"));
  c.arguments = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  return c;
}

DetachedEngineLauncher::DetachedEngineLauncher(QString nativeAppFolder) : appFolder_(std::move(nativeAppFolder)) {}

QString DetachedEngineLauncher::problem(const QString& line) const {
  const std::optional<NativeCommand> c = nativeCommand(line, commandAppFolder(appFolder_), appFolder_);
  if (!c) return QStringLiteral("The command line does not name the imaging engine: ") + line;
  const QFileInfo program(c->program);
  if (!program.isFile() || !program.isExecutable())
    return QStringLiteral("The imaging engine is not installed: %1 is missing.").arg(c->program);
  return QString();
}

QString DetachedEngineLauncher::start(const QString& line) {
  if (const QString why = problem(line); !why.isEmpty()) return why;
  const NativeCommand c = *nativeCommand(line, commandAppFolder(appFolder_), appFolder_);
  QProcess p;
  p.setProgram(c.program);
  p.setArguments(c.arguments);
  p.setWorkingDirectory(appFolder_);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("CORVANE_APPDIR"), appFolder_);
  if (const QString drives = driveMapText(platform::pathMap()); !drives.isEmpty())
    env.insert(QStringLiteral("CORVANE_DRIVES"), drives);
  p.setProcessEnvironment(env);
  p.setStandardInputFile(QProcess::nullDevice());
  p.setStandardOutputFile(QProcess::nullDevice());
  p.setStandardErrorFile(QProcess::nullDevice());
  if (!p.startDetached()) return QStringLiteral("The imaging engine could not be started: ") + p.errorString();
  return QString();
}

}  // namespace corvane::imaging
