#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QScopeGuard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTreeView>
#include <cmath>

#include "status/LogListModel.h"
#include "status/LogSearch.h"
#include "status/UploadHours.h"
#include "status/ui/LogPage.h"
#include "status_fixture.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::status;

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0));

struct LogFiles {
  test::TempAppFolder app;
  QString log() const { return successLogPath(platform::appPaths()); }
  QString sch() const { return schInfoPath(platform::appPaths()); }
  QStringList names(const LogCriteria& c) const {
    QStringList out;
    const LogResult result = LogSearch(log(), sch()).run(c, kNow);
    for (int r = 0; r < result.table->rowCount(); ++r) out << result.table->text(r, LogTable::FileName);
    return out;
  }
};

}  // namespace

TEST(LogSearchFilters, TypesNamesAndResults) {
  LogFiles f;
  test::writeFile(f.log(), test::successLog({
      test::fileDetails("report.txt", "C:\\A", "TXT", "10", "3/1/2026 10:00:00 AM"),
      test::fileDetails("letter.doc", "C:\\A", "DOC", "10", "3/1/2026 10:00:00 AM", "N"),
      test::fileDetails("README", "C:\\A", "TXT", "10", "3/1/2026 10:00:00 AM"),
      test::fileDetails("txtnotes.txt", "C:\\A", "TXT", "10", "3/1/2026 10:00:00 AM"),
  }));
  LogCriteria c;
  c.fileTypes = "txt,doc";
  EXPECT_EQ(f.names(c), (QStringList{"report.txt", "letter.doc", "txtnotes.txt"}));  // no "." never passes
  c.fileTypes = "txt, doc";  // the entry keeps its leading space
  EXPECT_EQ(f.names(c), (QStringList{"report.txt", "txtnotes.txt"}));

  c = {};
  c.fileNames = "REP,txt";  // parts of the name before its extension, any letter case
  EXPECT_EQ(f.names(c), (QStringList{"report.txt", "txtnotes.txt"}));
  c.fileNames = " , ";
  EXPECT_TRUE(f.names(c).isEmpty());

  c = {};
  c.action = 1;
  EXPECT_EQ(f.names(c), (QStringList{"report.txt", "README", "txtnotes.txt"}));
  c.action = 2;
  EXPECT_EQ(f.names(c), QStringList{"letter.doc"});
}

TEST(LogSearchFilters, DaysAndLastUploadSkipRecordsWithoutUploadTime) {
  LogFiles f;
  test::writeFile(f.log(), test::successLog({
      test::fileDetails("old.txt", "C:\\A", "TXT", "1", "12/30/2025 11:00:00 PM"),
      test::fileDetails("never.txt", "C:\\A", "TXT", "1", " ", "N"),
      test::fileDetails("recent.txt", "C:\\A", "TXT", "1", "3/9/2026 8:00:00 AM"),
      test::fileDetails("dayfirst.txt", "C:\\A", "TXT", "1", "25/2/2026 9:00:00 AM"),
  }));
  LogCriteria c;
  EXPECT_EQ(f.names(c).size(), 4);  // no cutoff: the record without upload time is listed too
  c.days = "14";
  EXPECT_EQ(f.names(c), (QStringList{"recent.txt", "dayfirst.txt"}));
  c.days = "ten";
  EXPECT_EQ(LogSearch(f.log(), f.sch()).run(c, kNow).outcome, LogResult::Outcome::BadDays);
  c.days = "nan";
  EXPECT_EQ(LogSearch(f.log(), f.sch()).run(c, kNow).outcome, LogResult::Outcome::BadDays);
  // Spans beyond every calendar take in every dated record, or (counted forward) none.
  c.days = "1e300";
  EXPECT_EQ(f.names(c), (QStringList{"old.txt", "recent.txt", "dayfirst.txt"}));
  c.days = "-1e300";
  EXPECT_TRUE(f.names(c).isEmpty());

  // With the last upload in force the days box does not count.
  test::writeFile(f.sch(), "<SchedulerInfo Last=\"1/2/2026 9:00:00 AM\"/>");
  c.lastUploadOnly = true;
  EXPECT_EQ(f.names(c), (QStringList{"recent.txt", "dayfirst.txt"}));  // December of the year before is older
}

