#include "filecopy/ui/FrmFileCopy.h"

#include <QEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "platform/Placement.h"

namespace corvane::filecopy {

FrmFileCopy::FrmFileCopy(QWidget* parent)
    : QWidget(parent, Qt::Window),
      copier_(CopyObserver{
          [this](const QString& path) { lblLastFileChecked_->setText(path); },
          [this](const QString& path) { lblLastFileCopied_->setText(path); },
          [this](const QString& path) { lbxFileCopyErrors_->addItem(path); },
          [this](const QString& caption) { setWindowTitle(caption); },
      }) {
  setObjectName(QStringLiteral("frmFileCopy"));
  setWindowTitle(QStringLiteral("File Copy Utility"));

  tbxFileCopySource_ = new QLineEdit(this);
  tbxFileCopySource_->setObjectName(QStringLiteral("tbxFileCopySource"));
  tbxFileCopyDestination_ = new QLineEdit(this);
  tbxFileCopyDestination_->setObjectName(QStringLiteral("tbxFileCopyDestination"));
  auto* sourceLabel = new QLabel(QStringLiteral("Source"), this);
  sourceLabel->setBuddy(tbxFileCopySource_);
  auto* destinationLabel = new QLabel(QStringLiteral("Destination"), this);
  destinationLabel->setBuddy(tbxFileCopyDestination_);

  btnFileCopyStart_ = new QPushButton(QStringLiteral("Start Copy"), this);
  btnFileCopyStart_->setObjectName(QStringLiteral("btnFileCopyStart"));
  btnFileCopyStop_ = new QPushButton(QStringLiteral("Stop Copy"), this);
  btnFileCopyStop_->setObjectName(QStringLiteral("btnFileCopyStop"));
  btnFileCopyExit_ = new QPushButton(QStringLiteral("Close"), this);
  btnFileCopyExit_->setObjectName(QStringLiteral("btnFileCopyExit"));

  lblLastFileChecked_ = new QLabel(this);
  lblLastFileChecked_->setObjectName(QStringLiteral("lblLastFileChecked"));
  lblLastFileCopied_ = new QLabel(this);
  lblLastFileCopied_->setObjectName(QStringLiteral("lblLastFileCopied"));
  for (QLabel* label : {lblLastFileChecked_, lblLastFileCopied_}) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(360);
  }
  lbxFileCopyErrors_ = new QListWidget(this);
  lbxFileCopyErrors_->setObjectName(QStringLiteral("lbxFileCopyErrors"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(sourceLabel, 0, 0);
  grid->addWidget(tbxFileCopySource_, 0, 1);
  grid->addWidget(destinationLabel, 1, 0);
  grid->addWidget(tbxFileCopyDestination_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnFileCopyStart_);
  buttons->addWidget(btnFileCopyStop_);
  buttons->addStretch();
  buttons->addWidget(btnFileCopyExit_);
  grid->addLayout(buttons, 2, 0, 1, 2);
  grid->addWidget(lblLastFileChecked_, 3, 0, 1, 2);
  grid->addWidget(lblLastFileCopied_, 4, 0, 1, 2);
  grid->addWidget(lbxFileCopyErrors_, 5, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(5, 1);
  resize(560, 360);

  connect(btnFileCopyStart_, &QPushButton::clicked, this, [this] { btnFileCopyStart_Click(); });
  connect(btnFileCopyStop_, &QPushButton::clicked, this, [this] { btnFileCopyStop_Click(); });
  connect(btnFileCopyExit_, &QPushButton::clicked, this, [this] { btnFileCopyExit_Click(); });
}

FrmFileCopy::~FrmFileCopy() { copier_.abort(); }

void FrmFileCopy::stop() { copier_.abort(); }

void FrmFileCopy::setVisible(bool visible) {
  if (visible && !isVisible() && parentWidget()) {
    const QWidget* owner = parentWidget()->window();
    const QRect available = owner->screen() ? owner->screen()->availableGeometry() : QRect();
    move(platform::centredOver(owner->frameGeometry(), frameGeometry().size(), available).topLeft());
  }
  QWidget::setVisible(visible);
}

void FrmFileCopy::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
    btnFileCopyExit_Click();
    return;
  }
  QWidget::keyPressEvent(e);
}

bool FrmFileCopy::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Form_Activate();
  return QWidget::event(e);
}

void FrmFileCopy::Form_Activate() {
  // While a walk runs its results stay: clearing them would lose failures already listed.
  if (copier_.isRunning()) return;
  lblLastFileCopied_->clear();
  lbxFileCopyErrors_->clear();
}

void FrmFileCopy::btnFileCopyStart_Click() {
  if (copier_.isRunning()) return;
  btnFileCopyStart_->setEnabled(false);
  const CopyOutcome outcome = copier_.run(tbxFileCopySource_->text(), tbxFileCopyDestination_->text());
  btnFileCopyStart_->setEnabled(true);
  if (outcome == CopyOutcome::Finished || outcome == CopyOutcome::Stopped)
    lblLastFileCopied_->setText(QStringLiteral("Done"));
}

void FrmFileCopy::btnFileCopyStop_Click() { copier_.requestStop(); }

void FrmFileCopy::btnFileCopyExit_Click() { hide(); }

}  // namespace corvane::filecopy
