#include "keys/ui/FrmDownloadList.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "keys/KeyFiles.h"
#include "keys/KeysTable.h"
#include "keys/ui/ComputerKeysList.h"
#include "keys/ui/FrmSelectKeyFile.h"
#include "platform/AppFolder.h"
#include "store/DatabasePaths.h"
#include "store/Settings.h"

namespace corvane::keys::ui {

FrmDownloadList::FrmDownloadList(QWidget* parent, QString statusDb) : QDialog(parent), statusDb_(std::move(statusDb)) {
  setObjectName("frmDownloadList");
  setModal(false);
  const platform::AppPaths& paths = platform::appPaths();
  appFolder_ = paths.appFolder;
  configFolder_ = paths.configFolderPath;
  if (statusDb_.isEmpty()) statusDb_ = store::DatabasePaths::forAppFolder(appFolder_).statusDb;

  lblIdentity_ = new QLabel(this);
  lblIdentity_->setObjectName("lblIdentity");

  auto* frame = new QGroupBox("Keys stored on this computer...", this);
  frame->setObjectName("frameKeys");
  LstComputerKeys_ = makeComputerKeysList(frame);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->addWidget(LstComputerKeys_);

  auto makeButton = [&](const char* name, const char* text, const char* tip) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    if (tip) b->setToolTip(QString::fromLatin1(tip));
    return b;
  };
  auto* keyImport = makeButton(
      "btnKeyImport", "Import Key from File",
      "Use this option to import a key-file (instead of downloading a key) from another computer.");
  auto* exportKey =
      makeButton("btnExportKeyFile", "Export Key To File", "Export a key to a file.Use this option to safely store your key. ");
  auto* deleteKey = makeButton("btnDeleteKey", "Delete Key", nullptr);
  auto* importServer = makeButton(
      "btnImportKeyServer", "Import Key from Server",
      "Import a key from the server if you are restoring files that originally came from another computer.");
  auto* exitButton = makeButton("btnExitDownloadList", "Exit", nullptr);
  connect(keyImport, &QPushButton::clicked, this, &FrmDownloadList::btnKeyImport_Click);
  connect(exportKey, &QPushButton::clicked, this, &FrmDownloadList::btnExportKeyFile_Click);
  connect(deleteKey, &QPushButton::clicked, this, &FrmDownloadList::btnDeleteKey_Click);
  connect(importServer, &QPushButton::clicked, this, &FrmDownloadList::btnImportKeyServer_Click);
  connect(exitButton, &QPushButton::clicked, this, &FrmDownloadList::btnExitDownloadList_Click);

  auto* keyButtons = new QVBoxLayout;
  keyButtons->addWidget(keyImport);
  keyButtons->addWidget(exportKey);
  keyButtons->addWidget(deleteKey);
  keyButtons->addWidget(importServer);
  keyButtons->addStretch();
  auto* middle = new QHBoxLayout;
  middle->addWidget(frame, 1);
  middle->addLayout(keyButtons);

  buttonRow_ = new QHBoxLayout;
  buttonRow_->addStretch();
  buttonRow_->addWidget(exitButton);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblIdentity_);
  layout->addLayout(middle);
  layout->addLayout(buttonRow_);

  Form_Load();
}

void FrmDownloadList::addButton(QPushButton* button) {
  button->setParent(this);
  buttonRow_->insertWidget(buttonRow_->count() - 1, button);
}

void FrmDownloadList::Form_Load() {
  const qint64 dIdentity = store::settingValue(statusDb_, "DIdentity").trimmed().toLongLong();
  lblIdentity_->setText("Download as :- " + keys::DBSelectMachineNameByKeyID(statusDb_, appFolder_, dIdentity));
  DBSelectAllMachineNames();
}

void FrmDownloadList::DBSelectAllMachineNames() { fillComputerKeysList(LstComputerKeys_, statusDb_); }

void FrmDownloadList::ExportKeyFile() {
  QList<qint64> ids;
  for (const ComputerToRemove& c : checkedComputers(LstComputerKeys_)) ids.append(c.keyId);
  keys::ExportKeyFile(statusDb_, configFolder_, ids, clock_ ? clock_() : QDateTime::currentDateTime());
}

void FrmDownloadList::btnKeyImport_Click() {
  if (!selectKeyFile_) {
    selectKeyFile_ = new FrmSelectKeyFile(this, statusDb_);
    selectKeyFile_->setOnKeyLoaded([this] { DBSelectAllMachineNames(); });
  }
  selectKeyFile_->show();
  selectKeyFile_->raise();
}

void FrmDownloadList::btnExportKeyFile_Click() { ExportKeyFile(); }

void FrmDownloadList::btnDeleteKey_Click() {
  for (const ComputerToRemove& c : checkedComputers(LstComputerKeys_)) DBDeleteKey(statusDb_, c.keyId);
  DBSelectAllMachineNames();
}

void FrmDownloadList::btnImportKeyServer_Click() {
  if (showAddComputer_) showAddComputer_();
}

void FrmDownloadList::btnExitDownloadList_Click() { hide(); }

}  // namespace corvane::keys::ui
