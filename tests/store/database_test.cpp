#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "store/Database.h"
#include "store/DatabasePaths.h"
#include "store/DatabaseTrouble.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::store;

namespace {

TEST(DatabaseComponent, OpenNeverCreatesAFile) {
  test::TempAppFolder app;
  const QString missing = app.file("Nothing.db");
  DBConnection c;
  EXPECT_THROW(c.Open(missing), DBError);
  EXPECT_FALSE(QFile::exists(missing));

  DBConnection made;
  made.Create(missing);
  made.Execute("CREATE TABLE t (a TEXT)");
  EXPECT_TRUE(QFile::exists(missing));
  DBConnection again;
  EXPECT_THROW(again.Create(missing), DBError);  // Create never overwrites

  // An empty file (a database cut short) is no database: the create-on-missing-table
  // convention must not plant a table in it.
  const QString empty = app.file("Status.db");
  {
    QFile f(empty);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  }
  EXPECT_THROW(withCreatedTable(
                   "Keys",
                   [&] {
                     DBConnection c;
                     c.Open(empty);
                     c.Query("Select * From Keys");
                   },
                   [&] {
                     DBConnection c;
                     c.Open(empty);
                     c.Execute("Create Table Keys (KeyID INTEGER Primary Key)");
                   }),
               DBError);
  EXPECT_EQ(QFile(empty).size(), 0);

  // A fifo in a database's place would keep SQLite reading for ever: refused at once.
  const QString fifo = app.file("Files.db");
  QFile::remove(fifo);
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  EXPECT_THROW(c.Open(fifo), DBError);
}

TEST(DatabaseComponent, MissingTableGivesTheExactDescription) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.statusDb());
  for (auto run : {std::function<void()>([&] { c.Query("Select * From Keys"); }),
                   std::function<void()>([&] { c.Execute("Delete from Keys"); }),
                   std::function<void()>([&] { c.Execute("Delete from Keys WHERE KeyID = ?", {1}); }),
                   std::function<void()>([&] { c.Prepare("Insert Into Keys Values(?)"); })}) {
    try {
      run();
      FAIL() << "no error";
    } catch (const DBError& e) {
      EXPECT_EQ(e.description(), "Cannot compile mSQL-Statement: no such table: Keys");
      EXPECT_FALSE(e.isBusy());
    }
  }
}

TEST(DatabaseComponent, FieldsByNameWithoutCaseAndRowWalk) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  c.Execute("Insert Into Folder (Folders, Bu, BuAll) Values (?, ?, ?)", {"C:\\a", true, false});
  c.Execute("Insert Into Folder (Folders, Bu, BuAll) Values (?, ?, ?)", {"C:\\b", false, true});
  DBRecordset rs = c.Query("Select * From Folder ORDER BY Folders");
  ASSERT_EQ(rs.RowCount(), 2);
  QStringList seen;
  for (int i = 1; i <= rs.RowCount(); ++i, rs.MoveNext())
    seen << rs.Text("FOLDERS") + (rs.Boolean("bu") ? "+bu" : "") + (rs.Boolean("BUALL") ? "+all" : "");
  EXPECT_EQ(seen, QStringList({"C:\\a+bu", "C:\\b+all"}));
  EXPECT_TRUE(rs.AtEnd());
  EXPECT_THROW(rs.Field("Folders"), DBError);  // past the last row
  DBRecordset again = c.Query("Select * From Folder");
  EXPECT_THROW(again.Field("NoSuchColumn"), DBError);
}

