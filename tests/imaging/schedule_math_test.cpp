#include <gtest/gtest.h>

#include <QTimeZone>

#include "imaging/ScheduleMath.h"

using namespace corvane::imaging;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); }

FullSchedule monthly(const QString& day, const QString& hours = "2", const QString& ampm = "AM") {
  FullSchedule s;
  s.monthly = true;
  s.startDay = day;
  s.hours = hours;
  s.minutes = "00";
  s.ampm = ampm;
  return s;
}

}  // namespace

TEST(ScheduleSteps, HoursFollowTheTwelveHourClockThroughNoonAndMidnight) {
  auto step = [](const char* h, const char* ap, int d) {
    const ClockHour r = stepHour(h, ap, d);
    return r.hours + " " + r.ampm;
  };
  EXPECT_EQ(step("11", "AM", 1), "12 PM");  // the morning runs into noon
  EXPECT_EQ(step("12", "PM", 1), "1 PM");
  EXPECT_EQ(step("11", "PM", 1), "12 AM");  // and the evening into midnight
  EXPECT_EQ(step("12", "AM", -1), "11 PM");
  EXPECT_EQ(step("1", "AM", -1), "12 AM");
  EXPECT_EQ(step("06", "AM", 1), "7 AM");   // built-in "06": no leading zero once stepped
  EXPECT_EQ(step("", "AM", -1), "12 AM");   // no number reads as 0
}

TEST(ScheduleSteps, MinutesWrapAndCountersKeepTheirRanges) {
  EXPECT_EQ(stepMinutes("00", -1, true), "59");
  EXPECT_EQ(stepMinutes("4", 1, true), "05");
  EXPECT_EQ(stepMinutes("59", 1, false), "0");
  EXPECT_EQ(stepImagesPerDay("23", 1), "23");
  EXPECT_EQ(stepImagesPerDay("0", -1), "0");
  EXPECT_EQ(stepImagesPerDay("7", 1), "8");
  // Copies: down from 1 gives 99, up from 98 gives 0; the wrap skips 0 going down and 99 going up.
  EXPECT_EQ(stepKeepCopies("1", -1), "99");
  EXPECT_EQ(stepKeepCopies("99", -1), "98");
  EXPECT_EQ(stepKeepCopies("98", 1), "0");
  EXPECT_EQ(stepKeepCopies("0", 1), "1");
  EXPECT_EQ(stepKeepCopies("", -1), "99");
}

TEST(LastDifferential, LabelsTheLastImageOfTheDayAcrossNoonAndMidnight) {
  EXPECT_EQ(lastDifferentialLabel("2", "16 hours", "6", "0", "AM"), "Last backup at 10:00PM ");
  EXPECT_EQ(lastDifferentialLabel("2", "16 hours", "10", "0", "PM"), "Last backup at 2:00PM     Next Day");
  EXPECT_EQ(lastDifferentialLabel("2", "hour", "11", "30", "AM"), "Last backup at 12:30PM ");
  // 12 AM is midnight, not noon.
  EXPECT_EQ(lastDifferentialLabel("1", "hour", "12", "30", "AM"), "Last backup at 12:30AM ");
  EXPECT_EQ(lastDifferentialLabel("3", "30 mins", "12", "15", "PM"), "Last backup at 1:15PM ");
  // Ending exactly at midnight is the next day's 12 AM.
  EXPECT_EQ(lastDifferentialLabel("2", "16 hours", "8", "0", "AM"), "Last backup at 12:00AM     Next Day");
  // 23 images twelve hours apart run on for days.
  EXPECT_EQ(lastDifferentialLabel("23", "12 hours", "1", "0", "AM"), "Last backup at 1:00AM     11 Days Later");
  // The built-in "16" is a number of hours.
  EXPECT_EQ(lastDifferentialLabel("2", "16", "6", "0", "AM"), "Last backup at 10:00PM ");
  EXPECT_EQ(intervalMinutes(""), 0);
  EXPECT_EQ(intervalMinutes("45 mins"), 45);
  EXPECT_EQ(intervalMinutes("10 hours"), 600);
}

TEST(LastDifferential, NoImageOrNoTimeOfDayGivesAnEmptyLabel) {
  EXPECT_EQ(lastDifferentialLabel("0", "hour", "6", "0", "AM"), "");
  EXPECT_EQ(lastDifferentialLabel("2", "hour", "13", "0", "AM"), "");
  EXPECT_EQ(lastDifferentialLabel("2", "hour", "6", "60", "AM"), "");
  EXPECT_EQ(lastDifferentialLabel("2", "hour", "6", "0", ""), "");
  // Huge numbers in the boxes neither overflow nor crash.
  EXPECT_FALSE(lastDifferentialLabel("2", "99999999999999 hours", "6", "0", "AM").isEmpty());
}