TEST(LastUploadTime, AttributeThenLastElementThen1975) {
  LogFiles f;
  EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "1975-01-01 00:00:00");

  test::writeFile(f.sch(), "<SchedulerInfo Whatever=\"\"><UploadedTime><TimeUploaded>15</TimeUploaded>"
                           "<DateUploaded>3/2/2026</DateUploaded></UploadedTime><UploadedTime><TimeUploaded>12"
                           "</TimeUploaded><DateUploaded>2/1/2026</DateUploaded></UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2026-02-01 12:00:00");  // hour 12 is noon

  test::writeFile(f.sch(), "<SchedulerInfo A=\"\"><UploadedTime><TimeUploaded>24</TimeUploaded>"
                           "<DateUploaded>3/2/2026</DateUploaded></UploadedTime><UploadedTime><TimeUploaded>x"
                           "</TimeUploaded><DateUploaded>3/4/2026</DateUploaded></UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2026-03-02 23:00:00");

  // Hours far beyond the scale, or no number at all, are skipped like any other that is not an hour.
  test::writeFile(f.sch(), "<SchedulerInfo A=\"\"><UploadedTime><TimeUploaded>7</TimeUploaded>"
                           "<DateUploaded>3/2/2026</DateUploaded></UploadedTime><UploadedTime><TimeUploaded>1e300"
                           "</TimeUploaded><DateUploaded>3/4/2026</DateUploaded></UploadedTime><UploadedTime>"
                           "<TimeUploaded>-1e300</TimeUploaded><DateUploaded>3/5/2026</DateUploaded></UploadedTime>"
                           "<UploadedTime><TimeUploaded>nan</TimeUploaded><DateUploaded>3/6/2026</DateUploaded>"
                           "</UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2026-03-02 07:00:00");

  test::writeFile(f.sch(), "<SchedulerInfo A=\"3/5/2026 2:30:15 PM\"><UploadedTime><TimeUploaded>9</TimeUploaded>"
                           "<DateUploaded>3/9/2026</DateUploaded></UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2026-03-05 14:30:15");
}

// The service writes its clock's time as it reads: an upload logged in the hour that summer
// time skips in the computer's zone, or on a day whose midnight is skipped, is that time, not
// no time at all (which made "Show Last Upload" show the whole log).
TEST(LastUploadTime, HoursThatSummerTimeSkips) {
  LogFiles f;
  const QByteArray zone = qgetenv("TZ");
  const auto restore = qScopeGuard([&] {
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    tzset();
  });
  for (const char* tz : {"Europe/London", "America/Sao_Paulo"}) {
    qputenv("TZ", tz);
    tzset();
    // London skips 1:00 to 2:00 on 29 March 2026; Sao Paulo skipped midnight on 4 November 2018.
    test::writeFile(f.sch(), "<SchedulerInfo A=\"\"><UploadedTime><TimeUploaded>1</TimeUploaded>"
                             "<DateUploaded>3/29/2026</DateUploaded></UploadedTime></SchedulerInfo>");
    EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2026-03-29 01:00:00") << tz;
    test::writeFile(f.sch(), "<SchedulerInfo A=\"11/4/2018\"/>");
    EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2018-11-04 00:00:00") << tz;
    test::writeFile(f.sch(), "<SchedulerInfo A=\"3/29/2026 1:30:00 AM\"/>");
    EXPECT_EQ(GetLastUploadTime(f.sch()).text(), "2026-03-29 01:30:00") << tz;

    test::writeFile(f.log(), test::successLog({
        test::fileDetails("before.txt", "C:\\A", "TXT", "1", "3/29/2026 1:29:59 AM"),
        test::fileDetails("after.txt", "C:\\A", "TXT", "1", "3/29/2026 1:45:00 AM"),
    }));
    LogCriteria c;
    c.lastUploadOnly = true;
    EXPECT_EQ(f.names(c), QStringList{"after.txt"}) << tz;
  }
}

