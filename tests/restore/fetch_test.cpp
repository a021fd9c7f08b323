// Catalogue download, both decryption layers, unzip and import, against the fake server.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "fakeserver/FakeBackupServer.h"
#include "keys/Blowfish.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/KeysTable.h"
#include "restore/CatalogueFetch.h"
#include "restore/RestoreCatalogue.h"
#include "restore_fixture.h"
#include "support/WriteFaults.h"

using namespace corvane;
using namespace corvane::restore;
using fakeserver::Account;
using fakeserver::FakeBackupServer;
using fakeserver::Faults;

namespace {

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    host = std::make_unique<fakeserver::ScopedServerHost>(server.hostPort());
    server.addAccount(account);
    keyId = *keys::DBInsertKey(app.statusDb(), "ann", "pw", account.machineId, account.machineName, "Y",
                               keys::BlowfishEncryptHex(account.fileKeyHex, keys::StringToHex(account.fileKeyKey)),
                               account.fileKeyKey, "");
    test::setSetting(app.statusDb(), "DIdentity", "0");
    ctx.appFolder = app.path();
    ctx.statusDb = app.statusDb();
    ctx.session = &session;
    ctx.mainCaption = [this](const QString& t) { mainCaptions << t; };
    ctx.ownCaption = [this](const QString& t) { ownCaptions << t; };
  }

  // The server's stored catalogue: the database under the file key, zipped (plus a stray entry),
  // with bulkRows more files in C:\Bulk.
  void serveCatalogue(const QList<test::CatalogueRow>& rows, int bulkRows = 0) {
    QTemporaryDir dir;
    const QString db = test::makeCatalogue(dir.filePath("c.db"), rows);
    test::addBulkRows(db, bulkRows);
    QFile f(db);
    f.open(QIODevice::ReadOnly);
    const QByteArray inner = FakeBackupServer::encryptWithKey(f.readAll(), account.fileKeyHex);
    server.setCatalogueFile(account.machineId, "FilesE.db",
                            test::zipOf({{"FilesE.db", inner}, {"Status.db", "not a database"}}));
  }

  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  FakeBackupServer server;
  std::unique_ptr<fakeserver::ScopedServerHost> host;
  Account account{"ann", "pw", "PC1", "M-1", "00112233445566778899AABBCCDDEEFF", "kk1"};
  qint64 keyId = 0;
  keys::EncryptionSession session;
  FetchContext ctx;
  QStringList mainCaptions, ownCaptions;
};

}  // namespace

TEST_F(FetchTest, DatabaseCatalogueArrivesAsTheComputersCopy) {
  serveCatalogue({{"C:\\Data", "a.", "txt", 10}, {"D:\\Pics", "b.", "jpg", 20}});
  ASSERT_EQ(DownloadDirectoryFile(ctx, "PC1", keyId), std::optional<QString>("PC1"));
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join("|").toStdString();

  UploadedFileRecords r = freshRecords();
  EXPECT_EQ(DBSelectAllUploadedFiles(app.file("PC1Files.db"), r), 2);
  EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), QString::number(keyId));
  EXPECT_TRUE(mainCaptions.contains("Corvane Downloading FilesEE.db.ZIP 100% done..."));
  EXPECT_EQ(ownCaptions.first(), "Updating...");
  // Intermediate files are gone; the stray archive entry did not replace the settings store.
  for (const char* f : {"FilesEE.db.ZIP", "PC1FilesE.db.ZIP", "FilesE.db", "PC1Files.db.new"})
    EXPECT_FALSE(QFile::exists(app.file(f))) << f;
  EXPECT_EQ(store::settingValue(app.statusDb(), "Activity"), "Start");
  EXPECT_EQ(server.downloads().last().fullPath, "FilesE.db");
}

