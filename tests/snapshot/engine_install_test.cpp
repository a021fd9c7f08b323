// The engine as an installation lays it out: both files in the application folder, the
// program finding its status file beside itself and the library loadable the way the window
// loads it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>

#include "snapshot/StatusBlock.h"
#include "store/AppFolderLayout.h"
#include "support/TestSupport.h"

using namespace corvane;

TEST(EngineInstall, TheLaidOutFolderRunsTheEngineAndLoadsItsLibrary) {
  QTemporaryDir dir;
  const QString app = dir.path() + "/app";
  const QString engineDir = QFileInfo(QStringLiteral(CORVANE_ENGINE_PROGRAM)).absolutePath();
  QString error;
  ASSERT_TRUE(store::layOutAppFolder(app, test::shareDir(), &error)) << qPrintable(error);
  ASSERT_TRUE(store::installEngine(app, engineDir, &error)) << qPrintable(error);
  // Again over the first copy, as every run of the demo does.
  ASSERT_TRUE(store::installEngine(app, engineDir, &error)) << qPrintable(error);
  EXPECT_TRUE(QFileInfo(app + "/snapshot").isExecutable());
  EXPECT_TRUE(QDir(app).entryList({"*.part"}).isEmpty());
  EXPECT_FALSE(store::installEngine(app, dir.path() + "/nowhere", &error));

  QLibrary library(app + "/libsnapshot.so");
  ASSERT_TRUE(library.load()) << qPrintable(library.errorString());
  for (const char* name : {"SShConnect", "SShDisconnect", "SShGetStatusInfo", "SShIsPaused", "SShIsInProgress", "SShPause", "SShResume"})
    EXPECT_NE(library.resolve(name), nullptr) << name;
  library.unload();

  // Without CORVANE_APPDIR the engine's folder is the application folder.
  test::writeFile(dir.path() + "/c/a.txt", "a");
  QDir().mkpath(dir.path() + "/e/CorvaneImage");
  QProcess engine;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("CORVANE_APPDIR");
  env.insert("CORVANE_DRIVES", "C:=" + dir.path() + "/c;E:=" + dir.path() + "/e");
  engine.setProcessEnvironment(env);
  engine.start(app + "/snapshot", {"C:", "E:\\CorvaneImage\\$DISK.sna", "-L4"});
  ASSERT_TRUE(engine.waitForFinished(30000));
  EXPECT_EQ(engine.exitCode(), 0);
  EXPECT_TRUE(QFileInfo::exists(app + "/" + snapshot::kStatusFileName));
  EXPECT_TRUE(QFileInfo::exists(dir.path() + "/e/CorvaneImage/$DISK.sna"));
}
