#pragma once
// frmAddComputer: asks the backup server for another computer's key and stores it.
#include <QDialog>
#include <QString>
#include <functional>

#include "keys/KeyRequest.h"

class QLineEdit;
class QPushButton;

namespace corvane::keys {
class RestorePageSeam;
}

namespace corvane::keys::ui {

class FrmAddComputer : public QDialog {
  Q_OBJECT
 public:
  // statusDb "" means the Status.db of the process-wide application folder. restore may be null.
  explicit FrmAddComputer(RestorePageSeam* restore, QWidget* parent = nullptr, QString statusDb = QString());

  void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
  const KeyRequestOutcome& lastOutcome() const { return lastOutcome_; }

  void btnKeyReqRequest_Click();
  void btnKeyReqClear_Click();
  void btnKeyReqCancel_Click();

 private:
  RestorePageSeam* restore_;
  QString statusDb_;
  std::function<QDateTime()> clock_;
  KeyRequestOutcome lastOutcome_;
  bool requesting_ = false;
  QLineEdit* tbxKRComputerName_;
  QLineEdit* tbxKRUserName_;
  QLineEdit* tbxKRPassword_;
};

}  // namespace corvane::keys::ui
