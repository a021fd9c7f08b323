#include "keys/RsaKeys.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <pugixml.hpp>

#include <QFile>
#include <vector>

#include "keys/PrivateFile.h"
#include "platform/Messages.h"

namespace corvane::keys {

namespace {
EVP_PKEY* pkey(const RsaKey& k) { return static_cast<EVP_PKEY*>(k.handle()); }

struct BnFree {
  void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
using BnPtr = std::unique_ptr<BIGNUM, BnFree>;

QString lastErrorText;

void noteError() {
  const unsigned long e = ERR_peek_last_error();
  if (e != 0) {
    char buf[512];
    ERR_error_string_n(e, buf, sizeof buf);
    lastErrorText = QString::fromLatin1(buf).left(511);
  }
  ERR_clear_error();
}

BnPtr getBn(EVP_PKEY* k, const char* name) {
  BIGNUM* b = nullptr;
  if (!EVP_PKEY_get_bn_param(k, name, &b)) return nullptr;
  return BnPtr(b);
}

QString base64Of(const BIGNUM* b, int width) {
  const int n = std::max(width, BN_num_bytes(b));
  QByteArray bytes(n, '\0');
  BN_bn2binpad(b, reinterpret_cast<unsigned char*>(bytes.data()), n);
  return QString::fromLatin1(bytes.toBase64());
}

BnPtr bnFromBase64(const char* text) {
  const QByteArray bytes = QByteArray::fromBase64(QByteArray(text).trimmed());
  if (bytes.isEmpty()) return nullptr;
  return BnPtr(BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<int>(bytes.size()),
                         nullptr));
}

QByteArray readFile(const QString& path, bool* ok) {
  QFile f(path);
  *ok = f.open(QIODevice::ReadOnly);
  return *ok ? f.readAll() : QByteArray();
}

QByteArray bioText(BIO* bio) {
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  return QByteArray(data, static_cast<qsizetype>(n));
}

void showReadFailure(const char* what, int code) {
  platform::showMessage(QStringLiteral("Unable to read %1 key. Error=%2\n%3")
                            .arg(QLatin1String(what))
                            .arg(code)
                            .arg(PkiErrorLookup(code)));
}
}  // namespace

RsaKey RsaKey::adopt(void* evpPkey) {
  RsaKey k;
  if (evpPkey) k.key_ = std::shared_ptr<void>(evpPkey, [](void* p) { EVP_PKEY_free(static_cast<EVP_PKEY*>(p)); });
  return k;
}

bool RsaKey::hasPrivate() const {
  if (isNull()) return false;
  BIGNUM* d = nullptr;
  const bool has = EVP_PKEY_get_bn_param(pkey(*this), OSSL_PKEY_PARAM_RSA_D, &d) && d;
  BN_clear_free(d);
  ERR_clear_error();
  return has;
}

int RsaKey::keyBytes() const { return isNull() ? 0 : EVP_PKEY_get_size(pkey(*this)); }

int MakeRsaKeyFiles(const QString& publicKeyFile, const QString& privateKeyFile, const QString& passPhrase,
                    int bits, QString* error) {
  EVP_PKEY* generated = EVP_RSA_gen(static_cast<unsigned>(bits));
  if (!generated) {
    noteError();
    return PkiKeyGenerationFailed;
  }
  const RsaKey key = RsaKey::adopt(generated);
  const QByteArray pass = passPhrase.toUtf8();

  BIO* pub = BIO_new(BIO_s_mem());
  BIO* priv = BIO_new(BIO_s_mem());
  const bool encoded =
      PEM_write_bio_PUBKEY(pub, pkey(key)) &&
      PEM_write_bio_PKCS8PrivateKey(priv, pkey(key), EVP_aes_256_cbc(), pass.constData(),
                                    static_cast<int>(pass.size()), nullptr, nullptr);
  const QByteArray pubText = bioText(pub);
  const QByteArray privText = bioText(priv);
  BIO_free(pub);
  BIO_free(priv);
  if (!encoded) {
    noteError();
    return PkiKeyGenerationFailed;
  }
  if (!WritePublicFile(publicKeyFile, pubText, error) || !WritePrivateFile(privateKeyFile, privText, error))
    return PkiCannotWriteFile;
  return PkiOk;
}

bool KeysMatch(const RsaKey& publicKey, const RsaKey& privateKey) {
  if (publicKey.isNull() || privateKey.isNull()) return false;
  const bool same = EVP_PKEY_eq(pkey(publicKey), pkey(privateKey)) == 1;
  ERR_clear_error();
  return same;
}

RsaKey ReadPublicKey(const QString& file) {
  bool ok = false;
  const QByteArray text = readFile(file, &ok);
  if (!ok) {
    showReadFailure("public", PkiCannotOpenFile);
    return {};
  }
  BIO* bio = BIO_new_mem_buf(text.constData(), static_cast<int>(text.size()));
  EVP_PKEY* k = PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  if (!k || EVP_PKEY_get_base_id(k) != EVP_PKEY_RSA) {
    EVP_PKEY_free(k);
    noteError();
    showReadFailure("public", PkiBadKeyData);
    return {};
  }
  return RsaKey::adopt(k);
}

RsaKey ReadEncryptedPrivateKey(const QString& file, const QString& passPhrase) {
  bool ok = false;
  const QByteArray text = readFile(file, &ok);
  if (!ok) {
    showReadFailure("private", PkiCannotOpenFile);
    return {};
  }
  QByteArray pass = passPhrase.toUtf8();
  BIO* bio = BIO_new_mem_buf(text.constData(), static_cast<int>(text.size()));
  EVP_PKEY* k = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, pass.data());
  BIO_free(bio);
  if (!k || EVP_PKEY_get_base_id(k) != EVP_PKEY_RSA) {
    EVP_PKEY_free(k);
    noteError();
    showReadFailure("private", PkiBadPassPhrase);
    return {};
  }
  return RsaKey::adopt(k);
}

