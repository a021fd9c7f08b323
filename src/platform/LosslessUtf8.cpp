#include "platform/LosslessUtf8.h"

namespace corvane::platform {

namespace {

constexpr char16_t kKeptFirst = 0xDC80;  // byte 0x80
constexpr char16_t kKeptLast = 0xDCFF;   // byte 0xFF

bool isKeptByte(QStringView text, qsizetype i) {
  const char16_t u = text[i].unicode();
  return u >= kKeptFirst && u <= kKeptLast && (i == 0 || !QChar::isHighSurrogate(text[i - 1].unicode()));
}

// Length of the well-formed UTF-8 sequence at p (as the standard defines it: no overlong form,
// no surrogate, nothing past U+10FFFF), 0 when the byte there starts none.
int sequenceLength(const unsigned char* p, qsizetype left) {
  const unsigned char b = p[0];
  if (b < 0x80) return 1;
  auto cont = [&](qsizetype k, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return k < left && p[k] >= lo && p[k] <= hi;
  };
  if (b >= 0xC2 && b <= 0xDF) return cont(1) ? 2 : 0;
  if (b == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
  if (b == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
  if (b >= 0xE1 && b <= 0xEF) return cont(1) && cont(2) ? 3 : 0;
  if (b == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
  if (b >= 0xF1 && b <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
  if (b == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
  return 0;
}

}  // namespace

QString fromUtf8Lossless(QByteArrayView utf8) {
  // Qt's decoder puts U+FFFD for every byte it cannot read, so a text without one was read
  // whole (the common case, at the cost of one look over the text).
  QString whole = QString::fromUtf8(utf8);
  if (!whole.contains(QChar::ReplacementCharacter) || utf8.isValidUtf8()) return whole;
  QString out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  qsizetype i = 0;
  while (i < utf8.size()) {
    // The well-formed run up to the next stray byte goes through Qt's own decoder.
    qsizetype run = i;
    int n = 0;
    while (run < utf8.size() && (n = sequenceLength(p + run, utf8.size() - run)) > 0) run += n;
    if (run > i) out += QString::fromUtf8(utf8.sliced(i, run - i));
    if (run < utf8.size()) out += QChar(char16_t(0xDC00 + p[run++]));
    i = run;
  }
  return out;
}

QByteArray toUtf8Lossless(QStringView text) {
  // Every text bound to a statement passes here: one plain look for the kept-byte range, which
  // real text (even with characters past U+FFFF, whose second halves lie there) rarely enters.
  const char16_t* units = text.utf16();
  const qsizetype size = text.size();
  qsizetype i = 0;
  for (;;) {
    while (i < size && (units[i] & 0xFF80) != kKeptFirst) ++i;
    if (i == size) return text.toUtf8();
    if (isKeptByte(text, i)) break;
    ++i;
  }
  QByteArray out;
  out.reserve(text.size() + 16);
  qsizetype from = 0;
  for (; i < text.size(); ++i) {
    if (!isKeptByte(text, i)) continue;
    out += text.sliced(from, i - from).toUtf8();
    out += char(text[i].unicode() - 0xDC00);
    from = i + 1;
  }
  out += text.sliced(from).toUtf8();
  return out;
}

QString shownText(const QString& text) {
  QString shown = text;  // shared until a kept byte is written over
  for (qsizetype i = 0; i < text.size(); ++i)
    if (isKeptByte(text, i)) shown[i] = QChar::ReplacementCharacter;
  return shown;
}

}  // namespace corvane::platform