TEST_F(FetchTest, FailedChainsKeepTheOldCopyAndSayWhere) {
  serveCatalogue({{"C:\\Data", "a.", "txt", 10}});
  ASSERT_TRUE(DownloadDirectoryFile(ctx, "PC1", keyId));
  test::setSetting(app.statusDb(), "DIdentity", "0");

  // Session layer under another key.
  Faults f;
  f.downloadWrongSessionKey = true;
  server.setFaults(f);
  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
  EXPECT_EQ(messages.texts, (QStringList{"Download Failed - decrypt failure...", "Directory Download Failed..."}));
  EXPECT_FALSE(QFile::exists(app.file("FilesEE.db.ZIP")));

  // Inner layer under another key: the old catalogue copy stays.
  server.setFaults(Faults());
  messages.texts.clear();
  server.setCatalogueFile(account.machineId, "FilesE.db",
                          test::zipOf({{"FilesE.db", FakeBackupServer::encryptWithKey("x", "0102030405060708")}}));
  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
  ASSERT_EQ(messages.texts.size(), 2);
  EXPECT_TRUE(messages.texts[0].startsWith("Download Failed - Decrypt Failure - error code "));
  UploadedFileRecords r = freshRecords();
  EXPECT_EQ(DBSelectAllUploadedFiles(app.file("PC1Files.db"), r), 1);
  EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), "0");

  // The server has nothing ("#"), or the reply ends before its "#".
  messages.texts.clear();
  f = Faults();
  f.downloadEmptyHeader = true;
  server.setFaults(f);
  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
  EXPECT_EQ(messages.texts, (QStringList{"File Download Unsuccessfull...", "Directory Download Failed..."}));
  f = Faults();
  f.downloadNoTerminator = true;
  server.setFaults(f);
  messages.texts.clear();
  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
  ASSERT_EQ(messages.texts.size(), 3);
  EXPECT_TRUE(messages.texts[0].startsWith("Error in DownloadFile - "));

  // A body that ends short of the length the header states.
  f = Faults();
  f.downloadCountOverride = 1000000;
  server.setFaults(f);
  messages.texts.clear();
  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
  ASSERT_EQ(messages.texts.size(), 3);
  EXPECT_TRUE(messages.texts[0].startsWith("Error in DownloadFile - "));
  EXPECT_FALSE(QFile::exists(app.file("FilesEE.db.ZIP")));
  server.setFaults(Faults());

  // No server at all.
  server.stop();
  session.setSessionId(0);
  messages.texts.clear();
  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
  EXPECT_EQ(ownCaptions.last(), "Corvane No server connection...");
}

// A second fetch puts the new copy in the old one's place in one step: the computer's copy is
// never missing, so a program killed meanwhile cannot lose it.
TEST_F(FetchTest, ASecondFetchReplacesTheCopyWithoutDeletingItFirst) {
  serveCatalogue({{"C:\\Data", "a.", "txt", 10}});
  ASSERT_TRUE(DownloadDirectoryFile(ctx, "PC1", keyId));
  serveCatalogue({{"C:\\Data", "a.", "txt", 10}, {"C:\\Data", "b.", "txt", 20}});
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(app.path()).constData(), IN_DELETE), 0);
  ASSERT_TRUE(DownloadDirectoryFile(ctx, "PC1", keyId));
  QStringList deleted;
  alignas(inotify_event) char buffer[8192];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;)
    for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
      deleted << QString::fromUtf8(reinterpret_cast<inotify_event*>(p)->name);
  ::close(watch);
  EXPECT_FALSE(deleted.contains("PC1Files.db")) << qPrintable(deleted.join(' '));
  UploadedFileRecords r = freshRecords();
  EXPECT_EQ(DBSelectAllUploadedFiles(app.file("PC1Files.db"), r), 2);
}

