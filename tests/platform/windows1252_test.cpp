#include <gtest/gtest.h>

#include "platform/Windows1252.h"

using namespace corvane::platform;

TEST(Windows1252, ExtraCharactersTakeTheirOwnBytes) {
  // The printable characters of 0x80-0x9F, in byte order.
  const QString extras = QString::fromUtf8("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ");
  ASSERT_EQ(extras.size(), 27);
  const QByteArray bytes = toWindows1252(extras);
  EXPECT_EQ(bytes.toHex().toUpper(), "8082838485868788898A8B8C8E9192939495969798999A9B9C9E9F");
  EXPECT_EQ(fromWindows1252(bytes), extras);

  EXPECT_EQ(toWindows1252(QString::fromUtf8("Aé\xC3\xBF")), QByteArray("A\xE9\xFF"));
  EXPECT_EQ(fromWindows1252(QByteArray("A\xE9\xFF")), QString::fromUtf8("Aéÿ"));
}

TEST(Windows1252, EveryByteSurvivesTheTripToTextAndBack) {
  QByteArray all(256, '\0');
  for (int b = 0; b < 256; ++b) all[b] = char(b);
  const QString text = fromWindows1252(all);
  EXPECT_EQ(text.size(), 256);
  EXPECT_EQ(toWindows1252(text), all);
  // The five unassigned bytes read as the C1 control of the same number.
  EXPECT_EQ(text[0x81].unicode(), 0x81);
  EXPECT_EQ(text[0x9D].unicode(), 0x9D);
}

TEST(Windows1252, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
  // One byte per UTF-16 unit, so lengths never change: the pair of an emoji gives two.
  EXPECT_EQ(toWindows1252(QString::fromUtf8("a\xCE\xA9" "b")), QByteArray("a?b"));  // Greek Omega
  EXPECT_EQ(toWindows1252(QString::fromUtf8("\xF0\x9F\x98\x80")), QByteArray("??"));
  // Latin-1's C1 controls that Windows-1252 gives to printable characters have no byte.
  EXPECT_EQ(toWindows1252(QString(QChar(0x80))), QByteArray("?"));
  EXPECT_EQ(toWindows1252(QString()), QByteArray());
}

TEST(Windows1252, UpperCaseKeepsTheLength) {
  EXPECT_EQ(upperKeepingLength(QString::fromUtf8("straße")), QString::fromUtf8("STRAßE"));
  EXPECT_EQ(upperKeepingLength(QString::fromUtf8("office-pc éÿšœ")), QString::fromUtf8("OFFICE-PC ÉŸŠŒ"));
  // µ's capital is Greek and has no byte: the character is kept rather than sent as '?'.
  EXPECT_EQ(upperKeepingLength(QString::fromUtf8("µpc")), QString::fromUtf8("µPC"));
  // Outside the code page the capital is taken as long as the length holds (a pair stays a pair).
  EXPECT_EQ(upperKeepingLength(QString::fromUtf8("ω\xF0\x90\x90\xA8")), QString::fromUtf8("Ω\xF0\x90\x90\x80"));
  EXPECT_EQ(upperKeepingLength(QString::fromUtf8("ŉ")).size(), 1);  // full mapping would give two
}
