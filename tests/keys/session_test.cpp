// The encryption session end to end against the fake server, renewal, and each failure path.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "fakeserver/FakeBackupServer.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/KeyRequest.h"
#include "keys/RsaKeys.h"
#include "keys/SoapClient.h"
#include "platform/WholeFile.h"
#include "support/TestSupport.h"
#include "support/WriteFaults.h"

using namespace corvane::keys;
using corvane::fakeserver::FakeBackupServer;
using corvane::fakeserver::Faults;
using corvane::fakeserver::ScopedServerHost;

namespace {
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    host = std::make_unique<ScopedServerHost>(server.hostPort());
  }

  // A session whose clock the test moves.
  EncryptionSession makeSession() {
    return EncryptionSession([this] { return clockNow; });
  }

  void expectFailed(const EncryptionSession& s, const QString& result) {
    EXPECT_EQ(result, "");
    EXPECT_EQ(s.sessionId(), 0);
    EXPECT_EQ(s.sessionKey(), "");
  }

  // Runs one session with the given faults and checks it fails completely.
  void expectFailureWith(const Faults& f) {
    server.setFaults(f);
    EncryptionSession s = makeSession();
    s.setSessionKey("stale");
    expectFailed(s, BeginEncryptionSession(s));
  }

  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  FakeBackupServer server;
  std::unique_ptr<ScopedServerHost> host;
  QDateTime clockNow = QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0));
};
}  // namespace

TEST_F(SessionTest, KeyExchangeAgreesTheSameKeyAsTheServer) {
  EncryptionSession s = makeSession();
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  EXPECT_NE(s.sessionId(), 0);
  EXPECT_EQ(s.sessionId(), server.lastSessionId());
  EXPECT_EQ(s.sessionKey().size(), 112);
  EXPECT_EQ(s.sessionKey(), server.sessionKey(s.sessionId()));
  EXPECT_EQ(s.lastSessionStart(), clockNow);

  // The client's half is the hex of the first 28 characters of its random key, which the server
  // received under RSA.
  const auto& x = s.exchange();
  EXPECT_EQ(s.sessionKey().left(56), HexFromString(x.ClientBlowfishKey.left(28)));
  EXPECT_EQ(server.requests().last().decrypted.value("ClientBlowfishKey"), x.ClientBlowfishKey);
  EXPECT_EQ(x.ClientBlowfishKey.size(), 56);

  // The second request carries the encrypted client key and the identifier.
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2);
  EXPECT_EQ(requests[0].operation, "SwopPublicKey");
  EXPECT_EQ(requests[0].field("ClientPublicKey"), x.RsaPublicKeyXml);
  EXPECT_EQ(requests[1].operation, "SwopBlowfishKeyServer");
  EXPECT_EQ(requests[1].field("EncryptedClientBlowfishKeyAndSessionID"),
            x.EncryptedClientKeyHex + "cutmehere" + QString::number(s.sessionId()));
  EXPECT_EQ(x.EncryptedClientKeyHex.size(), 256);  // one 1024-bit block
  EXPECT_TRUE(messages.texts.isEmpty());

  // A field encrypted under the agreed key reads back on the server's side.
  const QString reply = SendMessageToServer(s, "Hello", "", "", "", "", "");
  EXPECT_EQ(reply, "OK");
  ASSERT_EQ(server.messages().size(), 1);
  EXPECT_EQ(server.messages()[0].name, "Hello");
}