TEST(LogRows, SizesKeysAndTotals) {
  EXPECT_EQ(sizeInKb(100), 1);
  EXPECT_EQ(sizeInKb(0), 0);
  EXPECT_EQ(sizeInKb(1536), 2);
  EXPECT_EQ(sizeInKb(2560), 2);
  EXPECT_EQ(sizeInKb(1e300), std::numeric_limits<qint64>::max());  // no overflow
  EXPECT_EQ(sizeInKb(std::nan("")), 0);
  double bytes = 0;
  EXPECT_TRUE(readFileSize(" 4096 ", &bytes));
  EXPECT_EQ(bytes, 4096);
  EXPECT_TRUE(readFileSize("1.5e3", &bytes));
  EXPECT_EQ(bytes, 1500);
  for (const char* notASize : {"inf", "nan", "", "12 KB", "abc"}) EXPECT_FALSE(readFileSize(notASize, &bytes)) << notASize;
  EXPECT_EQ(totalSizeText(1023.99 * 1024), "1023.99 KB");
  EXPECT_EQ(totalSizeText(1024 * 1024), "1.00 MB");

  LogTable table;
  table.add({"a.txt", "C:\\A", "TXT", "921600", "12-31-2025 11:05:09 PM", " "}, 7);
  const LogRow row = table.row(0);
  EXPECT_EQ(row.key, "C:\\A\\a.txt7");
  EXPECT_EQ(row.columns[4], "900 KB");
  EXPECT_EQ(row.columns[7], "0000000900");
  EXPECT_EQ(row.columns[8], "2025-12-31 23:05:09");
  EXPECT_EQ(row.columns[9], "");  // no upload time: an empty sort key, not a failed search
}

// The text sorts against the plain way of sorting: a stable sort comparing the texts shown
// without regard to letter case. Tables whose texts mostly repeat and tables of mostly distinct
// texts are ranked by different means; both must give the plain order, from any order before.
TEST(LogRows, TextSortsMatchACaseInsensitiveStableSort) {
  std::mt19937 rng(11);
  const std::vector<std::string> pieces = {"a", "A", "b", "report", "Report_", "c:\\users\\user1\\", "x y", "x-y",
                                           "stra\xC3\x9F" "e", "STRASSE", "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89",
                                           "\xF0\x9F\x98\x80", "\xEF\xBC\xA1", "\xFF", "9", "10", "0123456789abcdef"};
  const auto randomText = [&](int parts) {
    std::string t;
    for (int i = int(rng() % unsigned(parts + 1)); i > 0; --i) t += pieces[rng() % pieces.size()];
    return t;
  };
  for (const int parts : {1, 6}) {  // few distinct texts, then mostly distinct ones
    LogTable table;
    std::vector<std::string> names, folders, sizes;
    for (int r = 0; r < 3000; ++r) {
      names.push_back(randomText(parts));
      folders.push_back(randomText(parts));
      sizes.push_back(std::to_string(rng() % 3 ? rng() % 5000 : 10240000000000ull + rng() % 99));
    }
    for (int r = 0; r < 3000; ++r)
      table.add({names[size_t(r)], folders[size_t(r)], names[size_t(r)], sizes[size_t(r)], "", ""}, r);
    std::vector<int> order(3000);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    for (const int column : {LogTable::FileName, LogTable::FilePath, LogTable::FileType, LogTable::FileSizeHide}) {
      for (const bool descending : {false, true, false}) {
        std::vector<int> expected = order;
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
          const int c = table.text(a, column).compare(table.text(b, column), Qt::CaseInsensitive);
          return descending ? c > 0 : c < 0;
        });
        table.sort(order, column, descending);
        ASSERT_EQ(order, expected) << "column " << column << (descending ? " descending" : " ascending")
                                   << " with texts of up to " << parts << " pieces";
      }
    }
  }
}

