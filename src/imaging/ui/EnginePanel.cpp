#include "imaging/ui/EnginePanel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "imaging/ui/ActivityIndicator.h"
#include "imaging/ui/PageWidgets.h"
#include "shell/Twips.h"
#include "store/Database.h"

namespace corvane::imaging {

using namespace page;

namespace {

// The frame keeps one size; the window's layout keeps it centred on the tab.
constexpr int kFrameWidthTwips = 8800;
constexpr int kFrameHeightTwips = 5600;

QLineEdit* readOnlyBox(QWidget* parent, const char* name) {
  auto* box = named(new QLineEdit(parent), name);
  box->setReadOnly(true);
  return box;
}

}  // namespace

EnginePanel::EnginePanel(shell::MainWindowServices& services, EngineLibrary engine, EngineHooks hooks, QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("EnginePanel"));
  if (!hooks.after) {
    hooks.after = [this](int ms, std::function<void()> then) {
      QTimer::singleShot(ms, this, [this, then] {
        then();
        render();
      });
    };
  }
  if (!hooks.now) hooks.now = [] { return QDateTime::currentDateTime(); };
  front_ = std::make_unique<EngineFrontEnd>(services.databases(), std::move(engine), std::move(hooks));
  indicator_ = new ActivityIndicator;
  build();
  wire();
  render();
}

EnginePanel::~EnginePanel() {
  // The setup page holds the indicator once it has placed it; one never placed is ours.
  if (indicator_ && !indicator_->parent()) delete indicator_.data();
}

QWidget* EnginePanel::activityIndicator() { return indicator_.data(); }

void EnginePanel::build() {
  frameImaging = group(this, "frameImaging", QStringLiteral("Image Functions"));
  frameImaging->setFixedSize(shell::pixelsFromTwips(kFrameWidthTwips), shell::pixelsFromTwips(kFrameHeightTwips));
  frameImaging->move(8, 8);

  btnConnectToImageEngine = button(frameImaging, "btnConnectToImageEngine", kConnectCaption);
  btnPauseResumeImageEngine = button(frameImaging, "btnPauseResumeImageEngine", kPauseCaption);
  btnCreateImage = button(frameImaging, "btnCreateImage", QStringLiteral("Create Disk Image"));
  btnAbortImage = button(frameImaging, "btnAbortImage", QStringLiteral("Abort Image"));
  tbxImageEngineStatus = readOnlyBox(frameImaging, "tbxImageEngineStatus");
  lblImageEngineStatus = named(new QLabel(frameImaging), "lblImageEngineStatus");
  tbxBytesRead = readOnlyBox(frameImaging, "tbxBytesRead");
  tbxBytesWritten = readOnlyBox(frameImaging, "tbxBytesWritten");
  for (QLineEdit* box : {tbxBytesRead, tbxBytesWritten}) box->setAlignment(Qt::AlignRight);
  LblImageComplete = named(new QLabel(frameImaging), "LblImageComplete");
  lblPercentImageVerified = named(new QLabel(frameImaging), "lblPercentImageVerified");
  ProgressBar1 = named(new QProgressBar(frameImaging), "ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  btnVerifyImageUpload = button(frameImaging, "btnVerifyImageUpload", QStringLiteral("Verify Image Upload"));
  lblEngineProblem = named(new QLabel(frameImaging), "lblEngineProblem");
  lblEngineProblem->setWordWrap(true);

  auto* grid = new QGridLayout(frameImaging);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(2, 1);
  grid->addWidget(btnConnectToImageEngine, 0, 0, 1, 2);
  grid->addWidget(btnPauseResumeImageEngine, 0, 2, 1, 2);
  grid->addWidget(btnCreateImage, 1, 0, 1, 2);
  grid->addWidget(btnAbortImage, 1, 2, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Image Status:"), frameImaging), 2, 0);
  grid->addWidget(tbxImageEngineStatus, 2, 1);
  grid->addWidget(lblImageEngineStatus, 2, 2, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Bytes Read:"), frameImaging), 3, 0);
  grid->addWidget(tbxBytesRead, 3, 1);
  grid->addWidget(new QLabel(QStringLiteral("Bytes Written:"), frameImaging), 4, 0);
  grid->addWidget(tbxBytesWritten, 4, 1);
  grid->addWidget(LblImageComplete, 5, 0, 1, 4);
  grid->addWidget(lblPercentImageVerified, 6, 0);
  grid->addWidget(ProgressBar1, 6, 1, 1, 3);
  grid->addWidget(btnVerifyImageUpload, 7, 0, 1, 2);
  grid->addWidget(lblEngineProblem, 8, 0, 1, 4);
  grid->setRowStretch(8, 1);
}

void EnginePanel::run(void (EngineFrontEnd::*handler)()) {
  try {
    ((*front_).*handler)();
  } catch (const store::DBError&) {
    // The front end reports what the user must know; a database step it does not report ends
    // the handler.
  }
  render();
}

void EnginePanel::wire() {
  connect(btnConnectToImageEngine, &QPushButton::clicked, this,
          [this] { run(&EngineFrontEnd::btnConnectToImageEngine_Click); });
  connect(btnPauseResumeImageEngine, &QPushButton::clicked, this,
          [this] { run(&EngineFrontEnd::btnPauseResumeImageEngine_Click); });
  connect(btnCreateImage, &QPushButton::clicked, this, [this] { run(&EngineFrontEnd::btnCreateImage_Click); });
  connect(btnAbortImage, &QPushButton::clicked, this, [this] { run(&EngineFrontEnd::btnAbortImage_Click); });
  connect(btnVerifyImageUpload, &QPushButton::clicked, this,
          [this] { run(&EngineFrontEnd::btnVerifyImageUpload_Click); });
}

void EnginePanel::render() {
  const EnginePanelView& v = front_->panel();
  const bool engine = front_->engine().available();
  btnConnectToImageEngine->setText(v.connectCaption);
  btnConnectToImageEngine->setEnabled(engine && v.connectEnabled);
  btnPauseResumeImageEngine->setText(v.pauseCaption);
  btnPauseResumeImageEngine->setEnabled(engine && v.pauseEnabled);
  btnCreateImage->setEnabled(engine && v.createEnabled);
  btnAbortImage->setEnabled(engine && v.abortEnabled);
  tbxImageEngineStatus->setText(v.status);
  lblImageEngineStatus->setText(v.statusLine);
  tbxBytesRead->setText(v.bytesRead);
  tbxBytesWritten->setText(v.bytesWritten);
  LblImageComplete->setText(v.complete);
  lblPercentImageVerified->setText(v.percentVerified);
  ProgressBar1->setValue(qBound(0, v.progress, 100));
  lblEngineProblem->setText(v.problem);
  lblEngineProblem->setVisible(!v.problem.isEmpty());
  if (indicator_) indicator_->display(front_->indicator());
}

void EnginePanel::UpdateImagePage() { run(&EngineFrontEnd::UpdateImagePage); }
void EnginePanel::UpdateOldImagePage() { run(&EngineFrontEnd::UpdateOldImagePage); }
void EnginePanel::UIDisconnect() { run(&EngineFrontEnd::UIDisconnect); }

}  // namespace corvane::imaging
