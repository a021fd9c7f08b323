#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace corvane::platform {

// The ANSI code page of the computers the server and the service were written for. Text that
// crosses into bytes (hex for the cipher, the service's text files) goes through it, one byte
// per UTF-16 unit, so lengths never change.
//
// Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in the code page; they stand for
// U+0081 ... U+009D and back (as Windows converts them), so every byte string survives the
// trip to text and back. Any other character outside the code page becomes '?'.
QByteArray toWindows1252(QStringView text);
QString fromWindows1252(QByteArrayView bytes);

// True when the character has a byte of its own in the code page.
bool inWindows1252(QChar c);

// Upper case one character at a time, never changing the length ("straße" becomes "STRAßE",
// not "STRASSE"). A character whose capital would not survive the code page (µ) is kept.
QString upperKeepingLength(QStringView text);

}  // namespace corvane::platform