// The forward-only walk reads every kind of value as the recordset does, and can stop early.
TEST(DatabaseComponent, RowWalkReadsAsTheRecordsetAndStopsEarly) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  c.Execute("CREATE TABLE t (k INTEGER, v)");
  const QVariantList values{qint64(7), 2.5, 1000.0, QString("12"), QString("2010-09-27 14:05:09"), QVariant(),
                            QByteArray("ab"), QString("x y")};
  for (int i = 0; i < values.size(); ++i) c.Execute("INSERT INTO t VALUES (?, ?)", {i, values[i]});

  DBRecordset rs = c.Query("SELECT k, v AS Value FROM t ORDER BY k");
  int walked = 0;
  c.ForEachRow("SELECT k, v AS Value FROM t ORDER BY k", {}, [&](const DBRow& row) {
    const int v = row.Column("VALUE");
    EXPECT_EQ(row.Text(v), rs.Text("Value")) << walked;
    EXPECT_EQ(row.Long(v), rs.Long("Value")) << walked;
    EXPECT_EQ(row.Number(v), rs.Number("Value")) << walked;
    EXPECT_EQ(row.Date(v), rs.Date("Value")) << walked;
    EXPECT_EQ(row.IsNull(v), !rs.Field("Value").isValid()) << walked;
    rs.MoveNext();
    ++walked;
    return true;
  });
  EXPECT_EQ(walked, values.size());

  EXPECT_EQ(c.ForEachRow("SELECT k FROM t", {}, [](const DBRow& row) { return row.Long(0) < 2; }), 3);
  EXPECT_EQ(c.ForEachRow("SELECT k FROM t WHERE k > ?", {100}, [](const DBRow&) { return true; }), 0);
  EXPECT_THROW(c.ForEachRow("SELECT k FROM t", {}, [](const DBRow& row) { return row.Column("nope") < 0; }), DBError);
  EXPECT_THROW(c.ForEachRow("SELECT * FROM Nothing", {}, [](const DBRow&) { return true; }), DBError);
}

// A read given up on another thread must not run its sort to the end first.
TEST(DatabaseComponent, ARaisedStopFlagEndsAStatementEvenInItsSort) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  const QString sorted =
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200000) SELECT i FROM n ORDER BY -i";
  std::atomic<bool> stop{true};
  c.InterruptWhen(&stop);
  int rows = 0;
  try {
    c.ForEachRow(sorted, {}, [&](const DBRow&) { return ++rows > 0; });
    ADD_FAILURE() << "not interrupted";
  } catch (const DBError& e) {
    EXPECT_FALSE(e.isBusy());
  }
  EXPECT_EQ(rows, 0);
  stop = false;
  EXPECT_EQ(c.ForEachRow(sorted, {}, [](const DBRow& row) { return row.Long(0) == 200000; }), 2);
  c.InterruptWhen(nullptr);
  stop = true;
  EXPECT_EQ(c.Query("SELECT 1 AS one").Long("one"), 1);
}

TEST(DatabaseComponent, BooleansAreStoredAsOneAndZero) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  DBCommand cmd = c.Prepare("Insert Into Folder Values(?,?,?,?)");
  cmd.BindText(2, "C:\\x");
  cmd.BindBoolean(3, true);
  cmd.BindBoolean(4, false);
  cmd.Execute();
  // Readers elsewhere (and the service) compare with = 1.
  EXPECT_EQ(c.Query("Select * From Folder WHERE Bu = 1 AND BuAll = 0").RowCount(), 1);
}

TEST(DatabaseComponent, UnboundFirstParameterTakesTheNextKeyAndCommandsCanBeReused) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  DBCommand cmd = c.Prepare("Insert Into Folder Values(?,?,?,?)");
  c.BeginTransaction();
  for (const char* f : {"C:\\one", "C:\\two"}) {
    cmd.BindText(2, f);
    cmd.BindBoolean(3, true);  // BuAll left unbound: NULL
    cmd.Execute();
  }
  c.Commit();
  DBRecordset rs = c.Query("Select FolderID, Folders, BuAll From Folder ORDER BY FolderID");
  ASSERT_EQ(rs.RowCount(), 2);
  EXPECT_EQ(rs.Long("FolderID"), 1);
  EXPECT_FALSE(rs.Field("BuAll").isValid());
  rs.MoveNext();
  EXPECT_EQ(rs.Long("FolderID"), 2);
}