// A disk that fills up while the catalogue downloads or while either layer comes off: the disk
// and its folder are named instead of a failed transfer or a decrypt failure, nothing half
// written stays (under its name or any other), and the computer's old copy is kept.
TEST_F(FetchTest, AFullDiskIsNamedAndLeavesNothingButTheOldCopy) {
  test::SmallDisk disk(qint64(8) << 20);
  if (disk.whyNot) GTEST_SKIP() << "no small disk to fill: " << disk.whyNot;
  const QString folder = disk.path();
  platform::setAppPaths(platform::AppPaths::forFolder(folder));  // the download and the key pair
  ctx.appFolder = folder;
  // Large enough to arrive in many pieces, so that the disk fills up in the middle of the body.
  serveCatalogue({}, 2000);
  test::makeCatalogue(folder + "/PC1Files.db", {{"C:\\Old", "kept.", "txt", 1}});
  QString fillOn;
  int seen = 0, fillAt = 0;
  bool namedEarly = false;  // the download had its name before the whole body was in
  ctx.mainCaption = [&](const QString& t) {
    if (t.startsWith("Corvane Downloading FilesEE.db.ZIP ") && QFile::exists(folder + "/FilesEE.db.ZIP"))
      namedEarly = true;
    if (!fillOn.isEmpty() && t.startsWith(fillOn) && ++seen == fillAt) disk.fill();
  };
  const QString full = "disk full, no room in " + folder;
  struct Moment {
    QString caption;
    int nth;
    QStringList messages;
  };
  for (const Moment& m : {Moment{"Corvane Downloading FilesEE.db.ZIP ", 1,
                                 {"Error in DownloadFile - " + full, "File Download Unsuccessfull...",
                                  "Directory Download Failed..."}},
                          Moment{"Corvane - Decrypting file...", 1,  // the session layer
                                 {"Download Failed - " + full + "...", "Directory Download Failed..."}},
                          Moment{"Corvane - Decrypting file...", 2,  // the file-key layer
                                 {"Download Failed - " + full + "...", "Directory Download Failed..."}}}) {
    SCOPED_TRACE(m.caption.toStdString() + QString::number(m.nth).toStdString());
    disk.empty();
    fillOn = m.caption, seen = 0, fillAt = m.nth;
    messages.texts.clear();
    EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC1", keyId));
    EXPECT_EQ(messages.texts, m.messages);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{".filler", "mykey.epk", "mykey.pub", "PC1Files.db"}));
    UploadedFileRecords r = freshRecords();
    ASSERT_EQ(DBSelectAllUploadedFiles(folder + "/PC1Files.db", r), 1);
    EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), "0");
  }
  disk.empty();
  fillOn.clear();
  messages.texts.clear();
  ASSERT_TRUE(DownloadDirectoryFile(ctx, "PC1", keyId));
  UploadedFileRecords r = freshRecords();
  EXPECT_EQ(DBSelectAllUploadedFiles(folder + "/PC1Files.db", r), 2000);
  EXPECT_FALSE(namedEarly);
}