TEST(NextFull, MonthlyDaysAreCutToTheMonthsLength) {
  // "31st" and "Last" in a 28-day February, a leap-year February and a 30-day month.
  EXPECT_EQ(nextFullImage(monthly("31st"), at(2027, 2, 10, 12)), at(2027, 2, 28, 2));
  EXPECT_EQ(nextFullImage(monthly("Last"), at(2028, 2, 10, 12)), at(2028, 2, 29, 2));
  EXPECT_EQ(nextFullImage(monthly("31st"), at(2027, 4, 30, 1)), at(2027, 4, 30, 2));
  // Once the day's start has passed, the next month's day.
  EXPECT_EQ(nextFullImage(monthly("31st"), at(2027, 4, 30, 3)), at(2027, 5, 31, 2));
  // Across the year's end, with a PM start.
  EXPECT_EQ(nextFullImage(monthly("1st", "12", "PM"), at(2026, 12, 1, 13)), at(2027, 1, 1, 12));
  // Days the lists do not hold fix no date.
  EXPECT_FALSE(nextFullImage(monthly("0"), at(2027, 1, 1, 0)));
}

TEST(NextFull, WeeklyDailyAndQuarterly) {
  FullSchedule weekly;
  weekly.weekly = true;
  weekly.days[1] = weekly.days[5] = true;  // Monday and Friday: the first ticked day counts
  weekly.hours = "7";
  weekly.minutes = "00";
  weekly.ampm = "AM";
  // Thursday 31 Dec 2026 -> Monday 4 Jan 2027.
  EXPECT_EQ(nextFullImage(weekly, at(2026, 12, 31, 9)), at(2027, 1, 4, 7));
  weekly.days = {};
  EXPECT_FALSE(nextFullImage(weekly, at(2026, 12, 31, 9)));

  FullSchedule daily = weekly;
  daily.weekly = false;
  daily.daily = true;  // no day ticked: every day
  EXPECT_EQ(nextFullImage(daily, at(2026, 12, 31, 9)), at(2027, 1, 1, 7));
  daily.days[3] = true;  // Wednesdays only
  EXPECT_EQ(nextFullImage(daily, at(2026, 12, 31, 9)), at(2027, 1, 6, 7));

  FullSchedule quarterly = monthly("Last");
  quarterly.monthly = false;
  quarterly.quarterly = true;
  quarterly.startDayQtr = "Last";
  quarterly.month = "Nov";  // Nov, Feb, May, Aug
  EXPECT_EQ(nextFullImage(quarterly, at(2026, 12, 5, 0)), at(2027, 2, 28, 2));
  quarterly.month = "1";  // the built-in month form
  quarterly.startDayQtr = "1";
  EXPECT_EQ(nextFullImage(quarterly, at(2026, 12, 5, 0)), at(2027, 1, 1, 2));
  // Without a known date the label still shows the time of day.
  quarterly.month = "";
  EXPECT_FALSE(nextFullImage(quarterly, at(2026, 12, 5, 0)));
  EXPECT_FALSE(nextFullLabel(quarterly, at(2026, 12, 5, 0)).isEmpty());
}

TEST(NextDifferential, ImagesOfTheEveningRunOnPastMidnight) {
  DiffSchedule s;
  s.days[1] = true;  // Mondays only
  s.perDay = "3";
  s.interval = "2 hours";
  s.hours = "10";
  s.minutes = "0";
  s.ampm = "PM";  // 10 PM, 12 AM, 2 AM
  // Tuesday 5 Jan 2027, 1 AM: Monday's third image at 2 AM is next.
  EXPECT_EQ(nextDifferentialImage(s, at(2027, 1, 5, 1)), at(2027, 1, 5, 2));
  // Tuesday 3 AM: the next Monday's first.
  EXPECT_EQ(nextDifferentialImage(s, at(2027, 1, 5, 3)), at(2027, 1, 11, 22));
  s.perDay = "0";
  EXPECT_FALSE(nextDifferentialImage(s, at(2027, 1, 5, 1)));
  // Typed values far out of range are answered at once, not image by image: a count beyond the
  // box's 23 schedules nothing; with 23 images a million hours apart, the images of days long
  // past still fall on today (10 PM + 2 x 1000000 hours is 6 AM).
  s.days = {true, true, true, true, true, true, true};
  s.perDay = "100000";
  s.interval = "12 hours";
  EXPECT_FALSE(nextDifferentialImage(s, at(2027, 1, 5, 1)));
  s.perDay = "23";
  s.interval = "1000000 hours";
  EXPECT_EQ(nextDifferentialImage(s, at(2027, 1, 5, 1)), at(2027, 1, 5, 6));
}
