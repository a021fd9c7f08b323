// The restore page's "Download" frame (the folder tree and the actions on the ticked files) and
// the restore buttons of tab 5 that open the restore dialogs.
#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>

#include "platform/Messages.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/FrmFileChooser.h"
#include "restore/ui/FrmFolderChooser.h"
#include "restore/ui/FrmSourceFolderChooser.h"
#include "restore/ui/RestorePage.h"
#include "store/Database.h"

namespace corvane::restore::ui {

void RestorePage::btnMode_Click() {
  if (busy_ || tree_->building()) return;
  if (btnMode->text() == QLatin1String("File View")) {
    fileList_->widget()->show();
    cbxSources->show();
    btnAddSource->show();
    btnRemoveSource->show();
    tvDLFolders->hide();
    btnMode->setText(QStringLiteral("Folder View"));
  } else {
    fileList_->widget()->hide();
    tvDLFolders->show();
    btnMode->setText(QStringLiteral("File View"));
    InitTv();
  }
}

void RestorePage::InitTv() {
  BusyScope busy(busy_);
  tree_->build(shownCatalogue(), [this](const QString& t) { services_.setCaption(t); });
}

QList<UploadedFileRecord> RestorePage::checkedRecords(const QString& catalogue) {
  if (fileView()) return fileList_->checkedRecords();
  QList<UploadedFileRecord> out;
  UploadedFileRecords folder = freshRecords();
  for (const QString& key : tree_->GetAllCheckedNodes()) {
    const int n = DBSelectUploadedFiles(catalogue, key, folder);
    for (int i = 0; i < n; ++i) out << folder[i];
  }
  return out;
}

void RestorePage::StoreCheckedItems() {
  QueueRecords(databases().filesDb, checkedRecords(shownCatalogue()),
               QueueCaption([this](const QString& t) { services_.setCaption(t); }));
}

void RestorePage::btnStartDownloads_Click() {
  if (!EmptyRestoreQueue(databases().filesDb)) return;
  showDestinationFolderChooser([this] { StoreCheckedItems(); });
}

void RestorePage::btnClearDownloads_Click() {
  // The stop reaches the service even when the queue could not be emptied.
  EmptyRestoreQueue(databases().filesDb);
  try {
    SignalDownloadAbort(databases().statusDb, now());
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
  }
}

void RestorePage::btnVerifyDownloads_Click() {
  if (busy_ || !IsThisComputer(databases().statusDb)) return;
  BusyScope busy(busy_);
  ValidateRecords(databases().filesDb, databases().statusDb, checkedRecords(databases().filesDb),
                  fileView() ? ActionView::Files : ActionView::Folders, now());
}

void RestorePage::btnDeleteFiles_Click() {
  if (busy_ || !IsThisComputer(databases().statusDb)) return;
  BusyScope busy(busy_);
  RewriteRecordsForDelete(databases().filesDb, databases().statusDb, checkedRecords(databases().filesDb),
                          fileView() ? ActionView::Files : ActionView::Folders, now());
  // The request goes under the main window's session, agreed (or renewed) first.
  if (keys::BeginEncryptionSession(session_) == QLatin1String("OK")) SendDeleteRequest(session_);
}

void RestorePage::ensureFolderChoosers() {
  if (!folderChooser_) {
    folderChooser_ = std::make_unique<FrmFolderChooser>(*this, QStringLiteral("frmFolderChooser"));
    destinationChooser_ = std::make_unique<FrmFolderChooser>(*this, QStringLiteral("frmDestinationFolderChooser"));
  }
  if (clock_) {
    folderChooser_->setClock(clock_);
    destinationChooser_->setClock(clock_);
  }
}

// Each chooser puts in what is ticked in it now: the file chooser's list is emptied by its Exit,
// while the source folder chooser keeps its tree and ticks while hidden. One that was never
// opened holds nothing.
void RestorePage::showFolderChooser() {
  ensureFolderChoosers();
  folderChooser_->showFor(
      [this] {
        if (fileChooser_) fileChooser_->StoreCheckedItems();
        if (sourceChooser_) sourceChooser_->StoreCheckedItems();
      },
      [this] {
        if (fileChooser_) fileChooser_->hide();
      });
}

void RestorePage::showDestinationFolderChooser(std::function<void()> storeItems) {
  ensureFolderChoosers();
  destinationChooser_->showFor(std::move(storeItems));
}

void RestorePage::btnRestoreAll_Click() { showFolderChooser(); }

void RestorePage::btnRestoreFiles_Click() {
  setRestoreButtonsEnabled(false);
  if (services_.window()) services_.window()->raise();
  if (!fileChooser_) fileChooser_ = std::make_unique<FrmFileChooser>(*this);
  if (clock_) fileChooser_->setClock(clock_);
  fileChooser_->show();
  fileChooser_->raise();
  fileChooser_->activateWindow();
}

void RestorePage::btnRestoreFolders_Click() {
  setRestoreButtonsEnabled(false);
  if (services_.window()) services_.window()->raise();
  if (!sourceChooser_) sourceChooser_ = std::make_unique<FrmSourceFolderChooser>(*this);
  sourceChooser_->showChooser();
}

}  // namespace corvane::restore::ui
