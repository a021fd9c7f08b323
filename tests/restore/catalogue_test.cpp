// Unzip wrapper and the catalogue procedures of the restore page.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zip.h>

#include <csignal>

#include <QDir>
#include <QFile>

#include "restore/CatalogueFetch.h"
#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "restore/Unzip.h"
#include "restore_fixture.h"

using namespace corvane;
using namespace corvane::restore;
using test::CatalogueRow;

using test::readFile;
using test::writeFile;

TEST(Unzip, OptionsFoldersAndMessages) {
  QTemporaryDir dir;
  const QString zip = dir.filePath("c.zip");
  writeFile(zip, test::zipOf({{"sub/inner.txt", "inner"}, {"../evil.txt", "evil"}, {"top.txt", "top"}}));

  CGUnzipFiles u;
  // A fresh object: quiet, folders kept, existing files overwritten without asking, case sensitive.
  EXPECT_EQ(u.MessageLevel(), 2);
  EXPECT_TRUE(u.HonorDirectories());
  EXPECT_TRUE(u.OverWriteFiles());
  EXPECT_FALSE(u.PromptOverwrite());
  EXPECT_TRUE(u.CaseSensitive());

  // Folders kept; the entry that climbs out of the target folder is refused and reported.
  const QString out = dir.filePath("out");
  EXPECT_EQ(u.Unzip(zip, out), UnzWarning);
  EXPECT_EQ(readFile(out + "/sub/inner.txt"), "inner");
  EXPECT_FALSE(QFile::exists(dir.filePath("evil.txt")));
  EXPECT_TRUE(CGUnzipFiles::GetLastMessage().contains("../evil.txt"));

  // Folders dropped; the stored names and folder of the object are used when the arguments are empty.
  const QString flat = dir.filePath("flat");
  writeFile(zip, test::zipOf({{"sub/inner.txt", "inner"}, {"top.txt", "top"}}));
  u.setHonorDirectories(false);
  u.setExtractDir(flat);
  EXPECT_EQ(u.Unzip(), UnzOk);
  EXPECT_EQ(readFile(flat + "/inner.txt"), "inner");
  EXPECT_EQ(CGUnzipFiles::GetLastMessage(), "");  // the refusal of the first unzip is gone

  // Overwriting off and the question answered No keeps the file; Cancel stops the unzip.
  writeFile(flat + "/top.txt", "mine");
  u.setOverWriteFiles(false);
  u.setPromptOverwrite(true);
  CGUnzipFiles::setReplaceQuestion([](const QString&) { return ReplaceAnswer::No; });
  EXPECT_EQ(u.Unzip(), UnzOk);
  EXPECT_EQ(readFile(flat + "/top.txt"), "mine");
  CGUnzipFiles::setReplaceQuestion([](const QString&) { return ReplaceAnswer::Cancel; });
  EXPECT_EQ(u.Unzip(), UnzUserAbort);
  CGUnzipFiles::setReplaceQuestion({});

  EXPECT_EQ(u.Unzip(dir.filePath("missing.zip")), UnzNoArchive);
  EXPECT_TRUE(CGUnzipFiles::GetLastMessage().contains("missing.zip"));
}

