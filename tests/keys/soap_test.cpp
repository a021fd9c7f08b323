// The SOAP client against the fake server: envelope, headers, reply reduction, failures.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "fakeserver/FakeBackupServer.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/SoapClient.h"
#include "support/TestSupport.h"

using namespace corvane::keys;
using corvane::fakeserver::FakeBackupServer;
using corvane::fakeserver::ScopedServerHost;

namespace {
const QString kKey112 =
    "030A11181F262D343B424950575E656C737A81888F969DA4ABB2B9C0C7CED5DCE3EAF1F8FF060D141B222930373E454C535A61686F767D84";

class SoapTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.start()); }
  FakeBackupServer server;
};

// A session as the main window holds it after an exchange, agreed with the server by hand.
EncryptionSession knownSession(FakeBackupServer& server) {
  EncryptionSession s;
  s.setSessionId(server.addSession(kKey112));
  s.setSessionKey(kKey112);
  return s;
}
}  // namespace

TEST(SoapReply, Reduction) {
  const QString head = "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope><soap:Body><OpResponse xmlns=\"x\">";
  const QString tail = "</OpResponse></soap:Body></soap:Envelope>";
  struct Case {
    QString reply, result;
  } cases[] = {
      {head + "<OpResult>value 1&lt;2</OpResult>" + tail, "value 1&lt;2"},  // entities stay
      {head + "<OpResult></OpResult>" + tail, ""},
      {head + "<Other>x</Other>" + tail, head + "<Other>x</Other>" + tail},  // no "Result>": whole reply
      {"plain text", "plain text"},
      {"<a>Result>x", "<a>Result>x"},                     // no "</": whole reply
      {"</b><OpResult>x</OpResult>", ""},                 // first "</" before the value: cannot be cut
      {"<OpResult>a</OpResult>b</c>", "a"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ReduceSoapReply(c.reply), c.result) << c.reply.toStdString();

  // Positions far beyond 16 bits.
  const QString big(70000, 'A');
  EXPECT_EQ(ReduceSoapReply(QString(40000, ' ') + "<XResult>" + big + "</XResult>"), big);
}

TEST(SoapReply, TruthValues) {
  EXPECT_EQ(ReadBooleanReply(" True\r\n"), std::optional<bool>(true));
  EXPECT_EQ(ReadBooleanReply("FALSE"), std::optional<bool>(false));
  EXPECT_EQ(ReadBooleanReply("0"), std::optional<bool>(false));
  EXPECT_EQ(ReadBooleanReply("-3"), std::optional<bool>(true));
  for (const char* unread : {"", "yes", "1.0", "99999999999999999999", "true false"})
    EXPECT_EQ(ReadBooleanReply(unread), std::nullopt) << unread;
}

TEST(SoapEnvelope, ExactTextAndAddress) {
  EXPECT_EQ(BuildSoapEnvelope("CheckUser", {{"UserID", "a&b"}, {"Password", "p"}, {"MachineID", "7"}}),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
            "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
            "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><CheckUser "
            "xmlns=\"http://tempuri.org/\"><UserID>a&b</UserID><Password>p</Password><MachineID>7</MachineID>"
            "</CheckUser></soap:Body></soap:Envelope>");
  EXPECT_EQ(EscapeKeyXml("<K a=\"&\">x</K>"), "&lt;K a=\"&\"&gt;x&lt;/K&gt;");
  EXPECT_EQ(SoapAction("RequestKey"), kServiceNamespace + "RequestKey");
  EXPECT_TRUE(kServiceNamespace.startsWith("http://") && kServiceNamespace.endsWith("/"));

  ScopedServerHost host("server.test:8080");
  EXPECT_EQ(ServiceUrl(), "http://server.test:8080/Lodestow/service.asmx");
  EXPECT_EQ(ServiceUrl(true), "http://server.test:8080/lodestow/service.asmx");
}

TEST_F(SoapTest, PostSendsExactEnvelopeAndHeaders) {
  ScopedServerHost host(server.hostPort());
  const QString keyXml = "<RSAKeyValue><Modulus>AQAB</Modulus><Exponent>AQAB</Exponent></RSAKeyValue>";
  const QString reply = SwopPublicKey(keyXml);
  EXPECT_TRUE(reply.contains("cutmehere")) << reply.toStdString();

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1);
  const auto& r = requests.first();
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.path, "/Lodestow/service.asmx");
  EXPECT_EQ(r.header("Content-Type"), "text/xml; charset=utf-8");
  EXPECT_EQ(r.header("SOAPAction"), "http://tempuri.org/SwopPublicKey");
  EXPECT_EQ(QString::fromUtf8(r.body),
            BuildSoapEnvelope("SwopPublicKey", {{"ClientPublicKey",
                                                 "&lt;RSAKeyValue&gt;&lt;Modulus&gt;AQAB&lt;/Modulus&gt;&lt;Exponent&gt;"
                                                 "AQAB&lt;/Exponent&gt;&lt;/RSAKeyValue&gt;"}}));
  EXPECT_EQ(r.operation, "SwopPublicKey");
  EXPECT_EQ(r.operationNamespace, kServiceNamespace);
  EXPECT_EQ(r.field("ClientPublicKey"), keyXml);  // the server reads the key back whole
}

