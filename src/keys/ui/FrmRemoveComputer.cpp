#include "keys/ui/FrmRemoveComputer.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "handoff/WindowTitle.h"
#include "keys/KeysTable.h"
#include "keys/RemoveComputer.h"
#include "keys/ui/ComputerKeysList.h"
#include "platform/AppFolder.h"
#include "store/DatabasePaths.h"
#include "store/Settings.h"

namespace corvane::keys::ui {

FrmRemoveComputer::FrmRemoveComputer(RestorePageSeam* restore, QWidget* parent, QString statusDb)
    : QDialog(parent), restore_(restore), statusDb_(std::move(statusDb)) {
  setObjectName("frmRemoveComputer");
  setWindowTitle("Remove Computer");
  handoff::keepTitleWhole(this);
  setModal(false);
  appFolder_ = platform::appPaths().appFolder;
  if (statusDb_.isEmpty()) statusDb_ = store::DatabasePaths::forAppFolder(appFolder_).statusDb;

  auto* frame = new QGroupBox("Choose computer to remove...", this);
  frame->setObjectName("frameRemove");
  LstComputerKeys_ = makeComputerKeysList(frame);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(LstComputerKeys_);

  auto* remove = new QPushButton("Remove", this);
  remove->setObjectName("btnRemove");
  remove->setAutoDefault(false);
  auto* exitButton = new QPushButton("Exit", this);
  exitButton->setObjectName("btnRemoveExit");
  exitButton->setAutoDefault(false);
  connect(remove, &QPushButton::clicked, this, &FrmRemoveComputer::btnRemove_Click);
  connect(exitButton, &QPushButton::clicked, this, &FrmRemoveComputer::btnRemoveExit_Click);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(remove);
  buttons->addWidget(exitButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);

  Form_Load();
}

void FrmRemoveComputer::Form_Load() {
  // Looking up the restore computer's name makes the table (or imports this computer's key
  // file into an empty one) before the list is filled; the name itself is not shown.
  const qint64 dIdentity = store::settingValue(statusDb_, "DIdentity").trimmed().toLongLong();
  keys::DBSelectMachineNameByKeyID(statusDb_, appFolder_, dIdentity);
  DBSelectAllMachineNames();
}

void FrmRemoveComputer::DBSelectAllMachineNames() { fillComputerKeysList(LstComputerKeys_, statusDb_); }

void FrmRemoveComputer::btnRemove_Click() {
  RemoveComputers(statusDb_, appFolder_, checkedComputers(LstComputerKeys_), restore_);
  DBSelectAllMachineNames();
}

void FrmRemoveComputer::btnRemoveExit_Click() { hide(); }

}  // namespace corvane::keys::ui
