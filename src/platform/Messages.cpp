#include "platform/Messages.h"

#include <cstdio>

namespace corvane::platform {

namespace {
class StderrBoxes final : public MessageBoxes {
 public:
  MsgResult show(const QString& text, const QString& title, MsgButtons buttons, MsgIcon) override {
    std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes : MsgResult::Ok;
  }
};
StderrBoxes fallback;
MessageBoxes* installed = nullptr;
}  // namespace

MessageBoxes& messageBoxes() { return installed ? *installed : fallback; }
void setMessageBoxes(MessageBoxes* boxes) { installed = boxes; }

MsgResult showMessage(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) {
  return messageBoxes().show(text, title, buttons, icon);
}

}  // namespace corvane::platform
