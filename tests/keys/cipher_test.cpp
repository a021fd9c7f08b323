// Hex conversions and Blowfish on hex text and on files.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "support/TestSupport.h"

using namespace corvane::keys;
using corvane::test::readFile;
using corvane::test::writeFile;

namespace {
const QString kKey56 =
    "030A11181F262D343B424950575E656C737A81888F969DA4ABB2B9C0C7CED5DCE3EAF1F8FF060D141B222930373E454C535A61686F767D84";
}  // namespace

TEST(HexConvert, TextAndBytesToHexAndBack) {
  EXPECT_EQ(StringToHex(""), "");
  EXPECT_EQ(HexFromString(""), "");
  EXPECT_EQ(StringToHex("Az\n"), "417A0A");
  EXPECT_EQ(HexFromString("Az\n"), "417A0A");
  EXPECT_EQ(HexToString("414"), "A");  // odd last digit ignored
  EXPECT_EQ(HexToString("417a0A"), "Az\n");  // either case read
  EXPECT_EQ(HexByte(10), "0A");
  EXPECT_EQ(HexByte(255), "FF");
  EXPECT_EQ(HexByte(256), "00");
  EXPECT_EQ(HexByte(-1), "FF");

  // Every byte survives the round trip through text, and hex is upper case.
  QByteArray bytes(256, '\0');
  for (int c = 0; c < 256; ++c) bytes[c] = char(c);
  const QString all = HexToString(HexFromBytes(bytes));
  const QString hex = StringToHex(all);
  EXPECT_EQ(hex.size(), 512);
  EXPECT_EQ(hex, hex.toUpper());
  EXPECT_EQ(HexToString(hex), all);
  EXPECT_EQ(HexToString(hex.toLower()), all);
  EXPECT_EQ(BytesFromHex(hex.toLower()), AnsiBytes(all));
  EXPECT_EQ(HexFromBytes(BytesFromHex(hex)), hex);
  EXPECT_EQ(BytesFromHex(hex), bytes);
}

TEST(HexConvert, TextReachesHexThroughWindows1252) {
  // What a server on the ANSI code page reads: the euro sign, curly quotes and dashes are
  // single bytes of 0x80-0x9F, not Latin-1's controls or '?'.
  const QString typed = QString::fromUtf8("€5 “pass” – ok");
  EXPECT_EQ(StringToHex(typed), "8035209370617373942096206F6B");
  EXPECT_EQ(HexFromString(typed), StringToHex(typed));
  EXPECT_EQ(HexToString(StringToHex(typed)), typed);
  EXPECT_EQ(StringToHex(QString::fromUtf8("\xE2\x82\xBD")), "3F");  // no byte for it: '?'
}

TEST(HexConvert, InvalidHexGivesNoBytes) {
  EXPECT_TRUE(BytesFromHex("ABC").isEmpty());
  EXPECT_TRUE(BytesFromHex("GG").isEmpty());
  EXPECT_TRUE(BytesFromHex("").isEmpty());
  EXPECT_EQ(HexFromBytes(QByteArray()), "");
}

TEST(Blowfish, KnownAnswersForShortAndLongKeys) {
  // Published test vectors: the first block is the cipher of FEDCBA9876543210, the second the
  // full padding block.
  EXPECT_EQ(BlowfishEncryptHex("0000000000000000", "0000000000000000").left(16), "4EF997456198DD78");
  EXPECT_EQ(BlowfishEncryptHex("FEDCBA9876543210", "F0").left(16), "F9AD597C49DB005E");
  EXPECT_EQ(BlowfishEncryptHex("FEDCBA9876543210", "F0E1D2").left(16), "E9C2B70A1BC65CF3");
  EXPECT_EQ(BlowfishEncryptHex("FEDCBA9876543210", "F0E1D2C3").left(16), "BE1E639408640F05");
  EXPECT_EQ(BlowfishEncryptHex("FEDCBA9876543210", "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677").left(16),
            "05044B62FA52D080");

  // Padded texts: a 3-byte key and the full 56-byte key of a session (no key truncation).
  EXPECT_EQ(BlowfishEncryptHex(HexFromString("Hello"), "414243"), "60F514BF022AFC94");
  EXPECT_EQ(BlowfishEncryptHex(HexFromString("Hello, world!"), kKey56), "16EBC0A64D393AD707F14FE3C2C1AEAE");
  QString otherLastByte = kKey56;
  otherLastByte.replace(110, 2, "00");
  EXPECT_EQ(BlowfishEncryptHex(HexFromString("Hello, world!"), otherLastByte), "400AF96BE9193C2697BC53CB539896F2");

  EXPECT_EQ(HexToString(BlowfishDecryptHex("16ebc0a64d393ad707f14fe3c2c1aeae", kKey56.toLower())), "Hello, world!");
  EXPECT_EQ(HexToString(BlowfishDecryptHex("60F514BF022AFC94", "414243")), "Hello");
}

