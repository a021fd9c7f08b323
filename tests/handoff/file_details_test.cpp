#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <stdexcept>

#include "handoff/FileDetails.h"
#include "handoff/ServiceDates.h"

using namespace corvane::handoff;

namespace {

QStringList names(const ColsFiles& files) {
  QStringList out;
  for (const ClsFileAttributes& r : files) out << r.FileName;
  return out;
}

ClsFileAttributes& addSized(ColsFiles& files, short sortOn, const char* name, double size) {
  return files.Add(sortOn, name, "", "Y", 1, "Text", size, "1/1/2026", "C:\\A");
}

ClsFileAttributes& addDated(ColsFiles& files, short sortOn, const char* name, const char* modified, const char* uploaded) {
  return files.Add(sortOn, name, uploaded, "Y", 1, "Text", 1, modified, "C:\\A");
}

}  // namespace

TEST(ColsFilesOrder, SizesTiesGoBeforeEarlierEqualsAndOtherSortsKeepAddingOrder) {
  ColsFiles bySize;
  addSized(bySize, 4, "first5", 5);
  addSized(bySize, 4, "three", 3);
  addSized(bySize, 4, "second5", 5);
  EXPECT_EQ(names(bySize), (QStringList{"three", "second5", "first5"}));

  ColsFiles unsorted;
  addSized(unsorted, 0, "b", 9);
  addSized(unsorted, 0, "a", 1);
  addSized(unsorted, 7, "c", 0);
  EXPECT_EQ(names(unsorted), (QStringList{"b", "a", "c"}));
}

TEST(ColsFilesOrder, DatesAreReadMonthFirst) {
  ColsFiles byModified;
  addDated(byModified, 5, "dec1", "12/1/2026 9:00:00 AM", "");
  addDated(byModified, 5, "feb3", "2/3/2026 11:00:00 PM", "");   // 3 February: before 1 December
  addDated(byModified, 5, "mar2", "03/02/2026 08:00:00", "");    // 2 March
  EXPECT_EQ(names(byModified), (QStringList{"feb3", "mar2", "dec1"}));

  ColsFiles byUpload;
  addDated(byUpload, 6, "pm", "", "1/5/2026 1:00:00 PM");
  addDated(byUpload, 6, "am", "", "1/5/2026 1:00:00 AM");
  addDated(byUpload, 6, "never", "", " ");  // no upload orders first
  EXPECT_EQ(names(byUpload), (QStringList{"never", "am", "pm"}));

  EXPECT_EQ(parseServiceDate("12/8/2026 10:45:12 PM"), QDateTime(QDate(2026, 12, 8), QTime(22, 45, 12)));
  EXPECT_EQ(parseServiceDate("2/3/2026"), QDateTime(QDate(2026, 2, 3), QTime(0, 0)));
  EXPECT_FALSE(parseServiceDate("13/25/2026").isValid());
}

TEST(ColsFilesAccess, ItemsKeysAndRemoval) {
  ColsFiles files;
  files.Add(0, "a", "", "Y", 1, "", 1, "", "", "7");
  files.Add(0, "b", "", "Y", 1, "", 1, "", "", "0");    // zero: no key
  files.Add(0, "c", "", "Y", 1, "", 1, "", "", "abc");  // not a number: no key
  EXPECT_EQ(files.Count(), 3);
  ASSERT_NE(files.Item(1), nullptr);
  EXPECT_EQ(files.Item(1)->FileName, "a");
  EXPECT_EQ(files.Item(3)->FileName, "c");
  EXPECT_EQ(files.Item(0), nullptr);
  EXPECT_EQ(files.Item(4), nullptr);
  ASSERT_NE(files.Item(QString("7")), nullptr);
  EXPECT_EQ(files.Item(QString("7"))->FileName, "a");
  EXPECT_EQ(files.Item(QString("0")), nullptr);
  EXPECT_THROW(files.Add(0, "dup", "", "Y", 1, "", 1, "", "", "7"), std::invalid_argument);
  EXPECT_EQ(files.Count(), 3);
  EXPECT_TRUE(files.Remove(QString("7")));
  EXPECT_FALSE(files.Remove(QString("7")));
  EXPECT_TRUE(files.Remove(2));
  EXPECT_FALSE(files.Remove(5));
  EXPECT_EQ(names(files), (QStringList{"b"}));
}

TEST(FileNode, ChildrenInOrderNumbersPlainAndBlankUploadTime) {
  ClsFileAttributes r;
  r.FileName = "report.doc";
  r.FileFolder = "C:\\Docs";
  r.FileModifiedDate = "1/2/2026 3:04:05 PM";
  r.FileSize = 1e20;
  r.FileType = "Word Document";
  r.IsUpSuccess = "N";
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("FileCollection");
  const pugi::xml_node e = r.ReturnFileNode(root);

  EXPECT_STREQ(e.name(), "FileDetails");
  EXPECT_EQ(e.parent(), root);
  QStringList children;
  for (pugi::xml_node c : e.children()) children << c.name();
  EXPECT_EQ(children, (QStringList{"FileName", "FileFolderName", "FileModifiedDate", "FileSize", "FileType",
                                   "FilePriority", "UpSuccess", "UpDTime"}));
  EXPECT_STREQ(e.child_value("FileSize"), "100000000000000000000");
  EXPECT_STREQ(e.child_value("FilePriority"), "1");
  EXPECT_STREQ(e.child_value("UpDTime"), " ");
  EXPECT_STREQ(e.child_value("FileFolderName"), "C:\\Docs");

  r.LastUpDateTime = "1/3/2026 9:00:00 AM";
  r.FileSize = 123456789012.0;
  r.FilePriority = 0.25;
  const pugi::xml_node again = r.ReturnFileNode(root);
  EXPECT_STREQ(again.child_value("UpDTime"), "1/3/2026 9:00:00 AM");
  EXPECT_STREQ(again.child_value("FileSize"), "123456789012");
  EXPECT_STREQ(again.child_value("FilePriority"), "0.25");

  EXPECT_EQ(decimalText(0.0000001), "0.0000001");
  EXPECT_EQ(decimalText(-0.0), "0");
  EXPECT_EQ(decimalText(1536), "1536");
}