TEST_F(FetchTest, TextCatalogueImport) {
  const QByteArray text =
      "C:\\Data 000\r\nC:\\Data\\a.txt\r\nC:\\Data 003\r\nC:\\Other 002\r\nC:\\Data\\..\\..\\x.txt\r\n"
      "C:\\root.ini\r\nab\r\n"
      // Windows-1252: euro sign, curly quotes, en dash; then a plain quote, stored doubled.
      "C:\\Data\\\x80 \x93"
      "caf\xe9\x94 \x96 x.txt\r\nC:\\Data\\o'neil.doc";
  server.setCatalogueFile(account.machineId, "Files.txt", FakeBackupServer::encryptWithKey(text, account.fileKeyHex));
  ASSERT_EQ(DownloadTextCatalogue(ctx, account.fileKeyHex, account.machineId), "OK");
  EXPECT_FALSE(QFile::exists(app.file("temp.tmp")));
  EXPECT_FALSE(QFile::exists(app.file("FilesE.txt")));

  const auto db = DBCreateDatabaseDownload(app.path(), "PC1");
  ASSERT_TRUE(db);
  EXPECT_TRUE(db->endsWith("PC1Download.db"));
  QStringList captions;
  const QDateTime now(QDate(2012, 3, 4), QTime(5, 6, 7));
  const CaptionFn caption = [&](const QString& t) { captions << t; };
  EXPECT_EQ(ImportFileToFileDB(app.path(), *db, caption, now), 5);
  EXPECT_EQ(captions.first(), "Inserting Files - ");
  EXPECT_EQ(captions.last(), "Inserting Files into Database - 9");
  // Every row: size -1, created and modified when imported, uploaded on the fixed date.
  EXPECT_EQ(test::rowCount(*db,
                           "Select * From File WHERE Filesize = -1 AND DateCreated = '2012-03-04 05:06:07' AND "
                           "DateLastModified = '2012-03-04 05:06:07' AND DateUploaded = '2000-01-01 00:00:00' "
                           "AND Uploaded = 1 AND Filtered = 0"),
            5);
  EXPECT_EQ(test::rowCount(*db, "Select * From File WHERE FileName = ? AND Extension = 'txt'",
                           {QString::fromUtf8("\u20ac \u201c"
                                              "caf\u00e9\u201d \u2013 x.")}),
            1);
  EXPECT_EQ(test::rowCount(*db, "Select * From File WHERE FileName = ? AND Extension = 'doc'", {"o''neil."}), 1);
  // The folder line is the current folder, its summary line is skipped, another folder's
  // summary is a file, the climbing path and the short line are left out.
  EXPECT_EQ(test::rowCount(*db, "Select * From File WHERE Folder = ? AND FileName = ? AND Extension = ? AND Uploaded = 1",
                           {"C:\\Data", "a.", "txt"}),
            1);
  EXPECT_EQ(test::rowCount(*db, "Select * From File WHERE Folder = 'C:' AND Extension = 'Other 002'"), 1);
  EXPECT_EQ(test::rowCount(*db, "Select * From File WHERE Folder = 'C:' AND FileName = 'root.'"), 1);
  EXPECT_FALSE(DBCreateDatabaseDownload(app.path(), "..\\Status"));

  // A line of megabytes names no file and is never held whole; the lines around it still count.
  const QByteArray huge = "C:\\Big\\" + QByteArray(3 << 20, 'a') + ".txt";
  test::writeFile(app.file("Files.txt"), "C:\\Data\\b.txt\r\n" + huge + "\r\nC:\\Data\\c.txt\r\n" + huge);
  const auto again = DBCreateDatabaseDownload(app.path(), "PC1");
  ASSERT_TRUE(again);
  EXPECT_EQ(ImportFileToFileDB(app.path(), *again, caption, now), 2);
  EXPECT_EQ(captions.last(), "Inserting Files into Database - 4");
  EXPECT_EQ(test::rowCount(*again, "Select * From File WHERE Folder = 'C:\\Data'"), 2);

  // A file listed twice is one row, and the files after it are still imported.
  test::writeFile(app.file("Files.txt"), "D:\\Mail 000\r\nD:\\Mail\\O'Brien.pst\r\nD:\\Mail\\O'Brien.pst\r\nD:\\Mail\\x.doc");
  const auto twice = DBCreateDatabaseDownload(app.path(), "PC1");
  ASSERT_TRUE(twice);
  EXPECT_TRUE(ImportFileToFileDB(app.path(), *twice, caption, now));
  EXPECT_EQ(test::rowCount(*twice, "Select * From File WHERE Folder = 'D:\\Mail' AND FileName = ? AND Extension = 'pst'",
                           {"O''Brien."}),
            1);
  EXPECT_EQ(test::rowCount(*twice, "Select * From File"), 2);
}

TEST(DownloadCaption, Percent) {
  EXPECT_EQ(DownloadCaption("F", 50, 200), "Corvane Downloading F 25% done...");
  EXPECT_EQ(DownloadCaption("F", 0, 200), "Corvane Downloading F % done...");
  EXPECT_EQ(DownloadCaption("F", 300, 200), "Corvane Downloading F 150% done...");
  EXPECT_EQ(DownloadCaption("F", 10, 0), "Corvane Downloading F % done...");
}