TEST(Catalogue, RecordsStatsAndFilters) {
  test::TempAppFolder app;
  const QString db = test::makeCatalogue(app.file("PC1Files.db"),
                                         {{"C:\\Bob's", "old.", "doc", 1000, "2009-01-01 00:00:00"},
                                          {"C:\\Data", "new.", "txt", 2000, "2012-03-04 05:06:07"},
                                          {"C:\\Data", "gone.", "txt", 3000, "2011-01-01 00:00:00", false}});
  UploadedFileRecords r = freshRecords();
  ASSERT_EQ(DBSelectAllUploadedFiles(db, r), 2);
  ASSERT_EQ(r.size(), 3);  // two rows and the spare entry
  EXPECT_EQ(r[0].FileName, "new.");  // newest first
  EXPECT_EQ(r[0].DateLastModified, "2012-03-04 05-06-07");
  EXPECT_EQ(r[1].Folder, "C:\\Bob's");  // quote pairs undone
  EXPECT_EQ(r[1].FileSize, "1000");
  EXPECT_TRUE(r[2].FileName.isEmpty());
  EXPECT_EQ(recordDateFromText(r[0].DateLastModified), QDateTime(QDate(2012, 3, 4), QTime(5, 6, 7)));

  // An empty result or a missing database leaves the records as they were.
  EXPECT_EQ(DBSelectAllUploadedFiles(app.file("None.db"), r), 0);
  EXPECT_EQ(DBSelectUploadedFiles(db, "C:\\Nowhere", r), 0);
  EXPECT_EQ(r.size(), 3);
  ASSERT_EQ(DBSelectUploadedFiles(db, "C:\\Bob's", r), 1);
  EXPECT_EQ(r[0].FileName, "old.");
  EXPECT_EQ(*DBSelectDrives(db), QStringList{"C:"});

  EXPECT_EQ(StatsLine(3, 6000), "3 Files, 5.9 KBytes");
  EXPECT_EQ(StatsLine(0, 0), "0 Files, .0 KBytes");
  EXPECT_EQ(StatsLine(1, 1048576.0 * 1024), "1 Files, 1,048,576.0 KBytes");
  EXPECT_EQ(StatsLine(1, 5 * 1048576.0), "1 Files, 5.0 MBytes");
  EXPECT_EQ(StatsLine(1, 3.0 * 1024 * 1048576.0), "1 Files, 3.0 GBytes");

  EXPECT_TRUE(MatchesPrefix("docx", "DOC"));
  EXPECT_TRUE(MatchesPrefix("Doc", "doc"));
  EXPECT_FALSE(MatchesPrefix("odoc", "doc"));
}

// Which catalogue a computer has: Files.db only when both settings were read and are equal. A
// Status.db the service keeps locked is no sign that they are; nothing then acts on Files.db.
TEST(Catalogue, TheChosenComputerIsThisOneOnlyWhenTheSettingsSaySo) {
  test::TempAppFolder app;
  const auto where = [&] {
    return CatalogueDatabase(app.statusDb(), app.filesDb(), app.path(), "PC2", "Files.db", store::kNoWait)
        .value_or("<none>");
  };
  EXPECT_EQ(where(), app.filesDb());  // neither row: two empty texts
  test::setSetting(app.statusDb(), "Identity", "1");
  test::setSetting(app.statusDb(), "DIdentity", "2");
  EXPECT_EQ(where(), app.file("PC2Files.db"));
  EXPECT_EQ(CatalogueDatabase(app.statusDb(), app.filesDb(), app.path(), "..\\x", "Files.db").value_or("<none>"),
            "<none>");
  test::setSetting(app.statusDb(), "DIdentity", "1");
  EXPECT_EQ(where(), app.filesDb());
  EXPECT_TRUE(IsThisComputer(app.statusDb(), store::kNoWait));

  store::DBConnection service;
  service.Open(app.statusDb());
  service.Execute("BEGIN EXCLUSIVE");
  EXPECT_THROW(where(), store::DBError);
  EXPECT_FALSE(IsThisComputer(app.statusDb(), store::kNoWait));
  EXPECT_THROW(ThisComputerChosen(app.statusDb(), store::kNoWait), store::DBError);
}

// A read aside given up ends at once; an answer that fails still ends the read before the
// failure goes on (the read uses what the caller's frame holds).
TEST(Catalogue, ReadsAsideEndWithTheirCaller) {
  test::TempAppFolder app;
  test::addBulkRows(app.filesDb(), 12000);
  UploadedFileRecords r = freshRecords();
  int answers = 0;
  EXPECT_EQ(DBSelectAllUploadedFilesAside(app.filesDb(), r, [&](qint64) { return ++answers < 1; }), 0);
  EXPECT_EQ(answers, 1);
  EXPECT_EQ(filledCount(r), 0);
  EXPECT_THROW(DBSelectAllUploadedFilesAside(app.filesDb(), r,
                                             [](qint64) -> bool { throw std::runtime_error("answer failed"); }),
               std::runtime_error);
  EXPECT_EQ(filledCount(r), 0);
  EXPECT_EQ(DBSelectAllUploadedFilesAside(app.filesDb(), r, [](qint64) { return true; }), 12000);
}

