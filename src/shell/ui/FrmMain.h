#pragma once
// frmMain: the launcher. Never shown; it turns the command line into an action.
#include <QWidget>
#include <functional>
#include <memory>

#include "shell/CommandLine.h"

class QLineEdit;
class QLabel;

namespace corvane::platform {
class InstanceLock;
}

namespace corvane::shell {

class FrmMain : public QWidget {
  Q_OBJECT
 public:
  // openMainWindow shows frmConfig (the command "CONFIG").
  FrmMain(QString commandLine, std::function<void()> openMainWindow, QWidget* parent = nullptr);
  ~FrmMain() override;

  // Hides the window, takes the instance lock and reads the command line. False when another
  // copy runs on the same application folder: the caller ends the process at once.
  bool Form_Load();
  // Hands the caption and the command to Text1 and Text2; Text2's change runs the command.
  void Form_Activate();

  const LaunchRequest& request() const { return request_; }

 private:
  void Text2_Change();

  QString commandLine_;
  std::function<void()> openMainWindow_;
  LaunchRequest request_;
  std::unique_ptr<platform::InstanceLock> lock_;
  QLineEdit* Text1_ = nullptr;
  QLineEdit* Text2_ = nullptr;
  QLabel* Label1_ = nullptr;
};

}  // namespace corvane::shell