// Rows read one at a time read as the recordset reads them; after the last row (or a Reset) the
// statement is unbound and runs again; Execute counts the rows it changed.
TEST(DatabaseComponent, StepReadsRowsOneAtATimeAndTheStatementRunsAgain) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  c.Execute("Insert Into Folder (Folders, Bu, BuAll) Values ('C:\\a', 1, 'True'), ('C:\\b', '0', NULL), "
            "(x'C3A9', ' 7 ', 2.5)");
  DBCommand read = c.Prepare("Select Folders, Bu, BuAll From Folder WHERE Folders >= ? ORDER BY Folders");
  QStringList seen;
  for (int run = 0; run < 2; ++run) {
    read.BindUtf8(1, QByteArrayView("C:"));
    while (read.Step())
      seen << read.Row().Text(0) + "|" + QString::number(read.Row().Long(1)) + "|" +
                  (read.Row().Boolean(2) ? "y" : "n") + "|" + QString::number(read.Row().Number(2));
  }
  EXPECT_EQ(seen, (QStringList{"C:\\a|1|y|0", "C:\\b|0|n|0", "\u00e9|7|y|2.5", "C:\\a|1|y|0", "C:\\b|0|n|0",
                               "\u00e9|7|y|2.5"}));
  read.BindUtf8(1, QByteArrayView("C:\\b"));
  ASSERT_TRUE(read.Step());
  EXPECT_EQ(read.Row().Utf8(0), QByteArrayView("C:\\b"));
  read.Reset();  // unbound: NULL matches nothing
  EXPECT_FALSE(read.Step());

  DBCommand clear = c.Prepare("Update Folder SET Bu = 0 WHERE Folders LIKE ?");
  clear.BindText(1, "C:%");
  EXPECT_EQ(clear.Execute(), 2);
  clear.BindText(1, "Z:%");
  EXPECT_EQ(clear.Execute(), 0);
}

TEST(DatabaseComponent, UpdateWritesThePutValuesOfTheCurrentRowOnly) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  for (const char* f : {"C:\\a", "C:\\b", "C:\\c"})
    c.Execute("Insert Into Folder (Folders, Bu, BuAll) Values (?, 0, 0)", {QString(f)});
  c.BeginTransaction();
  DBRecordset rs = c.QueryForUpdate("Folder", "WHERE Folders >= ? ORDER BY Folders", {"C:\\b"});
  ASSERT_EQ(rs.RowCount(), 2);
  rs.SetField("bu", 1);
  rs.Update();
  c.Commit();
  DBRecordset check = c.Query("Select Folders From Folder WHERE Bu = 1");
  ASSERT_EQ(check.RowCount(), 1);
  EXPECT_EQ(check.Text("Folders"), "C:\\b");
  EXPECT_THROW(c.Query("Select * From Folder").Update(), DBError);  // plain queries are read-only
}

TEST(DatabaseComponent, DatesSortAsStoredText) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.statusDb());
  const QDateTime early(QDate(2009, 12, 31), QTime(23, 59, 59));
  const QDateTime late(QDate(2010, 1, 2), QTime(1, 2, 3));
  DBCommand cmd = c.Prepare("Insert Into Setting Values(?,?,?,?)");
  for (const QDateTime& d : {late, early}) {
    cmd.BindText(2, "d");
    cmd.BindText(3, "x");
    cmd.BindDate(4, d);
    cmd.Execute();
  }
  DBRecordset rs = c.Query("Select DateSetting From Setting WHERE SettingName = 'd' ORDER BY DateSetting");
  EXPECT_EQ(rs.Text("DateSetting"), "2009-12-31 23:59:59");
  EXPECT_EQ(rs.Date("DateSetting"), early);
  rs.MoveNext();
  EXPECT_EQ(rs.Date("DateSetting"), late);
}

TEST(DatabaseComponent, AnOpenTransactionIsRolledBackWhenTheConnectionGoes) {
  test::TempAppFolder app;
  {
    DBConnection c;
    c.Open(app.filesDb());
    c.BeginTransaction();
    c.Execute("Insert Into Exclude (Folders) Values (?)", {"\\Temp"});
  }
  DBConnection c;
  c.Open(app.filesDb());
  EXPECT_EQ(c.Query("Select * From Exclude").RowCount(), 0);
}

