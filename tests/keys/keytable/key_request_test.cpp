// The key request against the fake backup server: what is stored, what is refused, and what the
// restore page is asked to do afterwards; and the add-computer window around it.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include "fakeserver/FakeBackupServer.h"
#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeyRequest.h"
#include "keys/KeysTable.h"
#include "keys/SoapClient.h"
#include "keys/ui/FrmAddComputer.h"
#include "keytable_fixture.h"

using namespace corvane::keys;
using corvane::fakeserver::Account;
using corvane::fakeserver::FakeBackupServer;
using corvane::fakeserver::ScopedServerHost;
using corvane::keys::testing::keyRows;
using corvane::keys::testing::RecordingRestorePage;

namespace {
const QString kFileKey = "0123456789ABCDEF0123456789ABCDEF";

class KeyRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    host = std::make_unique<ScopedServerHost>(server.hostPort());
    server.addAccount({"Ann", "S3cret", "office-pc", "MID-4711", kFileKey, "fkKey-01"});
    server.setRequestKeyRefusal("Account not found - please check your details");
  }

  KeyRequestOutcome request(const QString& name, const QString& user, const QString& pw,
                            const QString& statusDb = QString()) {
    KeyRequestContext ctx;
    ctx.statusDb = statusDb.isEmpty() ? app.statusDb() : statusDb;
    ctx.restore = &restore;
    ctx.setCaption = [this](const QString& t) { captions << t; };
    ctx.clock = [this] { return now; };
    return RequestKey(ctx, name, user, pw);
  }

  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  corvane::test::FakeWaiter waiter;
  FakeBackupServer server;
  std::unique_ptr<ScopedServerHost> host;
  RecordingRestorePage restore;
  QStringList captions;
  QDateTime now{QDate(2026, 12, 8), QTime(9, 30, 0)};
};
}  // namespace

TEST_F(KeyRequestTest, KeyIsStoredAsOneRowThatDecodesToWhatWasTyped) {
  const auto outcome = request("office-pc", "Ann", "S3cret");
  ASSERT_EQ(outcome.result, KeyRequestResult::Stored);
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join("|").toStdString();

  // The server saw the name in capitals and user and password as typed, on the lower-case path.
  const auto req = server.requests().last();
  EXPECT_EQ(req.operation, "RequestKey");
  EXPECT_EQ(req.path, "/lodestow/service.asmx");
  EXPECT_EQ(req.decrypted.value("MachineNameE"), "OFFICE-PC");
  EXPECT_EQ(req.decrypted.value("UserNameE"), "Ann");
  EXPECT_EQ(req.decrypted.value("PasswordE"), "S3cret");
  EXPECT_EQ(server.count("SwopPublicKey"), 1);

  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["KeyID"].toLongLong(), outcome.keyId);
  EXPECT_EQ(rows[0]["FileKeyKey"], "fkKey-01");
  KeyRecord rec;
  ASSERT_TRUE(DBSelectKey(app.statusDb(), outcome.keyId, rec));
  EXPECT_EQ(rec.MachineName, "OFFICE-PC");
  EXPECT_EQ(rec.Username, "Ann");
  EXPECT_EQ(rec.Password, "S3cret");
  EXPECT_EQ(rec.MachineID, "MID-4711");
  EXPECT_EQ(rec.StoreKey, "Y");
  EXPECT_EQ(rec.FileKey, kFileKey);
  EXPECT_EQ(HexToString(rec.DateCreated), DefaultDateTimeText(now));

  EXPECT_EQ(restore.calls, (QStringList{"DBSelectAllMachineNames", "InitRestorePage",
                                        QString("DownloadDirectoryFile OFFICE-PC %1").arg(outcome.keyId)}));
  EXPECT_EQ(captions, (QStringList{"Corvane Creating new encryption session...", "Corvane Retrieving Key...",
                                   "Corvane Key retrieved successfully..."}));
}

TEST_F(KeyRequestTest, RequestingTheSameComputerAgainLeavesOneRow) {
  const auto first = request("office-pc", "Ann", "S3cret");
  const auto second = request("OFFICE-PC", "Ann", "S3cret");
  ASSERT_EQ(second.result, KeyRequestResult::Stored);
  EXPECT_GT(second.keyId, first.keyId);
  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["KeyID"].toLongLong(), second.keyId);
  EXPECT_EQ(server.count("SwopPublicKey"), 2);  // each request agrees its own session
}

TEST_F(KeyRequestTest, NamesAndPasswordsReachTheServerInTheAnsiCodePage) {
  // The fake server reads each byte as Latin-1, so its text shows the raw bytes that were sent.
  server.addAccount({"Ann", QString::fromLatin1("\x80uro\x93q\x94"), QString::fromLatin1("STRA\xDF" "E"), "MID-9", kFileKey, "fk2"});
  const auto outcome = request(QString::fromUtf8("straße"), "Ann", QString::fromUtf8("€uro“q”"));
  ASSERT_EQ(outcome.result, KeyRequestResult::Stored) << outcome.reply.toStdString();
  const auto req = server.requests().last();
  EXPECT_EQ(req.decrypted.value("MachineNameE").toLatin1(), QByteArray("STRA\xDF" "E"));
  EXPECT_EQ(req.decrypted.value("PasswordE").toLatin1(), QByteArray("\x80uro\x93q\x94"));

  KeyRecord rec;
  ASSERT_TRUE(DBSelectKey(app.statusDb(), outcome.keyId, rec));
  EXPECT_EQ(rec.MachineName, QString::fromUtf8("STRAßE"));
  EXPECT_EQ(rec.Password, QString::fromUtf8("€uro“q”"));
}

