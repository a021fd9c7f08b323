#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "engine_fixture.h"
#include "imaging/EngineFigures.h"
#include "imaging/ImgPresets.h"
#include "imaging/SpacePlan.h"
#include "store/FileTables.h"

using namespace corvane;
using namespace corvane::imaging;
using test::fakeEngine;

namespace {

using FrontEnd = test::EngineTest;

// Image files of C:\CorvaneImage in the File table: `uploaded` sent, `waiting` not yet.
void addImageFiles(const QString& filesDb, int uploaded, int waiting) {
  for (int i = 0; i < uploaded + waiting; ++i) {
    store::FileRow row;
    row.folder = kImageUploadFolder;
    row.fileName = QStringLiteral("part%1.").arg(i);
    row.extension = "sna";
    row.uploaded = i < uploaded ? 1 : 0;
    store::DBInsertFile(filesDb, row);
  }
}

void setCounts(SShStatusInfo& info, qint64 read, qint64 written) {
  info.BytesReadHigh = int32_t(read >> 32);
  info.BytesReadLow = int32_t(quint32(read & 0xFFFFFFFF));
  info.BytesWrittenHigh = int32_t(written >> 32);
  info.BytesWrittenLow = int32_t(quint32(written & 0xFFFFFFFF));
}

}  // namespace

TEST(EngineFigures, CountsAndTheirTexts) {
  EXPECT_EQ(byteCount(0, int32_t(0x80000000u)), 2147483648LL);  // the low word is unsigned
  EXPECT_EQ(byteCount(1, -1), 8589934591LL);
  EXPECT_EQ(formatBytes(0), "");
  EXPECT_EQ(formatBytes(999), "999");
  EXPECT_EQ(formatBytes(1000), "1,000");
  EXPECT_EQ(formatBytes(8589934591LL), "8,589,934,591");
  EXPECT_EQ(formatPercent(0.5), ".5");
  EXPECT_EQ(formatPercent(0), ".0");
  EXPECT_EQ(formatPercent(12.34), "12.3");
  EXPECT_EQ(formatPercent(99.96), "100.0");
  EXPECT_EQ(uploadedPercent(0, 5), std::nullopt);  // nothing waits
  EXPECT_EQ(uploadedPercent(7, 1), 12);            // 12.5: halves to the even number
  EXPECT_EQ(uploadedPercent(5, 3), 38);            // 37.5
}

TEST_F(FrontEnd, TheRefreshShowsEachEngineStateWithItsButtons) {
  test::setSetting(app_.statusDb(), "ImageActive", "Yes");
  auto front = makeFrontEnd();
  front->btnConnectToImageEngine_Click();
  ASSERT_TRUE(front->connected());
  EXPECT_EQ(fakeEngine.connects, 1);

  // Writing: C: has 60e9 bytes used; 15e9 read is a quarter of them (a low word past 2^31).
  fakeEngine.noneInProgress = 0;
  setCounts(fakeEngine.info, 15000000000LL, 3000000000LL);
  front->UpdateOldImagePage();
  const EnginePanelView& v = front->panel();
  EXPECT_EQ(v.status, "Writing Image");
  EXPECT_FALSE(v.createEnabled);
  EXPECT_TRUE(v.pauseEnabled);
  EXPECT_TRUE(v.abortEnabled);
  EXPECT_EQ(v.statusLine, "Status: OK");
  EXPECT_EQ(v.bytesRead, "15,000,000,000");
  EXPECT_EQ(v.bytesWritten, "3,000,000,000");
  EXPECT_EQ(v.complete, "Image 25.0% complete");

  // Paused: the pause button offers to resume; no byte read leaves the completion text.
  fakeEngine.paused = 1;
  setCounts(fakeEngine.info, 0, 0);
  front->UpdateOldImagePage();
  EXPECT_EQ(v.status, "Paused");
  EXPECT_EQ(v.pauseCaption, kResumeCaption);
  EXPECT_EQ(v.complete, "Image 25.0% complete");
  EXPECT_EQ(v.bytesRead, "");
  front->btnPauseResumeImageEngine_Click();
  EXPECT_EQ(fakeEngine.resumes, 1);
  EXPECT_EQ(v.pauseCaption, kPauseCaption);

  // A failure: "Aborted" with its code, the buttons as they were while the engine runs on.
  fakeEngine.paused = 0;
  fakeEngine.info.StatusCode = 7;
  front->UpdateOldImagePage();
  EXPECT_EQ(v.status, "Aborted");
  EXPECT_EQ(v.statusLine, "Status: Fail 7");
  EXPECT_TRUE(v.abortEnabled);
  EXPECT_FALSE(v.createEnabled);
  EXPECT_EQ(setting("ImageActive"), "Yes");
  // Once the failed engine has gone its code stays, but a new image may start.
  fakeEngine.noneInProgress = 1;
  front->UpdateOldImagePage();
  EXPECT_EQ(v.status, "Aborted");
  EXPECT_TRUE(v.createEnabled);
  EXPECT_EQ(setting("ImageActive"), "No");
  test::setSetting(app_.statusDb(), "ImageActive", "Yes");

  // Stopped: a new image may start and the image is no longer marked active.
  fakeEngine.info.StatusCode = 0;
  fakeEngine.noneInProgress = 1;
  front->UpdateOldImagePage();
  EXPECT_EQ(v.status, "Stopped");
  EXPECT_TRUE(v.createEnabled);
  EXPECT_EQ(setting("ImageActive"), "No");

  front->btnConnectToImageEngine_Click();
  EXPECT_FALSE(front->connected());
  EXPECT_EQ(fakeEngine.disconnects, 1);
  EXPECT_FALSE(v.createEnabled || v.pauseEnabled || v.abortEnabled);
  EXPECT_EQ(v.status, "");
}

