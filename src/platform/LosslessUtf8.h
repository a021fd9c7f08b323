#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace corvane::platform {

// UTF-8 that loses no byte. Names in the catalogues are nearly always UTF-8, but one written by
// another program (or damaged) can hold bytes that are none; read the usual way they all become
// U+FFFD, and a restore asks for a file that does not exist. Here each such byte is kept as the
// lone low surrogate U+DC00 + byte, which no real text holds, so the text turns back into
// exactly the bytes it was read from, and two names that differ only there stay two texts.
QString fromUtf8Lossless(QByteArrayView utf8);
// The bytes of a text: kept bytes as they were, everything else as UTF-8.
QByteArray toUtf8Lossless(QStringView text);

// The text as a list or tree shows it: each kept byte as U+FFFD (a font has no glyph for a lone
// surrogate).
QString shownText(const QString& text);

}  // namespace corvane::platform
