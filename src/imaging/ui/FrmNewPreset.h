#pragma once
// The modal dialog that asks for the name of a new preset.
#include <QDialog>
#include <optional>

class QLineEdit;
class QPushButton;

namespace corvane::imaging {

class FrmNewPreset : public QDialog {
  Q_OBJECT
 public:
  explicit FrmNewPreset(QWidget* owner = nullptr);

  // Shows the dialog modally over the owner; the typed name after Save, nullopt after Cancel or
  // when the dialog is closed.
  static std::optional<QString> ask(QWidget* owner);

  void btnSaveNewPreset_Click();
  void btnCancelNewPreset_Click();
  QString typedName() const;

 private:
  QLineEdit* tbxNewPreset = nullptr;
  QPushButton* btnSaveNewPreset = nullptr;
  QPushButton* btnCancelNewPreset = nullptr;
};

}  // namespace corvane::imaging
