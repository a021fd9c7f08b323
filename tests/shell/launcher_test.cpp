#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTimer>
#include <functional>

#include "handoff/SharedLists.h"
#include "platform/InstanceLock.h"
#include "shell/ui/FrmMain.h"
#include "store/Settings.h"
#include "support/TestSupport.h"

using namespace corvane;

namespace {

// Points the launcher's application folder at the test's folder while it lives.
class ScopedAppDirEnv {
 public:
  explicit ScopedAppDirEnv(const QString& folder) : previous_(qgetenv("CORVANE_APPDIR")) {
    qputenv("CORVANE_APPDIR", folder.toLocal8Bit());
  }
  ~ScopedAppDirEnv() {
    if (previous_.isEmpty()) qunsetenv("CORVANE_APPDIR");
    else qputenv("CORVANE_APPDIR", previous_);
  }

 private:
  QByteArray previous_;
};

QStringList snapshot(const QString& root) {
  QStringList out;
  QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo fi(it.next());
    out << QDir(root).relativeFilePath(fi.filePath()) + " " + QString::number(fi.size()) + " " +
               fi.lastModified().toString(Qt::ISODateWithMs);
  }
  out.sort();
  return out;
}

// Runs the event loop until done() holds, looking again whenever something in the folder
// changes; gives up when the program ends or after a generous bound.
bool waitUntil(QProcess& program, const QString& folder, const std::function<bool()>& done) {
  QEventLoop loop;
  QFileSystemWatcher watcher({folder});
  QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
    if (done()) loop.quit();
  });
  QObject::connect(&program, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  if (!done() && program.state() == QProcess::Running) loop.exec();
  return done();
}

// The program on the application folder, headless.
void startProgram(QProcess& program, const QString& appFolder, const QString& commandLine) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("CORVANE_APPDIR", appFolder);
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(CORVANE_EXE), {commandLine});
}

}  // namespace

TEST(Launcher, OnlyConfigOpensTheMainWindow) {
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  ScopedAppDirEnv env(app.path());
  struct Row {
    const char* line;
    int opens;
  };
  for (const Row& r : {Row{"", 1}, Row{"CONFIG^Corvane", 1}, Row{"CONFIG^a^b", 1}, Row{"CONFIG", 1},
                       Row{"config^Corvane", 0}, Row{"LOG^Log", 0}, Row{"STATUS^Status", 0}, Row{"other", 0}}) {
    int opens = 0;
    shell::FrmMain launcher(QString::fromUtf8(r.line), [&] { ++opens; });
    ASSERT_TRUE(launcher.Form_Load()) << r.line;
    launcher.Form_Activate();
    EXPECT_EQ(opens, r.opens) << r.line;
    EXPECT_FALSE(launcher.isVisible());
    EXPECT_EQ(launcher.findChild<QLineEdit*>("Text2")->text(), launcher.request().command);
    EXPECT_EQ(launcher.findChild<QLineEdit*>("Text1")->text(), launcher.request().caption);
  }
  shell::FrmMain empty(QString(), [] {});
  ASSERT_TRUE(empty.Form_Load());
  EXPECT_EQ(empty.request().caption, "Corvane Backup - Status: Active");
  EXPECT_EQ(handoff::sharedLists().searchFolders, QStringList{QString()});
  EXPECT_EQ(handoff::sharedLists().walkedFolders, QStringList{QString()});
}

TEST(Launcher, SecondCopyOnTheSameFolderIsRefused) {
  test::TempAppFolder app;
  ScopedAppDirEnv env(app.path());
  int opens = 0;
  shell::FrmMain first(QString(), [&] { ++opens; });
  ASSERT_TRUE(first.Form_Load());
  shell::FrmMain second(QString(), [&] { ++opens; });
  EXPECT_FALSE(second.Form_Load());
  EXPECT_EQ(opens, 0);
}

TEST(Launcher, SecondProgramEndsSilentlyAndLeavesNoTrace) {
  test::TempAppFolder app;
  platform::InstanceLock running(app.path());
  ASSERT_TRUE(running.tryLock());
  const QStringList before = snapshot(app.path());

  QProcess program;
  startProgram(program, app.path(), "CONFIG^Corvane");
  ASSERT_TRUE(program.waitForFinished(30000)) << "the second copy kept running";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(program.readAllStandardOutput().isEmpty());
  EXPECT_EQ(snapshot(app.path()), before);
}

// The program itself, on the offscreen platform: "CONFIG" opens the main window, whose load
// writes this computer's first identity rows, and the window then keeps the program running.
TEST(Launcher, TheProgramOpensItsMainWindowForConfig) {
  test::TempAppFolder app;
  QProcess program;
  startProgram(program, app.path(), "CONFIG^Corvane Backup");
  ASSERT_TRUE(program.waitForStarted());
  const bool loaded = waitUntil(program, app.path(), [&] { return store::DBSettingExists(app.statusDb(), "DIdentity"); });
  const bool running = program.state() == QProcess::Running;
  program.kill();
  program.waitForFinished(30000);
  QFile::remove(platform::InstanceLock(app.path()).lockFilePath());  // left by the killed copy
  EXPECT_TRUE(loaded) << program.readAllStandardError().toStdString();
  EXPECT_TRUE(running);
  EXPECT_EQ(store::settingValue(app.statusDb(), "Identity"), "0");
}