TEST_F(FrontEnd, WhileNotConnectedOnlyTheUploadShareChanges) {
  auto front = makeFrontEnd();
  front->UpdateOldImagePage();
  EXPECT_EQ(front->panel().percentVerified, "0 %");  // nothing waits for upload
  addImageFiles(app_.filesDb(), 1, 7);
  fakeEngine.noneInProgress = 0;
  front->UpdateOldImagePage();
  EXPECT_EQ(front->panel().percentVerified, "12 %");
  EXPECT_EQ(front->panel().progress, 12);
  EXPECT_EQ(front->panel().status, "");
  EXPECT_EQ(fakeEngine.statusReads, 0);
}

TEST_F(FrontEnd, ABusyDatabaseIsNotWaitedForAndKeepsTheFiguresShown) {
  addImageFiles(app_.filesDb(), 1, 3);
  test::setSetting(app_.statusDb(), "ImageActive", "Yes");
  auto front = makeFrontEnd();
  front->btnConnectToImageEngine_Click();
  fakeEngine.noneInProgress = 0;
  front->UpdateOldImagePage();
  front->UpdateImagePage();
  ASSERT_EQ(front->panel().percentVerified, "25 %");
  ASSERT_EQ(front->indicator().text, "ACTIVE");

  store::DBConnection holdFiles, holdStatus;
  holdFiles.Open(app_.filesDb());
  holdFiles.Execute("BEGIN EXCLUSIVE");
  holdStatus.Open(app_.statusDb());
  holdStatus.Execute("BEGIN EXCLUSIVE");
  fakeEngine.noneInProgress = 1;
  front->UpdateOldImagePage();  // stopped engine: would mark the image inactive
  front->UpdateImagePage();
  EXPECT_EQ(front->panel().percentVerified, "25 %");
  EXPECT_EQ(front->panel().status, "Stopped");
  EXPECT_EQ(front->indicator().text, "ACTIVE");
  EXPECT_EQ(waiter_.sleeps, 0);

  holdStatus.Rollback();
  front->UpdateOldImagePage();  // the next tick finishes what the busy one could not
  EXPECT_EQ(setting("ImageActive"), "No");
}

