#include "keys/SoapClient.h"

#include <curl/curl.h>

#include <QByteArray>
#include <atomic>
#include <mutex>

#include "keys/Blowfish.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/HttpSetup.h"
#include "platform/Wait.h"

#ifndef CORVANE_DEFAULT_SERVER
#define CORVANE_DEFAULT_SERVER "localhost"
#endif

namespace corvane::keys {

const QString kServiceNamespace = QStringLiteral("http://tempuri.org/");
const QString kServicePath = QStringLiteral("/Lodestow/service.asmx");

namespace {
std::atomic<int> g_timeoutMs{30000};
// How long one wait for the network lasts before the window paints again.
constexpr int kPaintEveryMs = 20;

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* reply = static_cast<QByteArray*>(user);
  const size_t n = size * count;
  // Returning less than was given ends the transfer with a write error.
  if (reply->size() + static_cast<qsizetype>(n) > kMaxSoapReplyBytes) return 0;
  reply->append(data, static_cast<qsizetype>(n));
  return n;
}

}  // namespace

QString ServerHost() {
  const QByteArray env = qgetenv("CORVANE_SERVER");
  if (!env.trimmed().isEmpty()) return QString::fromUtf8(env.trimmed());
  return QStringLiteral(CORVANE_DEFAULT_SERVER);
}

QString ServiceUrl(bool lowerCasePath) {
  return QStringLiteral("http://") + ServerHost() + (lowerCasePath ? kServicePath.toLower() : kServicePath);
}

QString SoapAction(const QString& operation) { return kServiceNamespace + operation; }

QString BuildSoapEnvelope(const QString& operation, const QList<SoapField>& fields) {
  QString xml = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<soap:Envelope xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
      "<soap:Body>");
  xml += '<' + operation + QStringLiteral(" xmlns=\"") + kServiceNamespace + QStringLiteral("\">");
  for (const SoapField& f : fields) xml += '<' + f.name + '>' + f.value + QStringLiteral("</") + f.name + '>';
  xml += QStringLiteral("</") + operation + '>';
  xml += QStringLiteral("</soap:Body></soap:Envelope>");
  return xml;
}

QString EscapeKeyXml(const QString& xml) {
  QString s = xml;
  s.replace('<', QStringLiteral("&lt;"));
  s.replace('>', QStringLiteral("&gt;"));
  return s;
}

QString ReduceSoapReply(const QString& reply) {
  const qsizetype tag = reply.indexOf(QStringLiteral("Result>"));
  const qsizetype close = reply.indexOf(QStringLiteral("</"));
  if (tag < 0 || close < 0) return reply;
  const qsizetype start = tag + 7;
  if (close < start) return QString();
  return reply.mid(start, close - start);
}

int SoapTimeoutMs() { return g_timeoutMs.load(); }
void SetSoapTimeoutMs(int ms) { g_timeoutMs.store(ms > 0 ? ms : 30000); }

QString PostWebservice(const QString& asmxUrl, const QString& soapActionUrl, const QString& xmlBody) {
  EnsureCurlInitialised();
  CURL* curl = curl_easy_init();
  if (!curl) return QString();

  const QByteArray url = asmxUrl.toUtf8();
  const QByteArray body = xmlBody.toUtf8();
  const QByteArray action = "SOAPAction: " + soapActionUrl.toUtf8();
  const QByteArray noProxy = NoProxyList();
  QByteArray reply;

  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Content-Type: text/xml; charset=utf-8");
  headers = curl_slist_append(headers, action.constData());
  headers = curl_slist_append(headers, "Expect:");  // send the body at once

  const long timeout = SoapTimeoutMs();
  curl_easy_setopt(curl, CURLOPT_URL, url.constData());
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxSoapReplyBytes));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeout);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min(timeout, 15000L));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.constData());

  // The caller waits for the reply, but the window keeps painting meanwhile (a server that
  // stalls holds it up to the timeout); clicks and keys wait until the post is over.
  const std::optional<CURLcode> rc = PerformInSteps(curl, kPaintEveryMs, [] {
    platform::paintPending();
    return true;
  });
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  if (rc != CURLE_OK) return QString();
  return ReduceSoapReply(QString::fromUtf8(reply));
}

QString EncryptField(const QString& text, const QString& sessionKey) {
  return BlowfishEncryptHex(HexFromString(text), sessionKey, QString());
}

QString DecryptField(const QString& hex, const QString& sessionKey) {
  return HexToString(BlowfishDecryptHex(hex, sessionKey, QString()));
}

QString SendMessageToServer(const EncryptionSession& session, const QString& messageName, const QString& messageData1,
                            const QString& messageData2, const QString& messageSource,
                            const QString& messageDestination, const QString& messageDate) {
  const QString& key = session.sessionKey();
  if (key.isEmpty()) return QString();
  const QList<SoapField> fields{
      {QStringLiteral("MessageNameE"), EncryptField(messageName, key)},
      {QStringLiteral("MessageData1E"), EncryptField(messageData1, key)},
      {QStringLiteral("MessageData2E"), EncryptField(messageData2, key)},
      {QStringLiteral("MessageSourceE"), EncryptField(messageSource, key)},
      {QStringLiteral("MessageDestinationE"), EncryptField(messageDestination, key)},
      {QStringLiteral("MessageDateE"), EncryptField(messageDate, key)},
      {QStringLiteral("SessionID"), QString::number(session.sessionId())},
  };
  const QString op = QStringLiteral("ReceiveMessage");
  return PostSoap(ServiceUrl(), SoapAction(op), BuildSoapEnvelope(op, fields));
}

std::optional<bool> CheckUserExists(const QString& username, const QString& userPassword,
                                    const QString& userMachineId) {
  const QString op = QStringLiteral("CheckUser");
  const QString reply = PostWebservice(ServiceUrl(), SoapAction(op),
                                       BuildSoapEnvelope(op, {{QStringLiteral("UserID"), username},
                                                              {QStringLiteral("Password"), userPassword},
                                                              {QStringLiteral("MachineID"), userMachineId}}));
  return ReadBooleanReply(reply);
}

std::optional<bool> ReadBooleanReply(const QString& text) {
  const QString reply = text.trimmed();
  if (reply.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (reply.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  const long long n = reply.toLongLong(&ok);
  if (ok) return n != 0;
  return std::nullopt;
}

}  // namespace corvane::keys