QString RsaToXmlString(const RsaKey& key, bool includePrivate) {
  if (key.isNull()) return QString();
  EVP_PKEY* k = pkey(key);
  const BnPtr n = getBn(k, OSSL_PKEY_PARAM_RSA_N);
  const BnPtr e = getBn(k, OSSL_PKEY_PARAM_RSA_E);
  if (!n || !e) {
    noteError();
    return QString();
  }
  const int width = BN_num_bytes(n.get());
  QString xml = QStringLiteral("<RSAKeyValue><Modulus>") + base64Of(n.get(), width) + QStringLiteral("</Modulus><Exponent>") +
                base64Of(e.get(), 0) + QStringLiteral("</Exponent>");
  if (includePrivate && key.hasPrivate()) {
    const int half = (width + 1) / 2;
    const struct {
      const char* tag;
      const char* param;
      int width;
    } parts[] = {{"P", OSSL_PKEY_PARAM_RSA_FACTOR1, half},       {"Q", OSSL_PKEY_PARAM_RSA_FACTOR2, half},
                 {"DP", OSSL_PKEY_PARAM_RSA_EXPONENT1, half},    {"DQ", OSSL_PKEY_PARAM_RSA_EXPONENT2, half},
                 {"InverseQ", OSSL_PKEY_PARAM_RSA_COEFFICIENT1, half}, {"D", OSSL_PKEY_PARAM_RSA_D, width}};
    for (const auto& p : parts) {
      const BnPtr b = getBn(k, p.param);
      if (!b) {
        noteError();
        return QString();
      }
      const QString tag = QLatin1String(p.tag);
      xml += '<' + tag + '>' + base64Of(b.get(), p.width) + QStringLiteral("</") + tag + '>';
    }
  }
  xml += QStringLiteral("</RSAKeyValue>");
  return xml;
}

