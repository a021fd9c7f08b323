#pragma once
// RSA key pairs for the session exchange: key files, the XML key form
// (<RSAKeyValue> with base64 Modulus, Exponent and, for a private key, P, Q, DP, DQ,
// InverseQ, D), and PKCS#1 v1.5 encryption in both directions.
#include <QByteArray>
#include <QString>
#include <memory>

namespace corvane::keys {

// An RSA key held in memory (public, or a full private key). Copies share the key.
class RsaKey {
 public:
  RsaKey() = default;
  bool isNull() const { return !key_; }
  bool hasPrivate() const;
  int keyBytes() const;  // modulus length in bytes, 0 for a null key
  void* handle() const { return key_.get(); }  // the EVP_PKEY

  static RsaKey adopt(void* evpPkey);  // takes ownership

 private:
  std::shared_ptr<void> key_;
};

// Error codes of the key procedures, with their texts through PkiErrorLookup.
enum PkiError {
  PkiOk = 0,
  PkiCannotOpenFile = 1,
  PkiBadKeyData = 2,
  PkiBadPassPhrase = 3,
  PkiBadXml = 4,
  PkiCannotWriteFile = 5,
  PkiKeyGenerationFailed = 6,
  PkiEncryptFailed = 7,
  PkiDecryptFailed = 8,
};

// Writes a new key pair: the public key to publicKeyFile, the private key encrypted under
// passPhrase to privateKeyFile (each replaced whole). Returns PkiOk or an error code; on
// PkiCannotWriteFile *error names the file and why.
int MakeRsaKeyFiles(const QString& publicKeyFile, const QString& privateKeyFile, const QString& passPhrase,
                    int bits = 1024, QString* error = nullptr);

// True when the public key is the public half of the private key. The two key files are
// written one after the other, so a program killed in between leaves a pair that does not
// match.
bool KeysMatch(const RsaKey& publicKey, const RsaKey& privateKey);

// Read the key files back; on failure a message box "Unable to read public key. Error=" (or
// "... private key ...") with the code and its text, and a null key.
RsaKey ReadPublicKey(const QString& file);
RsaKey ReadEncryptedPrivateKey(const QString& file, const QString& passPhrase);

// The key's XML form; private parts only for a private key when includePrivate is set.
QString RsaToXmlString(const RsaKey& key, bool includePrivate);
// The key given by its XML form; on failure a message box "Error: " and the code, and a null key.
// A modulus and exponent that cannot be an RSA key (even, an exponent of 1 or not below the
// modulus) are such a failure.
RsaKey RsaKeyFromXml(const QString& xml);

// PKCS#1 v1.5 encryption of a message under a public key; empty on failure (no message).
QByteArray rsaEncryptBytes(const QByteArray& message, const RsaKey& publicKey);
// Decryption of one block under a private key; empty when the block is not exactly the key's
// length or does not decrypt (no message).
QByteArray rsaDecryptBytes(const QByteArray& block, const RsaKey& privateKey);

QString PkiErrorLookup(int code);
// The last error text of the crypto library (at most 511 characters).
QString PkiLastError();

}  // namespace corvane::keys
