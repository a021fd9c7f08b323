#pragma once
#include <QString>

namespace corvane::selection {

// The text up to its first zero character (all of it when there is none): names read from
// fixed-size system buffers.
inline QString TrimAtNull(const QString& text) {
  const qsizetype i = text.indexOf(QChar(0));
  return i < 0 ? text : text.left(i);
}

}  // namespace corvane::selection