TEST_F(SessionTest, KeyFilesAreWrittenUnderThePassPhrase) {
  EncryptionSession s = makeSession();
  // Even under a umask that lets everyone write, and over old files that everyone could.
  const QString pub = app.file("mykey.pub"), epk = app.file("mykey.epk");
  corvane::test::writeFile(pub, "old");
  corvane::test::writeFile(epk, "old");
  for (const QString& f : {pub, epk}) ::chmod(QFile::encodeName(f).constData(), 0666);
  const mode_t oldMask = ::umask(0);
  const QString result = BeginEncryptionSession(s);
  ::umask(oldMask);
  ASSERT_EQ(result, "OK");
  auto modeOf = [](const QString& f) {
    struct stat st {};
    return ::stat(QFile::encodeName(f).constData(), &st) == 0 ? st.st_mode & 0777 : 0777u;
  };
  EXPECT_EQ(modeOf(epk), 0600u);  // the private key, even under its pass phrase
  EXPECT_EQ(modeOf(pub), 0644u);  // read back and sent as ours: only we may change it

  const RsaKey publicKey = ReadPublicKey(pub);
  const RsaKey privateKey = ReadEncryptedPrivateKey(epk, "quorvelmanit");
  ASSERT_FALSE(publicKey.isNull());
  ASSERT_FALSE(privateKey.isNull());
  EXPECT_EQ(publicKey.keyBytes(), 128);
  EXPECT_EQ(RsaToXmlString(publicKey, false), s.exchange().RsaPublicKeyXml);
  EXPECT_EQ(RsaToXmlString(privateKey, true), s.exchange().RsaPrivateKeyXml);
  EXPECT_TRUE(messages.texts.isEmpty());

  // A wrong pass phrase cannot read the private key: message with code and text, null key.
  EXPECT_TRUE(ReadEncryptedPrivateKey(epk, "wrong").isNull());
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("Unable to read private key. Error=3\n")) << messages.texts[0].toStdString();
  EXPECT_TRUE(ReadPublicKey(app.file("absent.pub")).isNull());
  EXPECT_TRUE(messages.texts[1].startsWith("Unable to read public key. Error=1\n"));

  // The next renewal writes a new pair.
  QFile f(pub);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray before = f.readAll();
  f.close();
  s.setSessionId(0);
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_NE(f.readAll(), before);
}

