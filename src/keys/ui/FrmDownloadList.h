#pragma once
// frmDownloadList, the keys window: the computers stored here (LstComputerKeys) with their key
// buttons: import from a file, export to files, delete, import from the server. The catalogue
// download of a ticked computer ("Change Identity") is added by the restore page through
// addButton().
#include <QDialog>
#include <QString>
#include <functional>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace corvane::keys::ui {

class FrmSelectKeyFile;

class FrmDownloadList : public QDialog {
  Q_OBJECT
 public:
  explicit FrmDownloadList(QWidget* parent = nullptr, QString statusDb = QString());

  // "Import Key from Server" opens this (the add-computer window); without it the button does nothing.
  void setShowAddComputer(std::function<void()> f) { showAddComputer_ = std::move(f); }
  void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
  // Puts a further button in the window's button row.
  void addButton(QPushButton* button);

  QTreeWidget* lstComputerKeys() const { return LstComputerKeys_; }
  QLabel* lblIdentity() const { return lblIdentity_; }
  FrmSelectKeyFile* selectKeyFile() const { return selectKeyFile_; }  // null until first shown

  // The load: identity label from "DIdentity", the key list.
  void Form_Load();
  void DBSelectAllMachineNames();
  void ExportKeyFile();

  void btnKeyImport_Click();
  void btnExportKeyFile_Click();
  void btnDeleteKey_Click();
  void btnImportKeyServer_Click();
  void btnExitDownloadList_Click();

 private:
  QString statusDb_;
  QString appFolder_;
  QString configFolder_;
  std::function<void()> showAddComputer_;
  std::function<QDateTime()> clock_;
  QLabel* lblIdentity_;
  QTreeWidget* LstComputerKeys_;
  QHBoxLayout* buttonRow_;
  FrmSelectKeyFile* selectKeyFile_ = nullptr;
};

}  // namespace corvane::keys::ui
