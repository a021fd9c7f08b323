#include <gtest/gtest.h>

#include <QList>
#include <QRandomGenerator>

#include "platform/LosslessUtf8.h"

using namespace corvane::platform;

// Whatever the bytes, the text turns back into exactly them; well-formed UTF-8 reads as Qt
// reads it, and only the bytes that belong to no character are shown as U+FFFD.
TEST(LosslessUtf8, EveryByteStringSurvivesTheTripToTextAndBack) {
  const QList<QByteArray> samples = {
      "plain.txt",
      QString::fromUtf8("Ann\xE2\x80\x99s r\xC3\xA9sum\xC3\xA9 \xF0\x9F\x98\x80").toUtf8(),
      "x\xFF.",
      "x\xFE.",
      "\xFF\xFE",
      "\xC3",                  // a sequence cut short at the end
      "a\xC3(b",               // cut short before ASCII
      "\xC0\x80",              // overlong NUL
      "\xED\xA0\x80",          // an encoded surrogate
      "\xF4\x90\x80\x80",      // past U+10FFFF
      "\xF0\x90\x82\x80\xFF",  // U+10080 (its low surrogate is DC80) beside a stray byte
      "a\xEF\xBF\xBD",          // a real U+FFFD
      "a\xEF\xBF\xBD\xFF",      // a real U+FFFD beside a stray byte
  };
  for (const QByteArray& bytes : samples) {
    const QString text = fromUtf8Lossless(bytes);
    EXPECT_EQ(toUtf8Lossless(text), bytes) << bytes.toHex().toStdString();
    if (bytes.isValidUtf8()) {
      EXPECT_EQ(text, QString::fromUtf8(bytes));
      EXPECT_EQ(shownText(text), text);
    }
  }
  EXPECT_NE(fromUtf8Lossless("x\xFF."), fromUtf8Lossless("x\xFE."));
  EXPECT_EQ(shownText(fromUtf8Lossless("x\xFF.")), QString::fromUtf8("x\xEF\xBF\xBD."));
  EXPECT_EQ(shownText(fromUtf8Lossless("a\xC3(b")), QString::fromUtf8("a\xEF\xBF\xBD(b"));
  EXPECT_EQ(shownText(fromUtf8Lossless("\xF0\x90\x82\x80\xFF")), QString::fromUtf8("\xF0\x90\x82\x80\xEF\xBF\xBD"));

  QRandomGenerator random(20240601);
  for (int n = 0; n < 2000; ++n) {
    QByteArray bytes(random.bounded(12), '\0');
    for (char& b : bytes) b = char(random.bounded(256));
    ASSERT_EQ(toUtf8Lossless(fromUtf8Lossless(bytes)), bytes) << bytes.toHex().toStdString();
  }
}
