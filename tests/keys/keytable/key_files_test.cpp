// Key files: the installation's key file imported into the Keys table, exported key files
// written per computer, and an exported file loaded back.
#include <gtest/gtest.h>

#include <QDir>
#include <QXmlStreamReader>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeyFiles.h"
#include "keys/KeysTable.h"
#include "keytable_fixture.h"
#include "platform/WholeFile.h"
#include "store/AppFolderLayout.h"
#include "support/WriteFaults.h"

using namespace corvane::keys;
using corvane::keys::testing::keyRows;
using corvane::test::readFile;
using corvane::test::writeFile;

namespace {
const QByteArray kOriginalKeyFile =
    "<?xml version=\"1.0\"?>\r\n<UserInfo><UserName>jsmith</UserName><Password>Pa55</Password>"
    "<AccountNumber>A-100</AccountNumber><MachineName>PC-HOME</MachineName><StoreKey>Y</StoreKey>"
    "<Clkey>1A2B3C4D5E6F7081</Clkey><Clkeykey>5A71392378374C6D</Clkeykey><FullScanDT>1/2/2020</FullScanDT>"
    "</UserInfo>";

class KeyFilesTest : public ::testing::Test {
 protected:
  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  corvane::test::FakeWaiter waiter;
  const QDateTime now{QDate(2026, 3, 4), QTime(5, 6, 7)};

  // A flat key file read back: root name, its attributes, and the children in order.
  struct FlatXml {
    QString root;
    QXmlStreamAttributes attributes;
    QList<QPair<QString, QString>> children;
    QStringList names() const {
      QStringList n;
      for (const auto& c : children) n << c.first;
      return n;
    }
    QString text(const QString& name) const {
      for (const auto& c : children)
        if (c.first == name) return c.second;
      return "<absent>";
    }
  };
  static FlatXml readFlat(const QByteArray& text) {
    FlatXml x;
    QXmlStreamReader r(text);
    if (r.readNextStartElement()) {
      x.root = r.name().toString();
      x.attributes = r.attributes();
      while (r.readNextStartElement()) {
        const QString name = r.name().toString();
        x.children.append({name, r.readElementText()});
      }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return x;
  }
};
}  // namespace

TEST_F(KeyFilesTest, InstallationKeyFileIsImportedWithItsKnownEncoding) {
  // The installation writes "config" in lower case; this folder's own is "Config".
  writeFile(app.file("Config/SYSINFO.XML"), kOriginalKeyFile);
  const auto id = ImportOriginalKeyFile(app.statusDb(), app.path());
  ASSERT_TRUE(id);
  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0]["FileKeyKey"], "Zq9#x7Lm");
  EXPECT_EQ(rows[0]["MachineNameE"], "6EE1BF595C153CB0");
  EXPECT_EQ(rows[0]["UsernameE"], "D5D909465BDCC983");
  EXPECT_EQ(rows[0]["FileKeyE"], "1A2B3C4D5E6F7081");
  EXPECT_EQ(DecodeKeyColumn(rows[0]["MachineIDE"], "Zq9#x7Lm"), "A-100");
  EXPECT_EQ(DecodeKeyColumn(rows[0]["DateCreatedE"], "Zq9#x7Lm"), "");
  EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(KeyFilesTest, ImportDoesNothingSilentlyForAMissingBrokenOrUnsafeFile) {
  EXPECT_FALSE(ImportOriginalKeyFile(app.statusDb(), app.path()));  // no file
  writeFile(app.file("Config/sysinfo.xml"), "<UserInfo><UserName>x</UserName>");  // not well-formed
  EXPECT_FALSE(ImportOriginalKeyFile(app.statusDb(), app.path()));
  QByteArray missingElement = kOriginalKeyFile;
  missingElement.replace("<StoreKey>Y</StoreKey>", "");
  writeFile(app.file("Config/sysinfo.xml"), missingElement);
  EXPECT_FALSE(ImportOriginalKeyFile(app.statusDb(), app.path()));
  QByteArray unsafe = kOriginalKeyFile;
  unsafe.replace("PC-HOME", "../../etc");
  writeFile(app.file("Config/sysinfo.xml"), unsafe);
  EXPECT_FALSE(ImportOriginalKeyFile(app.statusDb(), app.path()));
  EXPECT_TRUE(messages.texts.isEmpty());

  // The development tree's folder finds the file of the folder above it.
  writeFile(app.file("Config/sysinfo.xml"), kOriginalKeyFile);
  EXPECT_EQ(OriginalKeyFilePath(app.file("ExeSource/CorvaneUI")), app.file("Config/sysinfo.xml"));
}

