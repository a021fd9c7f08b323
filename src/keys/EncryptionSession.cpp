#include "keys/EncryptionSession.h"

#include <openssl/rand.h>

#include "keys/HexConvert.h"
#include "keys/SoapClient.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"

namespace corvane::keys {

const QString kKeyPassPhrase = QStringLiteral("quorvelmanit");

namespace {
const QString kCut = QStringLiteral("cutmehere");
constexpr int kClientKeyLength = 56;
constexpr int kKeyHalfDigits = 56;  // each side's share of the 112-digit session key

// A uniform integer 0 .. n-1 from the cryptographic generator (rejection keeps it uniform).
int uniformBelow(int n) {
  const int limit = 256 - 256 % n;
  for (;;) {
    unsigned char b = 0;
    if (RAND_bytes(&b, 1) != 1) return -1;
    if (b < limit) return b % n;
  }
}
}  // namespace

EncryptionSession::EncryptionSession(Clock clock) : clock_(std::move(clock)) {}

void EncryptionSession::setClock(Clock clock) { clock_ = std::move(clock); }

QDateTime EncryptionSession::now() const { return clock_ ? clock_() : QDateTime::currentDateTime(); }

bool EncryptionSession::needsRenewal() const {
  if (sessionId_ == 0 || !lastSessionStart_.isValid()) return true;
  return now() > lastSessionStart_.addSecs(kSessionRenewalMinutes * 60);
}

QString RandomString(int length, int mode) {
  QString out;
  out.reserve(length);
  for (int i = 0; i < length; ++i) {
    int c;
    if (mode == 1 || mode == 2) {
      const int r = uniformBelow(36);
      if (r < 0) return QString();
      c = 48 + r;
      if (c >= 58) c += (mode == 1 ? 39 : 7);
    } else {
      const int r = uniformBelow(62);
      if (r < 0) return QString();
      c = 48 + r;
      if (c > 57) c += 7;
      if (c >= 91) c += 6;
    }
    out.append(QChar(c));
  }
  return out;
}

bool MakeRsaKeyPair(SessionExchange& x) {
  const QString folder = platform::appPaths().appFolder;
  const QString pubFile = platform::joinPath(folder, QStringLiteral("mykey.pub"));
  const QString epkFile = platform::joinPath(folder, QStringLiteral("mykey.epk"));
  x.RsaPublicKey = RsaKey();
  x.RsaPrivateKey = RsaKey();
  // The pair read back must be the pair just written: a file that could not be replaced would
  // give the old key, and a file changed in between half of another pair. A pair that does not
  // match is made anew once, and never used.
  for (int attempt = 0; attempt < 2; ++attempt) {
    QString error;
    const int made = MakeRsaKeyFiles(pubFile, epkFile, kKeyPassPhrase, 1024, &error);
    if (made != PkiOk) {
      QString text = QStringLiteral("Unable to write the key files. Error=%1\n").arg(made) + PkiErrorLookup(made);
      if (!error.isEmpty()) text += '\n' + error;
      platform::showMessage(text);
      return false;
    }
    const RsaKey publicKey = ReadPublicKey(pubFile);
    const RsaKey privateKey = ReadEncryptedPrivateKey(epkFile, kKeyPassPhrase);
    if (publicKey.isNull() || privateKey.isNull()) return false;  // shown by the reader
    if (KeysMatch(publicKey, privateKey)) {
      x.RsaPublicKey = publicKey;
      x.RsaPrivateKey = privateKey;
      break;
    }
  }
  if (x.RsaPublicKey.isNull()) {
    platform::showMessage(QStringLiteral("The key files %1 and %2 do not hold one key pair.").arg(pubFile, epkFile));
    return false;
  }
  x.RsaPublicKeyXml = RsaToXmlString(x.RsaPublicKey, false);
  x.RsaPrivateKeyXml = RsaToXmlString(x.RsaPrivateKey, true);
  return !x.RsaPublicKeyXml.isEmpty() && !x.RsaPrivateKeyXml.isEmpty();
}

QString SwopPublicKey(const QString& keyXml) {
  const QString op = QStringLiteral("SwopPublicKey");
  return PostWebservice(ServiceUrl(), SoapAction(op),
                        BuildSoapEnvelope(op, {{QStringLiteral("ClientPublicKey"), EscapeKeyXml(keyXml)}}));
}

QString SwopBlowfishKeyServer(const QString& encryptedKeyAndSessionId) {
  const QString op = QStringLiteral("SwopBlowfishKeyServer");
  return PostWebservice(
      ServiceUrl(), SoapAction(op),
      BuildSoapEnvelope(op, {{QStringLiteral("EncryptedClientBlowfishKeyAndSessionID"), encryptedKeyAndSessionId}}));
}

QString MakeEncryptedClientKey(SessionExchange& x) {
  x.ClientBlowfishKey = RandomString(kClientKeyLength, 3);
  if (x.ServerPublicKey.isNull() || x.ClientBlowfishKey.size() != kClientKeyLength) return QString();
  return HexFromBytes(rsaEncryptBytes(AnsiBytes(x.ClientBlowfishKey), x.ServerPublicKey));
}

QString DecryptServerKey(const SessionExchange& x, const QString& hex) {
  const RsaKey privateKey = RsaKeyFromXml(x.RsaPrivateKeyXml);
  if (privateKey.isNull()) return QString();
  return HexFromBytes(rsaDecryptBytes(BytesFromHex(hex), privateKey));
}

std::optional<PublicKeyReply> ParsePublicKeyReply(const QString& reply) {
  const QStringList parts = reply.split(kCut);
  if (parts.size() < 2) return std::nullopt;
  PublicKeyReply r;
  r.keyXml = parts.at(0);
  r.keyXml.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
  r.keyXml.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
  bool ok = false;
  r.sessionId = parts.at(1).trimmed().toInt(&ok);
  if (!ok) return std::nullopt;
  return r;
}

QString CombineSessionKey(const QString& clientKey, const QString& serverKeyHex) {
  return HexFromString(clientKey).left(kKeyHalfDigits) + serverKeyHex.right(kKeyHalfDigits);
}

QString BeginEncryptionSession(EncryptionSession& s) {
  if (!s.needsRenewal()) return QStringLiteral("OK");

  s.lastSessionStart_ = s.now();
  s.exchange_ = SessionExchange();
  SessionExchange& x = s.exchange_;
  auto fail = [&s] {
    s.sessionId_ = 0;
    s.sessionKey_.clear();
    return QString();
  };

  if (!MakeRsaKeyPair(x)) return fail();

  x.ServerPublicKeyReply = SwopPublicKey(x.RsaPublicKeyXml);
  const std::optional<PublicKeyReply> publicKey = ParsePublicKeyReply(x.ServerPublicKeyReply);
  if (!publicKey) return fail();
  const qint32 id = publicKey->sessionId;
  s.sessionId_ = id;

  // Each step below needs the one before: a server key that cannot be read, a client key that
  // cannot be encrypted, or a server contribution too short for its half of the session key
  // all fail the session instead of agreeing a key the server does not share.
  x.ServerPublicKey = RsaKeyFromXml(publicKey->keyXml);
  if (x.ServerPublicKey.isNull()) return fail();
  x.EncryptedClientKeyHex = MakeEncryptedClientKey(x);
  if (x.EncryptedClientKeyHex.isEmpty()) return fail();

  const QString reply = SwopBlowfishKeyServer(x.EncryptedClientKeyHex + kCut + QString::number(id));
  x.ServerKeyReply = reply.section(kCut, 0, 0);
  if (x.ServerKeyReply.isEmpty()) return fail();

  x.ServerBlowfishKey = DecryptServerKey(x, x.ServerKeyReply);
  if (x.ServerBlowfishKey.size() < kKeyHalfDigits) return fail();

  s.sessionKey_ = CombineSessionKey(x.ClientBlowfishKey, x.ServerBlowfishKey);
  s.lastSessionStart_ = s.now();
  return QStringLiteral("OK");
}

}  // namespace corvane::keys