TEST(DatabaseComponent, FixedPointValuesKeepFourDecimalsAndRefuseWhatTheyCannotHold) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  DBCommand cmd = c.Prepare("Insert Into Ext (Extension, TotalSize) Values(?, ?)");
  const QList<QPair<QString, double>> values = {{".a", 5368709120.0}, {".b", 1.23456}, {".c", -1}};
  for (const auto& [ext, v] : values) {
    cmd.BindText(1, ext);
    cmd.BindFixed(2, v);
    cmd.Execute();
  }
  DBRecordset rs = c.Query("Select TotalSize, typeof(TotalSize) AS kind From Ext ORDER BY Extension");
  EXPECT_EQ(rs.Field("TotalSize").toLongLong(), 5368709120LL);
  EXPECT_EQ(rs.Text("kind"), "integer");
  rs.MoveNext();
  EXPECT_DOUBLE_EQ(rs.Number("TotalSize"), 1.2346);
  rs.MoveNext();
  EXPECT_EQ(rs.Long("TotalSize"), -1);
  for (double bad : {1e300, -1e16, std::nan("")}) EXPECT_THROW(cmd.BindFixed(2, bad), DBError) << bad;
}

TEST(DatabaseComponent, ParametersGoWithOneStatementOnlyScriptsRunWhole) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  EXPECT_THROW(c.Execute("Insert Into Exclude (Folders) Values (?); Delete From Exclude", {"\\Temp"}), DBError);
  EXPECT_THROW(c.Query("Select * From Exclude; Select * From Ext"), DBError);
  EXPECT_EQ(c.Query("Select count(*) AS n From Exclude -- a comment").Long("n"), 0);
  c.Execute("Insert Into Exclude (Folders) Values ('a'); Insert Into Exclude (Folders) Values ('b');");
  EXPECT_EQ(c.Query("Select count(*) AS n From Exclude;  ").Long("n"), 2);
}

TEST(DatabaseComponent, ClosingRollsBackEvenWhileARecordsetKeepsTheFile) {
  test::TempAppFolder app;
  DBConnection c;
  c.Open(app.filesDb());
  c.BeginTransaction();
  c.Execute("Insert Into Exclude (Folders) Values (?)", {"\\Temp"});
  DBRecordset kept = c.Query("Select * From Exclude");
  c.Close();
  ASSERT_EQ(kept.RowCount(), 1);
  DBConnection other;
  other.Open(app.filesDb());
  other.BeginTransaction();  // the write lock is free again
  other.Commit();
  EXPECT_EQ(other.Query("Select * From Exclude").RowCount(), 0);
}

TEST(DatabaseComponent, DatesInTheHourSkippedBySummerTimeStillRead) {
  const QByteArray oldTz = qgetenv("TZ");
  qputenv("TZ", "Europe/Berlin");
  const QDateTime skipped = dateFromText("2024-03-31 02:30:00");
  const QDateTime plain = dateFromText("2024-03-30 02:30:00");
  const QDateTime isoForm = dateFromText("2024-07-01T10:11:12");
  if (oldTz.isNull()) qunsetenv("TZ"); else qputenv("TZ", oldTz);
  ASSERT_TRUE(skipped.isValid());
  EXPECT_EQ(skipped.date(), QDate(2024, 3, 31));
  EXPECT_EQ(plain, QDateTime(QDate(2024, 3, 30), QTime(2, 30)));
  EXPECT_EQ(isoForm.time(), QTime(10, 11, 12));
  EXPECT_FALSE(dateFromText("31/03/2024").isValid());
  EXPECT_FALSE(dateFromText("2024-03-31 nonsense").isValid());
  EXPECT_EQ(dateFromText("2024-03-31"), QDateTime(QDate(2024, 3, 31), QTime(0, 0)));
}

