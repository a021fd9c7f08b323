#pragma once
// The destination folder dialogs, "Choose destination folder...": frmFolderChooser and
// frmDestinationFolderChooser share this class. OK writes the restore command to "Activity"
// ("Restore to " + folder [+ " Preserve Folders"]) and then queues the opener's chosen files.
#include <QDialog>
#include <QDateTime>
#include <functional>

#include "restore/RestoreQueue.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace corvane::restore::ui {

class RestoreDialogHost;

class FrmFolderChooser : public QDialog {
  Q_OBJECT
 public:
  // objectName "frmFolderChooser" or "frmDestinationFolderChooser".
  FrmFolderChooser(RestoreDialogHost& host, const QString& objectName);

  // What OK restores, asked for when OK is pressed.
  struct Request {
    std::function<RestoreChoice()> choose;
    std::function<void()> queued;    // after the chosen files are in the queue
    std::function<void()> alsoHide;  // hidden with this window on every way out of OK
    // Restore All: with nothing ticked anywhere the command goes to the service alone.
    bool restoreAll = false;
  };
  // Shows the window (modeless) for a request.
  void showFor(Request request);
  void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

  void Drive1_Change();
  void Dir1_Change();
  // Opens a folder of Dir1 ("" goes one level up).
  void openFolder(const QString& name);
  void btnOK_Click();
  void btnCancel_Click();

  // The folder Dir1 shows, Windows form ("D:\R").
  const QString& dirPath() const { return dirPath_; }

 private:
  void fillDir1();
  RestoreDialogHost& host_;
  Request request_;
  std::function<QDateTime()> clock_;
  QString dirPath_;
  bool storing_ = false;  // OK is queueing the chosen files
  QComboBox* Drive1;
  QListWidget* Dir1;
  QLineEdit* tbxDirectory;
  QCheckBox* cbxPreserveFolders;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

}  // namespace corvane::restore::ui