TEST_F(FrontEnd, TheFirstImageIsPlannedThenImagesAlternateByTheLog) {
  auto front = makeFrontEnd();
  front->btnCreateImage_Click();  // no Images table yet: made, then read as an empty log
  // Used: C: 60e9, D: 10e9, E: 100e9; E: has the most free space.
  EXPECT_EQ(launcher->lines, QStringList{fullLine("C:+D:+E:", "E:")});
  EXPECT_EQ(operations(), QStringList{"Full"});
  EXPECT_EQ(setting("ImageSource"), "C:+D:+E:");
  EXPECT_EQ(setting("ImageDest"), "E:");
  EXPECT_EQ(setting("ImageActive"), "Yes");
  EXPECT_TRUE(QDir(e_.filePath("CorvaneImage")).exists());
  EXPECT_EQ(front->panel().status, "Creating Image");
  EXPECT_FALSE(front->panel().createEnabled);
  EXPECT_TRUE(front->panel().abortEnabled);
  EXPECT_TRUE(messages_.texts.isEmpty());

  front->btnCreateImage_Click();
  EXPECT_EQ(launcher->lines.value(1), appFolderText() +
                                          "\\snapshot C:+D:+E: E:\\CorvaneImage\\$DISK_Diff.sna -hE:\\CorvaneImage\\$DISK.hsh "
                                          "--exclude:\\CorvaneImage\\* -L4 -W");
  front->btnCreateImage_Click();
  EXPECT_EQ(operations(), QStringList({"Full", "Diff", "Full"}));

  // A newest row that ended before it started starts nothing.
  {
    store::DBConnection c;
    c.Open(app_.filesDb());
    c.Execute("Update Images Set EndTime = '2001-01-01 00:00:00' Where ImageOpID = 3");
  }
  front->btnCreateImage_Click();
  EXPECT_EQ(launcher->lines.size(), 3);
  EXPECT_EQ(operations().size(), 3);
}

TEST_F(FrontEnd, ALogThatCannotBeReadStartsNoImage) {
  {
    store::DBConnection c;  // an Images table of another shape: its rows cannot be read
    c.Open(app_.filesDb());
    c.Execute("Create Table Images (Foo TEXT); Insert Into Images Values ('x')");
  }
  makeFrontEnd()->btnCreateImage_Click();
  ASSERT_EQ(messages_.texts.size(), 1);
  EXPECT_TRUE(messages_.texts[0].startsWith("The image log could not be read: ")) << qPrintable(messages_.texts[0]);
  EXPECT_TRUE(launcher->lines.isEmpty());
  EXPECT_FALSE(store::DBSettingExists(app_.statusDb(), "ImageSource"));  // no plan either
}

TEST_F(FrontEnd, APlanWithoutRoomStoresNothingAndTheNextClickPlansAgain) {
  sizes = {{"C:", {100e9, 60e9}}, {"D:", {100e9, 60e9}}, {"E:", {100e9, 50e9}}};  // 130e9 used, 60e9 free at most
  auto front = makeFrontEnd();
  front->btnCreateImage_Click();
  EXPECT_EQ(messages_.texts, QStringList{"Not enough space for all images on one drive."});
  EXPECT_FALSE(store::DBSettingExists(app_.statusDb(), "ImageSource"));
  EXPECT_TRUE(operations().isEmpty());
  EXPECT_TRUE(launcher->lines.isEmpty());

  sizes["E:"] = {500e9, 400e9};
  front->btnCreateImage_Click();
  EXPECT_EQ(launcher->lines, QStringList{fullLine("C:+D:+E:", "E:")});
}

TEST(SpacePlanning, SumsUntilTheFirstEmptySlotAndTheFirstOfEqualLargestWins) {
  const QList<DriveSpace> drives{{"C:\\", 100, 30}, {"D:\\", 100, 80}, {"E:\\", 100, 80}, {"", 0, 0}, {"G:\\", 900, 900}};
  const SpacePlan plan = planSpace(drives, 10);  // 10 bytes of C: are paging and hibernation files
  EXPECT_EQ(plan.source, "C:+D:+E:");
  EXPECT_EQ(plan.destination, "D:");
  EXPECT_DOUBLE_EQ(plan.totalUsed, 60 + 20 + 20);
  EXPECT_DOUBLE_EQ(plan.maxAvail, 80);
  EXPECT_TRUE(plan.enough());  // 80 > 75
  EXPECT_FALSE(planSpace({{"C:\\", 100, 0}}, 0).enough());  // no free space: no destination
  EXPECT_EQ(planSpace({{"C:\\", 100, 0}}, 0).destination, "");
}