TEST(LogPageWidget, SearchSortsNewestFirstAndTheTabResetEmptiesTheList) {
  LogFiles f;
  test::writeFile(f.log(), test::successLog({
      test::fileDetails("mid.txt", "C:\\A", "TXT", "1024", "3/2/2026 10:00:00 AM"),
      test::fileDetails("new.txt", "C:\\A", "TXT", "1024000", "3/3/2026 10:00:00 AM"),
      test::fileDetails("old.txt", "C:\\A", "TXT", "102400", "3/1/2026 10:00:00 AM"),
  }));
  test::FakeMainWindow window;
  LogPage page(window);
  QTreeView* list = page.list();
  auto column = [&](int c) {
    QStringList out;
    for (int i = 0; i < list->model()->rowCount(); ++i) out << list->model()->index(i, c).data().toString();
    return out;
  };
  page.findChild<QPushButton*>("CmdSearch")->click();
  EXPECT_EQ(column(1), (QStringList{"new.txt", "mid.txt", "old.txt"}));
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFiles")->text(), "3");
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFileSize")->text(), "1.08 MB");
  EXPECT_EQ(list->header()->sortIndicatorSection(), 6);

  page.Select_Item_ColumnClick(5);  // "File Size", by the padded hidden key
  EXPECT_EQ(column(1), (QStringList{"mid.txt", "old.txt", "new.txt"}));
  page.Select_Item_ColumnClick(5);
  EXPECT_EQ(column(1), (QStringList{"new.txt", "old.txt", "mid.txt"}));
  EXPECT_EQ(list->header()->sortIndicatorSection(), 4);

  page.Select_Item_ColumnClick(7);  // sorted by upload time ascending: a new search keeps that order
  page.WriteLog(false);
  EXPECT_EQ(column(1), (QStringList{"old.txt", "mid.txt", "new.txt"}));

  page.WriteLog(true);
  EXPECT_EQ(list->model()->rowCount(), 0);
  EXPECT_TRUE(page.findChild<QPushButton*>("CmdSearch")->isEnabled());
  // The totals tell what is listed: nothing, not the three rows of the search before.
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFiles")->text(), "0");
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFileSize")->text(), "0.00 KB");

  page.findChild<QCheckBox*>("Check1")->setChecked(true);
  EXPECT_TRUE(page.findChild<QLineEdit*>("TxtDays")->text().isEmpty());
}

