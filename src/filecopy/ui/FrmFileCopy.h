#pragma once
// The folder copy tool window: source and destination boxes, start/stop/close buttons, the
// last file checked and copied, and the files that failed.
#include <QWidget>

#include "filecopy/FolderCopier.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace corvane::filecopy {

class FrmFileCopy : public QWidget {
  Q_OBJECT
 public:
  // A top-level window even when it has a parent (the parent only owns it).
  explicit FrmFileCopy(QWidget* parent = nullptr);
  ~FrmFileCopy() override;

  // Ends a running walk after the file in hand; the program calls it when it closes.
  void stop();
  bool isCopying() const { return copier_.isRunning(); }

 protected:
  // Shown from hidden, it stands centred over its owner's window.
  void setVisible(bool visible) override;
  // Closing the window only hides it (a running walk goes on); activation is watched here.
  bool event(QEvent* e) override;
  // Escape closes the window as Close does.
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Form_Activate();
  void btnFileCopyStart_Click();
  void btnFileCopyStop_Click();
  void btnFileCopyExit_Click();

  QLineEdit* tbxFileCopySource_;
  QLineEdit* tbxFileCopyDestination_;
  QPushButton* btnFileCopyStart_;
  QPushButton* btnFileCopyStop_;
  QPushButton* btnFileCopyExit_;
  QLabel* lblLastFileChecked_;
  QLabel* lblLastFileCopied_;
  QListWidget* lbxFileCopyErrors_;
  FolderCopier copier_;
};

}  // namespace corvane::filecopy