// Stored dates of every form read as the full date reading gives them; a plain stored date
// only changes its colons.
TEST(Catalogue, RecordDatesOfEveryStoredForm) {
  test::TempAppFolder app;
  const QList<QPair<QString, QString>> forms{{"2010-09-27 14:05:09", "2010-09-27 14-05-09"},
                                             {"2010-09-27T14:05:09", "2010-09-27 14-05-09"},
                                             {"2010-09-27", "2010-09-27 00-00-00"},
                                             {"2012-02-29 23:59:59", "2012-02-29 23-59-59"},
                                             {"2010-02-30 10:00:00", ""},
                                             {"2010-09-27 24:00:00", ""},
                                             {"2010-09-27 10:00:60", ""},
                                             {"not a date at all..", ""}};
  QList<CatalogueRow> rows;
  for (int i = 0; i < forms.size(); ++i) rows.append({"C:\\D", QString("f%1.").arg(i), "txt", i, forms[i].first});
  const QString db = test::makeCatalogue(app.file("PC1Files.db"), rows);
  UploadedFileRecords r = freshRecords();
  ASSERT_EQ(DBSelectAllUploadedFiles(db, r), forms.size());
  for (qsizetype i = 0; i < filledCount(r); ++i) {
    const int k = r[i].FileName.mid(1).chopped(1).toInt();
    EXPECT_EQ(r[i].DateLastModified, forms[k].second) << forms[k].first.toStdString();
    EXPECT_EQ(r[i].DateCreated, "2009-01-02 03-04-05");
  }
}

TEST(Catalogue, WriteBackIntoFilesDb) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::addRows(app.filesDb(), {{"C:\\Local", "kept.", "txt", 5}, {"C:\\Bob's", "a.", "doc", 9, "2009-01-01 00:00:00", false}});
  const QString copy = test::makeCatalogue(app.file("PCFiles.db"), {{"C:\\Bob's", "a.", "doc", 10}});

  ASSERT_TRUE(DBUpdateAllUploadedFiles(app.filesDb()));
  QStringList captions;
  ASSERT_TRUE(DBInsertFileEntries(copy, app.filesDb(), [&](const QString& t) { captions << t; }));
  EXPECT_EQ(captions, (QStringList{"Corvane Restoring Directory...", "Corvane - Restoring Directory - 0 files..."}));
  // The copied row replaced the local one, kept its stored quote form and is uploaded;
  // the row the server does not hold is no longer uploaded.
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Folder = ? AND Uploaded = 1 AND Filesize = 10",
                           {"C:\\Bob''s"}),
            1);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Folder = ? AND Uploaded = 0", {"C:\\Local"}), 1);

  // Names keep their stored bytes: two that are not UTF-8 stay two rows, quotes are doubled
  // by runs (a lone one or an odd run gets its pair).
  const QString rawCopy = test::makeCatalogue(app.file("RawFiles.db"), {});
  const QString rawDest = test::makeCatalogue(app.file("RawDest.db"), {});
  {
    store::DBConnection c;
    c.Open(rawCopy);
    c.Execute("Insert Into File (Folder, FileName, Extension, Filesize, Uploaded) Values "
              "('C:\\Raw', CAST(X'78FF2E' AS TEXT), 'txt', 1, 1), ('C:\\Raw', CAST(X'78FE2E' AS TEXT), 'txt', 2, 1), "
              "('C:\\Raw', 'o''k.', 'txt', 3, 1), ('C:\\Raw', 'o''''''k.', 'txt', 4, 1)");
  }
  ASSERT_TRUE(DBInsertFileEntries(rawCopy, rawDest, {}));
  {
    store::DBConnection c;
    c.Open(rawDest);
    QStringList raw;
    for (auto rs = c.Query("Select hex(FileName) AS h From File WHERE Folder = 'C:\\Raw' ORDER BY Filesize"); !rs.AtEnd();
         rs.MoveNext())
      raw << rs.Text("h");
    EXPECT_EQ(raw, (QStringList{"78FF2E", "78FE2E", QByteArray("o''k.").toHex().toUpper(),
                                QByteArray("o''''k.").toHex().toUpper()}));
  }

  // A missing source commits nothing and says so.
  EXPECT_FALSE(DBInsertFileEntries(app.file("Missing.db"), app.filesDb(), {}));
  EXPECT_EQ(messages.texts.last(), "Restore directory failed...");

  // A fetched copy that cannot be copied leaves Files.db's upload flags as they were.
  const QString noTable = app.file("EmptyFiles.db");
  {
    store::DBConnection c;
    c.Create(noTable);
  }
  EXPECT_FALSE(DBWriteBackCatalogue(noTable, app.filesDb(), {}));
  EXPECT_EQ(messages.texts.last(), "Restore directory failed...");
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 1);
  ASSERT_TRUE(DBWriteBackCatalogue(test::makeCatalogue(app.file("PC2Files.db"), {}), app.filesDb(), {}));
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 0);
  ASSERT_TRUE(DBWriteBackCatalogue(copy, app.filesDb(), {}));

  // One row's flag, with a quote in its folder (bound, never part of the statement).
  DBUpdateFileUploaded(app.filesDb(), "C:\\Bob's", "a.", "doc", "0");
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 0);
}