TEST_F(FrontEnd, TheSystemFilesOfDriveCDoNotCountAsUsed) {
  sizes = {{"C:", {100e9, 42e9}}};  // 58e9 used, of which 20e9 paging and hibernation files
  for (const char* name : {"pagefile.", "hiberfil."}) {
    store::FileRow row;
    row.folder = "C:\\";
    row.fileName = name;
    row.extension = "sys";
    row.fileSize = 10e9;
    store::DBInsertFile(app_.filesDb(), row);
  }
  auto front = makeFrontEnd();
  ASSERT_EQ(front->CalcSourceAndDest(), "OK");  // 42e9 free > 75% of 38e9
  EXPECT_DOUBLE_EQ(front->lastPlan()->totalUsed, 38e9);
}

TEST_F(FrontEnd, AfterARestartTheLowSpaceWarningMeasuresTheDrivesNow) {
  test::setSetting(app_.statusDb(), "ImageSource", "C:+D:");
  test::setSetting(app_.statusDb(), "ImageDest", "E:");
  ASSERT_TRUE(ImageLog(app_.filesDb()).DBSelectLastIOp() == std::nullopt);  // makes the table
  ImageLog(app_.filesDb()).DBInsertIOp({0, "Full", "C:+D:", "E:", clock, clock, 0});

  sizes["E:"] = {500e9, 13e9};  // at most 20% of the 70e9 used on C: and D:
  auto front = makeFrontEnd();
  front->btnCreateImage_Click();
  EXPECT_EQ(messages_.texts, QStringList{"Please free up some space on drive E:"});
  EXPECT_EQ(launcher->lines.size(), 1);  // the image starts all the same

  sizes["E:"] = {500e9, 15e9};
  messages_.texts.clear();
  makeFrontEnd()->btnCreateImage_Click();
  EXPECT_TRUE(messages_.texts.isEmpty());
}

TEST_F(FrontEnd, AnEngineThatCannotBeStartedIsReportedAndLeavesNoImageActive) {
  auto front = makeFrontEnd();
  launcher->refuse = "The imaging engine is not installed: /x/snapshot is missing.";
  front->btnCreateImage_Click();
  EXPECT_EQ(messages_.texts.value(0), launcher->refuse);
  EXPECT_TRUE(operations().isEmpty());
  EXPECT_NE(setting("ImageActive"), "Yes");

  launcher->refuse.clear();
  launcher->failStart = "The imaging engine could not be started: denied";
  front->btnCreateImage_Click();
  EXPECT_EQ(messages_.texts.value(1), launcher->failStart);
  EXPECT_EQ(setting("ImageActive"), "No");
  EXPECT_NE(front->panel().status, "Creating Image");
  EXPECT_TRUE(operations().isEmpty());  // no image was made: none is logged

  // So the next click makes the full image, not a differential of one that never was.
  launcher->failStart.clear();
  front->btnCreateImage_Click();
  EXPECT_EQ(launcher->lines.last(), fullLine("C:+D:+E:", "E:"));
  EXPECT_EQ(operations(), QStringList{"Full"});
}

// An aborted image leaves the log, so no differential is built on it, and stops being active
// once the engine has gone, although the abort disconnects the panel. Finished images stay.
TEST_F(FrontEnd, AnAbortedImageLeavesTheLogAndIsInactiveOnceTheEngineHasGone) {
  auto front = makeFrontEnd();
  front->btnCreateImage_Click();
  ASSERT_EQ(operations(), QStringList{"Full"});
  fakeEngine.noneInProgress = 0;  // writing
  front->btnAbortImage_Click();
  EXPECT_TRUE(operations().isEmpty());
  pending();  // the engine takes longer than the abort's wait to go
  EXPECT_EQ(setting("ImageActive"), "Yes");
  fakeEngine.noneInProgress = 1;
  front->UpdateOldImagePage();
  EXPECT_EQ(setting("ImageActive"), "No");

  front->btnCreateImage_Click();
  EXPECT_EQ(launcher->lines.last(), fullLine("C:+D:+E:", "E:"));
  front->btnCreateImage_Click();
  fakeEngine.noneInProgress = 0;
  front->btnAbortImage_Click();
  pending();
  front->btnCreateImage_Click();  // the aborted differential is made again
  EXPECT_TRUE(launcher->lines.last().contains("$DISK_Diff.sna"));
  EXPECT_EQ(operations(), QStringList({"Full", "Diff"}));

  fakeEngine.noneInProgress = 1;  // it has finished: an abort now takes nothing out
  front->btnAbortImage_Click();
  EXPECT_EQ(operations(), QStringList({"Full", "Diff"}));
}