TEST(LogPageWidget, ABigSearchShowsProgressAndEndsWhenTheTabIsSelectedAgain) {
  LogFiles f;
  QList<QByteArray> records;
  for (int i = 0; i < 3000; ++i) records << test::fileDetails(QString("f%1.txt").arg(i), "C:\\A", "TXT", "1", "3/1/2026");
  test::writeFile(f.log(), test::successLog(records));
  test::FakeWaiter waiter;
  test::FakeMainWindow window;
  LogPage page(window);

  page.WriteLog(false);
  EXPECT_EQ(page.list()->model()->rowCount(), 3000);
  EXPECT_GT(waiter.eventPumps, 0);
  EXPECT_TRUE(window.captions.first().startsWith("Corvane Searching the upload log..."));

  QMetaObject::invokeMethod(&page, [&] { page.WriteLog(true); }, Qt::QueuedConnection);
  page.WriteLog(false);
  EXPECT_EQ(page.list()->model()->rowCount(), 0);
  EXPECT_TRUE(page.findChild<QLineEdit*>("TxtDays")->isEnabled());

  // Few records in many bytes (one text of megabytes): the window gets its events all the same.
  test::writeFile(f.log(), test::successLog({test::fileDetails("a.txt", "C:\\A", QString(6 << 20, 'T'), "1", "3/1/2026"),
                                             test::fileDetails("b.txt", "C:\\A", "TXT", "1", "3/1/2026")}));
  waiter.eventPumps = 0;
  page.WriteLog(false);
  EXPECT_EQ(page.list()->model()->rowCount(), 2);
  EXPECT_GT(waiter.eventPumps, 3);

  // A log the service rewrites, longer, while it is read: the progress keeps counting toward the
  // file's size as it is now, so the window keeps getting its events to the end.
  QList<QByteArray> more = records;
  for (int i = 0; i < 9000; ++i) more << test::fileDetails(QString("g%1.txt").arg(i), "C:\\A", "TXT", "1", "3/1/2026");
  const QByteArray before = test::successLog(records + records + records);
  test::writeFile(f.log(), before);
  int answeredPastFirstSize = 0;
  bool grown = false;
  const LogResult grownResult = LogSearch(f.log(), f.sch()).run(LogCriteria(), kNow, [&](qint64 done, qint64 total) {
    if (!grown) test::writeFile(f.log(), test::successLog(records + records + records + more));
    grown = true;
    if (done > before.size() && done < total) ++answeredPastFirstSize;
    return true;
  });
  EXPECT_EQ(grownResult.table->rowCount(), 21000);
  EXPECT_GT(answeredPastFirstSize, 3);

  // Found cut short while the service writes it, then whole: each record is listed once.
  const QByteArray whole = test::successLog(records);
  test::writeFile(f.log(), whole.left(whole.size() - 100));
  waiter.onSleep = [&](int) { test::writeFile(f.log(), whole); };
  page.WriteLog(false);
  waiter.onSleep = nullptr;
  EXPECT_EQ(page.list()->model()->rowCount(), 3000);
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFiles")->text(), "3000");

  page.findChild<QLineEdit*>("TxtDays")->setText("many");  // no number: nothing listed, the page stays usable
  page.WriteLog(false);
  EXPECT_EQ(page.list()->model()->rowCount(), 0);
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFiles")->text(), "0");  // not the 3000 of the search before
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFileSize")->text(), "0.00 KB");
  EXPECT_TRUE(page.findChild<QPushButton*>("CmdSearch")->isEnabled());
}

