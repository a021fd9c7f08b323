#include "fakeserver/FakeBackupServer.h"

#include <httplib.h>
#include <pugixml.hpp>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "fakeserver/ServerCrypto.h"

namespace corvane::fakeserver {

namespace {
const QString kCut = QStringLiteral("cutmehere");
const QString kSoapPath = QStringLiteral("/lodestow/service.asmx");

QString xmlEscape(const QString& s) {
  QString out = s;
  out.replace('&', QStringLiteral("&amp;"));
  out.replace('<', QStringLiteral("&lt;"));
  out.replace('>', QStringLiteral("&gt;"));
  return out;
}

QString envelopeStart() {
  return QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
      "<soap:Body>");
}

QString resultReply(const QString& ns, const QString& op, const QString& value) {
  return envelopeStart() + QStringLiteral("<%1Response xmlns=\"%2\"><%1Result>").arg(op, ns) + xmlEscape(value) +
         QStringLiteral("</%1Result></%1Response></soap:Body></soap:Envelope>").arg(op);
}

QString faultReply(const QString& text) {
  return envelopeStart() + QStringLiteral("<soap:Fault><faultcode>soap:Server</faultcode><faultstring>") +
         xmlEscape(text) + QStringLiteral("</faultstring><detail /></soap:Fault></soap:Body></soap:Envelope>");
}

QString fromStd(const std::string& s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// The download page's address carries several "?" (Message=a?b?c), which the HTTP library
// refuses in a request line. This stream hands it the request line with every "?" after the
// first written as "%3F"; the handler reads the target with them turned back.
class RequestLineStream : public httplib::Stream {
 public:
  explicit RequestLineStream(int sock) : sock_(sock) {}
  bool is_readable() const override { return !pending_.isEmpty() || wait(POLLIN); }
  bool is_writable() const override { return wait(POLLOUT); }
  ssize_t read(char* ptr, size_t size) override {
    if (!lineDone_) readRequestLine();
    if (!pending_.isEmpty()) {
      const qsizetype n = std::min<qsizetype>(qsizetype(size), pending_.size());
      memcpy(ptr, pending_.constData(), size_t(n));
      pending_.remove(0, n);
      return n;
    }
    if (!wait(POLLIN)) return -1;
    return ::recv(sock_, ptr, size, 0);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (!wait(POLLOUT)) return -1;
    return ::send(sock_, ptr, size, MSG_NOSIGNAL);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  socket_t socket() const override { return sock_; }

 private:
  bool wait(short events) const {
    pollfd p{sock_, events, 0};
    return ::poll(&p, 1, 5000) > 0 && (p.revents & events);
  }
  void readRequestLine() {
    lineDone_ = true;
    char buf[4096];
    while (!pending_.contains('\n') && pending_.size() < 65536) {
      if (!wait(POLLIN)) break;
      const ssize_t n = ::recv(sock_, buf, sizeof buf, 0);
      if (n <= 0) break;
      pending_.append(buf, n);
    }
    const qsizetype lineEnd = pending_.indexOf('\n');
    const qsizetype start = pending_.indexOf(' ');
    const qsizetype end = start < 0 ? -1 : pending_.indexOf(' ', start + 1);
    if (lineEnd < 0 || start < 0 || end < 0 || end > lineEnd) return;
    QByteArray target = pending_.mid(start + 1, end - start - 1);
    const qsizetype first = target.indexOf('?');
    if (first < 0) return;
    target = target.left(first + 1) + target.mid(first + 1).replace("?", "%3F");
    pending_ = pending_.left(start + 1) + target + pending_.mid(end);
  }

  int sock_;
  QByteArray pending_;
  bool lineDone_ = false;
};

class HttpServer : public httplib::Server {
 private:
  bool process_and_close_socket(socket_t sock) override {
    RequestLineStream stream(sock);
    bool closed = false;
    const bool ok = process_request(stream, true, closed, [](httplib::Request&) {});
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }
};

struct Session {
  ServerRsaKey clientKey;
  QByteArray key;  // session key bytes
};
}  // namespace

QString ReceivedRequest::header(const QString& name) const {
  for (const auto& h : headers)
    if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
  return QString();
}

QString ReceivedRequest::field(const QString& name) const {
  for (const auto& f : fields)
    if (f.first == name) return f.second;
  return QString();
}

struct FakeBackupServer::Impl {
  mutable std::mutex mutex;
  HttpServer http;
  std::thread thread;
  std::atomic<bool> finished{false};
  int port = 0;
  bool started = false;

  QString ns = QStringLiteral("http://tempuri.org/");
  QList<Account> accounts;
  std::map<std::pair<QString, QString>, QByteArray> catalogue;
  QString messageReply = QStringLiteral("OK");
  QString refusal = QStringLiteral("Invalid user name, password or computer name");
  Faults faults;
  std::map<int, ServerRsaKey> rsaKeys;  // the server's key pair per size
  std::map<qint32, Session> sessions;
  qint32 nextSessionId = 4101;
  qint32 lastSessionId = 0;

  QList<ReceivedRequest> requests;
  QList<ReceivedMessage> messages;
  QList<DownloadRecord> downloads;

  // A stalled reply waits for the server to stop.
  std::mutex stallMutex;
  std::condition_variable stallEnd;
  std::atomic<bool> stopping{false};

  ServerRsaKey serverKey(int bits) {
    auto it = rsaKeys.find(bits);
    if (it == rsaKeys.end()) it = rsaKeys.emplace(bits, ServerRsaKey::generate(bits)).first;
    return it->second;
  }

  const Session* session(const QString& idText) const {
    bool ok = false;
    const qint32 id = idText.trimmed().toInt(&ok);
    if (!ok) return nullptr;
    auto it = sessions.find(id);
    return it == sessions.end() ? nullptr : &it->second;
  }

  // Decrypts one encrypted element into the record; "" when it cannot be.
  QString decryptField(ReceivedRequest& r, const QString& name, const Session* s) {
    QString text;
    if (s && decryptText(r.field(name), s->key, text)) r.decrypted.insert(name, text);
    return text;
  }

  QString swopPublicKey(ReceivedRequest& r) {
    const ServerRsaKey clientKey = ServerRsaKey::fromXml(r.field(QStringLiteral("ClientPublicKey")));
    if (clientKey.isNull()) return QStringLiteral("Invalid public key");
    const qint32 id = nextSessionId++;
    sessions[id] = Session{clientKey, QByteArray()};
    lastSessionId = id;
    QString keyXml = serverKey(faults.serverRsaBits).publicXml();
    if (faults.garbledServerKey) keyXml = QStringLiteral("<RSAKeyValue><Modulus>not a key</Modulus></RSAKeyValue>");
    // The reply's XML text writes the key's angle brackets as entities.
    if (faults.publicKeyWithoutSeparator) return keyXml;
    return keyXml + kCut + (faults.nonNumericSessionId ? QStringLiteral("session") : QString::number(id));
  }

  QString swopBlowfishKey(ReceivedRequest& r) {
    const QStringList parts = r.field(QStringLiteral("EncryptedClientBlowfishKeyAndSessionID")).split(kCut);
    if (parts.size() < 2) return QStringLiteral("Invalid request");
    bool ok = false;
    const qint32 id = parts.at(1).trimmed().toInt(&ok);
    auto it = ok ? sessions.find(id) : sessions.end();
    if (it == sessions.end()) return QStringLiteral("Unknown session");
    QByteArray block, clientKey;
    if (!fromHex(parts.at(0), block) || !serverKey(faults.serverRsaBits).decrypt(block, clientKey))
      return QStringLiteral("Cannot decrypt client key");
    r.decrypted.insert(QStringLiteral("ClientBlowfishKey"), QString::fromLatin1(clientKey));
    if (faults.emptyKeyReply) return QString();
    if (faults.undecryptableKeyReply) return toHex(randomBytes(64));
    const QByteArray serverContribution = randomBytes(faults.serverKeyBytes);
    QByteArray encrypted;
    if (!it->second.clientKey.encrypt(serverContribution, encrypted)) return QStringLiteral("Cannot encrypt server key");
    const QString sessionHex = toHex(clientKey).left(56) + toHex(serverContribution).right(56);
    fromHex(sessionHex, it->second.key);
    return toHex(encrypted);
  }

  QString requestKey(ReceivedRequest& r) {
    const Session* s = session(r.field(QStringLiteral("SessionID")));
    if (!s || s->key.isEmpty()) return refusal;
    const QString machine = decryptField(r, QStringLiteral("MachineNameE"), s);
    const QString user = decryptField(r, QStringLiteral("UserNameE"), s);
    const QString password = decryptField(r, QStringLiteral("PasswordE"), s);
    for (const Account& a : accounts) {
      if (a.userName != user || a.password != password || a.machineName.compare(machine, Qt::CaseInsensitive) != 0)
        continue;
      QByteArray fileKey;
      fromHex(a.fileKeyHex, fileKey);
      QByteArray fileKeyE;
      bfEncrypt(fileKey, a.fileKeyKey.toLatin1(), fileKeyE);
      return encryptText(a.machineId, s->key) + kCut + encryptText(toHex(fileKeyE), s->key) + kCut +
             encryptText(a.fileKeyKey, s->key);
    }
    return refusal;
  }

  QString receiveMessage(ReceivedRequest& r) {
    const Session* s = session(r.field(QStringLiteral("SessionID")));
    if (!s || s->key.isEmpty()) return QStringLiteral("Unknown session");
    ReceivedMessage m;
    m.sessionId = r.field(QStringLiteral("SessionID")).trimmed().toInt();
    m.name = decryptField(r, QStringLiteral("MessageNameE"), s);
    m.data1 = decryptField(r, QStringLiteral("MessageData1E"), s);
    m.data2 = decryptField(r, QStringLiteral("MessageData2E"), s);
    m.source = decryptField(r, QStringLiteral("MessageSourceE"), s);
    m.destination = decryptField(r, QStringLiteral("MessageDestinationE"), s);
    m.date = decryptField(r, QStringLiteral("MessageDateE"), s);
    messages.append(m);
    return messageReply;
  }

  QString checkUser(ReceivedRequest& r) {
    for (const Account& a : accounts)
      if (a.userName == r.field(QStringLiteral("UserID")) && a.password == r.field(QStringLiteral("Password")) &&
          a.machineId == r.field(QStringLiteral("MachineID")))
        return QStringLiteral("true");
    return QStringLiteral("false");
  }

  // Answers one SOAP post; returns the HTTP status.
  int soap(ReceivedRequest& r) {
    if (!r.soapAction.startsWith(ns)) {
      r.reply = faultReply(QStringLiteral("Server did not recognize the value of HTTP Header SOAPAction: ") + r.soapAction);
      return 500;
    }
    const QString op = r.soapAction.mid(ns.size());
    pugi::xml_document doc;
    if (!doc.load_buffer(r.body.constData(), size_t(r.body.size()))) {
      r.reply = faultReply(QStringLiteral("Server was unable to read request."));
      return 500;
    }
    const pugi::xml_node body = doc.child("soap:Envelope").child("soap:Body");
    const pugi::xml_node opNode = body.first_child();
    r.operation = QString::fromUtf8(opNode.name());
    r.operationNamespace = QString::fromUtf8(opNode.attribute("xmlns").value());
    for (pugi::xml_node c = opNode.first_child(); c; c = c.next_sibling())
      r.fields.append({QString::fromUtf8(c.name()), QString::fromUtf8(c.child_value())});

    if (faults.rawReplies.contains(op)) {
      r.reply = faults.rawReplies.value(op);
      return 200;
    }
    if (faults.faultOperations.contains(op) || r.operation != op || r.operationNamespace != ns) {
      r.reply = faultReply(QStringLiteral("Server was unable to process request."));
      return 500;
    }
    QString result;
    if (op == QLatin1String("SwopPublicKey")) result = swopPublicKey(r);
    else if (op == QLatin1String("SwopBlowfishKeyServer")) result = swopBlowfishKey(r);
    else if (op == QLatin1String("RequestKey")) result = requestKey(r);
    else if (op == QLatin1String("ReceiveMessage")) result = receiveMessage(r);
    else if (op == QLatin1String("CheckUser")) result = checkUser(r);
    else {
      r.reply = faultReply(QStringLiteral("Unknown operation ") + op);
      return 500;
    }
    r.reply = resultReply(ns, op, result);
    return 200;
  }

  QByteArray download(ReceivedRequest& r) {
    r.operation = QStringLiteral("download");
    DownloadRecord rec;
    const qsizetype q = r.target.indexOf('?');
    const QString query = q < 0 ? QString() : r.target.mid(q + 1);
    QByteArray reply = "#";
    if (query.startsWith(QLatin1String("Message="), Qt::CaseInsensitive)) {
      const QStringList parts = query.mid(8).split('?');
      if (parts.size() >= 3) {
        rec.sessionId = parts.at(2).trimmed().toInt();
        const Session* s = session(parts.at(2));
        if (s && !s->key.isEmpty() && decryptText(parts.at(0), s->key, rec.machineId) &&
            decryptText(parts.at(1), s->key, rec.fullPath)) {
          r.decrypted.insert(QStringLiteral("MachineID"), rec.machineId);
          r.decrypted.insert(QStringLiteral("FullPath"), rec.fullPath);
          auto it = catalogue.find({rec.machineId, rec.fullPath});
          if (it != catalogue.end()) {
            QByteArray body;
            const QByteArray key = faults.downloadWrongSessionKey ? randomBytes(56) : s->key;
            bfEncrypt(it->second, key, body);
            const qint64 count = faults.downloadCountOverride >= 0 ? faults.downloadCountOverride : body.size();
            reply = (faults.downloadHeader.isEmpty() ? QByteArray::number(count) : faults.downloadHeader) + "#" + body;
            if (faults.downloadNoTerminator) reply = QByteArray::number(count);
            rec.served = true;
          }
        }
      }
    }
    if (faults.downloadEmptyHeader) reply = "#";
    downloads.append(rec);
    r.reply = QString::fromLatin1(reply.left(256));
    return reply;
  }

  void handle(const httplib::Request& req, httplib::Response& res) {
    std::lock_guard<std::mutex> lock(mutex);
    ReceivedRequest r;
    r.method = fromStd(req.method);
    r.target = fromStd(req.target);
    const qsizetype q = r.target.indexOf('?');
    if (q >= 0) r.target = r.target.left(q + 1) + r.target.mid(q + 1).replace(QLatin1String("%3F"), QLatin1String("?"));
    r.path = fromStd(req.path);
    for (const auto& h : req.headers) r.headers.append({fromStd(h.first), fromStd(h.second)});
    r.body = QByteArray(req.body.data(), qsizetype(req.body.size()));
    r.soapAction = r.header(QStringLiteral("SOAPAction"));
    const QString lowerPath = r.path.toLower();
    if (r.method == QLatin1String("POST") && lowerPath == kSoapPath) {
      const int status = soap(r);
      const QByteArray out = r.reply.toUtf8();
      res.status = status;
      res.set_content(out.constData(), size_t(out.size()), "text/xml; charset=utf-8");
    } else if (r.method == QLatin1String("GET") && lowerPath.endsWith(QLatin1String("/download.aspx"))) {
      const QByteArray out = download(r);
      res.status = faults.downloadStatus;
      if (faults.downloadDripMs >= 0) {
        // The header goes out whole, then the body a few bytes at a time, slowly, until stop().
        const size_t head = size_t(out.indexOf('#') + 1);
        const int dripMs = faults.downloadDripMs;
        const std::string drop(size_t(std::max(1, faults.downloadDripBytes)), 'x');
        res.set_content_provider(size_t(out.size()) + (1u << 30), "application/octet-stream",
                                 [this, out, head, dripMs, drop](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset < head) return sink.write(out.constData() + offset, head - offset);
                                   std::unique_lock<std::mutex> lock(stallMutex);
                                   if (stallEnd.wait_for(lock, std::chrono::milliseconds(dripMs),
                                                         [this] { return stopping.load(); }))
                                     return false;
                                   return sink.write(drop.data(), drop.size());
                                 });
      } else if (faults.downloadStallAfter >= 0) {
        // The first bytes go out, then the connection stays open without a byte more.
        const size_t sent = size_t(std::min<qint64>(faults.downloadStallAfter, out.size()));
        res.set_content_provider(size_t(out.size()), "application/octet-stream",
                                 [this, out, sent](size_t offset, size_t, httplib::DataSink& sink) {
                                   if (offset < sent) return sink.write(out.constData() + offset, sent - offset);
                                   std::unique_lock<std::mutex> lock(stallMutex);
                                   stallEnd.wait(lock, [this] { return stopping.load(); });
                                   return false;
                                 });
      } else {
        res.set_content(out.constData(), size_t(out.size()), "application/octet-stream");
      }
    } else {
      res.status = 404;
      res.set_content("Not found", "text/plain");
    }
    requests.append(r);
  }
};

FakeBackupServer::FakeBackupServer() : d_(std::make_unique<Impl>()) {}

FakeBackupServer::~FakeBackupServer() { stop(); }

bool FakeBackupServer::start() {
  if (d_->started) return true;
  d_->http.set_keep_alive_max_count(1);
  auto handler = [this](const httplib::Request& req, httplib::Response& res) { d_->handle(req, res); };
  d_->http.Post(".*", handler);
  d_->http.Get(".*", handler);
  d_->port = d_->http.bind_to_any_port("127.0.0.1");
  if (d_->port <= 0) return false;
  d_->finished = false;
  // Connections that arrive before the accept loop runs wait in the listen backlog.
  d_->thread = std::thread([this] {
    d_->http.listen_after_bind();
    d_->finished = true;
  });
  d_->started = true;
  return true;
}

void FakeBackupServer::stop() {
  if (!d_->thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(d_->stallMutex);
    d_->stopping = true;
  }
  d_->stallEnd.notify_all();
  while (!d_->http.is_running() && !d_->finished) std::this_thread::yield();
  d_->http.stop();
  d_->thread.join();
}

bool FakeBackupServer::isRunning() const { return d_->thread.joinable() && !d_->finished; }
int FakeBackupServer::port() const { return d_->port; }
QString FakeBackupServer::hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(d_->port); }