TEST_F(SoapTest, LowerCasePathAndRepliesPassedThrough) {
  ScopedServerHost host(server.hostPort());
  corvane::fakeserver::Faults f;
  f.faultOperations << "CheckUser";
  f.rawReplies.insert("RequestKey", "<x><RequestKeyResult>a</RequestKeyResult></x>");
  server.setFaults(f);

  // A SOAP fault carries no "Result>": its whole text is the result.
  const QString fault = PostWebservice(ServiceUrl(true), SoapAction("CheckUser"), BuildSoapEnvelope("CheckUser", {}));
  EXPECT_TRUE(fault.startsWith("<?xml")) << fault.toStdString();
  EXPECT_TRUE(fault.contains("soap:Fault"));
  EXPECT_EQ(PostWebservice(ServiceUrl(true), SoapAction("RequestKey"), BuildSoapEnvelope("RequestKey", {})), "a");
  EXPECT_EQ(server.requests().first().path, "/lodestow/service.asmx");
}

TEST_F(SoapTest, CheckUserReadsTruthValue) {
  ScopedServerHost host(server.hostPort());
  server.addAccount({"ann", "pw", "PC1", "77", "00112233", "abc"});
  EXPECT_EQ(CheckUserExists("ann", "pw", "77"), std::optional<bool>(true));
  EXPECT_EQ(CheckUserExists("ann", "no", "77"), std::optional<bool>(false));
}

TEST_F(SoapTest, FailedPostsGiveEmptyResult) {
  // Nothing listening: refused.
  const int port = server.port();
  server.stop();
  EXPECT_EQ(PostWebservice(QString("http://127.0.0.1:%1/Lodestow/service.asmx").arg(port), SoapAction("CheckUser"),
                           BuildSoapEnvelope("CheckUser", {})),
            "");

  // A server that accepts the connection but never answers: the post ends at the timeout.
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(sock, 4), 0);
  socklen_t len = sizeof addr;
  ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  const int previous = SoapTimeoutMs();
  SetSoapTimeoutMs(300);
  QElapsedTimer t;
  t.start();
  const QString r = PostWebservice(QString("http://127.0.0.1:%1/Lodestow/service.asmx").arg(ntohs(addr.sin_port)),
                                   SoapAction("CheckUser"), BuildSoapEnvelope("CheckUser", {}));
  const qint64 elapsed = t.elapsed();
  SetSoapTimeoutMs(previous);
  ::close(sock);
  EXPECT_EQ(r, "");
  EXPECT_LT(elapsed, 5000);
}

namespace {
// Answers one request on a loopback port with a body of the given size and no length header,
// so the reply can only be measured while it is read.
class UnmeasuredReplyServer {
 public:
  // beforeReply, when set, runs on the server's thread once the request is in.
  explicit UnmeasuredReplyServer(qsizetype bodyBytes, std::function<void()> beforeReply = {}) {
    sock_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(sock_, 1);
    socklen_t len = sizeof addr;
    ::getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this, bodyBytes, beforeReply] {
      const int c = ::accept(sock_, nullptr, nullptr);
      if (c < 0) return;
      std::string request;
      char buf[4096];
      while (request.find("</soap:Envelope>") == std::string::npos) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, size_t(n));
      }
      if (beforeReply) beforeReply();
      std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n\r\n<r><XResult>";
      reply.append(size_t(bodyBytes), 'A');
      reply += "</XResult></r>";
      for (size_t sent = 0; sent < reply.size();) {
        const ssize_t n = ::send(c, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += size_t(n);
      }
      ::close(c);
    });
  }
  ~UnmeasuredReplyServer() {
    ::shutdown(sock_, SHUT_RDWR);
    thread_.join();
    ::close(sock_);
  }
  QString url() const { return QString("http://127.0.0.1:%1/Lodestow/service.asmx").arg(port_); }

 private:
  int sock_ = -1;
  int port_ = 0;
  std::thread thread_;
};
}  // namespace

