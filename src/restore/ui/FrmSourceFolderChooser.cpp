#include "restore/ui/FrmSourceFolderChooser.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "handoff/WindowTitle.h"
#include "platform/Messages.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/RestoreDialogHost.h"
#include "store/Database.h"
#include "store/DatabaseTrouble.h"
#include "store/FileTables.h"
#include "store/Settings.h"

namespace corvane::restore::ui {

FrmSourceFolderChooser::FrmSourceFolderChooser(RestoreDialogHost& host) : QDialog(nullptr), host_(host) {
  setObjectName(QStringLiteral("frmSourceFolderChooser"));
  setWindowTitle(QStringLiteral("Choose source folders..."));
  handoff::keepTitleWhole(this);
  setModal(false);
  tvDLSFolders = new QTreeWidget(this);
  tvDLSFolders->setObjectName(QStringLiteral("tvDLSFolders"));
  tree_ = std::make_unique<CatalogueTree>(tvDLSFolders, nodes_);
  lblCatalogue = new QLabel(this);
  lblCatalogue->setObjectName(QStringLiteral("lblCatalogue"));
  lblCatalogue->setWordWrap(true);
  lblCatalogue->setAlignment(Qt::AlignCenter);
  lblCatalogue->hide();
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tvDLSFolders, 1);
  layout->addWidget(lblCatalogue, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnCancel);
  buttons->addWidget(btnOK);
  buttons->addStretch();
  layout->addLayout(buttons);
  resize(520, 560);
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOK_Click(); });
  connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancel_Click(); });
}

FrmSourceFolderChooser::~FrmSourceFolderChooser() = default;

QString FrmSourceFolderChooser::currentCatalogue() const {
  const auto& dbs = host_.databases();
  try {
    return CatalogueDatabase(dbs.statusDb, dbs.filesDb, host_.appFolder(), host_.chosenComputerName(),
                             QStringLiteral("Download.db"))
        .value_or(QString());
  } catch (const store::DBError&) {
    return QString();  // no tree of a catalogue nobody can name
  }
}

void FrmSourceFolderChooser::showChooser() {
  // A catalogue found damaged since the tree was built is shown so; a damaged one may have been
  // fetched again meanwhile (a new file at the same path).
  if (!built_ || tree_->damaged() || store::isKnownDamaged(catalogue_) || currentCatalogue() != catalogue_) InitTv();
  show();
  raise();
  activateWindow();
}

void FrmSourceFolderChooser::InitTv() {
  catalogue_ = currentCatalogue();
  built_ = tree_->build(catalogue_, [this](const QString& t) { host_.setMainCaption(t); });
  lblCatalogue->setText(tree_->damaged() ? damagedCatalogueText(catalogue_) : QString());
  lblCatalogue->setVisible(tree_->damaged());
  tvDLSFolders->setVisible(!tree_->damaged());
}

QStringList FrmSourceFolderChooser::GetAllCheckedNodes() { return tree_->GetAllCheckedNodes(); }

RestoreChoice FrmSourceFolderChooser::checkedItems() {
  const QStringList keys = GetAllCheckedNodes();
  RestoreChoice choice = FilesOfFolders(catalogue_, keys);
  // Each folder read leaves "State" free for the service; written once for all of them.
  if (!keys.isEmpty()) {
    try {
      store::DBUpdateSetting(host_.databases().statusDb, QStringLiteral("State"), QStringLiteral("Free"),
                             QDateTime::currentDateTime());
    } catch (const store::DBError&) {
      // the service sets it again itself
    }
  }
  return choice;
}

int FrmSourceFolderChooser::StoreCheckedItems() {
  return QueueRecords(host_.databases().filesDb, checkedItems().files,
                      QueueCaption([this](const QString& t) { host_.setMainCaption(t); }));
}

void FrmSourceFolderChooser::btnOK_Click() {
  if (!EmptyRestoreQueue(host_.databases().filesDb)) return;
  hide();
  host_.showDestinationFolderChooser([this] { return checkedItems(); });
}

void FrmSourceFolderChooser::btnCancel_Click() {
  host_.enableRestoreButtons();
  hide();
}

}  // namespace corvane::restore::ui
