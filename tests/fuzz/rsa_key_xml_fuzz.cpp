// The XML key form (<RSAKeyValue> with base64 parts), as the server's public key arrives in
// the session exchange: read, written back, read again, and used to encrypt the client's key.
#include "fuzz/FuzzSupport.h"
#include "keys/RsaKeys.h"

using namespace corvane;

CORVANE_FUZZ_TARGET(rsa_key_xml) {
  fuzz::scratchApp();
  const keys::RsaKey key = keys::RsaKeyFromXml(QString::fromUtf8(fuzz::bytesOf(data, size)));
  if (key.isNull()) return 0;

  // A key that was read can be written and read back as the same public key.
  const QString publicXml = keys::RsaToXmlString(key, false);
  const keys::RsaKey again = keys::RsaKeyFromXml(publicXml);
  fuzz::expect(!again.isNull() && again.keyBytes() == key.keyBytes(), "a key read from XML does not read back");
  fuzz::expect(keys::RsaToXmlString(again, false) == publicXml, "the XML form of a key changed on reading back");
  keys::RsaToXmlString(key, true);

  // The session exchange encrypts the client's 56-character key under the server's key.
  const QByteArray block = keys::rsaEncryptBytes(QByteArray(56, 'k'), key);
  if (!block.isEmpty()) fuzz::expect(block.size() == key.keyBytes(), "an encrypted block is not the key's length");
  return 0;
}