TEST(Catalogue, QueueRowsAndUnsafePaths) {
  test::TempAppFolder app;
  UploadedFileRecord ok{0, "C:\\Data", "a.", "txt", "3000000000", "2009-01-02 03-04-05", "2010-09-27 14-05-09",
                        "2011-05-06 07-08-09"};
  UploadedFileRecord climbing = ok;
  climbing.Folder = "C:\\Data\\..\\..\\Windows";
  UploadedFileRecord slash = ok;
  slash.FileName = "..\\b.";
  EXPECT_EQ(QueueRecords(app.filesDb(), {ok, climbing, slash}), 1);
  store::DBConnection c;
  c.Open(app.filesDb());
  auto rs = c.Query("Select * From tempDFile");
  ASSERT_EQ(rs.RowCount(), 1);
  EXPECT_EQ(rs.Long("FileSize"), 3000000000LL);  // sizes past 2 GiB are kept whole
  EXPECT_EQ(rs.Date("DateLastModified"), QDateTime(QDate(2010, 9, 27), QTime(14, 5, 9)));

  // "DownloadAbort" is written even when the shipped settings hold no such row.
  SignalDownloadAbort(app.statusDb(), QDateTime::currentDateTime());
  EXPECT_EQ(store::settingValue(app.statusDb(), "DownloadAbort"), "1");
}

// A Files.db with a page zeroed in the middle of its File rows takes no queue (SQLite alone would
// take the rows into tempDFile without a word): nothing is written, the user hears which file is
// damaged, and no row is counted as queued.
TEST(Catalogue, ADamagedFilesDbTakesNoQueue) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::addBulkRows(app.filesDb(), 3000);
  if (!test::zeroPageOf(app.filesDb(), "File")) GTEST_SKIP() << "this SQLite lists no pages (no dbstat table)";
  const QByteArray before = readFile(app.filesDb());
  QList<UploadedFileRecord> hundred;
  for (int i = 0; i < 100; ++i)
    hundred << UploadedFileRecord{0, "C:\\Data", QString("f%1.").arg(i), "txt", "10", "2009-01-02 03-04-05",
                                  "2010-09-27 14-05-09", "2011-05-06 07-08-09"};
  EXPECT_EQ(QueueRecords(app.filesDb(), hundred), 0);
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].startsWith("Corvane's database Files.db is damaged (")) << qPrintable(messages.texts[0]);
  EXPECT_FALSE(EmptyRestoreQueue(app.filesDb()));
  ASSERT_EQ(messages.texts.size(), 2);
  EXPECT_TRUE(messages.texts[1].startsWith("Files.db is damaged (")) << qPrintable(messages.texts[1]);
  EXPECT_TRUE(readFile(app.filesDb()) == before) << "Files.db was written";
}

