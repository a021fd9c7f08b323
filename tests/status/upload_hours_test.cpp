#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>

#include "status/UploadHours.h"
#include "status/ui/SchedulerPage.h"
#include "status_fixture.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::status;

TEST(UploadHours, CaptionsAndHourNumbersFollowTheClock) {
  const QStringList captions = CaptionScheduleHours();
  ASSERT_EQ(captions.size(), 24);
  EXPECT_EQ(captions[0], "9 AM");
  EXPECT_EQ(captions[3], "12 PM");
  EXPECT_EQ(captions[4], "1 PM");
  EXPECT_EQ(captions[15], "12 AM");
  EXPECT_EQ(captions[16], "1 AM");
  EXPECT_EQ(captions[23], "8 AM");
  QList<short> hours;
  for (const QString& c : captions) hours << HourLabelToNumber(c);
  EXPECT_EQ(hours, (QList<short>{9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(HourLabelToNumber("12 pm"), 0);
  EXPECT_EQ(HourLabelToNumber(""), 0);
}

TEST(UploadHours, OnlyWholeNumbersWithinReachAreHours) {
  test::TempAppFolder app;
  const QString path = schInfoPath(platform::appPaths());
  test::writeFile(path, "<SchedulerInfo><UploadTime><TimeSet>2</TimeSet><TimeSet>6.66667e+80</TimeSet>"
                        "<TimeSet>-1e300</TimeSet><TimeSet>nan</TimeSet><TimeSet>2.5</TimeSet><TimeSet>3.0</TimeSet>"
                        "</UploadTime></SchedulerInfo>");
  EXPECT_EQ(scheduledHours(path), (QList<int>{2, 3}));
}

TEST(UploadHours, RefreshTicksTheFileHoursAndCancelUnticksAll) {
  test::TempAppFolder app;
  test::writeFile(schInfoPath(platform::appPaths()),
                  "<SchedulerInfo LastUpload=\"\"><UploadTime><TimeSet>2</TimeSet><TimeSet>10</TimeSet>"
                  "<TimeSet>30</TimeSet><TimeSet>abc</TimeSet></UploadTime>"
                  "<UploadTime><TimeSet>12</TimeSet><TimeSet>24</TimeSet></UploadTime></SchedulerInfo>");
  SchedulerPage page;
  page.CaptionScheduleHours();
  auto ticked = [&] {
    QStringList out;
    for (QCheckBox* b : page.CheckTime())
      if (b->isChecked()) out << b->text();
    return out;
  };
  EXPECT_TRUE(ticked().isEmpty());  // start-up leaves the boxes unticked

  page.findChild<QPushButton*>("CmdSchRefresh")->click();
  const QStringList expected{"10 AM", "12 PM", "12 AM", "2 AM"};
  EXPECT_EQ(ticked(), expected);
  page.CmdSchRefresh_Click();
  EXPECT_EQ(ticked(), expected);

  page.findChild<QPushButton*>("CmdScheduler")->click();  // the service's file stays as it is
  EXPECT_EQ(ticked(), expected);

  page.findChild<QPushButton*>("CmdSchedularReset")->click();
  EXPECT_TRUE(ticked().isEmpty());

  QFile::remove(schInfoPath(platform::appPaths()));
  page.CmdSchRefresh_Click();
  EXPECT_TRUE(ticked().isEmpty());
}
