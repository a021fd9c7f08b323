// The Keys table: creation on first need, the column encoding, replacement of a computer that
// is stored again, lookups by key id, bounded delete, and the computer list's rules.
#include <gtest/gtest.h>

#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeyIdentity.h"
#include "keys/KeysTable.h"
#include "keytable_fixture.h"

using namespace corvane::keys;
using corvane::keys::testing::keyRows;
using corvane::test::writeFile;

namespace {
class KeysTableTest : public ::testing::Test {
 protected:
  qint64 insert(const QString& machineId, const QString& name, const QString& fkk = "Zq9#x7Lm") {
    const auto id = DBInsertKey(app.statusDb(), "jsmith", "Pa55", machineId, name, "Y", "00FF", fkk, "now");
    EXPECT_TRUE(id.has_value());
    return id.value_or(-1);
  }
  corvane::test::TempAppFolder app;
  corvane::test::RecordingMessages messages;
  corvane::test::FakeWaiter waiter;
};
}  // namespace

TEST_F(KeysTableTest, FirstInsertCreatesTheTableWithItsExactStatementAndEncodesEveryColumn) {
  const qint64 id = insert("M-17", "PC-HOME");
  EXPECT_GT(id, 0);

  corvane::store::DBConnection c;
  c.Open(app.statusDb());
  const auto schema = c.Query("SELECT sql FROM sqlite_master WHERE name = 'Keys'");
  ASSERT_EQ(schema.RowCount(), 1);
  // SQLite keeps the text but writes the leading "CREATE TABLE" in capitals.
  ASSERT_TRUE(kCreateTableKeys.startsWith("Create Table Keys (KeyID"));
  EXPECT_EQ(schema.Text("sql"), "CREATE TABLE" + kCreateTableKeys.mid(12));

  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  const auto& r = rows[0];
  EXPECT_EQ(r["KeyID"].toLongLong(), id);
  // Known ciphertexts of Blowfish ECB under the 8 bytes "Zq9#x7Lm", PKCS#5 padding.
  EXPECT_EQ(r["MachineNameE"], "6EE1BF595C153CB0");
  EXPECT_EQ(r["UsernameE"], "D5D909465BDCC983");
  EXPECT_EQ(r["StoreKeyE"], "E3494275F0DF6062");
  EXPECT_EQ(r["FileKeyE"], "00FF");
  EXPECT_EQ(r["FileKeyKey"], "Zq9#x7Lm");
  EXPECT_EQ(DecodeKeyColumn(r["PasswordE"], "Zq9#x7Lm"), "Pa55");
  EXPECT_EQ(DecodeKeyColumn(r["MachineIDE"], "Zq9#x7Lm"), "M-17");
  EXPECT_EQ(DecodeKeyColumn(r["DateCreatedE"], "Zq9#x7Lm"), "now");
  EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(KeysTableTest, StoringTheSameComputerAgainReplacesItsRowUnderANewId) {
  const qint64 first = insert("M-17", "PC-HOME");
  const qint64 other = insert("M-20", "LAPTOP");
  const qint64 again = insert("M-17", "PC-HOME");
  EXPECT_GT(again, other);
  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0]["KeyID"].toLongLong(), other);
  EXPECT_EQ(rows[1]["KeyID"].toLongLong(), again);

  qint64 last = -5;
  ASSERT_TRUE(DBSelectLastKeyID(app.statusDb(), last));
  EXPECT_EQ(last, again);

  KeyRecord rec;
  rec.MachineName = "kept";
  EXPECT_FALSE(DBSelectKey(app.statusDb(), first, rec));
  EXPECT_EQ(rec.MachineName, "kept");
  ASSERT_TRUE(DBSelectKey(app.statusDb(), again, rec));
  EXPECT_EQ(rec.Username, "jsmith");
  EXPECT_EQ(rec.Password, "Pa55");
  EXPECT_EQ(rec.MachineID, "M-17");
  EXPECT_EQ(rec.MachineName, "PC-HOME");
  EXPECT_EQ(rec.StoreKey, "Y");
  EXPECT_EQ(rec.FileKeyKey, "Zq9#x7Lm");
  EXPECT_EQ(rec.DateCreated, "6E6F77");  // hex, like the file key
}

