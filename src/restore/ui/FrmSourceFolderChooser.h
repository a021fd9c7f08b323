#pragma once
// frmSourceFolderChooser, "Choose source folders...": the drives and backed-up folders of the
// computer chosen for restore; the files lying directly in each ticked folder are queued.
#include <QDialog>
#include <memory>

#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "selection/FolderTable.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace corvane::restore::ui {

class CatalogueTree;
class RestoreDialogHost;

class FrmSourceFolderChooser : public QDialog {
  Q_OBJECT
 public:
  explicit FrmSourceFolderChooser(RestoreDialogHost& host);
  ~FrmSourceFolderChooser() override;

  // Shows the window; the tree is built on first use and again when the chosen computer's
  // catalogue is another one than the tree shows.
  void showChooser();
  void InitTv();
  QStringList GetAllCheckedNodes();
  // Every uploaded file lying directly in a ticked folder, and the ticked folders with none.
  RestoreChoice checkedItems();
  // Queues checkedItems(). Returns the rows queued.
  int StoreCheckedItems();
  void btnOK_Click();
  void btnCancel_Click();

  CatalogueTree& tree() const { return *tree_; }
  const QString& catalogue() const { return catalogue_; }

 private:
  QString currentCatalogue() const;
  RestoreDialogHost& host_;
  selection::DownloadNodes nodes_;
  QString catalogue_;
  bool built_ = false;
  QTreeWidget* tvDLSFolders;
  QLabel* lblCatalogue;  // in the tree's place when the catalogue is damaged: the tree is too narrow to say so
  std::unique_ptr<CatalogueTree> tree_;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

}  // namespace corvane::restore::ui
