// Writes the seed corpus of every fuzz target (tests/fuzz/corpus/<target>/seed-*) with the
// program's own writers and the fake backup server, so that each target starts from the inputs
// the program really meets. Built with the fuzz targets; run by hand when a reader's input
// changes shape:
//
//   build-fuzz/tests/fuzz/fuzz_make_seeds tests/fuzz/corpus
//
// Files of other names in the corpus folders (inputs found by fuzzing) are left alone.
#include <curl/curl.h>
#include <zip.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <pugixml.hpp>
#include <sstream>

#include "fakeserver/FakeBackupServer.h"
#include "fakeserver/ServerCrypto.h"
#include "fuzz/FuzzKeys.h"
#include "fuzz/FuzzSupport.h"
#include "handoff/ClsUtils.h"
#include "handoff/FileDetails.h"
#include "keys/Blowfish.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/KeyFiles.h"
#include "keys/RsaKeys.h"
#include "keys/SoapClient.h"
#include "restore/CatalogueDownload.h"
#include "restore/CatalogueFetch.h"
#include "snapshot/HashList.h"
#include "store/Database.h"

using namespace corvane;
using fakeserver::FakeBackupServer;

namespace {

QString g_corpus;
int g_written = 0;

void seed(const QString& target, const QString& name, const QByteArray& content) {
  fuzz::writeFile(g_corpus + '/' + target + "/seed-" + name, content);
  ++g_written;
}
void seed(const QString& target, const QString& name, const QString& content) { seed(target, name, content.toUtf8()); }

QByteArray xmlText(const pugi::xml_document& doc, bool declaration = true) {
  std::ostringstream out;
  doc.save(out, "  ", declaration ? pugi::format_default : pugi::format_default | pugi::format_no_declaration);
  return QByteArray::fromStdString(out.str());
}

// The whole body of a GET (header, "#", body), as the download page sends it.
QByteArray fetch(const QString& url) {
  QByteArray body;
  CURL* curl = curl_easy_init();
  const QByteArray u = url.toUtf8();
  curl_easy_setopt(curl, CURLOPT_URL, u.constData());
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* user) {
    static_cast<QByteArray*>(user)->append(d, qsizetype(s * n));
    return s * n;
  });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return body;
}

struct ZipEntry {
  QString name;
  QByteArray content;
  zip_int32_t method = ZIP_CM_DEFAULT;
  const char* password = nullptr;
};

