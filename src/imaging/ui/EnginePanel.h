#pragma once
// The engine panel (tab 6, frame frameImaging "Image Functions"): connect to the imaging engine,
// follow its state and byte counts, pause, resume or abort an image, start the next image and
// check the image folder's uploads. It also owns the activity indicator of the setup page. The
// logic is EngineFrontEnd's; the panel draws its views after every event.
#include <QPointer>
#include <QWidget>

#include "imaging/EngineFrontEnd.h"
#include "imaging/ImageOperations.h"
#include "shell/PageSeam.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace corvane::imaging {

class ActivityIndicator;

class EnginePanel : public QWidget, public ImageOperations {
  Q_OBJECT
 public:
  // hooks.after and hooks.now are filled in when empty (a window timer and the clock).
  EnginePanel(shell::MainWindowServices& services, EngineLibrary engine, EngineHooks hooks, QWidget* parent = nullptr);
  ~EnginePanel() override;

  // ImageOperations
  void UpdateImagePage() override;
  void UpdateOldImagePage() override;
  void UIDisconnect() override;
  QWidget* enginePanel() override { return this; }
  QWidget* activityIndicator() override;

  EngineFrontEnd& frontEnd() { return *front_; }
  // Draws the front end's views on the controls.
  void render();

 private:
  void build();
  void wire();
  void run(void (EngineFrontEnd::*handler)());

  std::unique_ptr<EngineFrontEnd> front_;
  QPointer<ActivityIndicator> indicator_;
  QGroupBox* frameImaging = nullptr;
  QPushButton *btnConnectToImageEngine = nullptr, *btnPauseResumeImageEngine = nullptr;
  QPushButton *btnCreateImage = nullptr, *btnAbortImage = nullptr, *btnVerifyImageUpload = nullptr;
  QLineEdit *tbxImageEngineStatus = nullptr, *tbxBytesRead = nullptr, *tbxBytesWritten = nullptr;
  QLabel *lblImageEngineStatus = nullptr, *LblImageComplete = nullptr, *lblPercentImageVerified = nullptr;
  QLabel* lblEngineProblem = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
};

}  // namespace corvane::imaging
