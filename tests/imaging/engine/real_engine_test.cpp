// The engine panel on the real engine: the program started through the launcher from the
// application folder, followed through the library loaded from there, ended by the abort.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <algorithm>

#include "snapshot/EngineFixture.h"
#include "imaging/EngineFrontEnd.h"
#include "snapshot/EngineProcess.h"
#include "store/AppFolderLayout.h"
#include "store/Database.h"
#include "store/Settings.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

using namespace corvane;
using namespace corvane::imaging;

namespace {

class RealEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    QString error;
    ASSERT_TRUE(store::installEngine(app_.path(), QStringLiteral(CORVANE_ENGINE_BUILD_DIR), &error)) << qPrintable(error);
    qputenv("CORVANE_APPDIR", app_.path().toUtf8());  // where the library looks for the engine's figures
    platform::pathMap();
    const QString drives = "C:=" + c_.path() + ";E:=" + e_.path();
    qputenv("CORVANE_DRIVES", drives.toUtf8());
    map_ = std::make_unique<test::ScopedPathMap>(platform::PathMap::parse(drives));
    window_.paths.statusDb = app_.statusDb();
    window_.paths.filesDb = app_.filesDb();
    test::writeFile(c_.filePath("docs/a.txt"), "first");
    test::writeFile(c_.filePath("docs/b.txt"), "second");

    EngineHooks hooks;
    hooks.launcher = std::make_shared<DetachedEngineLauncher>(app_.path());
    hooks.endEngine = [this] { return snapshot::endEngineProcesses(QFile::encodeName(app_.path()).toStdString()); };
    hooks.after = [](int, std::function<void()> then) { then(); };
    // C: is the fuller drive, so the plan writes the images to E:.
    hooks.driveSizes = [](const QString& drive, double& total, double& free) {
      total = drive.startsWith("C") ? 100e9 : 1000e9;
      free = drive.startsWith("C") ? 10e9 : 900e9;
      return true;
    };
    front_ = std::make_unique<EngineFrontEnd>(window_.paths, EngineLibrary::load(engineLibraryPath(app_.path())),
                                              std::move(hooks));
    ASSERT_TRUE(front_->engine().available()) << qPrintable(front_->engine().problem());
  }
  void TearDown() override {
    snapshot::endEngineProcesses(QFile::encodeName(app_.path()).toStdString());
    test::waitUntil([this] { return front_ && front_->engine().functions().SShIsInProgress() != 0; });
    qunsetenv("CORVANE_DRIVES");
    qunsetenv("CORVANE_APPDIR");
  }

  // Ticks the panel until its status text is the one given (a bound, not a timing).
  bool refreshUntil(const QString& status) {
    return test::waitUntil([&] {
      front_->UpdateOldImagePage();
      return front_->panel().status == status;
    });
  }
  QString image(const QString& name) const { return e_.filePath("CorvaneImage/" + name); }
  QStringList operations() const {
    store::DBConnection c;
    c.Open(app_.filesDb());
    QStringList ops;
    for (store::DBRecordset rs = c.Query("Select Operation from Images Order By ImageOpID"); !rs.AtEnd(); rs.MoveNext())
      ops << rs.Text("Operation");
    return ops;
  }
  // A large file that costs no disk, so an image is still being written when the test acts.
  void addLargeFile(const QString& name, qint64 size) {
    QFile sparse(c_.filePath(name));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(size));
  }

  test::TempAppFolder app_;
  QTemporaryDir c_, e_;
  std::unique_ptr<test::ScopedPathMap> map_;
  test::FakeMainWindow window_;
  test::RecordingMessages messages_;
  std::unique_ptr<EngineFrontEnd> front_;
};

}  // namespace