// A sync of this computer ends with Files.db as if every uploaded row had been marked not
// uploaded and then every catalogue row copied in (uploaded, unfiltered, uploaded when last
// modified, new keys in file-name order), however many transactions the copy takes.
TEST(Catalogue, WriteBackLeavesFilesDbAsResetThenCopied) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::addRows(app.filesDb(), {{"C:\\Both", "a.", "txt", 1}, {"C:\\Gone", "b.", "txt", 2},
                                {"C:\\Local", "c.", "txt", 3, "2011-01-01 00:00:00", false},
                                {"C:\\Both", "d.", "txt", 4, "2011-01-01 00:00:00", false}});
  const QString copy = test::makeCatalogue(app.file("PCFiles.db"), {{"C:\\Both", "a.", "txt", 10, "2012-02-02 02:02:02"},
                                                                   {"C:\\Both", "d.", "txt", 40, "2012-04-04T04:04:04"},
                                                                   {"C:\\Bob's", "e.", "doc", 50, "2012-05-05"},
                                                                   {"C:\\M\u00fcller", "caf\u00e9's.", "t\u00e4t", 60}});
  test::addBulkRows(copy, 25100);  // more than one transaction's worth
  qint64 oldMax = 0;
  {
    store::DBConnection c;
    c.Open(app.filesDb());
    oldMax = c.Query("Select max(FileID) AS n From File").Long("n");
  }
  QStringList captions;
  ASSERT_TRUE(DBWriteBackCatalogue(copy, app.filesDb(), [&](const QString& t) { captions << t; }));

  const auto row = [&](const QString& folder, const QString& name) {
    store::DBConnection c;
    c.Open(app.filesDb());
    auto rs = c.Query("Select * From File WHERE Folder = ? AND FileName = ?", {folder, name});
    if (rs.RowCount() != 1) return QString("<%1 rows>").arg(rs.RowCount());
    return QStringList{rs.Text("Filesize"), rs.Text("DateCreated"), rs.Text("DateLastModified"), rs.Text("DateUploaded"),
                       rs.Text("Uploaded"), rs.Text("Filtered")}
        .join('|');
  };
  EXPECT_EQ(row("C:\\Both", "a."), "10|2009-01-02 03:04:05|2012-02-02 02:02:02|2012-02-02 02:02:02|1|0");
  EXPECT_EQ(row("C:\\Both", "d."), "40|2009-01-02 03:04:05|2012-04-04 04:04:04|2012-04-04 04:04:04|1|0");
  EXPECT_EQ(row("C:\\Bob''s", "e."), "50|2009-01-02 03:04:05|2012-05-05 00:00:00|2012-05-05 00:00:00|1|0");
  EXPECT_EQ(row("C:\\M\u00fcller", "caf\u00e9''s."), "60|2009-01-02 03:04:05|2010-09-27 14:05:09|2010-09-27 14:05:09|1|0");
  EXPECT_EQ(row("C:\\Gone", "b."), "2|2009-01-02 03:04:05|2010-09-27 14:05:09|2011-05-06 07:08:09|0|0");
  EXPECT_EQ(row("C:\\Local", "c."), "3|2009-01-02 03:04:05|2011-01-01 00:00:00|2011-05-06 07:08:09|0|0");
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File"), 25100 + 6);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1"), 25100 + 4);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Uploaded = 1 AND FileID <= ?", {oldMax}), 0);

  // New keys follow the file names; the captions count the copy every hundred files.
  {
    store::DBConnection c;
    c.Open(app.filesDb());
    QStringList byKey, byName;
    for (auto rs = c.Query("Select FileName From File WHERE FileID > ? ORDER BY FileID", {oldMax}); !rs.AtEnd(); rs.MoveNext())
      byKey << rs.Text("FileName");
    for (auto rs = c.Query("Select FileName From File WHERE FileID > ? ORDER BY FileName", {oldMax}); !rs.AtEnd();
         rs.MoveNext())
      byName << rs.Text("FileName");
    EXPECT_EQ(byKey, byName);
  }
  ASSERT_EQ(captions.size(), 1 + 252);  // 25,104 rows: 0 to 25,100
  EXPECT_EQ(captions[0], "Corvane Restoring Directory...");
  EXPECT_EQ(captions[1], "Corvane - Restoring Directory - 0 files...");
  EXPECT_EQ(captions[2], "Corvane - Restoring Directory - 100 files...");
  EXPECT_EQ(captions[3], "Corvane - Restoring Directory - 200 files...");
  EXPECT_EQ(captions.last(), "Corvane - Restoring Directory - 25100 files...");
  EXPECT_TRUE(messages.texts.isEmpty());
}

