#pragma once
// Blowfish in ECB mode on hex text, with PKCS#5 block padding (1 to 8 bytes, each holding
// the number of bytes added). Keys are hex text of 1 to 72 bytes. Every procedure takes an
// initialisation vector for the caller's convenience; ECB does not use it.
#include <QString>

namespace corvane::keys {

// The hex text padded to whole blocks of blockLen bytes; empty when the hex is not valid.
QString PadHexString(const QString& hex, int blockLen = 8);
// The hex text without its padding; the input unchanged when the padding does not check.
QString UnpadHexString(const QString& hex, int blockLen = 8);

// Ciphertext hex (upper case), or the empty text when the plaintext or key is not valid hex.
QString BlowfishEncryptHex(const QString& plainHex, const QString& keyHex, const QString& ivHex = QString());
// Plaintext hex with the padding removed; when the padding does not check (a wrong key, for
// one) the decrypted hex is returned whole. Empty on invalid input.
QString BlowfishDecryptHex(const QString& cipherHex, const QString& keyHex, const QString& ivHex = QString());

// Result codes of BlowfishDecryptFileHex.
enum BlowfishFileResult {
  BlfOk = 0,
  BlfCannotOpenInput = 1,
  BlfCannotWriteOutput = 2,  // the output cannot be written (no right, no such folder ...)
  BlfInvalidKey = 3,
  BlfBadLength = 4,   // the input is not a whole number of blocks (or is empty)
  BlfBadPadding = 5,  // the last block's padding does not check: wrong key or damaged file
  BlfReadError = 6,
  BlfDiskFull = 7,  // the output did not fit on its disk
};

// Decrypts a whole file (read and written in chunks) into outputPath, which is replaced only
// by the whole result. Returns the result code as decimal text, "0" on success. On failure no
// part of the output is left behind and an old output file is as it was.
QString BlowfishDecryptFileHex(const QString& outputPath, const QString& inputPath, const QString& keyHex,
                               const QString& ivHex = QString());
// True for the codes of an output that could not be written (as opposed to a decryption that
// failed): BlfCannotWriteOutput and BlfDiskFull.
bool IsWriteFailureCode(const QString& code);

// Byte forms the file and hex procedures share (also used to write test data).
bool BlowfishEcbBytes(const QByteArray& input, const QByteArray& key, bool encrypt, QByteArray& output);
QByteArray BlowfishEncryptBytes(const QByteArray& plain, const QByteArray& key);  // padded; empty on a bad key

}  // namespace corvane::keys
