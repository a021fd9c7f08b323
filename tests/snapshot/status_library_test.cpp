// libsnapshot.so against a status file held by this process in the engine's place.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "snapshot/StatusBlock.h"
#include "snapshot/snapshot.h"

using namespace corvane::snapshot;

namespace {

class StatusLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = qgetenv("CORVANE_APPDIR");
    qputenv("CORVANE_APPDIR", dir_.path().toLocal8Bit());
  }
  void TearDown() override {
    SShDisconnect();
    if (previous_.isEmpty()) qunsetenv("CORVANE_APPDIR");
    else qputenv("CORVANE_APPDIR", previous_);
  }
  // Takes the engine's side of the status file, as a starting engine does.
  StatusMapping ownAsEngine() {
    StatusMapping::OwnResult r;
    StatusMapping m = StatusMapping::openAsOwner(statusFilePath(), &r);
    EXPECT_EQ(r, StatusMapping::OwnResult::Owned);
    return m;
  }
  static uint64_t counted(int32_t high, int32_t low) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) + static_cast<uint32_t>(low);
  }
  QTemporaryDir dir_;
  QByteArray previous_;
};

}  // namespace

TEST_F(StatusLibrary, WithNoEngineEveryCallIsSafeAndSaysNothingIsRunning) {
  SShStatusInfo info;
  std::memset(&info, 0x5a, sizeof info);
  EXPECT_EQ(SShConnect(), 0);
  EXPECT_EQ(SShGetStatusInfo(&info), 0);
  EXPECT_EQ(info.StatusCode, 0);
  EXPECT_EQ(counted(info.BytesReadHigh, info.BytesReadLow), 0u);
  EXPECT_EQ(info.Reserved[83], 0);
  EXPECT_EQ(SShIsPaused(), 0);
  EXPECT_NE(SShIsInProgress(), 0);
  EXPECT_NE(SShPause(), 0);  // nothing to pause
  EXPECT_NE(SShResume(), 0);
  EXPECT_NE(SShGetStatusInfo(nullptr), 0);

  // A file that is not the engine's reads as no engine, and is left as it was.
  QFile junk(QString::fromStdString(statusFilePath()));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write(QByteArray(kStatusFileSize, 'x'));
  junk.close();
  EXPECT_EQ(SShGetStatusInfo(&info), 0);
  EXPECT_EQ(info.StatusCode, 0);
  EXPECT_NE(SShIsInProgress(), 0);

  // The file of a running engine cut short under a connected window (a reinstall copying over
  // it): the calls answer as with no engine, and the window lives on.
  ASSERT_TRUE(QFile::remove(QString::fromStdString(statusFilePath())));
  StatusMapping engine = ownAsEngine();
  SShConnect();
  EXPECT_EQ(SShIsInProgress(), 0);
  ASSERT_TRUE(QFile::resize(QString::fromStdString(statusFilePath()), 0));
  EXPECT_EQ(SShGetStatusInfo(&info), 0);
  EXPECT_EQ(info.StatusCode, 0);
  EXPECT_NE(SShIsInProgress(), 0);
  EXPECT_EQ(SShIsPaused(), 0);
  EXPECT_NE(SShPause(), 0);
}

TEST_F(StatusLibrary, ReportsARunningImageItsPauseAndCountsBeyondThirtyTwoBits) {
  StatusMapping engine = ownAsEngine();
  ASSERT_TRUE(engine.valid());
  SShConnect();
  // A low word above 2^31 arrives negative as a signed field and still adds up.
  const uint64_t read = (3ull << 32) + 0x90000000ull;
  const uint64_t written = 0xfffffffeull;
  storeField(engine.block()->bytesRead, read);
  storeField(engine.block()->bytesWritten, written);
  SShStatusInfo info{};
  SShGetStatusInfo(&info);
  EXPECT_EQ(info.BytesReadHigh, 3);
  EXPECT_LT(info.BytesReadLow, 0);
  EXPECT_EQ(counted(info.BytesReadHigh, info.BytesReadLow), read);
  EXPECT_EQ(info.BytesWrittenHigh, 0);
  EXPECT_EQ(counted(info.BytesWrittenHigh, info.BytesWrittenLow), written);
  EXPECT_EQ(info.StatusCode, 0);
  EXPECT_EQ(SShIsInProgress(), 0);  // zero: an image is being written

  // A pause is a request until the engine says it has stopped.
  EXPECT_EQ(SShPause(), 0);
  EXPECT_EQ(loadField(engine.block()->pauseRequested), 1);
  EXPECT_EQ(SShIsPaused(), 0);
  storeField(engine.block()->paused, 1);
  EXPECT_NE(SShIsPaused(), 0);
  EXPECT_EQ(SShResume(), 0);
  EXPECT_EQ(loadField(engine.block()->pauseRequested), 0);

  // A second engine cannot take the file over while this one lives.
  StatusMapping::OwnResult second;
  StatusMapping other = StatusMapping::openAsOwner(statusFilePath(), &second);
  EXPECT_EQ(second, StatusMapping::OwnResult::AlreadyOwned);
  EXPECT_EQ(loadField(engine.block()->bytesRead), read);  // and its figures are untouched
}

TEST_F(StatusLibrary, TheEndOfAnImageStaysVisibleAndADeadEngineIsNotRunning) {
  {
    StatusMapping engine = ownAsEngine();
    storeField(engine.block()->bytesWritten, uint64_t{1234});
    storeField(engine.block()->statusCode, int32_t{kDestinationFull});
    storeField(engine.block()->inProgress, 0);
  }
  SShStatusInfo info{};
  SShGetStatusInfo(&info);
  EXPECT_EQ(info.StatusCode, kDestinationFull);
  EXPECT_EQ(info.BytesWrittenLow, 1234);
  EXPECT_NE(SShIsInProgress(), 0);

  // Killed hard in mid-image: its block still says "in progress", but nobody holds the file.
  SShConnect();
  {
    StatusMapping engine = ownAsEngine();
    storeField(engine.block()->paused, 1);
    EXPECT_EQ(SShIsInProgress(), 0);
  }
  SShGetStatusInfo(&info);
  EXPECT_EQ(info.StatusCode, kEngineVanished);
  EXPECT_NE(SShIsInProgress(), 0);
  EXPECT_EQ(SShIsPaused(), 0);
  EXPECT_NE(SShPause(), 0);
}
