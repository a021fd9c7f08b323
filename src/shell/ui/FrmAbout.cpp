#include "shell/ui/FrmAbout.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "handoff/WindowTitle.h"

namespace corvane::shell {

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent) {
  setObjectName("frmabout");
  setWindowTitle(QStringLiteral("About - Corvane Remote Backup"));
  handoff::keepTitleWhole(this);
  setModal(false);

  auto* picture = new QLabel(this);
  picture->setObjectName("Image1");
  picture->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(48, 48));

  auto* title = new QLabel(QStringLiteral("Corvane Remote Backup"), this);
  title->setObjectName("lblTitle");
  QFont f = title->font();
  f.setBold(true);
  title->setFont(f);
  const QString version = QCoreApplication::applicationVersion();
  auto* lblVersion = new QLabel(version.isEmpty() ? QString() : QStringLiteral("Version ") + version, this);
  lblVersion->setObjectName("lblVersion");
  lblVersion->setVisible(!version.isEmpty());  // no empty line between title and description
  auto* lblDescription = new QLabel(QStringLiteral("Control program of the Corvane backup service."), this);
  lblDescription->setObjectName("lblDescription");

  auto* cmdOk = new QPushButton(QStringLiteral("Close"), this);
  cmdOk->setObjectName("cmdOk");
  connect(cmdOk, &QPushButton::clicked, this, &FrmAbout::cmdOk_Click);
  cmdOk->setDefault(true);
  cmdOk->setFocus();

  auto* texts = new QVBoxLayout;
  texts->addWidget(title);
  texts->addWidget(lblVersion);
  texts->addWidget(lblDescription);
  auto* top = new QHBoxLayout;
  top->addWidget(picture, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOk);
  auto* main = new QVBoxLayout(this);
  main->addLayout(top);
  main->addLayout(buttons);
}

void FrmAbout::cmdOk_Click() { hide(); }

}  // namespace corvane::shell
