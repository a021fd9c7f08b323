#include "keys/Blowfish.h"

#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level BF_* calls take keys of any length
#include <openssl/blowfish.h>

#include <QFile>

#include "keys/HexConvert.h"
#include "platform/Wait.h"
#include "platform/WholeFile.h"

namespace corvane::keys {

namespace {
constexpr int kBlock = 8;
constexpr int kMaxKeyBytes = 72;  // longest key Blowfish's key schedule uses
constexpr qint64 kChunk = 1 << 20;  // file chunk, a whole number of blocks

bool validKey(const QByteArray& key) { return !key.isEmpty() && key.size() <= kMaxKeyBytes; }

// PKCS#5 padding length of the last block, or -1 when it does not check.
int paddingLength(const QByteArray& data, int blockLen) {
  if (data.isEmpty() || data.size() % blockLen != 0) return -1;
  const int n = static_cast<unsigned char>(data.back());
  if (n < 1 || n > blockLen) return -1;
  for (int i = 1; i <= n; ++i)
    if (static_cast<unsigned char>(data.at(data.size() - i)) != n) return -1;
  return n;
}

void ecb(const BF_KEY& key, const char* in, char* out, qsizetype length, bool encrypt) {
  for (qsizetype i = 0; i < length; i += kBlock)
    BF_ecb_encrypt(reinterpret_cast<const unsigned char*>(in + i), reinterpret_cast<unsigned char*>(out + i),
                   &key, encrypt ? BF_ENCRYPT : BF_DECRYPT);
}

void setKey(BF_KEY& schedule, const QByteArray& key) {
  BF_set_key(&schedule, static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(key.constData()));
}
}  // namespace

QString PadHexString(const QString& hex, int blockLen) {
  QByteArray bytes;
  if (blockLen < 1 || blockLen > 255 || !ParseHex(hex, bytes)) return QString();
  const int n = blockLen - static_cast<int>(bytes.size() % blockLen);
  bytes.append(QByteArray(n, static_cast<char>(n)));
  return HexFromBytes(bytes);
}

QString UnpadHexString(const QString& hex, int blockLen) {
  QByteArray bytes;
  if (blockLen < 1 || blockLen > 255 || !ParseHex(hex, bytes)) return hex;
  const int n = paddingLength(bytes, blockLen);
  if (n < 0) return hex;
  return hex.left(hex.size() - 2 * n);
}

bool BlowfishEcbBytes(const QByteArray& input, const QByteArray& key, bool encrypt, QByteArray& output) {
  output.clear();
  if (!validKey(key) || input.size() % kBlock != 0) return false;
  BF_KEY schedule;
  setKey(schedule, key);
  output.resize(input.size());
  ecb(schedule, input.constData(), output.data(), input.size(), encrypt);
  return true;
}

QByteArray BlowfishEncryptBytes(const QByteArray& plain, const QByteArray& key) {
  QByteArray padded = plain;
  const int n = kBlock - static_cast<int>(padded.size() % kBlock);
  padded.append(QByteArray(n, static_cast<char>(n)));
  QByteArray out;
  BlowfishEcbBytes(padded, key, true, out);
  return out;
}

QString BlowfishEncryptHex(const QString& plainHex, const QString& keyHex, const QString& /*ivHex*/) {
  const QString padded = PadHexString(plainHex, kBlock);
  if (padded.isEmpty()) return QString();
  QByteArray key, plain, cipher;
  if (!ParseHex(keyHex, key) || !ParseHex(padded, plain)) return QString();
  if (!BlowfishEcbBytes(plain, key, true, cipher)) return QString();
  return HexFromBytes(cipher);
}

QString BlowfishDecryptHex(const QString& cipherHex, const QString& keyHex, const QString& /*ivHex*/) {
  QByteArray key, cipher, plain;
  if (cipherHex.isEmpty() || !ParseHex(keyHex, key) || !ParseHex(cipherHex, cipher)) return QString();
  if (!BlowfishEcbBytes(cipher, key, false, plain)) return QString();
  return UnpadHexString(HexFromBytes(plain), kBlock);
}

QString BlowfishDecryptFileHex(const QString& outputPath, const QString& inputPath, const QString& keyHex,
                               const QString& /*ivHex*/) {
  auto code = [](int c) { return QString::number(c); };
  QByteArray key;
  if (!ParseHex(keyHex, key) || !validKey(key)) return code(BlfInvalidKey);
  QFile in(inputPath);
  if (!in.open(QIODevice::ReadOnly)) return code(BlfCannotOpenInput);
  const qint64 total = in.size();
  if (total <= 0 || total % kBlock != 0) return code(BlfBadLength);
  // The output takes its name only once it is whole: a failure leaves no part of it, and the
  // file it replaces as it was.
  platform::WholeFileWriter out(outputPath);
  auto fail = [&](int c) {
    out.discard();
    return code(c);
  };
  // A write that fails is told apart from a decryption that fails: the disk is full, or the
  // output cannot be written at all.
  auto writeFailed = [&] { return fail(out.diskFull() ? BlfDiskFull : BlfCannotWriteOutput); };
  if (!out.open()) return writeFailed();

  BF_KEY schedule;
  setKey(schedule, key);
  QByteArray pending;  // decrypted bytes held back: the last block carries the padding
  qint64 done = 0;
  while (done < total) {
    // A catalogue runs to tens of megabytes: the window answers between the chunks.
    platform::keepResponsive();
    const QByteArray chunk = in.read(std::min(kChunk, total - done));
    if (chunk.isEmpty() || chunk.size() % kBlock != 0) return fail(BlfReadError);
    done += chunk.size();
    if (!pending.isEmpty() && !out.write(pending)) return writeFailed();
    QByteArray plain(chunk.size(), '\0');
    ecb(schedule, chunk.constData(), plain.data(), chunk.size(), false);
    pending = plain.right(kBlock);
    plain.chop(kBlock);
    if (!plain.isEmpty() && !out.write(plain)) return writeFailed();
  }
  const int n = paddingLength(pending, kBlock);
  if (n < 0) return fail(BlfBadPadding);
  pending.chop(n);
  if (!pending.isEmpty() && !out.write(pending)) return writeFailed();
  if (!out.commit()) return writeFailed();
  return code(BlfOk);
}

bool IsWriteFailureCode(const QString& code) {
  return code == QString::number(BlfCannotWriteOutput) || code == QString::number(BlfDiskFull);
}

}  // namespace corvane::keys
