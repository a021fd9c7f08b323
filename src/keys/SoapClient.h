#pragma once
// The client of the backup server's SOAP web service: service address and namespace, the
// envelope, the synchronous post and the rule that reduces a reply to its result text.
#include <QList>
#include <QString>
#include <optional>

namespace corvane::keys {

class EncryptionSession;

// The SOAP namespace of every operation (an absolute http URI ending in "/").
extern const QString kServiceNamespace;
// The service path on the server.
extern const QString kServicePath;  // "/Lodestow/service.asmx"

// host[:port] of the backup server: CORVANE_SERVER when set, the compiled default otherwise.
QString ServerHost();
// "http://" + host + the service path; the key request uses the path in lower case.
QString ServiceUrl(bool lowerCasePath = false);
// The namespace immediately followed by the operation name.
QString SoapAction(const QString& operation);

struct SoapField {
  QString name;
  QString value;  // put between the tags unchanged
};

// The whole request envelope for one operation (values are not escaped).
QString BuildSoapEnvelope(const QString& operation, const QList<SoapField>& fields);
// The one escape the client applies: "<" and ">" of a public key's XML as "&lt;" and "&gt;".
QString EscapeKeyXml(const QString& xml);

// Reduces a reply to its result: the text from just after the first "Result>" to the first
// "</" of the reply; the whole reply when either is missing; empty when the first "</" stands
// before the value's start.
QString ReduceSoapReply(const QString& reply);

// The longest reply body taken from the service; the largest real reply (a public key) is well
// under a kilobyte, and a longer body is a failed post rather than memory spent without end.
constexpr qsizetype kMaxSoapReplyBytes = 4 * 1024 * 1024;

// Posts the envelope (method POST, headers Content-Type "text/xml; charset=utf-8" and
// SOAPAction) and returns the reduced reply, or the empty text when the post fails (no
// connection, timeout, a body longer than kMaxSoapReplyBytes ...). HTTP status codes are not
// looked at. The window paints while the reply is awaited (platform::paintPending) but takes
// no input.
QString PostWebservice(const QString& asmxUrl, const QString& soapActionUrl, const QString& xmlBody);
// The main window's name for the same post.
inline QString PostSoap(const QString& asmxUrl, const QString& soapActionUrl, const QString& xmlBody) {
  return PostWebservice(asmxUrl, soapActionUrl, xmlBody);
}

// Longest a post may take in all, in milliseconds (default 30000). The user waits while a post
// runs, so it is never unbounded.
int SoapTimeoutMs();
void SetSoapTimeoutMs(int ms);

// An encrypted element's value: Blowfish (ECB, padded) of the text's hex under the session key.
QString EncryptField(const QString& text, const QString& sessionKey);
// The reverse, for the replies that carry encrypted texts.
QString DecryptField(const QString& hex, const QString& sessionKey);

// Sends one ReceiveMessage under the session; nothing is sent (empty result) when the
// session has no key. Returns the reduced reply.
QString SendMessageToServer(const EncryptionSession& session, const QString& messageName, const QString& messageData1,
                            const QString& messageData2, const QString& messageSource,
                            const QString& messageDestination, const QString& messageDate);

// A reply read as a truth value ("true"/"false" in any case, or a number, non-zero true);
// nullopt when it cannot be read as one.
std::optional<bool> ReadBooleanReply(const QString& reply);

// CheckUser: the reply read as a truth value; nullopt when it cannot be read as one.
std::optional<bool> CheckUserExists(const QString& username, const QString& userPassword,
                                    const QString& userMachineId);

}  // namespace corvane::keys