// The forms of the service's dates, with what is made of them.
TEST(ServiceDateForms, MonthFirstTwelveHourAndTheStoredForm) {
  struct Case {
    const char* text;
    const char* log;      // read as the upload log is read ("" = no date)
    const char* service;  // read as other service files are read
  };
  const Case cases[] = {
      {"3/1/2026", "2026-03-01 00:00:00", "2026-03-01 00:00:00"},
      {"03/01/2026 01:00:00 PM", "2026-03-01 13:00:00", "2026-03-01 13:00:00"},
      {" 3/1/2026   1:05:07  pm ", "2026-03-01 13:05:07", "2026-03-01 13:05:07"},
      {"3/1/2026 12:00:00 AM", "2026-03-01 00:00:00", "2026-03-01 00:00:00"},
      {"3/1/2026 0:00 AM", "2026-03-01 00:00:00", "2026-03-01 00:00:00"},
      {"3/1/2026 12:30 PM", "2026-03-01 12:30:00", "2026-03-01 12:30:00"},
      {"3/1/2026 13:05", "2026-03-01 13:05:00", "2026-03-01 13:05:00"},
      {"3-1-2026 13:05", "2026-03-01 13:05:00", ""},  // "-" with minutes only: the log alone
      {"3-1-2026 1:05:07 PM", "2026-03-01 13:05:07", "2026-03-01 13:05:07"},
      {"25/2/2026 9:00:00 AM", "2026-02-25 09:00:00", ""},  // day first when the first number is no month
      {"31-12-2025 11:05:09 PM", "2025-12-31 23:05:09", ""},
      {"2026-03-01 13:05:07", "2026-03-01 13:05:07", "2026-03-01 13:05:07"},
      {"2026-03-01T13:05:07", "2026-03-01 13:05:07", "2026-03-01 13:05:07"},
      {"2/29/2024", "2024-02-29 00:00:00", "2024-02-29 00:00:00"},
      {"3/1/0099", "0099-03-01 00:00:00", "0099-03-01 00:00:00"},
      {"3/1/2026\xC2\xA0" "1:00 PM", "2026-03-01 13:00:00", "2026-03-01 13:00:00"},  // a no-break space
      // One-digit minutes and seconds, and a marker written without its space, as a clock set
      // to such a time form writes them.
      {"3/1/2026 1:5:9 PM", "2026-03-01 13:05:09", "2026-03-01 13:05:09"},
      {"3/1/2026 1:05:07PM", "2026-03-01 13:05:07", "2026-03-01 13:05:07"},
      {"3-1-2026 1:5:07am", "2026-03-01 01:05:07", "2026-03-01 01:05:07"},
      {"3/1/2026 22:5", "2026-03-01 22:05:00", "2026-03-01 22:05:00"},
      // No dates: two-digit years, bad days and hours, missing markers, the stored form cut short.
      {"3/1/26", "", ""}, {"2/30/2026", "", ""}, {"13/13/2026", "", ""}, {"3/1/0000", "", ""},
      {"3/1/2026 13:00:00 PM", "", ""}, {"3/1/2026 24:00:00", "", ""}, {"3/1/2026 1:60 PM", "", ""},
      {"3/1/2026 1:05:7:1 PM", "", ""}, {"3/1/2026 1 PM", "", ""}, {"2026-03-01 13:05", "", ""},
      {"2026-03-01 13:5:07", "", ""},
      {"2026-3-1", "", ""}, {"3/1-2026", "", ""}, {" ", "", ""}, {"", "", ""}, {"3/1/-2026", "", ""},
  };
  for (const Case& c : cases) {
    const auto log = readServiceDate(std::string_view(c.text), DateForms::Log);
    const auto service = readServiceDate(std::string_view(c.text), DateForms::Service);
    EXPECT_EQ(log ? log->text() : QString(), QString(c.log)) << c.text;
    EXPECT_EQ(service ? service->text() : QString(), QString(c.service)) << c.text;
    // Both ways in give the same reading.
    const auto viaQString = readServiceDate(QString::fromUtf8(c.text), DateForms::Log);
    EXPECT_EQ(viaQString.has_value(), log.has_value()) << c.text;
  }
  // Packed numbers order as the stored text does; wall-clock seconds count across months.
  const auto a = *readServiceDate(std::string_view("12/31/2025 11:59:59 PM"), DateForms::Log);
  const auto b = *readServiceDate(std::string_view("1/1/2026"), DateForms::Log);
  EXPECT_LT(a.packed(), b.packed());
  EXPECT_EQ(b.wallSeconds() - a.wallSeconds(), 1);
  EXPECT_EQ(ServiceDateTime::fromWallSeconds(a.wallSeconds()).text(), a.text());
}
