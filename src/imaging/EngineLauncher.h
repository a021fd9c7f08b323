#pragma once
// The engine's command lines, kept in the Windows form of the original program ("<app
// folder>\snapshot C:+D: E:\CorvaneImage\$DISK.sna -L4 -W"), and how such a line is started on
// this platform: its first word names the engine program of the application folder, the other
// words are passed unchanged, without a shell.
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/PathMap.h"

namespace corvane::imaging {

// The application folder as the command line names it: its Windows form where a drive holds
// it, else the native path.
QString commandAppFolder(const QString& nativeAppFolder, const platform::PathMap& map = platform::pathMap());

// The line of a full image ("Full") or, for any other operation, of a differential image.
QString engineCommandLine(const QString& appFolderText, const QString& operation, const QString& source,
                          const QString& destination);

struct NativeCommand {
  QString program;  // native path of the engine program
  QStringList arguments;
};
// The program and arguments a line stands for; nullopt when its first word is not the engine
// of this application folder.
std::optional<NativeCommand> nativeCommand(const QString& line, const QString& appFolderText,
                                           const QString& nativeAppFolder);

// Starts command lines of the engine; replaceable in tests.
class EngineLauncher {
 public:
  virtual ~EngineLauncher() = default;
  // Why the line cannot be started (empty when it can): not the engine's line, or the program
  // is missing.
  virtual QString problem(const QString& line) const = 0;
  // Starts it without waiting; the reason when it could not be started, else empty.
  virtual QString start(const QString& line) = 0;
};

// The launcher of the application folder: the engine runs detached from the window, in the
// application folder, with the window's drive map and application folder in its environment.
class DetachedEngineLauncher : public EngineLauncher {
 public:
  explicit DetachedEngineLauncher(QString nativeAppFolder);
  QString problem(const QString& line) const override;
  QString start(const QString& line) override;

 private:
  QString appFolder_;
};

}  // namespace corvane::imaging
