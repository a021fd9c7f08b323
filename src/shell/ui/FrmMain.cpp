#include "shell/ui/FrmMain.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

#include "handoff/SharedLists.h"
#include "platform/AppFolder.h"
#include "platform/InstanceLock.h"
#include "platform/Wait.h"

namespace corvane::shell {

FrmMain::FrmMain(QString commandLine, std::function<void()> openMainWindow, QWidget* parent)
    : QWidget(parent), commandLine_(std::move(commandLine)), openMainWindow_(std::move(openMainWindow)) {
  setObjectName("frmMain");
  Text1_ = new QLineEdit(this);
  Text1_->setObjectName("Text1");
  Text1_->setToolTip(QStringLiteral("To Show the Status"));
  Text2_ = new QLineEdit(this);
  Text2_->setObjectName("Text2");
  Text2_->setToolTip(QStringLiteral("To Call the Form"));
  Label1_ = new QLabel(QStringLiteral("Please wait..."), this);
  Label1_->setObjectName("Label1");
  auto* image1 = new QLabel(this);  // the waiting picture; the window is never shown
  image1->setObjectName("Image1");
  image1->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(image1);
  layout->addWidget(Label1_);
  layout->addWidget(Text1_);
  layout->addWidget(Text2_);
  connect(Text2_, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
}

FrmMain::~FrmMain() = default;

bool FrmMain::Form_Load() {
  hide();
  const platform::AppPaths paths = platform::AppPaths::forFolder(platform::applicationFolder());
  lock_ = std::make_unique<platform::InstanceLock>(paths.appFolder);
  if (!lock_->tryLock()) return false;
  handoff::resetSearchLists();
  platform::setAppPaths(paths);
  request_ = parseCommandLine(commandLine_);
  return true;
}

void FrmMain::Form_Activate() {
  hide();
  platform::doEvents();
  Text1_->setText(request_.caption);
  Text2_->setText(request_.command);
}

void FrmMain::Text2_Change() {
  if (actionFor(Text2_->text()) == LaunchAction::OpenMainWindow && openMainWindow_) openMainWindow_();
  hide();
}

}  // namespace corvane::shell
