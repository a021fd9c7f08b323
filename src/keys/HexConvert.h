#pragma once
// Text and bytes to hex and back. Hex is written in upper case and read in either case.
// Text becomes bytes one byte per character through the ANSI code page (Windows-1252),
// and bytes become characters the same way back.
#include <QByteArray>
#include <QString>
#include <QStringView>

namespace corvane::keys {

// Each character's 8-bit code as two upper-case hex digits.
QString StringToHex(const QString& text);
// One character per pair of digits; an odd last digit is ignored.
QString HexToString(const QString& hex);
// The number's low 8 bits as two upper-case hex digits.
QString HexByte(long long number);
// The bytes as upper-case hex.
QString HexFromBytes(const QByteArray& bytes);
// The text's one-byte-per-character form as hex; empty for an empty text.
QString HexFromString(const QString& text);
// The bytes the hex stands for; empty when the hex is not valid (odd length, other characters).
QByteArray BytesFromHex(const QString& hex);

// The one-byte-per-character form of a text, and back (Windows-1252).
QByteArray AnsiBytes(const QString& text);
QString AnsiText(const QByteArray& bytes);

// Strict hex parse: false on an odd length or a character that is not a hex digit.
bool ParseHex(QStringView hex, QByteArray& out);

}  // namespace corvane::keys
