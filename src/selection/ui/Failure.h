#pragma once
// The one way the backup page, the extension list and the advanced settings window tell the
// user that a step failed: what could not be done, then the database's own text.
#include <QString>

#include "platform/Messages.h"

namespace corvane::selection {

inline void reportFailure(const QString& what, const QString& detail) {
  platform::showMessage(what + QStringLiteral("\n") + detail, QStringLiteral("Corvane"), platform::MsgButtons::Ok,
                        platform::MsgIcon::Warning);
}

}  // namespace corvane::selection
