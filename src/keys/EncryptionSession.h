#pragma once
// The encryption session with the backup server: a session identifier chosen by the server
// and a 112-hex-digit Blowfish session key to which both sides contribute, agreed through a
// fresh RSA key pair and the SwopPublicKey / SwopBlowfishKeyServer exchange.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

#include "keys/RsaKeys.h"

namespace corvane::keys {

using Clock = std::function<QDateTime()>;

// Pass phrase of the private key file.
extern const QString kKeyPassPhrase;
// Minutes after which a session is renewed.
constexpr int kSessionRenewalMinutes = 15;

// The values of the last exchange, kept for inspection.
struct SessionExchange {
  RsaKey RsaPublicKey;
  RsaKey RsaPrivateKey;
  QString RsaPublicKeyXml;
  QString RsaPrivateKeyXml;
  QString ServerPublicKeyReply;  // the whole SwopPublicKey reply
  RsaKey ServerPublicKey;
  QString ClientBlowfishKey;     // 56 random characters of 0-9, A-Z, a-z
  QString EncryptedClientKeyHex;
  QString ServerKeyReply;
  QString ServerBlowfishKey;     // hex
};

// One session. The main window owns one for the whole run; the key request makes a private
// one per request. Each session keeps its own start time, so renewing one never makes
// another look fresh.
class EncryptionSession {
 public:
  explicit EncryptionSession(Clock clock = {});

  qint32 sessionId() const { return sessionId_; }
  const QString& sessionKey() const { return sessionKey_; }
  // When the last renewal began (null before the first).
  const QDateTime& lastSessionStart() const { return lastSessionStart_; }
  // Setting the identifier to 0 forces a renewal at the next BeginEncryptionSession.
  void setSessionId(qint32 id) { sessionId_ = id; }
  void setSessionKey(const QString& key) { sessionKey_ = key; }

  void setClock(Clock clock);
  QDateTime now() const;
  // True when the identifier is 0 or the last renewal began more than 15 minutes ago.
  bool needsRenewal() const;

  const SessionExchange& exchange() const { return exchange_; }

 private:
  friend QString BeginEncryptionSession(EncryptionSession& session);
  Clock clock_;
  qint32 sessionId_ = 0;
  QString sessionKey_;
  QDateTime lastSessionStart_;
  SessionExchange exchange_;
};

// Makes sure the session exists and is fresh: renews it when needed (new key pair written to
// mykey.pub and mykey.epk in the application folder, both SOAP exchanges). Returns "OK"; on
// any failure the identifier becomes 0, the key empty and the result empty.
QString BeginEncryptionSession(EncryptionSession& session);

// The steps of the exchange, each usable on its own.
// Writes mykey.pub / mykey.epk, reads them back and fills the four client key values. A pair
// that cannot be written, or that does not read back as one pair, is shown and fails.
bool MakeRsaKeyPair(SessionExchange& x);
// SOAP senders; each returns the reduced reply, empty on failure.
QString SwopPublicKey(const QString& keyXml);
QString SwopBlowfishKeyServer(const QString& encryptedKeyAndSessionId);
// Makes the client's key contribution and returns it RSA-encrypted under the server's key,
// in hex; empty without a server key or when it cannot be encrypted.
QString MakeEncryptedClientKey(SessionExchange& x);
// The SwopPublicKey reply: the server's key XML (its "&lt;" and "&gt;" turned back) before
// "cutmehere", and the session identifier after it. Nothing when either is missing.
struct PublicKeyReply {
  QString keyXml;
  qint32 sessionId = 0;
};
std::optional<PublicKeyReply> ParsePublicKeyReply(const QString& reply);
// The server's key contribution decrypted with the client's private key, in hex; empty on failure.
QString DecryptServerKey(const SessionExchange& x, const QString& hex);
// The first 56 digits of the client key's hex followed by the last 56 digits of the server key.
QString CombineSessionKey(const QString& clientKey, const QString& serverKeyHex);

// length random characters from a cryptographic source. Mode 1: 0-9, a-z; mode 2: 0-9, A-Z;
// any other mode: 0-9, A-Z, a-z.
QString RandomString(int length, int mode);

}  // namespace corvane::keys
