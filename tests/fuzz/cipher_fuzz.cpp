// The hex and Blowfish decoders: hex text to bytes, Blowfish (ECB) decryption with its padding
// check, as text and as a whole file. The first byte gives the key's length, then come the
// key's bytes, then the text or ciphertext.
#include <QFile>

#include "fuzz/FuzzSupport.h"
#include "keys/Blowfish.h"
#include "keys/HexConvert.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(cipher) {
  const platform::AppPaths& app = fuzz::scratchApp();
  if (size < 1) return 0;
  const qsizetype keyLength = qsizetype(data[0] % 80);
  const QByteArray rest = fuzz::bytesOf(data + 1, size - 1);
  const QByteArray key = rest.left(keyLength);
  const QByteArray body = rest.mid(keyLength);
  const QString keyHex = keys::HexFromBytes(key);
  const bool usableKey = !key.isEmpty() && key.size() <= 72;

  // The body as hex text, whatever characters it holds.
  const QString text = QString::fromLatin1(body);
  keys::HexToString(text);
  keys::UnpadHexString(text);
  QByteArray parsed;
  const bool isHex = keys::ParseHex(text, parsed);
  fuzz::expect(isHex == !keys::BytesFromHex(text).isEmpty() || text.isEmpty(), "the two hex readers disagree");
  if (isHex) fuzz::expect(keys::HexFromBytes(parsed).compare(text, Qt::CaseInsensitive) == 0, "hex does not read back");
  keys::BlowfishDecryptHex(text, keyHex);

  // The body as ciphertext.
  const QString bodyHex = keys::HexFromBytes(body);
  const QString plainHex = keys::BlowfishDecryptHex(bodyHex, keyHex);
  if (!usableKey || body.isEmpty() || body.size() % 8 != 0) fuzz::expect(plainHex.isEmpty(), "undecryptable input gave a text");

  // The body as plaintext: what is encrypted decrypts to itself.
  const QString cipherHex = keys::BlowfishEncryptHex(bodyHex, keyHex);
  if (usableKey) {
    fuzz::expect(!cipherHex.isEmpty(), "a usable key did not encrypt");
    fuzz::expect(keys::BlowfishDecryptHex(cipherHex, keyHex) == bodyHex, "a text did not decrypt to itself");
  }

  // The body as an enciphered file: decrypted whole, or no output file at all.
  const QString in = platform::joinPath(app.appFolder, QStringLiteral("cipher.in"));
  const QString out = platform::joinPath(app.appFolder, QStringLiteral("cipher.out"));
  fuzz::writeFile(in, body);
  const QString code = keys::BlowfishDecryptFileHex(out, in, keyHex);
  if (code == QLatin1String("0")) {
    fuzz::expect(keys::HexFromBytes(fuzz::readFile(out)) == plainHex, "the file and text decryptions differ");
  } else {
    fuzz::expect(!QFile::exists(out), "a failed decryption left its output behind");
  }
  QFile::remove(out);
  return 0;
}
