#pragma once
#include "platform/Messages.h"

namespace corvane::shell {

// The program's message boxes: QMessageBox, owned by the active window.
class QtMessageBoxes final : public platform::MessageBoxes {
 public:
  platform::MsgResult show(const QString& text, const QString& title, platform::MsgButtons buttons,
                           platform::MsgIcon icon) override;
};

}  // namespace corvane::shell