TEST_F(SoapTest, RepliesPastTheSizeLimitAreFailedPosts) {
  ScopedServerHost host(server.hostPort());
  const QString op = "RequestKey";
  const QString body = BuildSoapEnvelope(op, {});
  corvane::fakeserver::Faults f;
  // Under the limit the reply is read whole; past it (length announced) nothing is kept.
  f.rawReplies.insert(op, "<r><RequestKeyResult>" + QString(kMaxSoapReplyBytes / 2, 'k') + "</RequestKeyResult></r>");
  server.setFaults(f);
  EXPECT_EQ(PostWebservice(ServiceUrl(), SoapAction(op), body).size(), kMaxSoapReplyBytes / 2);
  f.rawReplies.insert(op, "<r><RequestKeyResult>" + QString(kMaxSoapReplyBytes, 'k') + "</RequestKeyResult></r>");
  server.setFaults(f);
  EXPECT_EQ(PostWebservice(ServiceUrl(), SoapAction(op), body), "");

  // A body without a length is cut off as it passes the limit.
  UnmeasuredReplyServer small(1000);
  EXPECT_EQ(PostWebservice(small.url(), SoapAction(op), body), QString(1000, 'A'));
  UnmeasuredReplyServer endless(kMaxSoapReplyBytes + 1);
  EXPECT_EQ(PostWebservice(endless.url(), SoapAction(op), body), "");
}

TEST_F(SoapTest, TheWindowPaintsWhileAReplyIsAwaited) {
  // The server answers only once the window has painted during the post (or gives up waiting
  // for that after a while, and the test fails).
  struct PaintCounter : corvane::test::FakeWaiter {
    std::mutex m;
    std::condition_variable painted;
    int paints = 0;
    void paintPending() override {
      std::lock_guard<std::mutex> lock(m);
      ++paints;
      painted.notify_all();
    }
  } waiter;
  UnmeasuredReplyServer slow(5, [&] {
    std::unique_lock<std::mutex> lock(waiter.m);
    waiter.painted.wait_for(lock, std::chrono::seconds(10), [&] { return waiter.paints > 0; });
  });
  EXPECT_EQ(PostWebservice(slow.url(), SoapAction("X"), BuildSoapEnvelope("X", {})), "AAAAA");
  std::lock_guard<std::mutex> lock(waiter.m);
  EXPECT_GT(waiter.paints, 0);
  EXPECT_EQ(waiter.eventPumps, 0);  // clicks and keys wait until the post is over
}

TEST_F(SoapTest, SendMessageToServerEncryptsEachField) {
  ScopedServerHost host(server.hostPort());
  EncryptionSession none;
  EXPECT_EQ(SendMessageToServer(none, "Delete", "a", "b", "c", "d", "e"), "");
  EXPECT_TRUE(server.requests().isEmpty());  // no session key: nothing sent

  const EncryptionSession s = knownSession(server);
  server.setMessageReply("Queued");
  EXPECT_EQ(SendMessageToServer(s, "Delete", "C:\\Users\\x.txt", "", "PC1", "SERVER", "2026-12-08 10:00:00"),
            "Queued");
  const auto messages = server.messages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0].sessionId, s.sessionId());
  EXPECT_EQ(messages[0].name, "Delete");
  EXPECT_EQ(messages[0].data1, "C:\\Users\\x.txt");
  EXPECT_EQ(messages[0].data2, "");
  EXPECT_EQ(messages[0].source, "PC1");
  EXPECT_EQ(messages[0].destination, "SERVER");
  EXPECT_EQ(messages[0].date, "2026-12-08 10:00:00");

  const auto r = server.requests().last();
  EXPECT_EQ(r.header("SOAPAction"), "http://tempuri.org/ReceiveMessage");
  QStringList names;
  for (const auto& f : r.fields) names << f.first;
  EXPECT_EQ(names, QStringList({"MessageNameE", "MessageData1E", "MessageData2E", "MessageSourceE",
                                "MessageDestinationE", "MessageDateE", "SessionID"}));
  EXPECT_EQ(r.field("MessageNameE"), EncryptField("Delete", kKey112));
  EXPECT_EQ(r.field("SessionID"), QString::number(s.sessionId()));
}