// The password typed for an encrypted archive reaches it in the ANSI code page the archives
// are made under: "€" and curly quotes are one byte each, as on the computers that made them.
TEST(Unzip, PasswordsAreTheirAnsiBytes) {
  QTemporaryDir dir;
  const QString zip = dir.filePath("locked.zip");
  int err = 0;
  zip_t* z = zip_open(QFile::encodeName(zip).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  ASSERT_NE(z, nullptr);
  const QByteArray content = "catalogue";
  zip_source_t* s = zip_source_buffer(z, content.constData(), zip_uint64_t(content.size()), 0);
  const zip_int64_t index = zip_file_add(z, "FilesE.db", s, ZIP_FL_OVERWRITE);
  ASSERT_GE(index, 0);
  ASSERT_EQ(zip_file_set_encryption(z, zip_uint64_t(index), ZIP_EM_AES_256, "\x80uro \x93q\x94"), 0);
  ASSERT_EQ(zip_close(z), 0);

  CGUnzipFiles u;
  const QString out = dir.filePath("out");
  CGUnzipFiles::setPasswordQuestion([] { return std::optional<QString>(QString::fromUtf8("€uro “q”")); });
  EXPECT_EQ(u.Unzip(zip, out), UnzOk) << CGUnzipFiles::GetLastMessage().toStdString();
  EXPECT_EQ(readFile(out + "/FilesE.db"), content);

  // Another password is still refused.
  CGUnzipFiles::setPasswordQuestion([] { return std::optional<QString>(QString::fromUtf8("euro \"q\"")); });
  EXPECT_EQ(u.Unzip(zip, dir.filePath("out2")), UnzWarning);
  EXPECT_FALSE(QFile::exists(dir.filePath("out2/FilesE.db")));
  CGUnzipFiles::setPasswordQuestion({});
}

// Entries are written as they are read, never beyond what the archive declares, and an archive
// that declares more than the disk has free is refused before anything is written.
TEST(Unzip, DeclaredSizesBoundTheExtraction) {
  QTemporaryDir dir;
  const QString out = dir.filePath("out");
  CGUnzipFiles u;
  u.setExtractDir(out);

  // A stored entry whose data is longer than the size the archive declares.
  writeFile(dir.filePath("longer.zip"), test::storedZipDeclaring("FilesE.db", QByteArray(5000, 'x'), 100));
  writeFile(out + "/FilesE.db", "old");
  EXPECT_EQ(u.Unzip(dir.filePath("longer.zip")), UnzBadArchive);
  EXPECT_TRUE(CGUnzipFiles::GetLastMessage().contains("expands beyond the size the archive declares"));
  EXPECT_EQ(readFile(out + "/FilesE.db"), "old");  // a failed entry replaces nothing

  // Far more than any disk: refused, with a message, nothing written.
  writeFile(dir.filePath("huge.zip"), test::storedZipDeclaring("FilesE.db", "tiny", quint64(1) << 50));
  EXPECT_EQ(u.Unzip(dir.filePath("huge.zip")), UnzNoTarget);
  EXPECT_TRUE(CGUnzipFiles::GetLastMessage().contains("bytes are free in"))
      << CGUnzipFiles::GetLastMessage().toStdString();
  EXPECT_EQ(readFile(out + "/FilesE.db"), "old");

  // The same hand-made archive with the true size extracts.
  writeFile(dir.filePath("right.zip"), test::storedZipDeclaring("FilesE.db", "tiny", 4));
  EXPECT_EQ(u.Unzip(dir.filePath("right.zip")), UnzOk) << CGUnzipFiles::GetLastMessage().toStdString();
  EXPECT_EQ(readFile(out + "/FilesE.db"), "tiny");
}

// An entry that cannot be written whole (here a file-size limit of the process, which fails the
// writes past it as a full disk does) fails the unzip and leaves the old file, never a short one.
TEST(Unzip, AnEntryThatCannotBeWrittenWholeFailsAndReplacesNothing) {
  QTemporaryDir dir;
  const QString out = dir.filePath("out");
  writeFile(dir.filePath("c.zip"), test::zipOf({{"FilesE.db", QByteArray(6000, 'c')}}));
  writeFile(out + "/FilesE.db", "old");
  CGUnzipFiles u;
  u.setExtractDir(out);

  struct rlimit before {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  struct rlimit limited = before;
  limited.rlim_cur = 4096;
  const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const qint32 result = u.Unzip(dir.filePath("c.zip"));
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previousSignal);

  EXPECT_EQ(result, UnzNoTarget);
  EXPECT_TRUE(CGUnzipFiles::GetLastMessage().contains("cannot create " + out + "/FilesE.db (File too large)"))
      << CGUnzipFiles::GetLastMessage().toStdString();
  EXPECT_EQ(readFile(out + "/FilesE.db"), "old");
  EXPECT_EQ(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"FilesE.db"});
}

