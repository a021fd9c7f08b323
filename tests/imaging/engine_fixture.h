#pragma once
// An engine front end on a fresh application folder with drives C:, D:, E: on temporary folders:
// a fake engine (a function table whose state the test sets), a launcher that records the lines
// it is given, drive sizes the test chooses, and waits that never sleep.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "drives_fixture.h"
#include "imaging/EngineFrontEnd.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::test {

struct FakeEngineState {
  SShStatusInfo info{};
  int16_t paused = 0;
  int16_t noneInProgress = 1;  // the engine's reading: non-zero while no image is written
  int connects = 0, disconnects = 0, statusReads = 0, pauses = 0, resumes = 0;
};
inline FakeEngineState fakeEngine;

inline imaging::EngineFunctions fakeEngineFunctions() {
  imaging::EngineFunctions f;
  f.SShConnect = [] { return ++fakeEngine.connects, int32_t(0); };
  f.SShDisconnect = [] { return ++fakeEngine.disconnects, int32_t(0); };
  f.SShGetStatusInfo = [](SShStatusInfo* info) {
    ++fakeEngine.statusReads;
    *info = fakeEngine.info;
    return int32_t(0);
  };
  f.SShIsPaused = [] { return fakeEngine.paused; };
  f.SShIsInProgress = [] { return fakeEngine.noneInProgress; };
  f.SShPause = [] { return fakeEngine.paused = 1, ++fakeEngine.pauses, int32_t(0); };
  f.SShResume = [] { return fakeEngine.paused = 0, ++fakeEngine.resumes, int32_t(0); };
  return f;
}

class RecordingLauncher : public imaging::EngineLauncher {
 public:
  QString problem(const QString&) const override { return refuse; }
  QString start(const QString& line) override {
    lines << line;
    return failStart;
  }
  QStringList lines;
  QString refuse, failStart;
};

class EngineTest : public DrivesTest {
 protected:
  void SetUp() override {
    fakeEngine = {};
    DrivesTest::SetUp();
    sizes = {{"C:", {100e9, 40e9}}, {"D:", {100e9, 90e9}}, {"E:", {500e9, 400e9}}};
  }

  imaging::EngineHooks hooks() {
    imaging::EngineHooks h;
    h.now = [this] { return clock; };
    h.launcher = launcher;
    h.endEngine = [this] { return ++enginesEnded; };
    h.after = [this](int ms, std::function<void()> then) {
      pendingMs = ms;
      pending = std::move(then);
    };
    h.driveSizes = [this](const QString& drive, double& total, double& free) {
      const auto it = sizes.find(drive.left(2).toUpper());
      total = free = 0;
      if (it == sizes.end()) return false;
      total = it->second.first;
      free = it->second.second;
      return true;
    };
    return h;
  }
  std::unique_ptr<imaging::EngineFrontEnd> makeFrontEnd(
      imaging::EngineLibrary engine = imaging::EngineLibrary::fromFunctions(fakeEngineFunctions())) {
    return std::make_unique<imaging::EngineFrontEnd>(window_.paths, std::move(engine), hooks());
  }

  QString setting(const QString& name) const { return store::settingValue(app_.statusDb(), name); }
  // The Operation of every Images row, oldest first.
  QStringList operations() const {
    store::DBConnection c;
    c.Open(app_.filesDb());
    if (!c.TableExists("Images")) return {};
    QStringList ops;
    for (store::DBRecordset rs = c.Query("Select Operation from Images Order By ImageOpID"); !rs.AtEnd(); rs.MoveNext())
      ops << rs.Text("Operation");
    return ops;
  }
  QString fullLine(const QString& source, const QString& dest) const {
    return appFolderText() + "\\snapshot " + source + " " + dest + "\\CorvaneImage\\$DISK.sna -L4 -W";
  }
  QString appFolderText() const { return imaging::commandAppFolder(app_.path()); }

  FakeWaiter waiter_;
  std::shared_ptr<RecordingLauncher> launcher = std::make_shared<RecordingLauncher>();
  std::map<QString, std::pair<double, double>> sizes;  // drive -> total, free
  QDateTime clock = QDateTime(QDate(2027, 3, 1), QTime(10, 0));
  int enginesEnded = 0;
  int pendingMs = 0;
  std::function<void()> pending;
};

}  // namespace corvane::test