// A reply that does not frame its body as the header says, or comes with another status, is a
// failed download that leaves no file; a server that stops sending is given up after the stall
// time, with the window answering meanwhile.
TEST_F(FetchTest, MisframedRepliesAndAStalledServerAreFailedDownloads) {
  server.setCatalogueFile(account.machineId, "Files.txt",
                          FakeBackupServer::encryptWithKey("C:\\Data\\a.txt\r\n", account.fileKeyHex));
  const auto fetch = [&](const Faults& f) {
    server.setFaults(f);
    messages.texts.clear();
    return DownloadTextCatalogue(ctx, account.fileKeyHex, account.machineId);
  };
  Faults longer, zero, status, letters, negative, beyondNumbers, beyondTheDisk;
  longer.downloadCountOverride = 8;  // the body is longer than that
  zero.downloadCountOverride = 0;
  status.downloadStatus = 500;
  letters.downloadHeader = "abc";
  negative.downloadHeader = "-5";
  beyondNumbers.downloadHeader = "99999999999999999999";
  beyondTheDisk.downloadHeader = "900000000000000";  // 900 TB: refused before a byte is written
  for (const Faults& f : {longer, zero, status, letters, negative, beyondNumbers, beyondTheDisk}) {
    EXPECT_NE(fetch(f), "OK");
    ASSERT_EQ(messages.texts.size(), 2);
    EXPECT_TRUE(messages.texts[0].startsWith("Error in DownloadFile - ")) << messages.texts[0].toStdString();
    EXPECT_EQ(messages.texts[1], "File Download Unsuccessfull...");
    EXPECT_FALSE(QFile::exists(app.file("temp.tmp")));
  }
  EXPECT_EQ(fetch(Faults()), "OK");

  const DownloadLimits saved = downloadLimits();
  DownloadLimits limits = saved;
  qint64 clock = 0;
  limits.nowMs = [&] { return clock += 10000; };  // ten seconds pass at each look
  setDownloadLimits(limits);
  Faults stall;
  stall.downloadStallAfter = 3;
  const int pumps = waiter.eventPumps;
  EXPECT_NE(fetch(stall), "OK");
  setDownloadLimits(saved);
  ASSERT_EQ(messages.texts.size(), 2);
  EXPECT_TRUE(messages.texts[0].startsWith("Error in DownloadFile - ")) << messages.texts[0].toStdString();
  EXPECT_TRUE(messages.texts[0].endsWith(" 30 seconds")) << messages.texts[0].toStdString();
  EXPECT_EQ(messages.texts[1], "File Download Unsuccessfull...");
  EXPECT_GT(waiter.eventPumps, pumps);
  EXPECT_FALSE(QFile::exists(app.file("temp.tmp")));

  // A byte now and then keeps no transfer going: what moves less than a kilobyte in the stall
  // time has stalled too.
  limits.nowMs = [&] { return clock += 1000; };  // a byte comes at nearly every look
  setDownloadLimits(limits);
  Faults drip;
  drip.downloadDripMs = 2;
  drip.downloadHeader = "1000000";
  EXPECT_NE(fetch(drip), "OK");
  setDownloadLimits(saved);
  ASSERT_EQ(messages.texts.size(), 2);
  EXPECT_TRUE(messages.texts[0].startsWith("Error in DownloadFile - only ")) << messages.texts[0].toStdString();
  EXPECT_TRUE(messages.texts[0].endsWith(" bytes arrived in 30 seconds")) << messages.texts[0].toStdString();
  EXPECT_FALSE(QFile::exists(app.file("temp.tmp")));
}

// A server that states 10,000,000 bytes and then sends 1,100 every 25 s (63 hours for the whole)
// is given up once 30 s go by below the floor, the window answering meanwhile; and the program
// that ends stops a transfer under way at once.
TEST_F(FetchTest, ADrippingServerIsGivenUpAndATransferCanBeStopped) {
  serveCatalogue({{"C:\\Data", "a.", "txt", 10}});
  const DownloadLimits saved = downloadLimits();
  DownloadLimits fast = saved;
  QElapsedTimer real;
  real.start();
  fast.nowMs = [&] { return real.elapsed() * 100; };  // a hundred seconds go by in each real one
  setDownloadLimits(fast);
  Faults drip;
  drip.downloadHeader = "10000000";
  drip.downloadDripMs = 250;
  drip.downloadDripBytes = 1100;
  server.setFaults(drip);
  const int pumps = waiter.eventPumps;
  EXPECT_EQ(DownloadDatabaseCatalogue(ctx, account.fileKeyHex, account.machineId, account.machineName), "");
  setDownloadLimits(saved);
  ASSERT_EQ(messages.texts.size(), 2) << messages.texts.join("|").toStdString();
  EXPECT_TRUE(messages.texts[0].startsWith("Error in DownloadFile - ")) << messages.texts[0].toStdString();
  EXPECT_TRUE(messages.texts[0].endsWith(" in 30 seconds") || messages.texts[0].endsWith(" for 30 seconds"))
      << messages.texts[0].toStdString();
  EXPECT_EQ(messages.texts[1], "File Download Unsuccessfull...");
  EXPECT_GE(waiter.eventPumps - pumps, 3);
  EXPECT_FALSE(QFile::exists(app.file("FilesEE.db.ZIP")));

  messages.texts.clear();
  int looks = 0;
  waiter.onEvents = [&] {
    if (++looks == 3) stopDownloads();
  };
  EXPECT_EQ(DownloadDatabaseCatalogue(ctx, account.fileKeyHex, account.machineId, account.machineName), "");
  waiter.onEvents = nullptr;
  EXPECT_EQ(messages.texts, QStringList{"File Download Unsuccessfull..."});
  EXPECT_FALSE(QFile::exists(app.file("FilesEE.db.ZIP")));
}