TEST_F(RealEngine, TheFirstImageIsFullAndAnAbortedSecondLeavesItIntact) {
  // A first full image that fails as on a full disk is no image to build on: it is made again.
  qputenv("CORVANE_ENGINE_WRITE_LIMIT", "0");
  front_->btnConnectToImageEngine_Click();
  front_->btnCreateImage_Click();
  qunsetenv("CORVANE_ENGINE_WRITE_LIMIT");
  ASSERT_TRUE(refreshUntil("Aborted")) << qPrintable(front_->panel().status + " " + messages_.texts.join("|"));
  front_->UpdateOldImagePage();  // the engine may have ended in the middle of the tick that saw it
  EXPECT_EQ(front_->panel().statusLine, "Status: Fail 4");
  EXPECT_TRUE(operations().isEmpty());
  EXPECT_EQ(store::settingValue(app_.statusDb(), "ImageActive"), "No");

  // Large enough that the image is still being written when the panel first looks: the engine
  // takes a hole as zeros, about 0.2 s for each 4 GiB (256 MiB were done in 20 ms, which a busy
  // machine could let pass between two looks). Its content is not read back below.
  addLargeFile("docs/zeros.bin", qint64(16) << 30);
  front_->btnCreateImage_Click();
  EXPECT_EQ(front_->panel().status, "Creating Image") << qPrintable(messages_.texts.join("|"));
  ASSERT_TRUE(refreshUntil("Writing Image")) << qPrintable(front_->panel().status + " " + front_->panel().statusLine);
  ASSERT_TRUE(refreshUntil("Stopped")) << qPrintable(front_->panel().statusLine);
  EXPECT_EQ(front_->panel().statusLine, "Status: OK");
  EXPECT_TRUE(front_->panel().createEnabled);
  EXPECT_EQ(operations(), QStringList{"Full"});
  EXPECT_EQ(store::settingValue(app_.statusDb(), "ImageActive"), "No");
  const auto entries = test::readImage(image("$DISK.sna"), 1 << 20);
  ASSERT_TRUE(entries.count("C/docs/a.txt")) << entries.size();
  EXPECT_EQ(entries.at("C/docs/a.txt").content, "first");
  const QByteArray full = test::readFile(image("$DISK.sna"));
  const QByteArray hashes = test::readFile(image("$DISK.hsh"));

  // The second image is a differential one; a new large file keeps it busy until it is aborted.
  addLargeFile("docs/more.bin", qint64(64) << 30);
  front_->btnCreateImage_Click();
  ASSERT_TRUE(refreshUntil("Writing Image")) << qPrintable(front_->panel().status + " " + front_->panel().statusLine + messages_.texts.join("|"));
  EXPECT_EQ(operations(), QStringList({"Full", "Diff"}));
  ASSERT_TRUE(front_->panel().abortEnabled);
  front_->btnAbortImage_Click();
  EXPECT_FALSE(front_->connected());
  ASSERT_TRUE(test::waitUntil([&] { return front_->engine().functions().SShIsInProgress() != 0; }));

  EXPECT_EQ(test::readFile(image("$DISK.sna")), full);
  EXPECT_EQ(test::readFile(image("$DISK.hsh")), hashes);
  EXPECT_TRUE(QDir(e_.filePath("CorvaneImage")).entryList({"*.part"}, QDir::Files).isEmpty());
  EXPECT_TRUE(QFile::exists(c_.filePath("docs/a.txt")));
  // The aborted differential is no image to build on; the engine has gone, the image is over.
  EXPECT_EQ(operations(), QStringList{"Full"});
  front_->UpdateOldImagePage();
  EXPECT_EQ(store::settingValue(app_.statusDb(), "ImageActive"), "No");

  // Connected again, the panel shows the ended image and lets a new one start.
  front_->btnConnectToImageEngine_Click();
  front_->UpdateOldImagePage();
  EXPECT_EQ(front_->panel().status, "Aborted");
  EXPECT_EQ(front_->panel().statusLine, "Status: Fail 8");
  EXPECT_TRUE(front_->panel().createEnabled);
}

TEST_F(RealEngine, TheAbortEndsOnlyTheEnginesOfItsOwnApplicationFolder) {
  // Stand-ins named like the engine: one running in this application folder (as the launcher
  // starts it), one in another folder (another installation's engine).
  QTemporaryDir elsewhere;
  const QString standIn = elsewhere.filePath("snapshot");
  ASSERT_TRUE(QFile::copy("/bin/sleep", standIn));
  QProcess ours, theirs, engine;
  ours.setWorkingDirectory(app_.path());
  theirs.setWorkingDirectory(elsewhere.path());
  for (QProcess* p : {&ours, &theirs}) {
    p->start(standIn, {"60"});
    ASSERT_TRUE(p->waitForStarted(10000));
  }
  // The real engine of this folder, started from elsewhere: it is known by the status file it holds.
  addLargeFile("docs/zeros.bin", qint64(64) << 30);
  ASSERT_TRUE(QDir(e_.path()).mkdir("CorvaneImage"));
  engine.setWorkingDirectory(elsewhere.path());
  engine.start(app_.file("snapshot"), {"C:", "E:\\CorvaneImage\\$DISK.sna", "-L4"});
  ASSERT_TRUE(engine.waitForStarted(10000));
  const EngineFunctions& f = front_->engine().functions();
  ASSERT_TRUE(test::waitUntil([&] { return f.SShIsInProgress() == 0; }));
  ASSERT_EQ(engine.state(), QProcess::Running);

  std::vector<int> listed = snapshot::folderEngineProcessIds("/proc", QFile::encodeName(app_.path()).toStdString());
  std::sort(listed.begin(), listed.end());
  std::vector<int> expected{int(ours.processId()), int(engine.processId())};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed, expected);

  EXPECT_EQ(snapshot::endEngineProcesses(QFile::encodeName(app_.path()).toStdString()), 2);
  ASSERT_TRUE(engine.waitForFinished(20000));
  EXPECT_EQ(engine.exitCode(), 0);  // ended on request, its partial image removed
  EXPECT_TRUE(QDir(e_.filePath("CorvaneImage")).entryList(QDir::Files).isEmpty());
  EXPECT_EQ(theirs.state(), QProcess::Running);
  theirs.kill();
  theirs.waitForFinished(10000);
}
