#pragma once
// frmFileChooser, "Select files for download...": every uploaded file of the computer chosen
// for restore, with prefix filters, sorting and ticks; Next goes on to the destination dialog,
// whose OK queues the ticked files (StoreCheckedItems).
#include <QDialog>
#include <QDateTime>
#include <QList>
#include <functional>
#include <memory>

#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "store/FileTables.h"

class QLineEdit;
class QPushButton;
class QLabel;

namespace corvane::restore::ui {

class FileList;
class FilterBoxes;
class RestoreDialogHost;

class FrmFileChooser : public QDialog {
  Q_OBJECT
 public:
  explicit FrmFileChooser(RestoreDialogHost& host);
  ~FrmFileChooser() override;

  void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

  void Form_Activate();
  void AddToFileChooser();
  void FilterFileChooserByFilename();
  void FilterFileChooserByExtension();
  void btnCheckAll_Click();
  void btnUncheckAll_Click();
  void btnAddFile_Click();
  void btnNext_Click();
  void btnExit_Click();
  void btnDownloadFilenames_Click();
  // The ticked rows shown, and the paths added by btnAddFile since the last queueing.
  RestoreChoice checkedItems() const;
  // Those paths have been queued with the ticked rows.
  void itemsQueued() { added_.clear(); }
  // Queues checkedItems().
  void StoreCheckedItems();

  FileList& fileList() const { return *list_; }
  const UploadedFileRecords& records() const { return records_; }
  // The catalogue the last activation read.
  const QString& catalogue() const { return catalogue_; }

 protected:
  bool event(QEvent* e) override;

 private:
  QDateTime now() const { return clock_ ? clock_() : QDateTime::currentDateTime(); }
  RestoreDialogHost& host_;
  std::function<QDateTime()> clock_;
  UploadedFileRecords records_ = freshRecords();
  QList<store::TempDFileRow> added_;
  QString catalogue_;
  bool justShown_ = false;
  quint64 loadGeneration_ = 0;
  FileList* list_;
  std::unique_ptr<FilterBoxes> filterBoxes_;
  QLineEdit* tbxFileName;
  QLineEdit* tbxExtension;
  QLineEdit* tbxAddFile;
  QPushButton* btnAddFile;
  QPushButton* btnCheckAll;
  QPushButton* btnUncheckAll;
  QPushButton* btnNext;
  QPushButton* btnExit;
  QPushButton* btnDownloadFilenames;
  QLabel* lblSortBy;
};

}  // namespace corvane::restore::ui