RsaKey RsaKeyFromXml(const QString& xml) {
  auto fail = [] {
    noteError();
    platform::showMessage(QStringLiteral("Error: %1").arg(int(PkiBadXml)));
    return RsaKey();
  };
  pugi::xml_document doc;
  const QByteArray utf8 = xml.toUtf8();
  if (!doc.load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()))) return fail();
  const pugi::xml_node root = doc.child("RSAKeyValue");
  if (!root) return fail();
  BnPtr n = bnFromBase64(root.child_value("Modulus"));
  BnPtr e = bnFromBase64(root.child_value("Exponent"));
  if (!n || !e) return fail();
  // No RSA key has an even modulus, or an exponent that is even, 1, or not below the modulus;
  // under such a "key" the client's key contribution would travel readable to anyone.
  if (!BN_is_odd(n.get()) || !BN_is_odd(e.get()) || BN_is_one(e.get()) || BN_cmp(e.get(), n.get()) >= 0)
    return fail();

  const char* privTags[] = {"D", "P", "Q", "DP", "DQ", "InverseQ"};
  const char* privParams[] = {OSSL_PKEY_PARAM_RSA_D,         OSSL_PKEY_PARAM_RSA_FACTOR1,
                              OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
                              OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1};
  std::vector<BnPtr> priv;
  const bool isPrivate = root.child("D");
  if (isPrivate) {
    for (const char* tag : privTags) {
      priv.push_back(bnFromBase64(root.child_value(tag)));
      if (!priv.back()) return fail();
    }
  }

  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  bool built = OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n.get()) &&
               OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e.get());
  for (size_t i = 0; built && i < priv.size(); ++i) built = OSSL_PARAM_BLD_push_BN(bld, privParams[i], priv[i].get());
  OSSL_PARAM* params = built ? OSSL_PARAM_BLD_to_param(bld) : nullptr;
  OSSL_PARAM_BLD_free(bld);
  if (!params) return fail();

  EVP_PKEY* result = nullptr;
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
  const bool made = ctx && EVP_PKEY_fromdata_init(ctx) > 0 &&
                    EVP_PKEY_fromdata(ctx, &result, isPrivate ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, params) > 0;
  EVP_PKEY_CTX_free(ctx);
  OSSL_PARAM_free(params);
  if (!made || !result) {
    EVP_PKEY_free(result);
    return fail();
  }
  return RsaKey::adopt(result);
}

QByteArray rsaEncryptBytes(const QByteArray& message, const RsaKey& publicKey) {
  if (publicKey.isNull()) return QByteArray();
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey(publicKey), nullptr);
  QByteArray out(publicKey.keyBytes(), '\0');
  size_t outLen = static_cast<size_t>(out.size());
  const bool ok = ctx && EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
                  EVP_PKEY_encrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &outLen,
                                   reinterpret_cast<const unsigned char*>(message.constData()),
                                   static_cast<size_t>(message.size())) > 0;
  EVP_PKEY_CTX_free(ctx);
  if (!ok) {
    noteError();
    return QByteArray();
  }
  out.resize(static_cast<qsizetype>(outLen));
  return out;
}

QByteArray rsaDecryptBytes(const QByteArray& block, const RsaKey& privateKey) {
  if (privateKey.isNull() || block.size() != privateKey.keyBytes()) return QByteArray();
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey(privateKey), nullptr);
  QByteArray out(block.size(), '\0');
  size_t outLen = static_cast<size_t>(out.size());
  const bool ok = ctx && EVP_PKEY_decrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0 &&
                  EVP_PKEY_decrypt(ctx, reinterpret_cast<unsigned char*>(out.data()), &outLen,
                                   reinterpret_cast<const unsigned char*>(block.constData()),
                                   static_cast<size_t>(block.size())) > 0;
  EVP_PKEY_CTX_free(ctx);
  if (!ok || outLen == 0) {
    noteError();
    return QByteArray();
  }
  out.resize(static_cast<qsizetype>(outLen));
  return out;
}

QString PkiErrorLookup(int code) {
  switch (code) {
    case PkiOk: return QStringLiteral("OK, success, no error");
    case PkiCannotOpenFile: return QStringLiteral("Cannot open the key file");
    case PkiBadKeyData: return QStringLiteral("The key file does not hold a valid RSA key");
    case PkiBadPassPhrase: return QStringLiteral("Wrong pass phrase or damaged private key file");
    case PkiBadXml: return QStringLiteral("The key's XML form is not valid");
    case PkiCannotWriteFile: return QStringLiteral("Cannot write the key file");
    case PkiKeyGenerationFailed: return QStringLiteral("Key generation failed");
    case PkiEncryptFailed: return QStringLiteral("Encryption failed");
    case PkiDecryptFailed: return QStringLiteral("Decryption failed");
    default: return QStringLiteral("Unknown error");
  }
}

QString PkiLastError() { return lastErrorText; }

}  // namespace corvane::keys
