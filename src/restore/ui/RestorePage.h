#pragma once
// The "Restore" page of the main window (tab 7) and the restore buttons of tab 5: the
// computers whose backups can be restored (cbxSources), the chosen computer's catalogue as a
// file list or folder tree, the restore actions, and the restore dialogs.
#include <QDateTime>
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

#include "keys/EncryptionSession.h"
#include "keys/KeysTable.h"
#include "keys/RestorePageSeam.h"
#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/RestoreDialogHost.h"
#include "selection/FolderTable.h"
#include "shell/PageSeam.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace corvane::keys::ui {
class FrmAddComputer;
class FrmDownloadList;
class FrmRemoveComputer;
}  // namespace corvane::keys::ui

namespace corvane::restore::ui {

class CatalogueTree;
class FileList;
class FilterBoxes;
class FrmFileChooser;
class FrmFolderChooser;
class FrmSourceFolderChooser;

class RestorePage : public QWidget,
                    public shell::RestorePageHooks,
                    public keys::RestorePageSeam,
                    public RestoreDialogHost {
  Q_OBJECT
 public:
  explicit RestorePage(shell::MainWindowServices& services, QWidget* parent = nullptr);
  ~RestorePage() override;

  // shell::RestorePageHooks and keys::RestorePageSeam
  QWidget* widget() override { return this; }
  void InitRestorePage() override;
  void DBSelectAllMachineNames() override;
  void DownloadDirectoryFile(const QString& machineName, qint64 keyId) override;
  bool RemoveSourceEntry(qint64 keyId) override;

  // RestoreDialogHost
  const store::DatabasePaths& databases() const override { return services_.databases(); }
  QString appFolder() const override;
  QString chosenComputerName() const override;
  void enableRestoreButtons() override;
  void setMainCaption(const QString& text) override { services_.setCaption(text); }
  QWidget* mainWindow() override { return services_.window() ? services_.window() : window(); }
  void showDownloadList() override;
  void showFolderChooser(bool restoreAll) override;
  void showDestinationFolderChooser(std::function<RestoreChoice()> choose) override;

  // Source side.
  void cbxSources_Click();
  void DFolderView(const QString& machineName);
  void btnSync_Click();
  void btnQuickSync_Click();
  void btnAddSource_Click();
  void btnRemoveSource_Click();
  // The keys window's "Change Identity": the text catalogue of the first ticked computer.
  void btnIdentity_Click();

  // File list.
  void AddToFileChooser();
  void FilterFileChooserByFilename();
  void FilterFileChooserByExtension();
  void btnCheckAll_Click();
  void btnUncheckAll_Click();

  // Folder tree and actions.
  void btnMode_Click();
  void InitTv();
  // The ticked files of the list or, in folder view, of the ticked folders.
  RestoreChoice checkedItems(const QString& catalogue);
  void StoreCheckedItems();
  void btnStartDownloads_Click();
  void btnClearDownloads_Click();
  void btnVerifyDownloads_Click();
  void btnDeleteFiles_Click();
  void btnRestoreAll_Click();
  void btnRestoreFiles_Click();
  void btnRestoreFolders_Click();

  // State for callers and tests.
  const UploadedFileRecords& records() const { return records_; }
  const QList<keys::MachineEntry>& machines() const { return machines_; }
  FileList& fileList() const { return *fileList_; }
  CatalogueTree& tree() const { return *tree_; }
  bool fileView() const;
  keys::EncryptionSession& session() { return session_; }
  void setClock(std::function<QDateTime()> clock);
  FrmFileChooser* fileChooser() const { return fileChooser_.get(); }
  FrmSourceFolderChooser* sourceFolderChooser() const { return sourceChooser_.get(); }
  FrmFolderChooser* folderChooser() const { return folderChooser_.get(); }
  FrmFolderChooser* destinationFolderChooser() const { return destinationChooser_.get(); }
  keys::ui::FrmDownloadList* downloadList() const { return downloadList_.get(); }
  keys::ui::FrmAddComputer* addComputer() const { return addComputer_.get(); }
  // The catalogue the page shows (Files.db or <name>Files.db), "" when none can be named.
  QString shownCatalogue() const;
  // The catalogue that waits for the page to be shown before it is read ("" when none).
  const QString& pendingCatalogue() const { return pendingCatalogue_; }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // Clears a flag when the work that set it ends (also by an exception).
  class BusyScope {
   public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }

   private:
    bool& flag_;
  };

  // Reads a catalogue into the records in steps, with progress in lblStats; false when a later
  // view took over meanwhile (the records are then that view's).
  bool readCatalogue(const QString& db);
  QDateTime now() const { return clock_ ? clock_() : QDateTime::currentDateTime(); }
  QString readSetting(const QString& name);
  bool updateSetting(const QString& name, const QString& value, const QDateTime& date);
  std::optional<QString> fetchDirectory(const QString& machineName, qint64 keyId);
  // Sync's write-back from copy may go ahead: neither file is damaged (told when one is).
  bool soundForWriteBack(const QString& copy);
  // Makes the source box name the computer of that key (nothing when it has no entry).
  void selectSource(qint64 keyId);
  void connectRestoreButtons();
  void setRestoreButtonsEnabled(bool enabled);
  void showStats(double count, double bytes);
  // The records as the filter box that changed last lets them through (all when it is empty).
  void refillList();
  void buildWidgets();
  void ensureFolderChoosers();
  void ensureDownloadList();

  shell::MainWindowServices& services_;
  std::function<QDateTime()> clock_;
  keys::EncryptionSession session_;
  selection::DownloadNodes nodes_;
  QList<keys::MachineEntry> machines_;
  UploadedFileRecords records_ = freshRecords();
  QString pendingCatalogue_;
  QString readingCatalogue_;  // the catalogue a read under way (the latest one) fills the records from
  bool catalogueBusy_ = false;  // the last read found the catalogue busy: the records are not its files
  QString damagedCatalogue_;    // the catalogue shown is damaged: the records are not its files
  quint64 loadGeneration_ = 0;
  bool busy_ = false;
  bool restoreButtonsConnected_ = false;

  QComboBox* cbxSources = nullptr;
  QPushButton* btnSync = nullptr;
  QPushButton* btnAddSource = nullptr;
  QPushButton* btnRemoveSource = nullptr;
  QLineEdit* tbxFileName = nullptr;
  QLineEdit* tbxExtension = nullptr;
  QLabel* lblStats = nullptr;
  QPushButton* btnCheckAll = nullptr;
  QPushButton* btnUncheckAll = nullptr;
  QTreeWidget* tvDLFolders = nullptr;
  QPushButton* btnMode = nullptr;
  QPushButton* btnStartDownloads = nullptr;
  QPushButton* btnClearDownloads = nullptr;
  QPushButton* btnVerifyDownloads = nullptr;
  QPushButton* btnDeleteFiles = nullptr;
  std::unique_ptr<FileList> fileList_;
  std::unique_ptr<FilterBoxes> filterBoxes_;
  std::unique_ptr<CatalogueTree> tree_;

  std::unique_ptr<FrmFileChooser> fileChooser_;
  std::unique_ptr<FrmSourceFolderChooser> sourceChooser_;
  std::unique_ptr<FrmFolderChooser> folderChooser_;
  std::unique_ptr<FrmFolderChooser> destinationChooser_;
  std::unique_ptr<keys::ui::FrmAddComputer> addComputer_;
  std::unique_ptr<keys::ui::FrmRemoveComputer> removeComputer_;
  std::unique_ptr<keys::ui::FrmDownloadList> downloadList_;
};

}  // namespace corvane::restore::ui
