// The restore page's "Download" frame (the folder tree and the actions on the ticked files) and
// the restore buttons of tab 5 that open the restore dialogs.
#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>

#include "platform/LosslessUtf8.h"
#include "platform/Messages.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/FrmFileChooser.h"
#include "restore/ui/FrmFolderChooser.h"
#include "restore/ui/FrmSourceFolderChooser.h"
#include "restore/ui/RestorePage.h"
#include "store/Database.h"
#include "store/DatabaseTrouble.h"

namespace corvane::restore::ui {

namespace {
// Verify and Delete end at the first ticked file that is not on this computer (the files marked
// before it stay marked). Said plainly: the caption's count reads as the whole ticked list done.
// A database failure that ended them was told by the marking, with the files it marked.
void tellStoppedAt(const QList<UploadedFileRecord>& files, const MarkResult& result, const QString& marked,
                   const QString& afterwards = QString()) {
  if (!result.stoppedAtMissingFile) return;
  const int handled = result.handled;
  const UploadedFileRecord& r = files[handled];
  platform::showMessage(QStringLiteral("Corvane stopped at %1: %2.\n\n%3 of %4 ticked files were %5; the others were left "
                                       "as they were.%6")
                            .arg(platform::shownText(r.Folder + '\\' + r.FileName + r.Extension),
                                 QStringLiteral("the file is not on this computer"),
                                 QString::number(handled), QString::number(files.size()), marked, afterwards));
}
}  // namespace

void RestorePage::btnMode_Click() {
  if (btnMode->text() == QLatin1String("File View")) {
    // Back to the list while the tree is still being built: the build is given up (the next
    // folder view builds it anew).
    if (tree_->building())
      tree_->cancel();
    else if (busy_)
      return;
    fileList_->widget()->show();
    cbxSources->show();
    btnAddSource->show();
    btnRemoveSource->show();
    tvDLFolders->hide();
    btnCheckAll->show();
    btnUncheckAll->show();
    btnMode->setText(QStringLiteral("Folder View"));
    // The folder tree found the catalogue damaged: the list says so instead of the rows it kept.
    const QString shown = shownCatalogue();
    if (damagedCatalogue_.isEmpty() && !shown.isEmpty() && store::isKnownDamaged(shown) && readCatalogue(shown))
      AddToFileChooser();
  } else {
    if (busy_ || tree_->building()) return;
    fileList_->widget()->hide();
    tvDLFolders->show();
    // They tick the list's rows: in the tree's place they would tick files nobody sees, which the
    // list's Start Download then queues.
    btnCheckAll->hide();
    btnUncheckAll->hide();
    btnMode->setText(QStringLiteral("File View"));
    InitTv();
  }
}

void RestorePage::InitTv() {
  BusyScope busy(busy_);
  // Closing the window ends a build under way.
  tree_->build(
      shownCatalogue(), [this](const QString& t) { services_.setCaption(t); }, [this] { return window()->isVisible(); });
}

RestoreChoice RestorePage::checkedItems(const QString& catalogue) {
  if (fileView()) {
    RestoreChoice choice;
    choice.files = fileList_->checkedRecords();
    choice.anythingTicked = !choice.files.isEmpty();
    return choice;
  }
  return FilesOfFolders(catalogue, tree_->GetAllCheckedNodes());
}

void RestorePage::StoreCheckedItems() {
  const QString shown = shownCatalogue();
  QueueRecords(databases().filesDb, UnlessDamaged(checkedItems(shown), shown).files,
               QueueCaption([this](const QString& t) { services_.setCaption(t); }));
}

void RestorePage::btnStartDownloads_Click() {
  if (!EmptyRestoreQueue(databases().filesDb)) return;
  showDestinationFolderChooser([this] {
    const QString shown = shownCatalogue();
    return UnlessDamaged(checkedItems(shown), shown);
  });
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
  const RestoreChoice choice = checkedItems(databases().filesDb);
  // The ticked folders' files could not be read: a verify of fewer files than were ticked.
  if (choice.catalogueBusy) {
    platform::showMessage(store::busyDatabaseText(databases().filesDb, QStringLiteral("nothing was changed")));
    return;
  }
  const QList<UploadedFileRecord>& files = choice.files;
  const MarkResult result = ValidateRecords(
      databases().filesDb, databases().statusDb, files, fileView() ? ActionView::Files : ActionView::Folders, now(),
      [this](int done) {
        services_.setCaption(QStringLiteral("Corvane Marking files for verify - %1 files...").arg(done));
      });
  tellStoppedAt(files, result, QStringLiteral("marked for verify"));
}

void RestorePage::btnDeleteFiles_Click() {
  if (busy_ || !IsThisComputer(databases().statusDb)) return;
  BusyScope busy(busy_);
  const RestoreChoice choice = checkedItems(databases().filesDb);
  if (choice.catalogueBusy) {
    platform::showMessage(
        store::busyDatabaseText(databases().filesDb, QStringLiteral("nothing was changed and nothing was sent")));
    return;
  }
  const QList<UploadedFileRecord>& files = choice.files;
  const MarkResult result =
      RewriteRecordsForDelete(databases().filesDb, databases().statusDb, files,
                              fileView() ? ActionView::Files : ActionView::Folders, now(), [this](int done) {
                                services_.setCaption(
                                    QStringLiteral("Corvane Marking files for deletion - %1 files...").arg(done));
                              });
  // A file that stopped the rewrite (missing here, or a database failure) ends the procedure:
  // the server is not asked to delete files whose rows were not written anew. The request
  // goes under the session the window has from its catalogue fetch; without one nothing is sent.
  if (result.handled == files.size())
    SendDeleteRequest(session_);
  else
    tellStoppedAt(files, result, QStringLiteral("marked for deletion"),
                  QStringLiteral(" The server was not asked to delete any of them."));
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
void RestorePage::showFolderChooser(bool restoreAll) {
  ensureFolderChoosers();
  FrmFolderChooser::Request request;
  request.choose = [this] {
    RestoreChoice choice;
    if (fileChooser_) choice.append(fileChooser_->checkedItems());
    if (sourceChooser_) choice.append(sourceChooser_->checkedItems());
    return choice;
  };
  request.queued = [this] {
    if (fileChooser_) fileChooser_->itemsQueued();
  };
  request.alsoHide = [this] {
    if (fileChooser_) fileChooser_->hide();
  };
  request.restoreAll = restoreAll;
  folderChooser_->showFor(std::move(request));
}

void RestorePage::showDestinationFolderChooser(std::function<RestoreChoice()> choose) {
  ensureFolderChoosers();
  FrmFolderChooser::Request request;
  request.choose = std::move(choose);
  destinationChooser_->showFor(std::move(request));
}

void RestorePage::btnRestoreAll_Click() { showFolderChooser(true); }

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
