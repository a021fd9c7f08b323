// Replies of the backup server's SOAP service: the reduction of a reply to its result, then
// each operation's reading of that result (SwopPublicKey, SwopBlowfishKeyServer, RequestKey,
// CheckUser).
#include "fuzz/FuzzKeys.h"
#include "fuzz/FuzzSupport.h"
#include "keys/EncryptionSession.h"
#include "keys/KeyRequest.h"
#include "keys/RsaKeys.h"
#include "keys/SoapClient.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(soap_reply) {
  fuzz::scratchApp();
  static const keys::SessionExchange client = [] {
    keys::SessionExchange x;
    x.RsaPrivateKeyXml = fuzz::kClientKeyXml;
    return x;
  }();

  // The post hands the reply body over as UTF-8 text.
  const QString reply = QString::fromUtf8(fuzz::bytesOf(data, size));
  const QString result = keys::ReduceSoapReply(reply);
  fuzz::expect(result.isEmpty() || reply.contains(result), "the reduced reply is not a piece of the reply");

  // SwopPublicKey: the server's key and the session identifier; the client's contribution is
  // then encrypted under that key, whatever key the server sent.
  if (const auto publicKey = keys::ParsePublicKeyReply(result)) {
    keys::SessionExchange x;
    x.ServerPublicKey = keys::RsaKeyFromXml(publicKey->keyXml);
    const QString encrypted = keys::MakeEncryptedClientKey(x);
    if (!encrypted.isEmpty())
      fuzz::expect(encrypted.size() == 2 * x.ServerPublicKey.keyBytes(),
                   "the encrypted client key is not one block of the server's key");
  }

  // SwopBlowfishKeyServer: the first part, decrypted with the client's private key.
  const QString serverKey = keys::DecryptServerKey(client, result.section(QStringLiteral("cutmehere"), 0, 0));
  fuzz::expect(serverKey.size() % 2 == 0, "the server's key contribution is not whole bytes of hex");

  // RequestKey: three parts under the session key.
  if (const auto key = keys::ParseKeyReply(result, fuzz::kSessionKey))
    fuzz::expect(!key->machineId.isEmpty() && !key->fileKeyE.isEmpty() && !key->fileKeyKey.isEmpty(),
                 "a key reply was taken with an empty part");

  // CheckUser.
  keys::ReadBooleanReply(result);
  return 0;
}
