// corvane: the control program. Command line: command word, "^", window caption.
#include <QApplication>
#include <memory>

#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "shell/CommandLine.h"
#include "shell/Composition.h"
#include "shell/ui/FrmConfig.h"
#include "shell/ui/FrmMain.h"
#include "shell/ui/QtMessageBoxes.h"

using namespace corvane;

int main(int argc, char** argv) {
  // The command line is the launcher's, exactly as given: Qt is shown the program name only,
  // so it takes none of its own options out of the line.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  app.setApplicationName(QStringLiteral("Corvane"));
  // The process lives until the main window unloads; with "LOG", "STATUS" or another
  // command it keeps running without a window.
  app.setQuitOnLastWindowClosed(false);

  platform::setAppPaths(platform::AppPaths::forFolder(platform::applicationFolder()));
  shell::QtMessageBoxes boxes;
  platform::setMessageBoxes(&boxes);

  std::unique_ptr<shell::ComposedMainWindow> mainWindow;
  auto openMainWindow = [&] {
    if (mainWindow) {
      mainWindow->frame().show();
      return;
    }
    mainWindow = std::make_unique<shell::ComposedMainWindow>();
    shell::FrmConfig& frmConfig = mainWindow->frame();
    QObject::connect(&frmConfig, &shell::FrmConfig::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    frmConfig.Form_Load();
    frmConfig.show();
  };

  shell::FrmMain frmMain(shell::commandLineFromArguments(arguments), openMainWindow);
  if (!frmMain.Form_Load()) return 0;  // another copy runs on this application folder
  frmMain.Form_Activate();
  const int rc = app.exec();
  platform::setMessageBoxes(nullptr);
  mainWindow.reset();
  return rc;
}