// A small log whose rows and orders were taken from the list as it was built before it held its
// rows in a model: every column text, every key, the totals and the order after each sort.
TEST(LogPageWidget, RowsAndOrdersStayAsTheyWere) {
  LogFiles f;
  test::writeFile(f.log(), test::successLog({
      test::fileDetails("Report.txt", "C:\\Docs", "Text Document", "100", "3/2/2026 9:15:00 AM", "Y", "2/28/2026 11:00:00 PM"),
      test::fileDetails("b&amp;q.doc", "C:\\Docs", "Microsoft Word Document", "1536", "3/2/2026 9:15:00 AM", "Y", "12-31-2025 11:05:09 PM"),
      test::fileDetails("empty.log", "D:\\Logs", "text document", "0", " ", "N", "1/2/2026 10:00:00 AM"),
      test::fileDetails("caf\u00e9.jpg", "C:\\Fotos", "JPEG Image", "2560", "25/2/2026 8:00:00 PM", "Y", "2026-02-01 08:30:00"),
      test::fileDetails("Report.txt", "C:\\Docs", "Text Document", "921600", "3/3/2026 1:00:00 PM", "Y", "3/1/2026"),
      test::fileDetails("stra\u00dfe.pdf", "C:\\Docs\\Stra\u00dfe", "PDF", "1024000", "3-4-2026 07:05", "Y", "not a date"),
      test::fileDetails("zeta.TXT", "c:\\docs", "TEXT DOCUMENT", "abc", "3/1/2026 12:00:00 AM", "N", "3/1/2026 12:00:00 PM"),
      test::fileDetails("alpha", "C:\\", "File", "10737418240000", "3/3/2026 1:00:00 PM", "Y", "3/3/2026 1:00:00 PM"),
      test::fileDetails("mid.bin", "E:\\Bin", "BIN File", " 4096 ", "2/29/2024 11:59:59 PM", "Y", "2/29/2024"),
  }));
  test::FakeMainWindow window;
  LogPage page(window);
  page.WriteLog(false);
  QAbstractItemModel* model = page.list()->model();
  const QList<QPair<QString, QStringList>> rows = {
      {"C:\\Docs\\Straße\\straße.pdf5", {"", "straße.pdf", "C:\\Docs\\Straße", "PDF", "1000 KB", "not a date", "3-4-2026 07:05", "0000001000", "", "2026-03-04 07:05:00"}},
      {"C:\\Docs\\Report.txt4", {"", "Report.txt", "C:\\Docs", "Text Document", "900 KB", "3/1/2026", "3/3/2026 1:00:00 PM", "0000000900", "2026-03-01 00:00:00", "2026-03-03 13:00:00"}},
      {"C:\\\\alpha7", {"", "alpha", "C:\\", "File", "10485760000 KB", "3/3/2026 1:00:00 PM", "3/3/2026 1:00:00 PM", "10485760000", "2026-03-03 13:00:00", "2026-03-03 13:00:00"}},
      {"C:\\Docs\\Report.txt0", {"", "Report.txt", "C:\\Docs", "Text Document", "1 KB", "2/28/2026 11:00:00 PM", "3/2/2026 9:15:00 AM", "0000000001", "2026-02-28 23:00:00", "2026-03-02 09:15:00"}},
      {"C:\\Docs\\b&q.doc1", {"", "b&q.doc", "C:\\Docs", "Microsoft Word Document", "2 KB", "12-31-2025 11:05:09 PM", "3/2/2026 9:15:00 AM", "0000000002", "2025-12-31 23:05:09", "2026-03-02 09:15:00"}},
      {"c:\\docs\\zeta.TXT6", {"", "zeta.TXT", "c:\\docs", "TEXT DOCUMENT", "0 KB", "3/1/2026 12:00:00 PM", "3/1/2026 12:00:00 AM", "0000000000", "2026-03-01 12:00:00", "2026-03-01 00:00:00"}},
      {"C:\\Fotos\\café.jpg3", {"", "café.jpg", "C:\\Fotos", "JPEG Image", "2 KB", "2026-02-01 08:30:00", "25/2/2026 8:00:00 PM", "0000000002", "2026-02-01 08:30:00", "2026-02-25 20:00:00"}},
      {"E:\\Bin\\mid.bin8", {"", "mid.bin", "E:\\Bin", "BIN File", "4 KB", "2/29/2024", "2/29/2024 11:59:59 PM", "0000000004", "2024-02-29 00:00:00", "2024-02-29 23:59:59"}},
      {"D:\\Logs\\empty.log2", {"", "empty.log", "D:\\Logs", "text document", "0 KB", "1/2/2026 10:00:00 AM", "", "0000000000", "2026-01-02 10:00:00", ""}},
  };
  ASSERT_EQ(model->rowCount(), rows.size());
  for (int r = 0; r < rows.size(); ++r) {
    EXPECT_EQ(model->index(r, 0).data(LogListModel::KeyRole).toString(), rows[r].first);
    for (int c = 0; c < 10; ++c) EXPECT_EQ(model->index(r, c).data().toString(), rows[r].second[c]) << r << "," << c;
  }
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFiles")->text(), "9");
  EXPECT_EQ(page.findChild<QLabel*>("LblTotFileSize")->text(), "10240001.86 MB");

  auto keys = [&] {
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r) out << model->index(r, 0).data(LogListModel::KeyRole).toString();
    return out;
  };
  // Each sort starts from the order the one before left: equal texts keep it.
  page.Select_Item_ColumnClick(2);
  EXPECT_EQ(keys(), (QStringList{"C:\\\\alpha7", "C:\\Docs\\b&q.doc1", "C:\\Fotos\\café.jpg3", "D:\\Logs\\empty.log2", "E:\\Bin\\mid.bin8", "C:\\Docs\\Report.txt4", "C:\\Docs\\Report.txt0", "C:\\Docs\\Straße\\straße.pdf5", "c:\\docs\\zeta.TXT6"})) << "name asc";
  page.Select_Item_ColumnClick(2);
  EXPECT_EQ(keys(), (QStringList{"c:\\docs\\zeta.TXT6", "C:\\Docs\\Straße\\straße.pdf5", "C:\\Docs\\Report.txt4", "C:\\Docs\\Report.txt0", "E:\\Bin\\mid.bin8", "D:\\Logs\\empty.log2", "C:\\Fotos\\café.jpg3", "C:\\Docs\\b&q.doc1", "C:\\\\alpha7"})) << "name desc";
  page.Select_Item_ColumnClick(5);
  EXPECT_EQ(keys(), (QStringList{"c:\\docs\\zeta.TXT6", "D:\\Logs\\empty.log2", "C:\\Docs\\Report.txt0", "C:\\Fotos\\café.jpg3", "C:\\Docs\\b&q.doc1", "E:\\Bin\\mid.bin8", "C:\\Docs\\Report.txt4", "C:\\Docs\\Straße\\straße.pdf5", "C:\\\\alpha7"})) << "size asc";
  page.Select_Item_ColumnClick(6);
  EXPECT_EQ(keys(), (QStringList{"C:\\Docs\\Straße\\straße.pdf5", "E:\\Bin\\mid.bin8", "C:\\Docs\\b&q.doc1", "D:\\Logs\\empty.log2", "C:\\Fotos\\café.jpg3", "C:\\Docs\\Report.txt0", "C:\\Docs\\Report.txt4", "c:\\docs\\zeta.TXT6", "C:\\\\alpha7"})) << "mod asc";
  page.Select_Item_ColumnClick(4);
  EXPECT_EQ(keys(), (QStringList{"E:\\Bin\\mid.bin8", "C:\\\\alpha7", "C:\\Fotos\\café.jpg3", "C:\\Docs\\b&q.doc1", "C:\\Docs\\Straße\\straße.pdf5", "D:\\Logs\\empty.log2", "C:\\Docs\\Report.txt0", "C:\\Docs\\Report.txt4", "c:\\docs\\zeta.TXT6"})) << "type asc";
  page.Select_Item_ColumnClick(3);
  page.Select_Item_ColumnClick(3);
  EXPECT_EQ(keys(), (QStringList{"E:\\Bin\\mid.bin8", "D:\\Logs\\empty.log2", "C:\\Fotos\\café.jpg3", "C:\\Docs\\Straße\\straße.pdf5", "C:\\Docs\\b&q.doc1", "C:\\Docs\\Report.txt0", "C:\\Docs\\Report.txt4", "c:\\docs\\zeta.TXT6", "C:\\\\alpha7"})) << "path desc";
}

