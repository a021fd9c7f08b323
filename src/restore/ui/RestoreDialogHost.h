#pragma once
// What the restore dialogs ask of the restore page (and, through it, of the main window).
#include <QString>
#include <functional>

class QWidget;

#include "restore/RestoreQueue.h"
#include "store/DatabasePaths.h"

namespace corvane::restore::ui {

class RestoreDialogHost {
 public:
  virtual ~RestoreDialogHost() = default;
  virtual const store::DatabasePaths& databases() const = 0;
  virtual QString appFolder() const = 0;
  // The computer chosen for restore: the one "DIdentity" names (the text of cbxSources when
  // no key row has that id).
  virtual QString chosenComputerName() const = 0;
  // btnQuickSync, btnRestoreAll, btnRestoreFolders, btnRestoreFiles enabled, in that order.
  virtual void enableRestoreButtons() = 0;
  virtual void setMainCaption(const QString& text) = 0;
  // The main window, over which the dialogs open (nullptr when there is none).
  virtual QWidget* mainWindow() = 0;
  // The keys window (frmDownloadList), modeless.
  virtual void showDownloadList() = 0;
  // frmFolderChooser: its OK queues what the file chooser and then the source folder chooser
  // hold, and hides the file chooser. Opened by Restore All (restoreAll) or by the file
  // chooser's Next.
  virtual void showFolderChooser(bool restoreAll) = 0;
  // frmDestinationFolderChooser: its OK queues what choose gives.
  virtual void showDestinationFolderChooser(std::function<RestoreChoice()> choose) = 0;
};

}  // namespace corvane::restore::ui