// An image whose engine fails by itself leaves the log as an aborted one does, also when the
// panel was disconnected and never saw the engine writing. A failure the record still shows from
// the last image is not taken for the new image's.
TEST_F(FrontEnd, AFailedImageLeavesTheLogAndTheSameImageIsMadeAgain) {
  auto front = makeFrontEnd();
  front->btnConnectToImageEngine_Click();
  front->btnCreateImage_Click();
  ASSERT_EQ(operations(), QStringList{"Full"});
  front->btnConnectToImageEngine_Click();
  fakeEngine.info.StatusCode = 4;  // the destination is full; the engine has gone
  front->UpdateOldImagePage();
  EXPECT_TRUE(operations().isEmpty());
  EXPECT_EQ(setting("ImageActive"), "No");

  front->btnConnectToImageEngine_Click();
  front->UpdateOldImagePage();
  EXPECT_EQ(front->panel().status, "Aborted");
  EXPECT_EQ(front->panel().statusLine, "Status: Fail 4");
  ASSERT_TRUE(front->panel().createEnabled);
  front->btnCreateImage_Click();
  EXPECT_EQ(launcher->lines.last(), fullLine("C:+D:+E:", "E:"));

  // The new engine has not yet taken its status file: the record is the failed image's.
  front->UpdateOldImagePage();
  EXPECT_EQ(front->panel().status, "Creating Image");
  EXPECT_FALSE(front->panel().createEnabled);
  EXPECT_EQ(operations(), QStringList{"Full"});
  EXPECT_EQ(setting("ImageActive"), "Yes");
  clock = clock.addSecs(5);  // unchanged so long after its start, the record is its own
  front->UpdateOldImagePage();
  EXPECT_TRUE(operations().isEmpty());
  EXPECT_TRUE(front->panel().createEnabled);
}

TEST_F(FrontEnd, AbortEndsTheEngineKeepsFinishedImagesAndLetsTheWindowRun) {
  QDir(e_.path()).mkdir("CorvaneImage");
  test::writeFile(e_.filePath("CorvaneImage/$DISK.sna"), "a finished full image");
  test::writeFile(c_.filePath("CorvaneImage/$DISK.sna"), "an image waiting for upload");
  auto front = makeFrontEnd();
  front->btnConnectToImageEngine_Click();
  fakeEngine.noneInProgress = 0;
  front->UpdateOldImagePage();
  ASSERT_TRUE(front->panel().abortEnabled);

  front->btnAbortImage_Click();
  EXPECT_EQ(enginesEnded, 1);
  EXPECT_EQ(fakeEngine.disconnects, 2);  // the abort's own, then the disconnect of the toggle
  EXPECT_FALSE(front->connected());
  EXPECT_FALSE(front->panel().abortEnabled);
  EXPECT_TRUE(QFile::exists(e_.filePath("CorvaneImage/$DISK.sna")));
  EXPECT_TRUE(QFile::exists(c_.filePath("CorvaneImage/$DISK.sna")));
  // The engine's moment to end passes on a timer, not in a sleep.
  EXPECT_EQ(waiter_.sleeps, 0);
  EXPECT_EQ(pendingMs, kAbortSettleMs);
  EXPECT_FALSE(front->panel().connectEnabled);
  pending();
  EXPECT_TRUE(front->panel().connectEnabled);
}