TEST_F(KeyFilesTest, ExportWritesOneFilePerComputerInTheExportedShape) {
  QDir(app.file("Config")).removeRecursively();
  const QString fileKeyHex = "00112233445566778899AABBCCDDEEFF";
  const QString fkk = "Zq9#x7Lm";
  const QString fileKeyE = BlowfishEncryptHex(fileKeyHex, StringToHex(fkk));
  const auto pc1 = DBInsertKey(app.statusDb(), "ann", "pw1", "M-1", "PC1", "Y", fileKeyE, fkk, "d");
  const auto pc2 = DBInsertKey(app.statusDb(), "bob", "pw2", "M-2", "PC2", "Y", fileKeyE, fkk, "d");
  const auto noUser = DBInsertKey(app.statusDb(), "", "pw3", "M-3", "PC3", "Y", fileKeyE, fkk, "d");
  ASSERT_TRUE(pc1 && pc2 && noUser);

  const auto outcome = ExportKeyFile(app.statusDb(), app.file("Config"), {*pc1, *noUser, *pc2}, now);
  EXPECT_EQ(outcome.exported, (QStringList{"PC1", "PC2"}));
  ASSERT_EQ(outcome.skipped.size(), 1);
  EXPECT_TRUE(outcome.skipped[0].startsWith("PC3 "));
  EXPECT_FALSE(QFile::exists(app.file("Config/PC3Sysinfo.xml")));
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("Exported Keys for: \n\nPC1\nPC2\n\nNot exported:\nPC3 "));

  const QByteArray text = readFile(app.file("Config/PC1Sysinfo.xml"));
  EXPECT_FALSE(text.contains("<?xml"));
  const FlatXml x = readFlat(text);
  EXPECT_EQ(x.root, "UserInfo");
  EXPECT_EQ(x.attributes.value("FileCreatedDateTime").toString(), DefaultDateTimeText(now));
  EXPECT_EQ(x.names(), (QStringList{"UserName", "Password", "MachineID", "MachineName", "StoreKey", "FileKey",
                                    "FileKeyKey", "FullScanDT"}));
  EXPECT_EQ(x.text("UserName"), "ann");
  EXPECT_EQ(x.text("MachineID"), "M-1");
  EXPECT_EQ(x.text("FileKey"), fileKeyHex);
  EXPECT_EQ(x.text("FileKeyKey"), fkk);
  EXPECT_EQ(x.text("FullScanDT"), DefaultDateTimeText(now));

  // Loaded back on another computer, the file gives the same row contents.
  corvane::test::TempAppFolder other;
  const auto loaded = ImportKeyFile(other.statusDb(), app.file("Config/PC1Sysinfo.xml"));
  ASSERT_TRUE(loaded);
  KeyRecord rec;
  ASSERT_TRUE(DBSelectKey(other.statusDb(), *loaded, rec));
  EXPECT_EQ(rec.MachineName, "PC1");
  EXPECT_EQ(rec.MachineID, "M-1");
  EXPECT_EQ(rec.FileKey, fileKeyHex);
  EXPECT_EQ(keyRows(other.statusDb())[0]["FileKeyE"], fileKeyE);
}