TEST(LogPageWidget, TabOrderFollowsTheRowsAndHeadersAndDatesShowWhole) {
  LogFiles f;
  test::writeFile(f.log(), test::successLog({test::fileDetails("a.txt", "C:\\A", "TXT", "1", "12/28/2026 10:04:10 PM", "Y",
                                                               "12/30/2024 11:58:59 AM")}));
  test::FakeMainWindow window;
  LogPage page(window);
  page.resize(1000, 680);
  QStringList chain;
  for (QWidget* w = page.nextInFocusChain(); w != &page; w = w->nextInFocusChain())
    if ((w->focusPolicy() & Qt::TabFocus) && page.isAncestorOf(w)) chain << w->objectName();
  chain.removeAll(QString());  // the list's own inner parts
  EXPECT_EQ(chain, (QStringList{"Check1", "TxtDays", "TxtFileExtension", "TxtFileName", "OptAction", "OptAction",
                                "OptAction", "CmdSearch", "Select_Item"}));

  QHeaderView* header = page.list()->header();
  const QFontMetrics metrics(header->font());
  for (int c = 1; c <= 6; ++c) {
    const QString caption = page.model()->headerData(c, Qt::Horizontal).toString();
    const int arrow = header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header);
    EXPECT_GE(header->sectionSize(c), metrics.horizontalAdvance(caption) + arrow) << caption.toStdString();
  }

  // The dates the service writes are not cut at the page's load size.
  page.show();
  page.WriteLog(false);
  const QAbstractItemView* view = page.list();
  for (const int c : {5, 6}) EXPECT_GE(page.list()->columnWidth(c), view->sizeHintForColumn(c)) << c;
}
