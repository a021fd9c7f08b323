#pragma once
#include <QString>

namespace corvane::platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Question, Warning, Critical };
enum class MsgResult { Ok, Cancel, Yes, No };

// Every message box of the program goes through this interface: the window program installs
// one built on QMessageBox, tests install a recording fake.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual MsgResult show(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) = 0;
};

MessageBoxes& messageBoxes();
// Installs the implementation (nullptr restores the default, which writes to stderr and
// answers Ok/Yes). The caller keeps ownership.
void setMessageBoxes(MessageBoxes* boxes);

MsgResult showMessage(const QString& text, const QString& title = QStringLiteral("Corvane"),
                      MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::Information);

}  // namespace corvane::platform
