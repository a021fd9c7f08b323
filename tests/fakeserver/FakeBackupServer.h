#pragma once
// A fake backup server on 127.0.0.1 for tests: the SOAP web service (SwopPublicKey,
// SwopBlowfishKeyServer, RequestKey, ReceiveMessage, CheckUser) on /Lodestow/service.asmx
// (path matched without regard to case, dispatch on the SOAPAction header) and the catalogue
// download page download.aspx?Message=... . It agrees session keys like the real server, keeps
// accounts and catalogue files, records every request, and has switches to misbehave.
//
//   FakeBackupServer server;
//   ASSERT_TRUE(server.start());
//   ScopedServerHost host(server.hostPort());   // CORVANE_SERVER for the client code
//   server.addAccount({...});
//   ... client code under test ...
//   EXPECT_EQ(server.count("RequestKey"), 1);
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

namespace corvane::fakeserver {

// One account's computer as the server knows it.
struct Account {
  QString userName;
  QString password;
  QString machineName;  // compared without regard to case
  QString machineId;
  QString fileKeyHex;   // the key of the computer's catalogue, hex
  QString fileKeyKey;   // the text key under which the file key travels (stored in Keys.FileKeyKey)
};

struct ReceivedRequest {
  QString method;  // "POST", "GET"
  QString target;  // path and query as sent
  QString path;
  QList<QPair<QString, QString>> headers;
  QByteArray body;
  QString soapAction;                    // the SOAPAction header ("" when absent)
  QString operation;                     // name of the operation element in the body
  QString operationNamespace;            // its xmlns
  QList<QPair<QString, QString>> fields; // child elements, in order, XML text decoded
  QMap<QString, QString> decrypted;      // encrypted elements as the server decrypted them
  QString reply;                         // the body the server answered (download page: its first 256 bytes)

  QString header(const QString& name) const;  // case-insensitive; "" when absent
  QString field(const QString& name) const;
};

struct ReceivedMessage {
  qint32 sessionId = 0;
  QString name, data1, data2, source, destination, date;
};

struct DownloadRecord {
  QString machineId;  // decrypted ("" when it could not be)
  QString fullPath;
  qint32 sessionId = 0;
  bool served = false;
};

// Switches that make the server refuse or misbehave.
struct Faults {
  // SwopPublicKey
  bool publicKeyWithoutSeparator = false;  // the key XML alone, no "cutmehere" and identifier
  bool garbledServerKey = false;           // a key XML that cannot be read
  bool nonNumericSessionId = false;
  int serverRsaBits = 1024;                // the server's RSA key (512 is too short for a 56-byte client key)
  // SwopBlowfishKeyServer
  bool emptyKeyReply = false;
  bool undecryptableKeyReply = false;      // hex that is not a block of the client's key length
  int serverKeyBytes = 56;                 // length of the server's key contribution
  // any operation
  QStringList faultOperations;             // answered with a SOAP fault, HTTP 500
  QMap<QString, QString> rawReplies;       // operation -> whole reply body, sent verbatim
  // download page
  bool downloadEmptyHeader = false;        // "#" and nothing else
  bool downloadNoTerminator = false;       // the header digits and nothing else: no "#"
  qint64 downloadCountOverride = -1;       // header states this count instead of the body's
  bool downloadWrongSessionKey = false;    // session layer under another key
  int downloadStatus = 200;                // HTTP status of the download page's reply
  qint64 downloadStallAfter = -1;          // >= 0: that many reply bytes, then nothing until stop()
  QByteArray downloadHeader;               // non-empty: sent as the length header instead of the count
  int downloadDripMs = -1;                 // >= 0: after "#", a drip every that many ms until stop()
  int downloadDripBytes = 1;               // bytes per drip
};

class FakeBackupServer {
 public:
  FakeBackupServer();
  ~FakeBackupServer();
  FakeBackupServer(const FakeBackupServer&) = delete;
  FakeBackupServer& operator=(const FakeBackupServer&) = delete;

  // Listens on 127.0.0.1 on a free port; false when it cannot.
  bool start();
  // Stops listening (later connections are refused). Safe to call twice.
  void stop();
  bool isRunning() const;
  int port() const;
  QString hostPort() const;  // "127.0.0.1:<port>", the value for CORVANE_SERVER

  // Namespace the SOAPAction header must start with (default "http://tempuri.org/").
  void setServiceNamespace(const QString& ns);
  QString serviceNamespace() const;

  void addAccount(const Account& account);
  // The file served for (machine identifier, requested name such as "FilesE.db" or
  // "Files.txt"), as the server stores it: under the computer's file key (and zipped where
  // the client expects a zip). The session layer is added when it is served.
  void setCatalogueFile(const QString& machineId, const QString& fullPath, const QByteArray& storedContent);
  // Reply text of ReceiveMessage (default "OK").
  void setMessageReply(const QString& reply);
  // Reply text of RequestKey for an unknown account or session.
  void setRequestKeyRefusal(const QString& reply);

  void setFaults(const Faults& faults);
  Faults faults() const;

  // Records.
  QList<ReceivedRequest> requests() const;
  int count(const QString& operation) const;  // SOAP requests of that operation ("download" for the page)
  QList<ReceivedMessage> messages() const;
  QList<DownloadRecord> downloads() const;
  void clearRecords();

  // Sessions the server agreed: the key (112 hex digits) of an identifier, "" when unknown.
  QString sessionKey(qint32 sessionId) const;
  qint32 lastSessionId() const;
  // Makes a session the server knows without an exchange (for tests of later steps).
  qint32 addSession(const QString& sessionKeyHex);

  // Blowfish (ECB, PKCS#5) of bytes under a hex key, as the server's files are written.
  static QByteArray encryptWithKey(const QByteArray& plain, const QString& keyHex);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Sets CORVANE_SERVER for its lifetime and restores the previous value.
class ScopedServerHost {
 public:
  explicit ScopedServerHost(const QString& hostPort);
  ~ScopedServerHost();

 private:
  QByteArray previous_;
  bool hadPrevious_;
};

}  // namespace corvane::fakeserver