// What the catalogue chain takes from a hostile archive: names that climb out or start at a
// root are refused (and fail the unzip), a link entry arrives as a plain file holding its target
// text, and of two entries that flatten to one name the later one is kept; nothing lands beside
// the catalogue.
TEST(Unzip, HostileEntriesOfTheCatalogueArchive) {
  QTemporaryDir dir;
  test::RecordingMessages messages;
  const QString app = dir.filePath("app");
  QDir().mkpath(app);
  const auto archive = [&](const QList<QPair<QString, QByteArray>>& entries, const QString& link = {}) {
    const QString path = dir.filePath("a.zip");
    writeFile(path, test::zipOf(entries, link));
    return path;
  };

  EXPECT_EQ(UnzipFile(archive({{"FilesE.db", "/etc/passwd"}}, "FilesE.db"), app), UnzOk);
  const QFileInfo linkEntry(app + "/FilesE.db");
  EXPECT_FALSE(linkEntry.isSymLink());
  EXPECT_EQ(readFile(app + "/FilesE.db"), "/etc/passwd");

  EXPECT_EQ(UnzipFile(archive({{"a/FilesE.db", "first"}, {"b/FilesE.db", "second"}, {"c/other.txt", "x"}}), app), UnzOk);
  EXPECT_EQ(readFile(app + "/FilesE.db"), "second");

  messages.texts.clear();
  EXPECT_NE(UnzipFile(archive({{"../FilesE.db", "up"}, {"/FilesE.db", "root"}, {"C:/FilesE.db", "drive"}}), app), UnzOk);
  EXPECT_EQ(readFile(app + "/FilesE.db"), "second");
  EXPECT_FALSE(QFile::exists(dir.filePath("FilesE.db")));
  ASSERT_EQ(messages.texts.size(), 1);
  EXPECT_TRUE(messages.texts[0].contains("../FilesE.db")) << messages.texts[0].toStdString();
  EXPECT_EQ(QDir(app).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"FilesE.db"});
}

// A staging folder that a killed run left goes at the next unzip; a user's look-alikes and a link
// to a folder elsewhere stay, and nothing is removed through the link.
TEST(Unzip, StagingFoldersOfKilledRunsGoAndNothingElse) {
  QTemporaryDir dir;
  const QString app = dir.filePath("app");
  writeFile(app + "/UnzipFile-a1B2c3/FilesE.db", "left by a killed run");
  writeFile(app + "/UnzipFile-a1B2c3x/keep.txt", "a user's");
  writeFile(dir.filePath("elsewhere/keep.txt"), "behind a link");
  ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), app + "/UnzipFile-Zz9Yy8"));
  writeFile(dir.filePath("a.zip"), test::zipOf({{"FilesE.db", "new"}}));

  EXPECT_EQ(UnzipFile(dir.filePath("a.zip"), app), UnzOk);
  EXPECT_EQ(QDir(app).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            QStringList({"FilesE.db", "UnzipFile-a1B2c3x", "UnzipFile-Zz9Yy8"}));
  EXPECT_EQ(readFile(dir.filePath("elsewhere/keep.txt")), "behind a link");
}