TEST_F(KeyFilesTest, ExportedFilesAreReadableByTheOwnerOnly) {
  // Even with a umask that lets everyone read, and over an old file that everyone could read.
  const mode_t oldMask = ::umask(0);
  writeFile(app.file("Config/PC1Sysinfo.xml"), "old");
  ::chmod(QFile::encodeName(app.file("Config/PC1Sysinfo.xml")).constData(), 0644);
  const auto r = SaveKeyFile(app.file("Config"), "ann", "pw", "M-1", "PC1", "Y", "00", "k", now);
  ::umask(oldMask);
  ASSERT_EQ(r, SaveKeyResult::Written);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(app.file("Config/PC1Sysinfo.xml")).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(readFile(app.file("Config/PC1Sysinfo.xml")).contains("<Password>pw</Password>"));
  // Nothing is left beside it.
  EXPECT_EQ(QDir(app.file("Config")).entryList(QDir::Files | QDir::Hidden).filter("PC1").size(), 1);
}

// An export killed at the worst moment leaves no file with the password in it: written without a
// name it leaves nothing, and a named one (file systems without unnamed files) is removed by the
// next export, exactly that and nothing else of the folder.
TEST_F(KeyFilesTest, AnExportKilledPartWayLeavesNoPasswordBehind) {
  const QString config = app.file("Config");
  writeFile(config + "/PC1Sysinfo.xml", "old");
  writeFile(config + "/PC1Sysinfo.xml.a1B2c3", "the user's");
  ASSERT_TRUE(QFile::link(config + "/PC1Sysinfo.xml", config + "/.corvane-tmp-1-1"));
  const QStringList before = QDir(config).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed" : "named");
    corvane::platform::setUnnamedTemporaries(unnamed);
    EXPECT_TRUE(corvane::test::killedBeforeNaming("PC1Sysinfo.xml", [&] {
      SaveKeyFile(config, "ann", "secret", "M-1", "PC1", "Y", "00", "k", now);
    }));
    EXPECT_EQ(readFile(config + "/PC1Sysinfo.xml"), QByteArray("old"));
    QStringList left = QDir(config).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(left.size(), before.size() + (unnamed ? 0 : 1));
    ASSERT_EQ(SaveKeyFile(config, "bob", "pw2", "M-2", "PC2", "Y", "00", "k", now), SaveKeyResult::Written);
    left = QDir(config).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    left.removeOne("PC2Sysinfo.xml");
    EXPECT_EQ(left, before);
    QFile::remove(config + "/PC2Sysinfo.xml");
  }
  corvane::platform::setUnnamedTemporaries(true);
  EXPECT_EQ(readFile(config + "/PC1Sysinfo.xml.a1B2c3"), QByteArray("the user's"));
}