void FakeBackupServer::setServiceNamespace(const QString& ns) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->ns = ns;
}

QString FakeBackupServer::serviceNamespace() const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  return d_->ns;
}

void FakeBackupServer::addAccount(const Account& account) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->accounts.append(account);
}

void FakeBackupServer::setCatalogueFile(const QString& machineId, const QString& fullPath,
                                        const QByteArray& storedContent) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->catalogue[{machineId, fullPath}] = storedContent;
}

void FakeBackupServer::setMessageReply(const QString& reply) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->messageReply = reply;
}

void FakeBackupServer::setRequestKeyRefusal(const QString& reply) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->refusal = reply;
}

void FakeBackupServer::setFaults(const Faults& faults) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->faults = faults;
}

Faults FakeBackupServer::faults() const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  return d_->faults;
}

QList<ReceivedRequest> FakeBackupServer::requests() const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  return d_->requests;
}

int FakeBackupServer::count(const QString& operation) const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  int n = 0;
  for (const auto& r : d_->requests)
    if (r.operation == operation || (r.operation.isEmpty() && r.soapAction == d_->ns + operation)) ++n;
  return n;
}

QList<ReceivedMessage> FakeBackupServer::messages() const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  return d_->messages;
}

QList<DownloadRecord> FakeBackupServer::downloads() const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  return d_->downloads;
}