TEST_F(KeysTableTest, FileKeyIsDecipheredToHexAndAFailedInsertIsReported) {
  const QString fileKeyHex = "00112233445566778899AABBCCDDEEFF";
  const QString fileKeyE = BlowfishEncryptHex(fileKeyHex, StringToHex("abc"));
  const auto id = DBInsertKey(app.statusDb(), "u", "p", "M-1", "PC1", "Y", fileKeyE, "abc", "");
  ASSERT_TRUE(id);
  KeyRecord rec;
  ASSERT_TRUE(DBSelectKey(app.statusDb(), *id, rec));
  EXPECT_EQ(rec.FileKey, fileKeyHex);

  // A Status.db that cannot be opened: nothing comes back and the user is told once.
  EXPECT_FALSE(DBInsertKey(app.file("missing/Status.db"), "u", "p", "M-2", "PC2", "Y", fileKeyE, "abc", ""));
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("Cannot store key... "));
}

TEST_F(KeysTableTest, AKeyKeyThatCannotKeyTheCipherIsRefusedNotStoredEmpty) {
  // Such a key comes from a key file or a server reply; its columns could not be enciphered.
  for (const QString& fkk : {QString(), QString(73, 'k')}) {
    EXPECT_FALSE(DBInsertKey(app.statusDb(), "u", "p", "M-1", "PC1", "Y", "00", fkk, ""));
    ASSERT_FALSE(messages.texts.isEmpty());
    EXPECT_TRUE(messages.texts.last().startsWith("Cannot store key... "));
  }
  insert("M-2", "PC2", QString(72, 'k'));  // the longest key the cipher takes
  ASSERT_EQ(keyRows(app.statusDb()).size(), 1);
  KeyRecord rec;
  ASSERT_TRUE(DBSelectKey(app.statusDb(), keyRows(app.statusDb())[0]["KeyID"].toLongLong(), rec));
  EXPECT_EQ(rec.MachineName, "PC2");
}

TEST_F(KeysTableTest, LastKeyIdOfAnEmptyTableKeepsItsArgument) {
  corvane::keys::DBCreateTableKeys(app.statusDb());
  qint64 id = 42;
  EXPECT_TRUE(DBSelectLastKeyID(app.statusDb(), id));
  EXPECT_EQ(id, 42);
}

TEST_F(KeysTableTest, NameLookupUsesTheGivenKeyIdAndImportsOnlyIntoAnEmptyTable) {
  // Missing table, no key file: the table is made and nothing is imported.
  EXPECT_EQ(DBSelectMachineNameByKeyID(app.statusDb(), app.path(), 1), "");
  EXPECT_TRUE(keyRows(app.statusDb()).isEmpty());

  writeFile(app.file("config/sysinfo.xml"),
            "<UserInfo><UserName>own</UserName><Password>pw</Password><AccountNumber>A-1</AccountNumber>"
            "<MachineName>OWNPC</MachineName><StoreKey>S</StoreKey><Clkey>00FF</Clkey>"
            "<Clkeykey>5A71392378374C6D</Clkeykey><FullScanDT>x</FullScanDT></UserInfo>");
  const qint64 a = insert("M-1", "ALPHA");
  const qint64 b = insert("M-2", "BRAVO");
  EXPECT_EQ(DBSelectMachineNameByKeyID(app.statusDb(), app.path(), b), "BRAVO");
  EXPECT_EQ(DBSelectMachineNameByKeyID(app.statusDb(), app.path(), a), "ALPHA");
  // An id that is not stored gives no name; the table is not empty, so the key file stays out.
  EXPECT_EQ(DBSelectMachineNameByKeyID(app.statusDb(), app.path(), b + 10), "");
  EXPECT_EQ(keyRows(app.statusDb()).size(), 2);

  ASSERT_TRUE(DBDeleteKey(app.statusDb(), a));
  ASSERT_TRUE(DBDeleteKey(app.statusDb(), b));
  EXPECT_EQ(DBSelectMachineNameByKeyID(app.statusDb(), app.path(), b), "");
  const auto rows = keyRows(app.statusDb());
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(DecodeKeyColumn(rows[0]["MachineNameE"], "Zq9#x7Lm"), "OWNPC");
}