// Earlier versions wrote key files through "<name>.XXXXXX" beside them, which killed runs left
// with the password inside. The next export of that computer removes them with ours, and
// nothing that only looks like them: a file with modes of its own, a name of seven characters
// or with a dash, another computer's, a link, a file with a second name, one a writer holds.
TEST_F(KeyFilesTest, AnExportRemovesWhatKilledRunsLeftAndNothingThatLooksLikeIt) {
  const QString config = app.file("Config");
  auto make = [&](const QString& path, mode_t mode) {
    writeFile(path, "secret");
    ::chmod(QFile::encodeName(path).constData(), mode);
  };
  for (const char* left : {"PC1Sysinfo.xml.a1B2c3", "PC1Sysinfo.xml.QwErTy", ".corvane-tmp-99999-3"})
    make(config + "/" + left, 0600);
  make(config + "/PC1Sysinfo.xml.backup", 0644);
  for (const char* alike : {"PC1Sysinfo.xml.a1B2c3d", "PC1Sysinfo.xml.a1-2c3", "PC2Sysinfo.xml.a1B2c3",
                            "PC1Sysinfo.xml.Held01", "kept.xml"})
    make(config + "/" + alike, 0600);
  QTemporaryDir outside;
  make(outside.filePath("mine"), 0600);
  ASSERT_TRUE(QFile::link(outside.filePath("mine"), config + "/PC1Sysinfo.xml.Link01"));
  ASSERT_EQ(::link(QFile::encodeName(config + "/kept.xml").constData(),
                   QFile::encodeName(config + "/PC1Sysinfo.xml.Hard01").constData()),
            0);
  const int held = ::open(QFile::encodeName(config + "/PC1Sysinfo.xml.Held01").constData(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  ASSERT_EQ(SaveKeyFile(config, "ann", "pw", "M-1", "PC1", "Y", "00", "k", now), SaveKeyResult::Written);
  ::close(held);
  QStringList left = QDir(config).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
  left.sort();
  EXPECT_EQ(left, (QStringList{"PC1Sysinfo.xml", "PC1Sysinfo.xml.Hard01", "PC1Sysinfo.xml.Held01",
                               "PC1Sysinfo.xml.Link01", "PC1Sysinfo.xml.a1-2c3", "PC1Sysinfo.xml.a1B2c3d",
                               "PC1Sysinfo.xml.backup", "PC2Sysinfo.xml.a1B2c3", "kept.xml"}));
  EXPECT_EQ(readFile(outside.filePath("mine")), QByteArray("secret"));
}

// Under a umask of 0 the folders made for keys are still the owner's alone: others could not
// read a key file, but could delete or replace it in an open folder.
TEST_F(KeyFilesTest, FoldersMadeForKeysAreTheOwnersWhateverTheUmask) {
  auto modeOf = [](const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777u;
  };
  QTemporaryDir fresh;
  const mode_t oldMask = ::umask(0);
  const auto saved = SaveKeyFile(fresh.filePath("Config"), "ann", "pw", "M-1", "PC1", "Y", "00", "k", now);
  QString error;
  const bool laidOut = corvane::store::layOutAppFolder(fresh.filePath("app"), corvane::test::shareDir(), &error);
  ::umask(oldMask);
  ASSERT_EQ(saved, SaveKeyResult::Written);
  ASSERT_TRUE(laidOut) << qPrintable(error);
  EXPECT_EQ(modeOf(fresh.filePath("Config")), 0700u);
  EXPECT_EQ(modeOf(fresh.filePath("app/Config")), 0700u);
  EXPECT_EQ(modeOf(fresh.filePath("app")), 0755u);  // the key pair's folder
}

TEST_F(KeyFilesTest, ExportAsksForACheckAndNamesFilesItCouldNotWrite) {
  EXPECT_TRUE(ExportKeyFile(app.statusDb(), app.file("Config"), {}, now).exported.isEmpty());
  EXPECT_EQ(messages.texts, QStringList{"Please check at least one computer to export a key file..."});

  // A folder standing where the file should go cannot be replaced by the file.
  const auto id = DBInsertKey(app.statusDb(), "ann", "pw", "M-1", "PC1", "Y", "00", "Zq9#x7Lm", "");
  QDir().mkpath(app.file("Config/PC1Sysinfo.xml/inner"));
  const auto outcome = ExportKeyFile(app.statusDb(), app.file("Config"), {*id}, now);
  EXPECT_TRUE(outcome.exported.isEmpty());
  ASSERT_EQ(outcome.skipped.size(), 1);
  EXPECT_TRUE(outcome.skipped[0].startsWith("PC1 "));
  EXPECT_EQ(QDir(app.file("Config")).entryList(QDir::Files | QDir::Hidden).filter("PC1").size(), 0);
  EXPECT_EQ(SaveKeyFile(app.file("Config"), "a", "b", "M", "../evil", "Y", "00", "k", now),
            SaveKeyResult::UnsafeName);
  EXPECT_FALSE(QFile::exists(app.file("evilSysinfo.xml")));
}

TEST_F(KeyFilesTest, LoadingAFileThatIsNoKeyTellsTheUserAndStoresNothing) {
  writeFile(app.file("note.xml"), "<Other/>");
  EXPECT_FALSE(ImportKeyFile(app.statusDb(), app.file("note.xml")));
  EXPECT_FALSE(ImportKeyFile(app.statusDb(), app.file("absent.xml")));
  EXPECT_EQ(messages.texts.size(), 2);
  // The installation's shape loads as well.
  writeFile(app.file("mine.xml"), kOriginalKeyFile);
  ASSERT_TRUE(ImportKeyFile(app.statusDb(), app.file("mine.xml")));
  EXPECT_EQ(keyRows(app.statusDb()).size(), 1);
}
