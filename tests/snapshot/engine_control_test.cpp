// Following, pausing, resuming and ending the real engine through the control library, and
// finding the engine among the user's processes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>

#include "EngineFixture.h"
#include "snapshot/EngineProcess.h"
#include "snapshot/snapshot.h"
#include "support/TestSupport.h"

using namespace corvane::test;
namespace snap = corvane::snapshot;

namespace {

struct Counts {
  uint64_t read = 0, written = 0;
  bool operator==(const Counts&) const = default;
};

Counts counts() {
  SShStatusInfo info{};
  SShGetStatusInfo(&info);
  const auto join = [](int32_t high, int32_t low) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) + static_cast<uint32_t>(low);
  };
  return {join(info.BytesReadHigh, info.BytesReadLow), join(info.BytesWrittenHigh, info.BytesWrittenLow)};
}

// A large file that costs no disk: an image of it is still being written when a test acts.
void makeLargeFile(const QString& path) {
  QFile sparse(path);
  ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
  ASSERT_TRUE(sparse.resize(64ll << 30));
}

}  // namespace

TEST(EngineControl, PauseHoldsTheImageResumeGoesOnAndAnEndLeavesOnlyTheEarlierImage) {
  EngineWorld w;
  writeFile(w.c("docs/a.txt"), "a");
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray earlier = readFile(w.imageFile("$DISK.sna"));

  makeLargeFile(w.c("docs/large.bin"));

  QProcess* engine = w.start(EngineWorld::fullLine());
  SShConnect();
  // Until the new engine has started, the figures are those of the earlier image.
  ASSERT_TRUE(waitUntil([] { return SShIsInProgress() == 0 && counts().read > 0; }));
  EXPECT_EQ(SShIsPaused(), 0);

  ASSERT_EQ(SShPause(), 0);
  ASSERT_TRUE(waitUntil([] { return SShIsPaused() != 0; }));
  const Counts atPause = counts();
  const int naps = w.status().pausedNaps;
  // Several rounds of the engine's pause loop, and not a byte read or written meanwhile.
  ASSERT_TRUE(waitUntil([&] { return w.status().pausedNaps >= naps + 5; }));
  EXPECT_EQ(counts(), atPause);

  // A second engine started meanwhile is refused and leaves the first one's figures alone;
  // so is one of another application folder writing the same image, which leaves the first
  // one's file alone.
  EXPECT_EQ(w.run(EngineWorld::fullLine()), snap::kAlreadyRunning);
  QTemporaryDir otherApp;
  EXPECT_EQ(w.run(EngineWorld::fullLine(), {"CORVANE_APPDIR=" + otherApp.path()}), snap::kAlreadyRunning);
  EXPECT_TRUE(QFile::exists(w.imageFile("$DISK.sna.part")));
  EXPECT_NE(SShIsPaused(), 0);
  EXPECT_EQ(counts(), atPause);

  ASSERT_EQ(SShResume(), 0);
  ASSERT_TRUE(waitUntil([&] { return counts().read > atPause.read; }));
  EXPECT_EQ(SShIsPaused(), 0);
  EXPECT_TRUE(QFile::exists(w.imageFile("$DISK.sna.part")));

  engine->terminate();
  ASSERT_TRUE(engine->waitForFinished(20000));
  EXPECT_EQ(engine->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(engine->exitCode(), 0);
  EXPECT_TRUE(QDir(w.imageFolder()).entryList({"*.part"}, QDir::Files).isEmpty());
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_NE(SShIsInProgress(), 0);
  SShStatusInfo info{};
  SShGetStatusInfo(&info);
  EXPECT_EQ(info.StatusCode, snap::kEndedByRequest);
  SShDisconnect();
}

TEST(EngineControl, AnEngineEndedWhilePausedStillCleansUp) {
  EngineWorld w;
  makeLargeFile(w.c("large.bin"));
  QProcess* engine = w.start(EngineWorld::fullLine());
  ASSERT_TRUE(waitUntil([] { return SShIsInProgress() == 0 && counts().read > 0; }));
  ASSERT_EQ(SShPause(), 0);
  ASSERT_TRUE(waitUntil([] { return SShIsPaused() != 0; }));
  engine->terminate();
  ASSERT_TRUE(engine->waitForFinished(20000));
  EXPECT_EQ(engine->exitCode(), 0);
  EXPECT_TRUE(QDir(w.imageFolder()).entryList(QDir::Files).isEmpty());
  EXPECT_EQ(SShIsPaused(), 0);
}

TEST(EngineProcesses, OnlyProcessesNamedExactlyLikeTheEngineAreListedForEnding) {
  QTemporaryDir dir;
  std::vector<std::unique_ptr<QProcess>> running;
  std::map<QString, qint64> pids;
  for (const QString& name : {QString("autosnapshot"), QString("SnapShot.exe"), QString("snapshot"), QString("snapshot.exe.old")}) {
    const QString copy = dir.path() + "/" + name;
    ASSERT_TRUE(QFile::copy("/bin/sleep", copy));
    auto p = std::make_unique<QProcess>();
    p->start(copy, {"60"});
    ASSERT_TRUE(p->waitForStarted(10000));
    pids[name] = p->processId();
    running.push_back(std::move(p));
  }
  const std::vector<int> listed = snap::engineProcessIds("/proc");
  const auto has = [&](const QString& name) {
    return std::find(listed.begin(), listed.end(), static_cast<int>(pids[name])) != listed.end();
  };
  EXPECT_TRUE(has("SnapShot.exe"));
  EXPECT_TRUE(has("snapshot"));
  EXPECT_FALSE(has("autosnapshot"));
  EXPECT_FALSE(has("snapshot.exe.old"));
  for (auto& p : running) {
    p->kill();
    p->waitForFinished(10000);
  }
}

TEST(EngineControl, AnEngineKilledHardIsReportedFailedAndTheNextRunStartsClean) {
  EngineWorld w;
  writeFile(w.c("docs/a.txt"), "a");
  makeLargeFile(w.c("large.bin"));
  QProcess* engine = w.start(EngineWorld::fullLine());
  ASSERT_TRUE(waitUntil([] { return SShIsInProgress() == 0 && counts().read > 0; }));
  engine->kill();
  ASSERT_TRUE(engine->waitForFinished(20000));
  // The kernel lets go of a killed process's files a moment after it is reaped.
  ASSERT_TRUE(waitUntil([] { return SShIsInProgress() != 0; }));
  SShStatusInfo info{};
  SShGetStatusInfo(&info);
  EXPECT_EQ(info.StatusCode, snap::kEngineVanished);
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK.sna")));

  // Its temporary files are left behind, unlocked: the next run takes them over.
  ASSERT_TRUE(QFile::exists(w.imageFile("$DISK.sna.part")));
  ASSERT_TRUE(QFile::remove(w.c("large.bin")));
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  EXPECT_TRUE(QDir(w.imageFolder()).entryList({"*.part"}, QDir::Files).isEmpty());
  EXPECT_EQ(readImage(w.imageFile("$DISK.sna"))["C/docs/a.txt"].content, "a");
  SShGetStatusInfo(&info);
  EXPECT_EQ(info.StatusCode, 0);
}