// A zeroed page in the middle of Files.db is met by SQLite only when a statement reads it: an
// insert into another table would go through. The look-through finds it, every later write into
// the file is refused naming it (nothing is written), a read that meets the page says the same,
// and a sound file put in its place is written as before.
TEST(DamagedDatabase, IsFoundAndNamedAndWrittenNoMore) {
  test::TempAppFolder app;
  const QString db = app.filesDb();
  {
    DBConnection c;
    c.Open(db);
    c.BeginTransaction();
    for (int i = 0; i < 3000; ++i)
      c.Execute("Insert Into File (Folder, FileName, Extension, Uploaded) Values(?,?,?,1)",
                {QString("C:\\Data\\%1").arg(i % 50), QString("f%1.").arg(i), QString("e%1").arg(i % 40)});
    c.Commit();
  }
  const QString sound = db + ".sound";
  ASSERT_TRUE(QFile::copy(db, sound));
  if (!test::zeroPageOf(db, "idx_Extension")) GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  const QByteArray damaged = test::readFile(db);
  const auto write = [&](const QString& sql) {
    DBConnection c;
    c.Open(db);
    c.Execute(sql);
  };
  EXPECT_FALSE(isKnownDamaged(db));

  EXPECT_TRUE(checkDatabasesAside({db}, [] { return true; }));
  EXPECT_TRUE(isKnownDamaged(db));
  for (const QString& sql : {QString("Insert Into tempDFile (Folder) Values('C:\\a')"),
                             QString("Delete From tempDFile; Delete From Hash")}) {
    try {
      write(sql);
      ADD_FAILURE() << "written: " << sql.toStdString();
    } catch (const DBError& e) {
      EXPECT_TRUE(e.isDamaged());
      EXPECT_EQ(e.path(), db);
      EXPECT_TRUE(e.description().startsWith("Files.db is damaged (database disk image is malformed)"))
          << e.description().toStdString();
    }
  }
  try {
    DBConnection c;
    c.Open(db);
    c.Query("Select count(*) From File INDEXED BY idx_Extension WHERE Extension > ''");
    ADD_FAILURE() << "the damaged page was read without an error";
  } catch (const DBError& e) {
    EXPECT_TRUE(e.isDamaged());
    EXPECT_EQ(QFileInfo(e.path()).canonicalFilePath(), QFileInfo(db).canonicalFilePath());
  }
  EXPECT_TRUE(test::readFile(db) == damaged) << "the damaged file was written";

  ASSERT_TRUE(QFile::remove(db));
  ASSERT_TRUE(QFile::rename(sound, db));
  EXPECT_FALSE(isKnownDamaged(db));
  EXPECT_NO_THROW(write("Insert Into tempDFile (Folder) Values('C:\\a')"));
}

TEST(DatabasePaths, DevelopmentTreeIsRemovedOnlyAtTheEnd) {
  EXPECT_EQ(applyDevTreeRule("D:\\Src\\ExeSource\\CorvaneUI\\Status.db"), "D:\\Src\\Status.db");
  EXPECT_EQ(applyDevTreeRule("/src/ExeSource/CorvaneUI/Files.db"), "/src/Files.db");
  EXPECT_EQ(applyDevTreeRule("D:\\ExeSource\\CorvaneUI\\x\\Status.db"), "D:\\ExeSource\\CorvaneUI\\x\\Status.db");
  EXPECT_EQ(applyDevTreeRule("/d/ExeSource/CorvaneUI/Logs/SuccessLog.xml", 2), "/d/Logs/SuccessLog.xml");
  EXPECT_EQ(applyDevTreeRule("/d/ExeSource/CorvaneUI/SuccessLog.xml", 2), "/d/ExeSource/CorvaneUI/SuccessLog.xml");
  EXPECT_EQ(applyDevTreeRule("D:\\Prog\\Status.db"), "D:\\Prog\\Status.db");
  const DatabasePaths p = DatabasePaths::forAppFolder("/opt/corvane");
  EXPECT_EQ(p.filesDb, "/opt/corvane/Files.db");
  EXPECT_EQ(p.statusDb, "/opt/corvane/Status.db");
}

TEST(StoredText, ApostrophesAreDoubledAndBack) {
  EXPECT_EQ(toStoredText("O'Brien's"), "O''Brien''s");
  EXPECT_EQ(fromStoredText(toStoredText("a'b''c")), "a'b''c");
  // Pairs are undone left to right; a quote without its pair stays.
  EXPECT_EQ(fromStoredText("'''"), "''");
  EXPECT_EQ(fromStoredText("a'b"), "a'b");
  EXPECT_EQ(fromStoredText("''''x''"), "''x'");
}

}  // namespace
