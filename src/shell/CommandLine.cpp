#include "shell/CommandLine.h"

namespace corvane::shell {

QString commandLineFromArguments(const QStringList& argumentsWithProgram) {
  return argumentsWithProgram.mid(1).join(QLatin1Char(' '));
}

LaunchRequest parseCommandLine(const QString& line) {
  if (line.isEmpty()) return {kDefaultCommand, kDefaultCaption};
  const QStringList parts = line.split(QLatin1Char('^'));
  return {parts.value(0), parts.value(1)};
}

LaunchAction actionFor(const QString& command) {
  return command == QLatin1String("CONFIG") ? LaunchAction::OpenMainWindow : LaunchAction::StayHidden;
}

}  // namespace corvane::shell
