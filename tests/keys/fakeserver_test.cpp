// The fake server's key request and download page as later tests rely on them.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fakeserver/FakeBackupServer.h"
#include "keys/Blowfish.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/SoapClient.h"
#include "support/TestSupport.h"

using namespace corvane::keys;
using corvane::fakeserver::Account;
using corvane::fakeserver::Faults;
using corvane::fakeserver::FakeBackupServer;
using corvane::fakeserver::ScopedServerHost;

namespace {
QByteArray get(int port, const QByteArray& target) {
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(quint16(port));
  if (::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(sock);
    return "<no connection>";
  }
  const QByteArray req = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  ::send(sock, req.constData(), size_t(req.size()), 0);
  QByteArray reply;
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(sock, buf, sizeof buf, 0)) > 0) reply.append(buf, n);
  ::close(sock);
  return reply.mid(reply.indexOf("\r\n\r\n") + 4);
}

class FakeServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    host = std::make_unique<ScopedServerHost>(server.hostPort());
    server.addAccount(account);
  }

  QString requestKey(const EncryptionSession& s, const QString& machine, const QString& user, const QString& pw) {
    const QString key = s.sessionKey();
    return PostWebservice(ServiceUrl(true), SoapAction("RequestKey"),
                          BuildSoapEnvelope("RequestKey", {{"MachineNameE", EncryptField(machine, key)},
                                                           {"UserNameE", EncryptField(user, key)},
                                                           {"PasswordE", EncryptField(pw, key)},
                                                           {"SessionID", QString::number(s.sessionId())}}));
  }

  QByteArray downloadTarget(const EncryptionSession& s, const QString& machineId, const QString& name) {
    return QString("/download.aspx?Message=%1?%2?%3")
        .arg(EncryptField(machineId, s.sessionKey()), EncryptField(name, s.sessionKey()))
        .arg(s.sessionId())
        .toLatin1();
  }

  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  FakeBackupServer server;
  std::unique_ptr<ScopedServerHost> host;
  Account account{"ann", "Secret", "OFFICE-PC", "M-4711", "00112233445566778899AABBCCDDEEFF", "kq7"};
};
}  // namespace

TEST_F(FakeServerTest, RequestKeyAnswersTheThreeEncryptedParts) {
  EncryptionSession s;
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  const QStringList parts = requestKey(s, "OFFICE-PC", "ann", "Secret").split("cutmehere");
  ASSERT_EQ(parts.size(), 3);
  const QString machineId = DecryptField(parts[0], s.sessionKey());
  const QString fileKeyE = DecryptField(parts[1], s.sessionKey());
  const QString fileKeyKey = DecryptField(parts[2], s.sessionKey());
  EXPECT_EQ(machineId, "M-4711");
  EXPECT_EQ(fileKeyKey, "kq7");
  // The file key travels enciphered under the ANSI bytes of its key, as the key table stores it.
  EXPECT_EQ(BlowfishDecryptHex(fileKeyE, StringToHex(fileKeyKey)), account.fileKeyHex);

  const auto r = server.requests().last();
  EXPECT_EQ(r.path, "/lodestow/service.asmx");
  EXPECT_EQ(r.decrypted.value("MachineNameE"), "OFFICE-PC");
  EXPECT_EQ(r.decrypted.value("UserNameE"), "ann");
  EXPECT_EQ(r.decrypted.value("PasswordE"), "Secret");

  // A wrong password, or a session the server never agreed, gets the refusal text.
  server.setRequestKeyRefusal("Account not found");
  EXPECT_EQ(requestKey(s, "OFFICE-PC", "ann", "secret"), "Account not found");
  EncryptionSession stranger;
  stranger.setSessionId(99);
  stranger.setSessionKey(s.sessionKey());
  EXPECT_EQ(requestKey(stranger, "OFFICE-PC", "ann", "Secret"), "Account not found");
}

TEST_F(FakeServerTest, DownloadMisbehaviour) {
  EncryptionSession s;
  ASSERT_EQ(BeginEncryptionSession(s), "OK");
  const QByteArray stored = FakeBackupServer::encryptWithKey("catalogue text", account.fileKeyHex);
  server.setCatalogueFile(account.machineId, "Files.txt", stored);
  const QByteArray target = downloadTarget(s, account.machineId, "Files.txt");

  const QByteArray normal = get(server.port(), target);
  const qsizetype hash = normal.indexOf('#');
  ASSERT_GT(hash, 0);
  // Both layers come off: session key, then the computer's file key.
  const QString inner = BlowfishDecryptHex(HexFromBytes(normal.mid(hash + 1)), s.sessionKey());
  EXPECT_EQ(BytesFromHex(BlowfishDecryptHex(inner, account.fileKeyHex)), "catalogue text");

  Faults f;
  f.downloadEmptyHeader = true;
  server.setFaults(f);
  EXPECT_EQ(get(server.port(), target), "#");

  f = Faults();
  f.downloadNoTerminator = true;
  server.setFaults(f);
  EXPECT_FALSE(get(server.port(), target).contains('#'));

  f = Faults();
  f.downloadCountOverride = 0;
  server.setFaults(f);
  EXPECT_TRUE(get(server.port(), target).startsWith("0#"));

  f = Faults();
  f.downloadWrongSessionKey = true;
  server.setFaults(f);
  const QByteArray wrong = get(server.port(), target);
  EXPECT_EQ(wrong.left(hash), normal.left(hash));
  EXPECT_NE(BlowfishDecryptHex(HexFromBytes(wrong.mid(hash + 1)), s.sessionKey()), inner);

  // A computer the server does not hold: a reply that starts with "#".
  server.setFaults(Faults());
  EXPECT_EQ(get(server.port(), downloadTarget(s, "M-0000", "Files.txt")), "#");
  EXPECT_EQ(server.count("download"), 6);
  EXPECT_EQ(server.downloads().first().machineId, account.machineId);
  EXPECT_EQ(server.downloads().first().fullPath, "Files.txt");
  EXPECT_TRUE(server.downloads().first().served);
  EXPECT_FALSE(server.downloads().last().served);
}