TEST(Blowfish, PaddingRules) {
  // A whole block gains a whole block of padding and comes back unchanged.
  EXPECT_EQ(PadHexString("0011223344556677"), "00112233445566770808080808080808");
  EXPECT_EQ(PadHexString(""), "0808080808080808");
  EXPECT_EQ(PadHexString("AB"), "AB07070707070707");
  EXPECT_EQ(PadHexString("XYZ"), "");
  const QString cipher = BlowfishEncryptHex("0011223344556677", "414243");
  EXPECT_EQ(cipher.size(), 32);
  EXPECT_EQ(BlowfishDecryptHex(cipher, "414243"), "0011223344556677");

  EXPECT_EQ(UnpadHexString("AB07070707070707"), "AB");
  EXPECT_EQ(UnpadHexString("AB07070707070706"), "AB07070707070706");  // does not check: unchanged
  EXPECT_EQ(UnpadHexString("AB00000000000000"), "AB00000000000000");
  EXPECT_EQ(UnpadHexString("AB0707"), "AB0707");  // not a whole block
}

TEST(Blowfish, WrongKeyAndInvalidInput) {
  const QString cipher = BlowfishEncryptHex(HexFromString("Hello, world!"), kKey56);
  // Under a wrong key the padding does not check and the whole decrypted hex comes back.
  const QString wrong = BlowfishDecryptHex(cipher, "414243");
  EXPECT_EQ(wrong.size(), cipher.size());
  EXPECT_NE(HexToString(wrong), "Hello, world!");
  // It is the raw decryption: enciphering it again under that key gives the ciphertext back.
  EXPECT_EQ(BlowfishEncryptHex(wrong, "414243").left(cipher.size()), cipher);

  EXPECT_EQ(BlowfishEncryptHex("ABC", kKey56), "");     // odd hex
  EXPECT_EQ(BlowfishEncryptHex("41", ""), "");          // no key
  EXPECT_EQ(BlowfishEncryptHex("41", "4G"), "");        // key not hex
  EXPECT_EQ(BlowfishEncryptHex("41", QString(146, 'A')), "");  // 73 bytes: longer than Blowfish takes
  EXPECT_EQ(BlowfishDecryptHex(cipher.left(30), kKey56), "");  // not whole blocks
  EXPECT_EQ(BlowfishDecryptHex("", kKey56), "");
}

TEST(Blowfish, FileDecryptionInChunks) {
  QTemporaryDir dir;
  const QString in = dir.filePath("in.bin"), out = dir.filePath("out.bin");
  const QByteArray key = BytesFromHex(kKey56);

  // Larger than one read chunk and not a whole number of blocks before padding.
  QByteArray plain((5 << 19) + 3, '\0');
  for (qsizetype i = 0; i < plain.size(); ++i) plain[i] = char((i * 31 + i / 7) & 0xFF);
  writeFile(in, BlowfishEncryptBytes(plain, key));
  EXPECT_EQ(BlowfishDecryptFileHex(out, in, kKey56, ""), "0");
  EXPECT_EQ(readFile(out), plain);

  // An existing longer output is replaced, and an empty plaintext gives an empty file.
  writeFile(in, BlowfishEncryptBytes(QByteArray(), key));
  EXPECT_EQ(BlowfishDecryptFileHex(out, in, kKey56, ""), "0");
  EXPECT_EQ(readFile(out), QByteArray());

  // Exactly one chunk of plaintext: the padding block stands alone after the chunk.
  const QByteArray whole(1 << 20, 'x');
  writeFile(in, BlowfishEncryptBytes(whole, key));
  EXPECT_EQ(BlowfishDecryptFileHex(out, in, kKey56, ""), "0");
  EXPECT_EQ(readFile(out), whole);
}

TEST(Blowfish, FileDecryptionFailuresGiveCodesAndNoOutput) {
  QTemporaryDir dir;
  const QString in = dir.filePath("in.bin"), out = dir.filePath("out.bin");
  writeFile(in, BlowfishEncryptBytes("catalogue", BytesFromHex(kKey56)));

  EXPECT_EQ(BlowfishDecryptFileHex(out, in, "414243", ""), QString::number(BlfBadPadding));
  EXPECT_FALSE(QFile::exists(out));
  EXPECT_EQ(BlowfishDecryptFileHex(out, dir.filePath("missing"), kKey56, ""), QString::number(BlfCannotOpenInput));
  EXPECT_EQ(BlowfishDecryptFileHex(out, in, "", ""), QString::number(BlfInvalidKey));
  writeFile(in, QByteArray(12, 'a'));
  EXPECT_EQ(BlowfishDecryptFileHex(out, in, kKey56, ""), QString::number(BlfBadLength));
  writeFile(in, QByteArray());
  EXPECT_EQ(BlowfishDecryptFileHex(out, in, kKey56, ""), QString::number(BlfBadLength));
  EXPECT_FALSE(QFile::exists(out));
}