void FakeBackupServer::clearRecords() {
  std::lock_guard<std::mutex> lock(d_->mutex);
  d_->requests.clear();
  d_->messages.clear();
  d_->downloads.clear();
}

QString FakeBackupServer::sessionKey(qint32 sessionId) const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  auto it = d_->sessions.find(sessionId);
  return it == d_->sessions.end() ? QString() : toHex(it->second.key);
}

qint32 FakeBackupServer::lastSessionId() const {
  std::lock_guard<std::mutex> lock(d_->mutex);
  return d_->lastSessionId;
}

qint32 FakeBackupServer::addSession(const QString& sessionKeyHex) {
  std::lock_guard<std::mutex> lock(d_->mutex);
  Session s;
  fromHex(sessionKeyHex, s.key);
  const qint32 id = d_->nextSessionId++;
  d_->sessions[id] = s;
  d_->lastSessionId = id;
  return id;
}

QByteArray FakeBackupServer::encryptWithKey(const QByteArray& plain, const QString& keyHex) {
  QByteArray key, out;
  if (!fromHex(keyHex, key) || !bfEncrypt(plain, key, out)) return QByteArray();
  return out;
}

ScopedServerHost::ScopedServerHost(const QString& hostPort)
    : previous_(qgetenv("CORVANE_SERVER")), hadPrevious_(qEnvironmentVariableIsSet("CORVANE_SERVER")) {
  qputenv("CORVANE_SERVER", hostPort.toUtf8());
}

ScopedServerHost::~ScopedServerHost() {
  if (hadPrevious_) qputenv("CORVANE_SERVER", previous_);
  else qunsetenv("CORVANE_SERVER");
}

}  // namespace corvane::fakeserver