TEST_F(KeyRequestTest, RefusalShowsTheServersTextAndStoresNothing) {
  const auto outcome = request("office-pc", "Ann", "wrong");
  EXPECT_EQ(outcome.result, KeyRequestResult::Refused);
  EXPECT_EQ(messages.texts, QStringList{"Account not found - please check your details"});
  EXPECT_EQ(captions.last(), "Corvane No key retrieved...");
  EXPECT_TRUE(restore.calls.isEmpty());
  corvane::store::DBConnection c;
  c.Open(app.statusDb());
  EXPECT_TRUE(!c.TableExists("Keys") || keyRows(app.statusDb()).isEmpty());

  // Two parts are not a key either.
  corvane::fakeserver::Faults f;
  f.rawReplies.insert("RequestKey", "<r><RequestKeyResult>onecutmeheretwo</RequestKeyResult></r>");
  server.setFaults(f);
  messages.texts.clear();
  EXPECT_EQ(request("office-pc", "Ann", "S3cret").result, KeyRequestResult::Refused);
  EXPECT_EQ(messages.texts, QStringList{"onecutmeheretwo"});
}

TEST_F(KeyRequestTest, NoServerMeansNoConnectionAndNothingStored) {
  server.stop();
  const auto outcome = request("office-pc", "Ann", "S3cret");
  EXPECT_EQ(outcome.result, KeyRequestResult::NoConnection);
  EXPECT_EQ(captions.last(), "Corvane No server connection...");
  EXPECT_TRUE(messages.texts.isEmpty());
  EXPECT_TRUE(restore.calls.isEmpty());
}

TEST_F(KeyRequestTest, FailedInsertStopsTheRequestAndUnsafeNamesNeverReachTheServer) {
  const auto outcome = request("office-pc", "Ann", "S3cret", app.file("gone/Status.db"));
  EXPECT_EQ(outcome.result, KeyRequestResult::StoreFailed);
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("Cannot store key... "));
  EXPECT_TRUE(restore.calls.isEmpty());

  server.clearRecords();
  messages.texts.clear();
  EXPECT_EQ(request("..\\office", "Ann", "S3cret").result, KeyRequestResult::InvalidName);
  EXPECT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(KeyRequestTest, WindowHidesAfterAStoredKeyAndKeepsItsFieldsAfterARefusal) {
  corvane::keys::ui::FrmAddComputer dlg(&restore);
  dlg.setClock([this] { return now; });
  EXPECT_EQ(dlg.windowTitle(), "Corvane Add Computer");
  dlg.show();
  auto* name = dlg.findChild<QLineEdit*>("tbxKRComputerName");
  auto* user = dlg.findChild<QLineEdit*>("tbxKRUserName");
  auto* pw = dlg.findChild<QLineEdit*>("tbxKRPassword");
  ASSERT_TRUE(name && user && pw);
  name->setText("office-pc");
  user->setText("Ann");
  pw->setText("nope");
  dlg.findChild<QPushButton*>("btnKeyReqRequest")->click();
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(dlg.windowTitle(), "Corvane No key retrieved...");
  EXPECT_EQ(name->text(), "office-pc");

  pw->setText("S3cret");
  dlg.findChild<QPushButton*>("btnKeyReqRequest")->click();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(keyRows(app.statusDb()).size(), 1);

  dlg.findChild<QPushButton*>("btnKeyReqClear")->click();
  EXPECT_TRUE(name->text().isEmpty() && user->text().isEmpty() && pw->text().isEmpty());
}

TEST_F(KeyRequestTest, EnterSendsAndAClickDuringARequestStartsNoSecondOne) {
  // The restore page is asked to refresh while the request still runs; a click that arrives
  // then (pending events are let through) must be ignored.
  struct ClickingRestorePage : RecordingRestorePage {
    QPushButton* request = nullptr;
    void InitRestorePage() override {
      RecordingRestorePage::InitRestorePage();
      if (request) request->click();
    }
  } clicking;
  corvane::keys::ui::FrmAddComputer dlg(&clicking);
  clicking.request = dlg.findChild<QPushButton*>("btnKeyReqRequest");
  ASSERT_TRUE(clicking.request);
  EXPECT_TRUE(clicking.request->isDefault());
  dlg.show();
  dlg.findChild<QLineEdit*>("tbxKRComputerName")->setText("office-pc");
  dlg.findChild<QLineEdit*>("tbxKRUserName")->setText("Ann");
  auto* pw = dlg.findChild<QLineEdit*>("tbxKRPassword");
  pw->setText("S3cret");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(pw, &enter);

  EXPECT_EQ(server.count("RequestKey"), 1);
  EXPECT_EQ(keyRows(app.statusDb()).size(), 1);
  EXPECT_EQ(clicking.calls.count("InitRestorePage"), 1);
  EXPECT_FALSE(dlg.isVisible());

  // Once it has ended, the button works again.
  QPushButton* request = clicking.request;
  clicking.request = nullptr;
  dlg.show();
  request->click();
  EXPECT_EQ(server.count("RequestKey"), 2);
}