// A wrong file key whose last block happens to pass the padding check gives no catalogue: it is
// the file-key failure, and the computer's old copy and "DIdentity" stay.
TEST_F(FetchTest, AWrongFileKeyThatPassesThePaddingKeepsTheOldCopy) {
  QTemporaryDir dir;
  QFile dbFile(test::makeCatalogue(dir.filePath("c.db"), {{"C:\\Data", "a.", "txt", 10}}));
  ASSERT_TRUE(dbFile.open(QIODevice::ReadOnly));
  const QByteArray inner = FakeBackupServer::encryptWithKey(dbFile.readAll(), account.fileKeyHex);
  const QString innerPath = dir.filePath("inner");
  test::writeFile(innerPath, inner);
  QString wrongKey;
  for (int i = 0; i < 5000 && wrongKey.isEmpty(); ++i) {
    const QString candidate = QString("%1").arg(i, 32, 16, QChar('0')).toUpper();
    if (keys::BlowfishDecryptFileHex(dir.filePath("out"), innerPath, candidate) == "0") wrongKey = candidate;
  }
  ASSERT_FALSE(wrongKey.isEmpty()) << "no key passing the padding check found";

  server.addAccount({"ann", "pw", "PC9", "M-9", account.fileKeyHex, "kk9"});
  server.setCatalogueFile("M-9", "FilesE.db", test::zipOf({{"FilesE.db", inner}}));
  const qint64 wrongKeyId = *keys::DBInsertKey(app.statusDb(), "ann", "pw", "M-9", "PC9", "Y",
                                               keys::BlowfishEncryptHex(wrongKey, keys::StringToHex("kk9")), "kk9", "");
  const QString old = test::makeCatalogue(app.file("PC9Files.db"), {{"C:\\Old", "kept.", "txt", 1}});

  EXPECT_FALSE(DownloadDirectoryFile(ctx, "PC9", wrongKeyId));
  EXPECT_EQ(messages.texts,
            (QStringList{"Download Failed - Decrypt Failure - error code 5", "Directory Download Failed..."}));
  EXPECT_EQ(mainCaptions.last(), "Decrypt Failure - error code 5");
  UploadedFileRecords r = freshRecords();
  ASSERT_EQ(DBSelectAllUploadedFiles(old, r), 1);
  EXPECT_EQ(r[0].FileName, "kept.");
  EXPECT_EQ(store::settingValue(app.statusDb(), "DIdentity"), "0");
  EXPECT_FALSE(QFile::exists(app.file("PC9Files.db.new")));

  // What such a key gives is no catalogue: not a database, no File table, or one without the
  // catalogue's columns.
  EXPECT_TRUE(IsCatalogueDatabase(old));
  test::writeFile(dir.filePath("garbage"), QByteArray(4096, 'g'));
  EXPECT_FALSE(IsCatalogueDatabase(dir.filePath("garbage")));
  for (const char* schema : {"CREATE TABLE Other (a)", "CREATE TABLE File (FileID INTEGER, Name TEXT, Size INTEGER)"}) {
    const QString path = dir.filePath("odd.db");
    QFile::remove(path);
    store::DBConnection c;
    c.Create(path);
    c.Execute(schema);
    c.Close();
    EXPECT_FALSE(IsCatalogueDatabase(path)) << schema;
  }
}
