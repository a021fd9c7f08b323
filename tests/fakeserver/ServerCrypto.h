#pragma once
// The fake server's own cipher work, written apart from the client's so that the two sides
// check each other: Blowfish through OpenSSL's EVP interface (legacy provider, explicit key
// length), RSA keys in the XML key form, PKCS#1 v1.5, hex.
#include <QByteArray>
#include <QString>
#include <memory>

namespace corvane::fakeserver {

QString toHex(const QByteArray& bytes);                 // upper case
bool fromHex(const QString& hex, QByteArray& out);      // either case; false when not hex

// Blowfish ECB with PKCS#5 padding. Decrypt fails (false) on a bad length or bad padding.
bool bfEncrypt(const QByteArray& plain, const QByteArray& key, QByteArray& out);
bool bfDecrypt(const QByteArray& cipher, const QByteArray& key, QByteArray& out);

// Text fields as the client sends them: Blowfish of the text's bytes under the session
// key's bytes, as hex.
QString encryptText(const QString& text, const QByteArray& key);
bool decryptText(const QString& hex, const QByteArray& key, QString& text);

class ServerRsaKey {
 public:
  static ServerRsaKey generate(int bits);
  static ServerRsaKey fromXml(const QString& xml);  // public key form; null on failure
  bool isNull() const { return !key_; }
  QString publicXml() const;
  int size() const;
  bool encrypt(const QByteArray& message, QByteArray& out) const;
  bool decrypt(const QByteArray& block, QByteArray& out) const;

 private:
  std::shared_ptr<void> key_;
};

QByteArray randomBytes(int n);

}  // namespace corvane::fakeserver
