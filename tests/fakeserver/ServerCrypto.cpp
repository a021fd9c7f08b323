#include "fakeserver/ServerCrypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <pugixml.hpp>

#include <mutex>

namespace corvane::fakeserver {

namespace {
// Blowfish lives in the legacy provider; a library context of our own keeps the process-wide
// default untouched.
EVP_CIPHER* blowfish() {
  static EVP_CIPHER* cipher = [] {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    OSSL_PROVIDER_load(ctx, "legacy");
    OSSL_PROVIDER_load(ctx, "default");
    return EVP_CIPHER_fetch(ctx, "BF-ECB", nullptr);
  }();
  return cipher;
}

bool bfRun(const QByteArray& in, const QByteArray& key, bool encrypt, QByteArray& out) {
  out.clear();
  EVP_CIPHER* cipher = blowfish();
  if (!cipher || key.isEmpty()) return false;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const int enc = encrypt ? 1 : 0;
  bool ok = EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, enc, nullptr) &&
            EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size())) &&
            EVP_CipherInit_ex2(ctx, nullptr, reinterpret_cast<const unsigned char*>(key.constData()), nullptr, enc,
                               nullptr);
  QByteArray buf(in.size() + 16, '\0');
  int n1 = 0, n2 = 0;
  ok = ok &&
       EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(buf.data()), &n1,
                        reinterpret_cast<const unsigned char*>(in.constData()), static_cast<int>(in.size())) &&
       EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(buf.data()) + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  ERR_clear_error();
  if (!ok) return false;
  buf.resize(n1 + n2);
  out = buf;
  return true;
}

BIGNUM* bnParam(EVP_PKEY* k, const char* name) {
  BIGNUM* b = nullptr;
  EVP_PKEY_get_bn_param(k, name, &b);
  return b;
}

QString b64(const BIGNUM* b) {
  QByteArray bytes(BN_num_bytes(b), '\0');
  BN_bn2bin(b, reinterpret_cast<unsigned char*>(bytes.data()));
  return QString::fromLatin1(bytes.toBase64());
}
}  // namespace

QString toHex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()).toUpper(); }

bool fromHex(const QString& hex, QByteArray& out) {
  static const QString digits = QStringLiteral("0123456789abcdefABCDEF");
  if (hex.size() % 2) return false;
  for (QChar c : hex)
    if (!digits.contains(c)) return false;
  out = QByteArray::fromHex(hex.toLatin1());
  return true;
}

bool bfEncrypt(const QByteArray& plain, const QByteArray& key, QByteArray& out) { return bfRun(plain, key, true, out); }
bool bfDecrypt(const QByteArray& cipher, const QByteArray& key, QByteArray& out) {
  return bfRun(cipher, key, false, out);
}

QString encryptText(const QString& text, const QByteArray& key) {
  QByteArray out;
  if (!bfEncrypt(text.toLatin1(), key, out)) return QString();
  return toHex(out);
}

bool decryptText(const QString& hex, const QByteArray& key, QString& text) {
  QByteArray cipher, plain;
  if (!fromHex(hex, cipher) || !bfDecrypt(cipher, key, plain)) return false;
  text = QString::fromLatin1(plain);
  return true;
}

ServerRsaKey ServerRsaKey::generate(int bits) {
  ServerRsaKey k;
  if (EVP_PKEY* p = EVP_RSA_gen(static_cast<unsigned>(bits)))
    k.key_ = std::shared_ptr<void>(p, [](void* q) { EVP_PKEY_free(static_cast<EVP_PKEY*>(q)); });
  ERR_clear_error();
  return k;
}

ServerRsaKey ServerRsaKey::fromXml(const QString& xml) {
  ServerRsaKey k;
  pugi::xml_document doc;
  const QByteArray utf8 = xml.toUtf8();
  if (!doc.load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()))) return k;
  const QByteArray n = QByteArray::fromBase64(QByteArray(doc.child("RSAKeyValue").child_value("Modulus")));
  const QByteArray e = QByteArray::fromBase64(QByteArray(doc.child("RSAKeyValue").child_value("Exponent")));
  if (n.isEmpty() || e.isEmpty()) return k;
  BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(n.constData()), int(n.size()), nullptr);
  BIGNUM* be = BN_bin2bn(reinterpret_cast<const unsigned char*>(e.constData()), int(e.size()), nullptr);
  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, bn);
  OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, be);
  OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  EVP_PKEY* p = nullptr;
  if (ctx && EVP_PKEY_fromdata_init(ctx) > 0 && EVP_PKEY_fromdata(ctx, &p, EVP_PKEY_PUBLIC_KEY, params) > 0 && p)
    k.key_ = std::shared_ptr<void>(p, [](void* q) { EVP_PKEY_free(static_cast<EVP_PKEY*>(q)); });
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  OSSL_PARAM_BLD_free(bld);
  BN_free(bn);
  BN_free(be);
  ERR_clear_error();
  return k;
}

QString ServerRsaKey::publicXml() const {
  if (!key_) return QString();
  EVP_PKEY* p = static_cast<EVP_PKEY*>(key_.get());
  BIGNUM* n = bnParam(p, OSSL_PKEY_PARAM_RSA_N);
  BIGNUM* e = bnParam(p, OSSL_PKEY_PARAM_RSA_E);
  QString xml;
  if (n && e)
    xml = QStringLiteral("<RSAKeyValue><Modulus>%1</Modulus><Exponent>%2</Exponent></RSAKeyValue>").arg(b64(n), b64(e));
  BN_free(n);
  BN_free(e);
  return xml;
}

int ServerRsaKey::size() const { return key_ ? EVP_PKEY_get_size(static_cast<EVP_PKEY*>(key_.get())) : 0; }

bool ServerRsaKey::encrypt(const QByteArray& message, QByteArray& out) const {
  if (!key_) return false;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, static_cast<EVP_PKEY*>(key_.get()), nullptr);
  out = QByteArray(size(), '\0');
  size_t len = size_t(out.size());
  const bool ok = ctx && EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
                  EVP_PKEY_encrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                                   reinterpret_cast<const unsigned char*>(message.constData()), size_t(message.size())) > 0;
  EVP_PKEY_CTX_free(ctx);
  ERR_clear_error();
  out.resize(ok ? qsizetype(len) : 0);
  return ok;
}

bool ServerRsaKey::decrypt(const QByteArray& block, QByteArray& out) const {
  if (!key_) return false;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, static_cast<EVP_PKEY*>(key_.get()), nullptr);
  out = QByteArray(size(), '\0');
  size_t len = size_t(out.size());
  const bool ok = ctx && EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
                  EVP_PKEY_decrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                                   reinterpret_cast<const unsigned char*>(block.constData()), size_t(block.size())) > 0;
  EVP_PKEY_CTX_free(ctx);
  ERR_clear_error();
  out.resize(ok ? qsizetype(len) : 0);
  return ok;
}

QByteArray randomBytes(int n) {
  QByteArray b(n, '\0');
  RAND_bytes(reinterpret_cast<unsigned char*>(b.data()), n);
  return b;
}

}  // namespace corvane::fakeserver