TEST_F(KeysTableTest, IdentityHooksAnswerForThisComputer) {
  writeFile(app.file("config/sysinfo.xml"),
            "<UserInfo><UserName>own</UserName><Password>pw</Password><AccountNumber>A-1</AccountNumber>"
            "<MachineName>OWNPC</MachineName><StoreKey>S</StoreKey><Clkey>00FF</Clkey>"
            "<Clkeykey>5A71392378374C6D</Clkeykey></UserInfo>");
  KeyIdentity identity;  // the process-wide application folder
  EXPECT_EQ(identity.DBSelectLastKeyID(), 0);
  identity.ImportOriginalKeyFile();
  const qint64 id = identity.DBSelectLastKeyID();
  EXPECT_GT(id, 0);
  EXPECT_EQ(identity.DBSelectMachineNameByKeyID(id), "OWNPC");

  // A stale identity while another computer was added later: this computer's row must come
  // out newest, or the identity step would take the other computer for this one.
  const qint64 other = insert("M-9", "OTHERPC");
  EXPECT_EQ(identity.DBSelectMachineNameByKeyID(0), "");
  identity.ImportOriginalKeyFile();
  const qint64 newest = identity.DBSelectLastKeyID();
  EXPECT_GT(newest, other);
  EXPECT_EQ(identity.DBSelectMachineNameByKeyID(newest), "OWNPC");
  EXPECT_EQ(keyRows(app.statusDb()).size(), 2);
}

TEST_F(KeysTableTest, DeleteThatKeepsFailingGivesUpAfterABoundAndReportsOnce) {
  EXPECT_FALSE(DBDeleteKey(app.file("missing/Status.db"), 1));
  EXPECT_EQ(messages.texts, QStringList{"Could not delete key..."});
  EXPECT_EQ(waiter.sleeps, kDeleteKeyAttempts - 1);
}

TEST_F(KeysTableTest, ComputerListStopsAtAnEmptyOrRepeatedName) {
  ASSERT_TRUE(DBSelectAllMachineNames(app.statusDb()));  // creates the table
  EXPECT_TRUE(DBSelectAllMachineNames(app.statusDb())->isEmpty());

  // The list follows the stored (enciphered) names; pick keys so the order is known.
  insert("M-1", "ALPHA", "key-one1");
  insert("M-2", "BRAVO", "key-two2");
  auto list = DBSelectAllMachineNames(app.statusDb());
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 2);
  QStringList stored;
  for (const auto& row : keyRows(app.statusDb())) stored << row["MachineNameE"];
  stored.sort();
  EXPECT_EQ(EncodeKeyColumn(list->at(0).machineName, list->at(0).fileKeyKey), stored[0]);

  // A row whose name sorts first and decodes empty hides every row after it.
  corvane::store::DBConnection c;
  c.Open(app.statusDb());
  c.Execute("Insert Into Keys Values(?,?,?,?,?,?,?,?,?)",
            {QVariant(), "", "", "X", "", "", "", "k", ""});
  EXPECT_TRUE(DBSelectAllMachineNames(app.statusDb())->isEmpty());
  c.Execute("Delete From Keys WHERE MachineIDE = 'X'");

  // A second computer of the same name ends the list before it.
  insert("M-3", "ALPHA", "key-one1");
  list = DBSelectAllMachineNames(app.statusDb());
  QStringList names;
  for (const auto& e : *list) names << e.machineName;
  EXPECT_EQ(names.count("ALPHA"), 1);
  EXPECT_LE(names.size(), 2);
}

TEST_F(KeysTableTest, ComputerNamesThatWouldLeaveTheirFolderAreRefused) {
  for (const char* bad : {"..", "a/b", "a\\b", "C:", "", "  "}) EXPECT_FALSE(IsSafeMachineName(bad)) << bad;
  for (const char* good : {"PC-HOME", "OFFICE.PC", "my pc"}) EXPECT_TRUE(IsSafeMachineName(good)) << good;
}
