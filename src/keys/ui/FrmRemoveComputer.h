#pragma once
// frmRemoveComputer: forgets the checked computers (Keys row, restore-page entry, download database).
#include <QDialog>
#include <QString>

class QTreeWidget;

namespace corvane::keys {
class RestorePageSeam;
}

namespace corvane::keys::ui {

class FrmRemoveComputer : public QDialog {
  Q_OBJECT
 public:
  // restore may be null (no restore page: its list is not touched).
  explicit FrmRemoveComputer(RestorePageSeam* restore, QWidget* parent = nullptr, QString statusDb = QString());

  QTreeWidget* lstComputerKeys() const { return LstComputerKeys_; }

  void Form_Load();
  void DBSelectAllMachineNames();
  void btnRemove_Click();
  void btnRemoveExit_Click();

 private:
  RestorePageSeam* restore_;
  QString statusDb_;
  QString appFolder_;
  QTreeWidget* LstComputerKeys_;
};

}  // namespace corvane::keys::ui
