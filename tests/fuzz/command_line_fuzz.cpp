// The program's command line: command word, "^", caption.
#include <QStringList>

#include "fuzz/FuzzSupport.h"
#include "shell/CommandLine.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(command_line) {
  const QByteArray input = fuzz::bytesOf(data, size);
  // The platform hands over words; a NUL byte cannot occur inside one, so it separates them.
  QStringList arguments{QStringLiteral("corvane")};
  for (const QByteArray& word : input.split('\0')) arguments << QString::fromLocal8Bit(word);
  const QString line = shell::commandLineFromArguments(arguments);
  const shell::LaunchRequest request = shell::parseCommandLine(line);
  const shell::LaunchAction action = shell::actionFor(request.command);

  fuzz::expect(!request.command.contains('^') && !request.caption.contains('^'),
               "a part of the command line still holds the separator");
  fuzz::expect((action == shell::LaunchAction::OpenMainWindow) == (request.command == QLatin1String("CONFIG")),
               "only the exact command CONFIG opens the main window");
  if (line.isEmpty())
    fuzz::expect(request.command == shell::kDefaultCommand && request.caption == shell::kDefaultCaption,
                 "an empty command line is not CONFIG with the default caption");
  return 0;
}