// The key pair read back is the pair just written, or the session fails saying why: a pair that
// could not be written, or one left half replaced, is never used.
TEST_F(SessionTest, AKeyPairThatWasNotWrittenWholeIsNeverUsed) {
  const QString pub = app.file("mykey.pub"), epk = app.file("mykey.epk");
  SessionExchange first;
  ASSERT_TRUE(MakeRsaKeyPair(first));
  const QByteArray oldPub = corvane::test::readFile(pub);
  const QStringList entries = QDir(app.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

  // Killed between the two files: the new public key beside the old private key, nothing else.
  EXPECT_TRUE(corvane::test::killedBeforeNaming("mykey.epk", [] {
    SessionExchange x;
    MakeRsaKeyPair(x);
  }));
  EXPECT_NE(corvane::test::readFile(pub), oldPub);
  EXPECT_FALSE(KeysMatch(ReadPublicKey(pub), ReadEncryptedPrivateKey(epk, "quorvelmanit")));
  EXPECT_EQ(QDir(app.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);

  // Another public key put in place while the pair is written: the pair is made anew.
  int namings = 0;
  corvane::platform::setBeforeNamingHook([&](const QString& path) {
    if (path.endsWith("mykey.epk") && ++namings == 1) corvane::test::writeFile(pub, oldPub);
  });
  SessionExchange x;
  const bool made = MakeRsaKeyPair(x);
  corvane::platform::setBeforeNamingHook(nullptr);
  ASSERT_TRUE(made);
  EXPECT_EQ(namings, 2);
  EXPECT_EQ(RsaToXmlString(ReadPublicKey(pub), false), x.RsaPublicKeyXml);
  EXPECT_TRUE(KeysMatch(x.RsaPublicKey, ReadEncryptedPrivateKey(epk, "quorvelmanit")));
  EXPECT_TRUE(messages.texts.isEmpty()) << qPrintable(messages.texts.join('|'));

}

// On a full disk the old pair is still there and readable; it must not stand in for the new one.
TEST_F(SessionTest, AKeyPairThatCannotBeWrittenFailsTheSessionAndSaysWhy) {
  corvane::test::SmallDisk disk;
  if (disk.whyNot) GTEST_SKIP() << "no small disk to fill: " << disk.whyNot;
  corvane::test::TempAppFolder onDisk(disk.path());
  SessionExchange old;
  ASSERT_TRUE(MakeRsaKeyPair(old));
  const QByteArray oldPub = corvane::test::readFile(onDisk.file("mykey.pub"));
  disk.fill();
  EncryptionSession s = makeSession();
  expectFailed(s, BeginEncryptionSession(s));
  EXPECT_EQ(messages.texts, QStringList{"Unable to write the key files. Error=5\nCannot write the key file\n" +
                                        onDisk.file("mykey.pub") + ": the disk is full"});
  EXPECT_EQ(server.count("SwopPublicKey"), 0);
  EXPECT_EQ(corvane::test::readFile(onDisk.file("mykey.pub")), oldPub);
}

TEST_F(SessionTest, RenewsAfterFifteenMinutesOnly) {
  EncryptionSession s = makeSession();
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  const qint32 id = s.sessionId();
  const QString key = s.sessionKey();
  const QDateTime started = clockNow;

  clockNow = started.addSecs(10 * 60);
  EXPECT_EQ(BeginEncryptionSession(s), "OK");
  EXPECT_EQ(server.count("SwopPublicKey"), 1);  // nothing sent
  EXPECT_EQ(s.sessionId(), id);
  EXPECT_EQ(s.sessionKey(), key);
  EXPECT_EQ(s.lastSessionStart(), started);

  clockNow = started.addSecs(15 * 60);  // exactly 15 minutes: still fresh
  EXPECT_EQ(BeginEncryptionSession(s), "OK");
  EXPECT_EQ(server.count("SwopPublicKey"), 1);

  clockNow = started.addSecs(16 * 60);
  EXPECT_EQ(BeginEncryptionSession(s), "OK");
  EXPECT_EQ(server.count("SwopPublicKey"), 2);
  EXPECT_EQ(server.count("SwopBlowfishKeyServer"), 2);
  EXPECT_NE(s.sessionId(), id);
  EXPECT_NE(s.sessionKey(), key);
  EXPECT_EQ(s.sessionKey(), server.sessionKey(s.sessionId()));
  EXPECT_EQ(s.lastSessionStart(), clockNow);
}

TEST_F(SessionTest, PrivateSessionLeavesTheMainSessionsAgeAlone) {
  EncryptionSession mainSession = makeSession();
  ASSERT_EQ(BeginEncryptionSession(mainSession), "OK");
  const QDateTime mainStart = mainSession.lastSessionStart();

  // A key request 14 minutes later makes its own session ...
  clockNow = clockNow.addSecs(14 * 60);
  EncryptionSession request = makeSession();
  ASSERT_EQ(BeginEncryptionSession(request), "OK");
  EXPECT_NE(request.sessionId(), mainSession.sessionId());
  EXPECT_EQ(mainSession.lastSessionStart(), mainStart);

  // ... and the main session still renews once its own 15 minutes are over.
  clockNow = clockNow.addSecs(2 * 60);
  EXPECT_TRUE(mainSession.needsRenewal());
  EXPECT_FALSE(request.needsRenewal());
  const qint32 oldId = mainSession.sessionId();
  ASSERT_EQ(BeginEncryptionSession(mainSession), "OK");
  EXPECT_NE(mainSession.sessionId(), oldId);
}

TEST_F(SessionTest, IdentifierZeroAlwaysRenews) {
  EncryptionSession s = makeSession();
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  s.setSessionId(0);
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  EXPECT_EQ(server.count("SwopPublicKey"), 2);
}

TEST_F(SessionTest, FailuresGiveNoSession) {
  {
    SCOPED_TRACE("no separator in the public key reply");
    Faults f;
    f.publicKeyWithoutSeparator = true;
    expectFailureWith(f);
  }
  {
    SCOPED_TRACE("identifier not a number");
    Faults f;
    f.nonNumericSessionId = true;
    expectFailureWith(f);
  }
  {
    SCOPED_TRACE("server key cannot be read");
    Faults f;
    f.garbledServerKey = true;
    messages.texts.clear();
    expectFailureWith(f);
    EXPECT_EQ(messages.texts, QStringList{"Error: 4"});
    EXPECT_EQ(server.count("SwopBlowfishKeyServer"), 0);
  }
  {
    SCOPED_TRACE("server key too short to carry the client key: empty encrypted client key");
    Faults f;
    f.serverRsaBits = 512;
    server.clearRecords();
    expectFailureWith(f);
    EXPECT_EQ(server.count("SwopBlowfishKeyServer"), 0);
  }
  {
    SCOPED_TRACE("empty key reply");
    Faults f;
    f.emptyKeyReply = true;
    expectFailureWith(f);
  }
  {
    SCOPED_TRACE("key reply cannot be decrypted");
    Faults f;
    f.undecryptableKeyReply = true;
    expectFailureWith(f);
  }
  {
    SCOPED_TRACE("server key shorter than its half of the session key");
    Faults f;
    f.serverKeyBytes = 27;
    expectFailureWith(f);
  }
  {
    SCOPED_TRACE("SOAP fault");
    Faults f;
    f.faultOperations << "SwopBlowfishKeyServer";
    expectFailureWith(f);
  }
  {
    SCOPED_TRACE("no server");
    server.setFaults(Faults());
    server.stop();
    EncryptionSession s = makeSession();
    expectFailed(s, BeginEncryptionSession(s));
  }
}

TEST_F(SessionTest, FailedRenewalOfALiveSessionDropsIt) {
  EncryptionSession s = makeSession();
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  clockNow = clockNow.addSecs(20 * 60);
  Faults f;
  f.emptyKeyReply = true;
  server.setFaults(f);
  expectFailed(s, BeginEncryptionSession(s));
  EXPECT_EQ(s.lastSessionStart(), clockNow);  // the failed attempt's time
  // The next call renews because the identifier is 0, and succeeds once the server is sound.
  server.setFaults(Faults());
  EXPECT_EQ(BeginEncryptionSession(s), "OK");
  EXPECT_EQ(s.sessionKey(), server.sessionKey(s.sessionId()));
}

TEST(SessionParts, RandomStringAndCombinedKey) {
  for (int mode : {1, 2, 3}) {
    const QString s = RandomString(56, mode);
    ASSERT_EQ(s.size(), 56);
    for (QChar c : s) {
      const bool digit = c >= '0' && c <= '9', upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z';
      EXPECT_TRUE(digit || (mode != 1 && upper) || (mode != 2 && lower)) << mode << " " << c.toLatin1();
    }
  }
  // All 62 characters turn up over enough draws, and two draws differ.
  QString many;
  for (int i = 0; i < 40; ++i) many += RandomString(254, 3);
  for (const char* set : {"0123456789", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz"})
    for (const char* c = set; *c; ++c) EXPECT_TRUE(many.contains(QChar(*c))) << *c;
  EXPECT_NE(RandomString(56, 3), RandomString(56, 3));

  const QString client = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  const QString server = QString(16, '1') + QString(56, 'F');
  EXPECT_EQ(CombineSessionKey(client, server), HexFromString(client.left(28)) + QString(56, 'F'));
}

// The server's replies as the session and the key request read them.
TEST(SessionParts, RepliesAreReadOrRefusedWhole) {
  const auto publicKey = ParsePublicKeyReply("&lt;RSAKeyValue&gt;k&lt;/RSAKeyValue&gt;cutmehere 42 \r\n");
  ASSERT_TRUE(publicKey);
  EXPECT_EQ(publicKey->keyXml, "<RSAKeyValue>k</RSAKeyValue>");
  EXPECT_EQ(publicKey->sessionId, 42);
  // No identifier, or one that is no 32-bit number, is no session.
  for (const char* reply : {"k", "kcutmehere", "kcutmehere 4x", "kcutmehere2147483648", "kcutmehere1e3"})
    EXPECT_FALSE(ParsePublicKeyReply(reply)) << reply;

  const QString key = QString(112, 'A');
  const QString cut = "cutmehere";
  const QString id = EncryptField("M-1", key), fileKey = EncryptField("0011", key), keyKey = EncryptField("kq7", key);
  const auto reply = ParseKeyReply(id + cut + fileKey + cut + keyKey, key);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->machineId, "M-1");
  EXPECT_EQ(reply->fileKeyE, "0011");
  EXPECT_EQ(reply->fileKeyKey, "kq7");
  // A server message, two parts, an empty part, a part that is no hex or not whole blocks.
  for (const QString& refused : {QString("Account not found"), id + cut + fileKey, id + cut + cut + keyKey,
                                 id + cut + fileKey + cut + "zz", id + cut + fileKey + cut + keyKey.left(10)})
    EXPECT_FALSE(ParseKeyReply(refused, key)) << refused.toStdString();
}

TEST(SessionParts, XmlThatCannotBeAnRsaKeyIsRefused) {
  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  SessionExchange x;
  ASSERT_TRUE(MakeRsaKeyPair(x));
  const QString modulus = x.RsaPublicKeyXml.section("<Modulus>", 1).section("</Modulus>", 0, 0);
  QByteArray even = QByteArray::fromBase64(modulus.toLatin1());
  even.back() = char(even.back() & 0xFE);
  auto keyXml = [](const QString& n, const QString& e) {
    return "<RSAKeyValue><Modulus>" + n + "</Modulus><Exponent>" + e + "</Exponent></RSAKeyValue>";
  };
  // Under an exponent of 0 or 1 the client's key contribution would travel readable.
  for (const QString& xml : {keyXml(modulus, "AA=="), keyXml(modulus, "AQ=="), keyXml(modulus, "AAI="),
                             keyXml(QString::fromLatin1(even.toBase64()), "AQAB"), keyXml("Bw==", "Cw==")}) {
    EXPECT_TRUE(RsaKeyFromXml(xml).isNull()) << xml.toStdString();
    ASSERT_FALSE(messages.texts.isEmpty());
    EXPECT_EQ(messages.texts.last(), "Error: 4");
  }
  // Any other exponent the server's library chose serves.
  const RsaKey three = RsaKeyFromXml(keyXml(modulus, "Aw=="));
  ASSERT_FALSE(three.isNull());
  EXPECT_EQ(rsaEncryptBytes(QByteArray(56, 'k'), three).size(), 128);
}

TEST(SessionParts, XmlKeyFormsRoundTrip) {
  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  SessionExchange x;
  ASSERT_TRUE(MakeRsaKeyPair(x));
  EXPECT_TRUE(x.RsaPublicKeyXml.startsWith("<RSAKeyValue><Modulus>"));
  EXPECT_FALSE(x.RsaPublicKeyXml.contains("<D>"));
  EXPECT_TRUE(x.RsaPrivateKeyXml.contains("<InverseQ>"));

  // Public key from its XML encrypts; private key from its XML decrypts.
  const RsaKey pub = RsaKeyFromXml(x.RsaPublicKeyXml);
  ASSERT_FALSE(pub.isNull());
  EXPECT_FALSE(pub.hasPrivate());
  const QByteArray block = rsaEncryptBytes("secret key text", pub);
  EXPECT_EQ(block.size(), 128);
  EXPECT_EQ(HexToString(DecryptServerKey(x, HexFromBytes(block))), "secret key text");
  EXPECT_TRUE(rsaDecryptBytes(block.left(127), RsaKeyFromXml(x.RsaPrivateKeyXml)).isEmpty());  // wrong length
  EXPECT_TRUE(rsaEncryptBytes(QByteArray(118, 'x'), pub).isEmpty());  // longer than one block holds
  EXPECT_TRUE(messages.texts.isEmpty());
}
