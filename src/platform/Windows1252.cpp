#include "platform/Windows1252.h"

namespace corvane::platform {

namespace {

// Characters of 0x80-0x9F; 0 marks the five bytes that carry the C1 control of the same number.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

char16_t charOf(unsigned char b) {
  if (b < 0x80 || b >= 0xA0) return b;
  const char16_t c = kHigh[b - 0x80];
  return c ? c : char16_t(b);
}

// The byte of a character, or -1 when the code page has none.
int byteOf(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  if (c < 0xA0) return kHigh[c - 0x80] == 0 ? int(c) : -1;
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return 0x80 + i;
  return -1;
}

}  // namespace

bool inWindows1252(QChar c) { return byteOf(c.unicode()) >= 0; }

QByteArray toWindows1252(QStringView text) {
  QByteArray out(text.size(), Qt::Uninitialized);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const int b = byteOf(text[i].unicode());
    out[i] = b < 0 ? '?' : char(b);
  }
  return out;
}

QString fromWindows1252(QByteArrayView bytes) {
  QString out(bytes.size(), Qt::Uninitialized);
  QChar* d = out.data();
  for (qsizetype i = 0; i < bytes.size(); ++i) d[i] = QChar(charOf(static_cast<unsigned char>(bytes[i])));
  return out;
}

QString upperKeepingLength(QStringView text) {
  QString out = text.toString();
  for (qsizetype i = 0; i < out.size(); ++i) {
    const QChar c = out[i];
    if (c.isSurrogate()) {
      if (c.isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate()) {
        const char32_t upper = QChar::toUpper(QChar::surrogateToUcs4(c, out[i + 1]));
        if (QChar::requiresSurrogates(upper)) {
          out[i] = QChar(QChar::highSurrogate(upper));
          out[i + 1] = QChar(QChar::lowSurrogate(upper));
        }
        ++i;
      }
      continue;
    }
    // QChar's mapping is the one-to-one simple case mapping, so "ß" stays as it is.
    const QChar upper = c.toUpper();
    if (upper.isSurrogate()) continue;
    if (inWindows1252(c) && !inWindows1252(upper)) continue;
    out[i] = upper;
  }
  return out;
}

}  // namespace corvane::platform
