#pragma once
// The program's command line: command word, "^", window caption.
#include <QString>
#include <QStringList>

namespace corvane::shell {

inline const QString kDefaultCommand = QStringLiteral("CONFIG");
inline const QString kDefaultCaption = QStringLiteral("Corvane Backup - Status: Active");

struct LaunchRequest {
  QString command;
  QString caption;
};

// The command line as one text: the arguments after the program name joined by single
// spaces (so a caption with spaces survives the shell's splitting). Every argument counts,
// options that look like Qt's own ("-style=fusion") too: the line is the launcher's alone.
QString commandLineFromArguments(const QStringList& argumentsWithProgram);

// Empty line: "CONFIG" with the default caption. Otherwise the line is split at "^", exactly
// as given (nothing trimmed): part 0 is the command, part 1 the caption, further parts are
// ignored; a line without "^" is the command with an empty caption.
LaunchRequest parseCommandLine(const QString& line);

enum class LaunchAction {
  OpenMainWindow,  // "CONFIG"
  StayHidden,      // "LOG", "STATUS" and every other word: no window, the process keeps running
};
LaunchAction actionFor(const QString& command);  // exact, case-sensitive

}  // namespace corvane::shell