// While the service reads Files.db the write-back cannot commit: it gives up that transaction
// whole, waits, and writes it again, ending as it would have without the wait.
TEST(Catalogue, WriteBackWaitsOutTheServiceAndWritesNothingTwice) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::addRows(app.filesDb(), {{"C:\\Gone", "b.", "txt", 2}});
  const QString copy = test::makeCatalogue(app.file("PCFiles.db"), {{"C:\\New", "a.", "txt", 1}});
  store::DBConnection service;
  service.Open(app.filesDb());
  service.Execute("BEGIN");
  service.Query("Select count(*) AS n From File");  // a read lock, held until the service ends it
  waiter.onSleep = [&](int) {
    if (service.InTransaction()) service.Commit();
  };
  ASSERT_TRUE(DBWriteBackCatalogue(copy, app.filesDb(), {}));
  EXPECT_GE(waiter.sleeps, 1);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Folder = 'C:\\New' AND Uploaded = 1"), 1);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Folder = 'C:\\Gone' AND Uploaded = 0"), 1);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File"), 2);
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('|').toStdString();
}

// The service shares Files.db: between the write-back's transactions it can write (no lock is
// kept), and what it writes meanwhile stays.
TEST(Catalogue, WriteBackLetsTheServiceWriteBetweenItsTransactions) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  const QString copy = test::makeCatalogue(app.file("PCFiles.db"), {});
  test::addBulkRows(copy, 30000);
  int written = 0, refused = 0;
  waiter.onSleep = [&](int) {
    try {
      store::DBConnection service;
      service.Open(app.filesDb(), 0);  // no waiting: a lock still held is refused at once
      service.Execute("BEGIN IMMEDIATE");
      service.Execute("Insert Into File (Folder, FileName, Extension, Filesize, Uploaded) Values (?, ?, 'txt', 1, 1)",
                      {"C:\\Service", QString("s%1.").arg(written)});
      service.Execute("COMMIT");
      ++written;
    } catch (const store::DBError&) {
      ++refused;
    }
  };
  ASSERT_TRUE(DBWriteBackCatalogue(copy, app.filesDb(), {}));
  waiter.onSleep = nullptr;
  EXPECT_GE(written, 1);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Folder = 'C:\\Bulk' AND Uploaded = 1"), 30000);
  // Rows the service wrote meanwhile are newer than the write-back's start: they keep their flag.
  EXPECT_EQ(test::rowCount(app.filesDb(), "Select * From File WHERE Folder = 'C:\\Service' AND Uploaded = 1"), written);
  EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('|').toStdString();
}

TEST(Catalogue, OnlyAFileTableThatStoresItsColumnsIsACatalogue) {
  QTemporaryDir dir;
  EXPECT_TRUE(IsCatalogueDatabase(test::makeCatalogue(dir.filePath("real.db"), {{"C:\\Data", "a.", "txt", 10}})));

  // A downloaded catalogue is the server's to shape. Each of these would make the restore
  // page's first read compute without end or fill the memory.
  const QString rows = "FileID, 'C:\\a' AS Folder, 'n.' AS FileName, 'txt' AS Extension, 1 AS Filesize, "
                       "'2020-01-01 00:00:00' AS DateCreated, '2020-01-01 00:00:00' AS DateLastModified, "
                       "'2020-01-01 00:00:00' AS DateUploaded, 1 AS Uploaded, 0 AS Filtered";
  const QStringList shapes = {
      "CREATE VIEW File AS WITH RECURSIVE c(FileID) AS (SELECT 1 UNION ALL SELECT FileID + 1 FROM c) SELECT " + rows +
          " FROM c",
      "CREATE TABLE File (FileID INTEGER PRIMARY KEY, Folder TEXT GENERATED ALWAYS AS (printf('%.*c', 600000000, 'x')), "
      "FileName TEXT, Extension TEXT, Filesize INTEGER, DateCreated DATE, DateLastModified DATE, DateUploaded DATE, "
      "Uploaded BOOLEAN, Filtered BOOLEAN)",
      "CREATE TABLE Other (x)",
  };
  for (int i = 0; i < shapes.size(); ++i) {
    const QString path = dir.filePath(QString("shape%1.db").arg(i));
    store::DBConnection c;
    c.Create(path);
    c.Execute(shapes[i]);
    c.Close();
    EXPECT_FALSE(IsCatalogueDatabase(path)) << shapes[i].toStdString();
  }
  writeFile(dir.filePath("text.db"), "not a database at all");
  EXPECT_FALSE(IsCatalogueDatabase(dir.filePath("text.db")));
  EXPECT_FALSE(IsCatalogueDatabase(dir.filePath("missing.db")));
}
