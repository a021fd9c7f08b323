#include <gtest/gtest.h>

#include "imaging/SetupPage.h"

using namespace corvane::imaging;

namespace {

SummaryValues scheduled() {
  SummaryValues v;
  v.presetName = "Mine";
  v.scheduled = true;
  v.hours = "2";
  v.minutes = "00";
  v.ampm = "AM";
  v.selectedDrives = {"C:\\", "D:\\", "E:\\"};
  v.destDrive = "E:";
  v.dest = "E:\\images";
  v.perDay = "2";
  v.diffHours = "6";
  v.diffMinutes = "0";
  v.diffAmpm = "AM";
  v.lastDiffLabel = "Last backup at 10:00PM ";
  v.remote = "r.example";
  v.nextFullLabel = "2:00:00 AM";
  v.nextDiffLabel = "6:00:00 AM";
  return v;
}

QString fullLine(const QString& summary) { return summary.section('\r', 2, 2); }

}  // namespace

TEST(Summary, ANotScheduledPresetGivesItsNameAndTheTwoLinesOnly) {
  SummaryValues v = scheduled();
  v.scheduled = false;
  EXPECT_EQ(computeSummary(v), "PRESET NAME: Mine\r\rTHIS PRESET IS NOT SCHEDULED.\r"
                               "TO SCHEDULE, SWITCH TO DETAIL VIEW AND PRESS SCHEDULE BUTTON.\r");
}

TEST(Summary, DailyListsEveryTickedDayWeeklyOnlyTheFirst) {
  SummaryValues v = scheduled();
  v.daily = true;
  v.days = {true, false, true, false, false, false, true};
  const QString daily = computeSummary(v);
  EXPECT_EQ(fullLine(daily), "FULL IMAGE BACKUP: Daily - from C ,D ,E  drives at 2:00 AM on Sunday, Tuesday, Saturday,  "
                             "to E: \\images");
  EXPECT_TRUE(daily.endsWith("NEXT DIFFERENTIAL BACKUP:\r\r6:00:00 AM"));
  EXPECT_TRUE(daily.contains("\rDIFFERENTIAL IMAGE BACKUP: 2 times a day, starting at 6:0 AM - Last backup at 10:00PM \r\r"));

  v.daily = false;
  v.weekly = true;
  EXPECT_TRUE(fullLine(computeSummary(v)).contains(" on  every Sunday,  to E: "));
  v.days = {false, false, false, true, true, false, false};
  EXPECT_TRUE(fullLine(computeSummary(v)).contains(" on Wednesday,  to E: "));
}

TEST(Summary, AShortDestinationShowsTheDriveAlone) {
  SummaryValues v = scheduled();
  v.monthly = true;
  v.startDay = "1st";
  v.dest = "E:";
  v.selectedDrives.clear();
  EXPECT_EQ(fullLine(computeSummary(v)), "FULL IMAGE BACKUP: Monthly - from  drives at 2:00 AM on 1st day of the month,  to E: ");
}
