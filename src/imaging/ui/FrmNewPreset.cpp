#include "imaging/ui/FrmNewPreset.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "handoff/WindowTitle.h"

namespace corvane::imaging {

FrmNewPreset::FrmNewPreset(QWidget* owner) : QDialog(owner) {
  setObjectName("frmNewPreset");
  setWindowTitle(QStringLiteral("Create New Preset"));
  handoff::keepTitleWhole(this);
  setModal(true);
  auto* frame = new QGroupBox(QStringLiteral("Enter new preset name..."), this);
  frame->setObjectName("Frame1");
  tbxNewPreset = new QLineEdit(frame);
  tbxNewPreset->setObjectName("tbxNewPreset");
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(tbxNewPreset);

  btnSaveNewPreset = new QPushButton(QStringLiteral("Save"), this);
  btnSaveNewPreset->setObjectName("btnSaveNewPreset");
  btnSaveNewPreset->setDefault(true);
  btnCancelNewPreset = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancelNewPreset->setObjectName("btnCancelNewPreset");
  connect(btnSaveNewPreset, &QPushButton::clicked, this, [this] { btnSaveNewPreset_Click(); });
  connect(btnCancelNewPreset, &QPushButton::clicked, this, [this] { btnCancelNewPreset_Click(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnSaveNewPreset);
  buttons->addWidget(btnCancelNewPreset);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);
}

QString FrmNewPreset::typedName() const { return tbxNewPreset->text(); }

void FrmNewPreset::btnSaveNewPreset_Click() { accept(); }

void FrmNewPreset::btnCancelNewPreset_Click() { reject(); }

std::optional<QString> FrmNewPreset::ask(QWidget* owner) {
  FrmNewPreset dialog(owner);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.typedName();
}

}  // namespace corvane::imaging
