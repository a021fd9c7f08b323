#include "keys/HexConvert.h"

#include "platform/Windows1252.h"

namespace corvane::keys {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";

int hexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  return -1;
}

void appendByte(QString& out, unsigned char b) {
  out.append(QChar(kDigits[b >> 4]));
  out.append(QChar(kDigits[b & 0x0F]));
}
}  // namespace

QByteArray AnsiBytes(const QString& text) { return platform::toWindows1252(text); }

QString AnsiText(const QByteArray& bytes) { return platform::fromWindows1252(bytes); }

QString StringToHex(const QString& text) {
  QString out;
  out.reserve(text.size() * 2);
  const QByteArray bytes = AnsiBytes(text);
  for (char c : bytes) appendByte(out, static_cast<unsigned char>(c));
  return out;
}

QString HexToString(const QString& hex) {
  const qsizetype n = hex.size() / 2;
  QByteArray bytes(n, '\0');
  for (qsizetype i = 0; i < n; ++i) {
    // A pair read as a hex number: leading hex digits count, reading stops at the first other
    // character (so a pair that is not hex at all reads as 0).
    int value = 0;
    for (qsizetype j = 0; j < 2; ++j) {
      const int v = hexValue(hex.at(2 * i + j));
      if (v < 0) break;
      value = value * 16 + v;
    }
    bytes[i] = static_cast<char>(value);
  }
  return AnsiText(bytes);
}

QString HexByte(long long number) {
  QString out;
  appendByte(out, static_cast<unsigned char>(number & 0xFF));
  return out;
}

QString HexFromBytes(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) appendByte(out, static_cast<unsigned char>(c));
  return out;
}

QString HexFromString(const QString& text) {
  if (text.isEmpty()) return QString();
  return HexFromBytes(AnsiBytes(text));
}

bool ParseHex(QStringView hex, QByteArray& out) {
  out.clear();
  if (hex.size() % 2 != 0) return false;
  out.resize(hex.size() / 2);
  for (qsizetype i = 0; i < out.size(); ++i) {
    const int hi = hexValue(hex[2 * i]);
    const int lo = hexValue(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      out.clear();
      return false;
    }
    out[i] = static_cast<char>(hi * 16 + lo);
  }
  return true;
}

QByteArray BytesFromHex(const QString& hex) {
  QByteArray out;
  if (!ParseHex(hex, out)) return QByteArray();
  return out;
}

}  // namespace corvane::keys