TEST_F(FrontEnd, TheIndicatorFollowsTheImageOfTheCurrentPreset) {
  // The preset images C: and D:, 70e9 used: its image is reckoned at half, 35e9.
  ImgPreset preset;
  preset[Col::ImgPresetName] = "Mine";
  preset[Col::ImgSource] = "C:\\D:\\";
  preset[Col::ImgDest] = "E:\\images";
  ImgPresetStore(app_.statusDb()).DBInsertImgPresetFull(preset);
  test::setSetting(app_.statusDb(), kCurrentImagePreset, "Mine");
  auto front = makeFrontEnd();

  front->UpdateImagePage();
  EXPECT_EQ(front->indicator().text, "INACTIVE");

  test::setSetting(app_.statusDb(), "ImageActive", "1");  // the service's form counts too
  setCounts(fakeEngine.info, 1, 7000000000LL);
  front->UpdateImagePage();
  EXPECT_EQ(front->indicator().text, "Active 20.0%");
  EXPECT_EQ(front->indicator().stripTwips, 204);
  EXPECT_EQ(front->indicator().patchColour, 0xFF0000u);

  setCounts(fakeEngine.info, 1, 36000000000LL);  // past the end of the strip
  front->UpdateImagePage();
  EXPECT_EQ(front->indicator().stripTwips, 0);

  test::setSetting(app_.statusDb(), "ImageActive", "No");
  front->UpdateImagePage();
  EXPECT_EQ(front->indicator().text, "INACTIVE");
  EXPECT_EQ(front->indicator().patchColour, 0x202020u);
}

// The marking and the hash rows (one per block of an image of many gigabytes) go off the window's
// thread, and the waits between the steps keep it painting: 10,000 image rows and 20,000 hash
// rows held it half a second.
TEST_F(FrontEnd, VerifyMarksTheImageFilesForUploadAgainWithTheWindowPainting) {
  addImageFiles(app_.filesDb(), 3, 0);
  {
    store::DBConnection c;
    c.Open(app_.filesDb());
    c.Execute("Insert Into Hash (FileId, BlockNo, Hash) Select FileID, 1, 'x' From File");
  }
  auto front = makeFrontEnd();
  front->btnVerifyImageUpload_Click();
  EXPECT_GT(waiter_.paints, 0);
  EXPECT_GT(waiter_.windowSleeps, 0);
  EXPECT_EQ(waiter_.windowSleeps, waiter_.paintingSleeps);
  front->UpdateOldImagePage();
  EXPECT_EQ(front->panel().percentVerified, "0 %");
  EXPECT_EQ(front->DBCountImageFiles(0), 3);
  store::DBConnection c;
  c.Open(app_.filesDb());
  EXPECT_EQ(c.Query("Select * From Hash").RowCount(), 0);
}

TEST(EngineLauncher, TheFirstWordNamesTheEngineAndTheOthersPassUnchanged) {
  const QString line = "C:\\Program Files\\Corvane\\snapshot C:+D: E:\\CorvaneImage\\$DISK_Diff.sna "
                       "-hE:\\CorvaneImage\\$DISK.hsh --exclude:\\CorvaneImage\\* -L4 -W";
  const auto c = nativeCommand(line, "C:\\Program Files\\Corvane", "/opt/corvane");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->program, "/opt/corvane/snapshot");
  EXPECT_EQ(c->arguments, QStringList({"C:+D:", "E:\\CorvaneImage\\$DISK_Diff.sna", "-hE:\\CorvaneImage\\$DISK.hsh",
                                       "--exclude:\\CorvaneImage\\*", "-L4", "-W"}));
  EXPECT_FALSE(nativeCommand("C:\\Windows\\cmd /c del", "C:\\Program Files\\Corvane", "/opt/corvane"));
  EXPECT_FALSE(nativeCommand("C:\\Program Files\\Corvane\\snapshotter C:", "C:\\Program Files\\Corvane", "/opt/corvane"));
  EXPECT_EQ(commandAppFolder("/srv/c/app", platform::PathMap::parse("C:=/srv/c")), "C:\\app");
  EXPECT_EQ(commandAppFolder("/elsewhere/app", platform::PathMap::parse("C:=/srv/c")), "/elsewhere/app");
}