QByteArray zipOf(const QList<ZipEntry>& entries, const char* comment = nullptr) {
  QTemporaryDir dir;
  const QString path = dir.filePath("a.zip");
  int err = 0;
  zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  for (const ZipEntry& e : entries) {
    zip_int64_t index;
    if (e.name.endsWith('/')) {
      index = zip_dir_add(z, e.name.toUtf8().constData(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* s = zip_source_buffer(z, e.content.constData(), zip_uint64_t(e.content.size()), 0);
      index = zip_file_add(z, e.name.toUtf8().constData(), s, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
      zip_set_file_compression(z, zip_uint64_t(index), e.method, 0);
    }
    if (e.password) zip_file_set_encryption(z, zip_uint64_t(index), ZIP_EM_AES_128, e.password);
  }
  if (comment) zip_set_archive_comment(z, comment, zip_uint16_t(qstrlen(comment)));
  zip_close(z);
  return fuzz::readFile(path);
}

const QString kFilesTxt = QStringLiteral(
    "C:\\Data 000\r\nC:\\Data\\report.txt\r\nC:\\Data\\photo.2024.jpg\r\nC:\\Data 003\r\n"
    "C:\\Other 002\r\nD:\\Mail\\O'Brien.pst\r\nC:\\ 000\r\nC:\\boot.ini\r\nE:\\noextension\r\n");

// A download catalogue as the keys window makes it from Files.txt, in small pages.
QByteArray catalogueDatabase(const platform::AppPaths& app) {
  fuzz::writeFile(platform::joinPath(app.appFolder, restore::kTextCatalogueFile), kFilesTxt.toLatin1());
  const std::optional<QString> db = restore::DBCreateDatabaseDownload(app.appFolder, QStringLiteral("SEED"));
  if (!db) fuzz::broken("cannot make the seed catalogue");
  restore::ImportFileToFileDB(app.appFolder, *db, {}, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
  {
    store::DBConnection c;
    c.Open(*db);
    c.Execute(QStringLiteral("PRAGMA page_size = 512; VACUUM;"));
  }
  const QByteArray bytes = fuzz::readFile(*db);
  QFile::remove(*db);
  return bytes;
}

void commandLines() {
  seed("command_line", "config", QStringLiteral("CONFIG^Corvane Backup - Status: Active"));
  seed("command_line", "empty", QByteArray());
  seed("command_line", "blank", QByteArray("\n"));
  seed("command_line", "log", QStringLiteral("LOG^Corvane Log"));
  seed("command_line", "status-two-separators", QStringLiteral("STATUS^a^b"));
  seed("command_line", "lower-case", QStringLiteral("config"));
  seed("command_line", "words", QByteArray("CONFIG^Corvane\0Backup\0-\0Status", 30));
}

void soapReplies(FakeBackupServer& server) {
  const keys::RsaKey client = keys::RsaKeyFromXml(fuzz::kClientKeyXml);
  const QString clientPublicXml = keys::RsaToXmlString(client, false);
  auto lastReply = [&server] { return server.requests().last().reply; };

  keys::SwopPublicKey(clientPublicXml);
  const QString publicKeyReply = lastReply();
  seed("soap_reply", "swop-public-key", publicKeyReply);
  const auto parsed = keys::ParsePublicKeyReply(keys::ReduceSoapReply(publicKeyReply));
  if (!parsed) fuzz::broken("the fake server's public key reply does not read");
  keys::SessionExchange x;
  x.ServerPublicKey = keys::RsaKeyFromXml(parsed->keyXml);
  keys::SwopBlowfishKeyServer(keys::MakeEncryptedClientKey(x) + "cutmehere" + QString::number(parsed->sessionId));
  seed("soap_reply", "swop-blowfish-key", lastReply());

  const qint32 session = server.addSession(fuzz::kSessionKey);
  auto requestKey = [&](const QString& machine) {
    const QString op = QStringLiteral("RequestKey");
    keys::PostWebservice(keys::ServiceUrl(true), keys::SoapAction(op),
                         keys::BuildSoapEnvelope(op, {{"MachineNameE", keys::EncryptField(machine, fuzz::kSessionKey)},
                                                      {"UserNameE", keys::EncryptField("ann", fuzz::kSessionKey)},
                                                      {"PasswordE", keys::EncryptField("secret", fuzz::kSessionKey)},
                                                      {"SessionID", QString::number(session)}}));
    return lastReply();
  };
  seed("soap_reply", "request-key", requestKey("PC1"));
  seed("soap_reply", "request-key-refused", requestKey("UNKNOWN"));

  keys::EncryptionSession known;
  known.setSessionId(session);
  known.setSessionKey(fuzz::kSessionKey);
  keys::SendMessageToServer(known, "Delete", "a", "b", "c", "d", "00:00:00");
  seed("soap_reply", "receive-message", lastReply());
  keys::CheckUserExists("ann", "secret", "42");
  seed("soap_reply", "check-user", lastReply());

  fakeserver::Faults faults;
  faults.faultOperations = {QStringLiteral("CheckUser")};
  server.setFaults(faults);
  keys::CheckUserExists("ann", "secret", "42");
  seed("soap_reply", "fault", lastReply());
  struct {
    const char* name;
    bool fakeserver::Faults::*fault;
  } publicKeyFaults[] = {{"public-key-without-separator", &fakeserver::Faults::publicKeyWithoutSeparator},
                         {"public-key-garbled", &fakeserver::Faults::garbledServerKey},
                         {"public-key-session-not-a-number", &fakeserver::Faults::nonNumericSessionId}};
  for (const auto& f : publicKeyFaults) {
    fakeserver::Faults one;
    one.*(f.fault) = true;
    server.setFaults(one);
    keys::SwopPublicKey(clientPublicXml);
    seed("soap_reply", f.name, lastReply());
  }
  server.setFaults({});
}

void downloads(FakeBackupServer& server, const QByteArray& catalogueZip) {
  keys::EncryptionSession known;
  known.setSessionId(server.addSession(fuzz::kSessionKey));
  known.setSessionKey(fuzz::kSessionKey);
  server.setCatalogueFile("42", "Files.txt", FakeBackupServer::encryptWithKey(kFilesTxt.toLatin1(), fuzz::kFileKey));
  server.setCatalogueFile("42", "FilesE.db", catalogueZip);
  const QString textUrl = restore::BuildDownloadUrl(known, "42", "Files.txt");
  seed("download_framing", "files-txt", fetch(textUrl));
  seed("download_framing", "files-db", fetch(restore::BuildDownloadUrl(known, "42", "FilesE.db")));
  seed("download_framing", "unknown-file", fetch(restore::BuildDownloadUrl(known, "42", "Nothing.db")));

  const auto withFault = [&](const char* name, auto set) {
    fakeserver::Faults f;
    set(f);
    server.setFaults(f);
    seed("download_framing", name, fetch(textUrl));
  };
  withFault("empty-header", [](fakeserver::Faults& f) { f.downloadEmptyHeader = true; });
  withFault("no-terminator", [](fakeserver::Faults& f) { f.downloadNoTerminator = true; });
  withFault("count-too-large", [](fakeserver::Faults& f) { f.downloadCountOverride = 1000000; });
  withFault("count-too-small", [](fakeserver::Faults& f) { f.downloadCountOverride = 3; });
  server.setFaults({});
}

void rsaKeys(const platform::AppPaths& app) {
  const keys::RsaKey client = keys::RsaKeyFromXml(fuzz::kClientKeyXml);
  seed("rsa_key_xml", "client-public", keys::RsaToXmlString(client, false));
  seed("rsa_key_xml", "client-private", keys::RsaToXmlString(client, true));
  const QString pub = platform::joinPath(app.appFolder, "mykey.pub");
  const QString epk = platform::joinPath(app.appFolder, "mykey.epk");
  keys::MakeRsaKeyFiles(pub, epk, keys::kKeyPassPhrase, 512);
  seed("rsa_key_xml", "small-public", keys::RsaToXmlString(keys::ReadPublicKey(pub), false));
  seed("rsa_key_xml", "server-key", fakeserver::ServerRsaKey::generate(1024).publicXml());
}

void keyFiles(const platform::AppPaths& app) {
  const QDateTime when(QDate(2026, 1, 2), QTime(3, 4, 5));
  keys::SaveKeyFile(app.configFolderPath, "ann", "secret", "42", "PC1", "Y", fuzz::kFileKey, "keykeykey", when);
  seed("key_file", "exported", fuzz::readFile(platform::joinPath(app.configFolderPath, "PC1Sysinfo.xml")));

  // The installation's form: the file key enciphered under the hex of its key's characters.
  pugi::xml_document doc;
  pugi::xml_node info = doc.append_child("UserInfo");
  const QString keyKey = QStringLiteral("keykeykey");
  const QList<QPair<const char*, QString>> children = {
      {"UserName", "ann"},
      {"Password", "secret"},
      {"AccountNumber", "42"},
      {"MachineName", "PC1"},
      {"StoreKey", "Y"},
      {"Clkey", keys::BlowfishEncryptHex(fuzz::kFileKey, keys::StringToHex(keyKey))},
      {"Clkeykey", keys::StringToHex(keyKey)},
      {"FullScanDT", "1/2/2026 3:04:05 AM"}};
  for (const auto& [name, value] : children) info.append_child(name).text().set(value.toUtf8().constData());
  seed("key_file", "installation", xmlText(doc));
}

void ciphers() {
  auto entry = [](const QByteArray& key, const QByteArray& body) { return char(key.size()) + key + body; };
  const QByteArray sessionKey = keys::BytesFromHex(fuzz::kSessionKey);
  const QByteArray fileKey = keys::BytesFromHex(fuzz::kFileKey);
  seed("cipher", "session-key", entry(sessionKey, keys::BlowfishEncryptBytes("MachineID 42", sessionKey)));
  seed("cipher", "file-key", entry(fileKey, keys::BlowfishEncryptBytes(kFilesTxt.toLatin1(), fileKey)));
  seed("cipher", "longest-key", entry(QByteArray(72, 'K'), keys::BlowfishEncryptBytes("12345678", QByteArray(72, 'K'))));
  seed("cipher", "hex-text", entry("shortkey", keys::HexFromString("Corvane").toLatin1()));
  seed("cipher", "whole-block-padding", entry("8bytekey", keys::BlowfishEncryptBytes("", "8bytekey")));
}

void serviceFiles(const platform::AppPaths& app) {
  pugi::xml_document log;
  pugi::xml_node collection = log.append_child("FileCollection");
  handoff::ClsFileAttributes a;
  a.FileName = "report.txt";
  a.FileFolder = "C:\\Data\\Mail";
  a.FileModifiedDate = "12/8/2026 10:45:12 PM";
  a.FileSize = 1536;
  a.FileType = "Text Document";
  a.IsUpSuccess = "Y";
  a.LastUpDateTime = "12/9/2026 1:02:03 AM";
  a.ReturnFileNode(collection);
  handoff::ClsFileAttributes b = a;
  b.FileName = "photo.jpg";
  b.FileFolder = "D:\\Pictures";
  b.FileType = "JPEG Image";
  b.IsUpSuccess = "N";
  b.LastUpDateTime.clear();
  b.ReturnFileNode(collection);
  handoff::ClsFileAttributes c = a;
  c.FileName = "notes";
  c.FileFolder = "C:\\";
  c.FileSize = 0;
  c.LastUpDateTime = "25-12-2026 23:59:59";
  c.ReturnFileNode(collection);
  seed("success_log", "upload-log", xmlText(log));

  pugi::xml_document folders;
  pugi::xml_node root = folders.append_child("FolderCollection");
  root.append_child("SelectedFolders").append_child("FolderDetails").append_child("FolderPath").text().set("C:\\Data");
  root.append_child("UnSelectedFolders").append_child("FolderDetails").append_child("FolderPath").text().set("C:\\Data\\Tmp");
  seed("success_log", "folder-collection", xmlText(folders));

  pugi::xml_document sch;
  pugi::xml_node info = sch.append_child("SchedulerInfo");
  info.append_attribute("LastUpload").set_value("12/8/2026 10:00:00 PM");
  pugi::xml_node upload = info.append_child("UploadTime");
  for (const char* hour : {"2", "10", "12", "24"}) upload.append_child("TimeSet").text().set(hour);
  for (const auto& [hour, date] : {std::pair{"13", "12/7/2026"}, std::pair{"24", "12/8/2026"}}) {
    pugi::xml_node done = info.append_child("UploadedTime");
    done.append_child("TimeUploaded").text().set(hour);
    done.append_child("DateUploaded").text().set(date);
  }
  seed("sch_info", "schedule", xmlText(sch));
  info.remove_attribute("LastUpload");
  info.append_attribute("LastUpload").set_value("");
  seed("sch_info", "schedule-no-last-upload", xmlText(sch));

  handoff::ClsUtils(app).FileType_Details({QString(), ".txt", ".doc", QString(), ".jpg"});
  seed("type_list", "written", fuzz::readFile(platform::joinPath(app.extensionsFolderPath, "TypeLst.xml")));
}

void archives(const QByteArray& innerDb, const QByteArray& catalogueZip) {
  seed("unzip", "catalogue", catalogueZip);
  seed("unzip", "catalogue-in-folder", zipOf({{"sub/" + restore::kInnerDbFile, innerDb}}));
  seed("unzip", "folders", zipOf({{"a/", {}}, {"a/b/c.txt", "text\n"}, {"d e/f.txt", "line\nline\n"}}));
  seed("unzip", "unsafe-names", zipOf({{"../escape.txt", "x"}, {"/absolute.txt", "x"}, {"C:/drive.txt", "x"},
                                       {"a/../../up.txt", "x"}, {"ok.txt", "x"}}));
  seed("unzip", "stored-and-bzip2",
       zipOf({{"stored.txt", "stored", ZIP_CM_STORE}, {"bzip2.txt", QByteArray(200, 'b'), ZIP_CM_BZIP2}}));
  seed("unzip", "encrypted", zipOf({{"secret.txt", "secret", ZIP_CM_DEFAULT, "pw"}}));
  seed("unzip", "comment", zipOf({{"a.txt", "a"}}, "archive comment"));
  seed("unzip", "empty", zipOf({}));
}

// Hash lists as the imaging engine writes them beside an image, and lists of the first format
// as earlier engines wrote them (the differential still reads those; no writer of ours is left).
void hashLists() {
  using snapshot::HashEntry;
  const snapshot::Timestamp started{1796822004, 13082147};
  auto entry = [](char type, unsigned mode, const char* path) {
    HashEntry e;
    e.type = type;
    e.mode = mode;
    e.uid = 1000;
    e.gid = 100;
    e.mtime = {1600000000, 100000001};
    e.ctime = {1650000000, 999999999};
    e.ctimeKnown = true;
    e.inode = 4242;
    e.path = path;
    return e;
  };
  std::vector<HashEntry> entries;
  entries.push_back(entry('d', 0755, "C"));
  entries.push_back(entry('d', 0750, "C/docs"));
  HashEntry file = entry('f', 0644, "C/docs/a \\ b\nc.txt");  // written escaped
  file.size = 12;
  file.attributes = "0123456789abcdef";
  file.hash = "00112233445566778899aabbccddeeff";
  entries.push_back(file);
  HashEntry linked = file;
  linked.path = "C/docs/report.txt";
  linked.links = 3;
  linked.ctimeKnown = false;  // changed just before the walk
  entries.push_back(linked);
  HashEntry unread = entry('f', 0600, "C/docs/changing.bin");
  unread.size = 1u << 20;  // changed while it was read: no hash
  entries.push_back(unread);
  HashEntry old = entry('f', 0444, "C/old.txt");
  old.mtime = {-315619200, 250000000};
  old.ctime = {-1, 999999999};
  old.hash = file.hash;
  entries.push_back(old);
  HashEntry link = entry('l', 0777, "C/link");
  link.size = 15;
  link.hash = "ffeeddccbbaa99887766554433221100";
  entries.push_back(link);
  entries.push_back(entry('p', 0600, "C/pipe"));
  HashEntry device = entry('c', 0660, "C/tty");
  device.size = 0x0401;
  entries.push_back(device);
  entries.push_back(entry('b', 0660, "C/zdisk"));
  entries.push_back(entry('d', 0755, "D"));
  entries.push_back(entry('f', 07755, "D/\xc3\xa9t\xc3\xa9 \xff.txt"));
  // In the walk's order, which the reader insists on.
  std::sort(entries.begin(), entries.end(),
            [](const HashEntry& a, const HashEntry& b) { return snapshot::comparePaths(a.path, b.path) < 0; });
  auto list = [&](uint64_t imageSize, uint64_t imageInode, const char* imageName, size_t count) {
    std::string text = snapshot::formatHashListHeader(imageSize, imageInode, started, imageName) + '\n';
    for (size_t i = 0; i < count && i < entries.size(); ++i) snapshot::appendHashLine(entries[i], &text);
    return QByteArray::fromStdString(text);
  };
  seed("hash_list", "full-image", list(696000000, 123456, "$DISK.sna", entries.size()));
  // Written under its temporary name, before the image's size and inode are filled in.
  seed("hash_list", "being-written", list(0, 0, "$DISK.sna", 3));
  seed("hash_list", "odd-image-name", list(1, 2, "a \\ b\nc.sna", 1));
  seed("hash_list", "first-format",
       QByteArray("CorvaneHashList 1 00000000000000012345 $DISK.sna\n"
                  "d 755 0 1600000000.000000000 - C\n"
                  "f 644 12 1600000000.123456789 00112233445566778899aabbccddeeff C/a \\\\ b\\nc.txt\n"
                  "l 777 5 -100.000000001 ffeeddccbbaa99887766554433221100 C/link\n"
                  "f 600 9 1600000001.000000000 - C/unread.bin\n"));
  seed("hash_list", "first-format-earliest", QByteArray("CorvaneHashList 1\nd 755 0 0.000000000 - C\n"));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication qapp(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  g_corpus = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
  const platform::AppPaths& app = fuzz::scratchApp();

  FakeBackupServer server;
  if (!server.start()) fuzz::broken("the fake server does not start");
  fakeserver::ScopedServerHost host(server.hostPort());
  fakeserver::Account account;
  account.userName = "ann";
  account.password = "secret";
  account.machineName = "PC1";
  account.machineId = "42";
  account.fileKeyHex = fuzz::kFileKey;
  account.fileKeyKey = "keykeykey";
  server.addAccount(account);

  const QByteArray catalogue = catalogueDatabase(app);
  seed("catalogue_db", "download-catalogue", catalogue);
  const QByteArray innerDb = FakeBackupServer::encryptWithKey(catalogue, fuzz::kFileKey);
  seed("files_txt", "catalogue", kFilesTxt.toLatin1());
  seed("files_txt", "no-folder-lines", QByteArray("C:\\a.txt\nC:\\b\\c.doc\n"));

  commandLines();
  soapReplies(server);
  // The zipped catalogue the server sends is also the unzip target's plainest seed.
  const QByteArray catalogueZip = zipOf({{restore::kInnerDbFile, innerDb}});
  downloads(server, catalogueZip);
  rsaKeys(app);
  keyFiles(app);
  ciphers();
  serviceFiles(app);
  archives(innerDb, catalogueZip);
  hashLists();
  std::printf("%d seeds written to %s\n", g_written, qPrintable(g_corpus));
  return 0;
}
