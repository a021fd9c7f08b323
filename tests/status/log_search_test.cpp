#include <gtest/gtest.h>

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

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
    for (const LogRow& r : LogSearch(log(), sch()).run(c, kNow).rows) out << r.columns[1];
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

  // With the last upload in force the days box does not count.
  test::writeFile(f.sch(), "<SchedulerInfo Last=\"1/2/2026 9:00:00 AM\"/>");
  c.lastUploadOnly = true;
  EXPECT_EQ(f.names(c), (QStringList{"recent.txt", "dayfirst.txt"}));  // December of the year before is older
}

TEST(LastUploadTime, AttributeThenLastElementThen1975) {
  LogFiles f;
  const QDateTime none(QDate(1975, 1, 1), QTime(0, 0));
  EXPECT_EQ(GetLastUploadTime(f.sch()), none);

  test::writeFile(f.sch(), "<SchedulerInfo Whatever=\"\"><UploadedTime><TimeUploaded>15</TimeUploaded>"
                           "<DateUploaded>3/2/2026</DateUploaded></UploadedTime><UploadedTime><TimeUploaded>12"
                           "</TimeUploaded><DateUploaded>2/1/2026</DateUploaded></UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()), QDateTime(QDate(2026, 2, 1), QTime(12, 0)));  // hour 12 is noon

  test::writeFile(f.sch(), "<SchedulerInfo A=\"\"><UploadedTime><TimeUploaded>24</TimeUploaded>"
                           "<DateUploaded>3/2/2026</DateUploaded></UploadedTime><UploadedTime><TimeUploaded>x"
                           "</TimeUploaded><DateUploaded>3/4/2026</DateUploaded></UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()), QDateTime(QDate(2026, 3, 2), QTime(23, 0)));

  test::writeFile(f.sch(), "<SchedulerInfo A=\"3/5/2026 2:30:15 PM\"><UploadedTime><TimeUploaded>9</TimeUploaded>"
                           "<DateUploaded>3/9/2026</DateUploaded></UploadedTime></SchedulerInfo>");
  EXPECT_EQ(GetLastUploadTime(f.sch()), QDateTime(QDate(2026, 3, 5), QTime(14, 30, 15)));
}

TEST(LogRows, SizesKeysAndTotals) {
  EXPECT_EQ(sizeInKb(100), 1);
  EXPECT_EQ(sizeInKb(0), 0);
  EXPECT_EQ(sizeInKb(1536), 2);
  EXPECT_EQ(sizeInKb(2560), 2);
  EXPECT_EQ(totalSizeText(1023.99 * 1024), "1023.99 KB");
  EXPECT_EQ(totalSizeText(1024 * 1024), "1.00 MB");

  const LogRow row = LogSearch::makeRow({"a.txt", "C:\\A", "TXT", "921600", "12-31-2025 11:05:09 PM", " ", "Y"}, 7);
  EXPECT_EQ(row.key, "C:\\A\\a.txt7");
  EXPECT_EQ(row.columns[4], "900 KB");
  EXPECT_EQ(row.columns[7], "0000000900");
  EXPECT_EQ(row.columns[8], "2025-12-31 23:05:09");
  EXPECT_EQ(row.columns[9], "");  // no upload time: an empty sort key, not a failed search
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
  QTreeWidget* list = page.list();
  auto column = [&](int c) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(c);
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
  EXPECT_EQ(list->topLevelItemCount(), 0);
  EXPECT_TRUE(page.findChild<QPushButton*>("CmdSearch")->isEnabled());

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
  EXPECT_EQ(page.list()->topLevelItemCount(), 3000);
  EXPECT_GT(waiter.eventPumps, 0);
  EXPECT_TRUE(window.captions.first().startsWith("Corvane Searching the upload log..."));

  QMetaObject::invokeMethod(&page, [&] { page.WriteLog(true); }, Qt::QueuedConnection);
  page.WriteLog(false);
  EXPECT_EQ(page.list()->topLevelItemCount(), 0);
  EXPECT_TRUE(page.findChild<QLineEdit*>("TxtDays")->isEnabled());

  page.findChild<QLineEdit*>("TxtDays")->setText("many");  // no number: nothing listed, the page stays usable
  page.WriteLog(false);
  EXPECT_EQ(page.list()->topLevelItemCount(), 0);
  EXPECT_TRUE(page.findChild<QPushButton*>("CmdSearch")->isEnabled());
}
