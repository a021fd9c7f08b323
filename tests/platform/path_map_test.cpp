#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/AppFolder.h"
#include "platform/Drives.h"
#include "platform/PathMap.h"

using namespace corvane::platform;

namespace {

TEST(PathMap, ParsesTheEnvironmentForm) {
  const PathMap m = PathMap::parse("c:=/srv/c/;D:=/mnt/d;bad;E=/x;F:=;D:=/again");
  ASSERT_EQ(m.entries().size(), 2);
  EXPECT_EQ(m.entries()[0].drive, "C:");
  EXPECT_EQ(m.entries()[0].nativeRoot, "/srv/c");
  EXPECT_EQ(m.entries()[1].drive, "D:");
  EXPECT_EQ(m.entries()[1].nativeRoot, "/mnt/d");
}

TEST(PathMap, WindowsFormToNativeAndBack) {
  const PathMap m = PathMap::parse("C:=/;D:=/mnt/d");
  EXPECT_EQ(m.toNative("C:\\Users\\Public").value_or("?"), "/Users/Public");
  EXPECT_EQ(m.toNative("C:").value_or("?"), "/");
  EXPECT_EQ(m.toNative("c:\\").value_or("?"), "/");
  EXPECT_EQ(m.toNative("D:\\a b\\c").value_or("?"), "/mnt/d/a b/c");
  EXPECT_FALSE(m.toNative("E:\\x").has_value());
  EXPECT_FALSE(m.toNative("D:\\a\\..\\..\\etc").has_value());
  EXPECT_FALSE(m.toNative("relative\\path").has_value());

  // The longest root wins, so a mounted disk is not seen as a folder of C:.
  EXPECT_EQ(m.toWindows("/mnt/d/a b/c").value_or("?"), "D:\\a b\\c");
  EXPECT_EQ(m.toWindows("/mnt/d").value_or("?"), "D:");
  EXPECT_EQ(m.toWindows("/mnt/dx").value_or("?"), "C:\\mnt\\dx");
  EXPECT_EQ(m.toWindows("/").value_or("?"), "C:");
  EXPECT_FALSE(m.toWindows("/mnt/d/back\\slash").has_value());
  EXPECT_FALSE(PathMap::parse("D:=/mnt/d").toWindows("/home").has_value());
}

TEST(PathMap, WindowsFormIsALetterAndAColon) {
  for (const char* p : {"C:", "c:\\", "D:\\a\\b", "z:name"}) EXPECT_TRUE(isWindowsDrivePath(p)) << p;
  for (const char* p : {"", "C", ":\\", "1:\\x", "\\\\server\\share", "/home/c:", "CD:\\"})
    EXPECT_FALSE(isWindowsDrivePath(p)) << p;
}

TEST(Drives, MappedFoldersAreFixedDrivesWithSizes) {
  QTemporaryDir c, d;
  qputenv("CORVANE_DRIVES", "x");  // mapped drives count as fixed
  const PathMap m = PathMap::parse("C:=" + c.path() + ";D:=" + d.path() + ";E:=" + d.path() + "/missing");
  const QList<DriveInfo> drives = listDrives(m);
  qunsetenv("CORVANE_DRIVES");
  ASSERT_EQ(drives.size(), 2);
  EXPECT_EQ(drives[0].rootPath, "C:\\");
  EXPECT_EQ(drives[1].drive, "D:");
  EXPECT_EQ(drives[1].kind, DriveKind::Fixed);
  EXPECT_GT(drives[0].totalBytes, 0);
  EXPECT_GE(drives[0].totalBytes, drives[0].freeBytes);
}

TEST(AppFolder, FolderValuesHangOffTheApplicationFolder) {
  qputenv("CORVANE_APPDIR", "/opt/corvane/");
  EXPECT_EQ(applicationFolder(), "/opt/corvane");
  qunsetenv("CORVANE_APPDIR");
  const AppPaths p = AppPaths::forFolder("/opt/corvane");
  EXPECT_EQ(p.mirrorRootPath, "/opt/corvane/TmpCorvane");
  EXPECT_EQ(p.configFolderPath, "/opt/corvane/Config");
  EXPECT_EQ(p.logsFolderPath, "/opt/corvane/Logs");
  EXPECT_EQ(p.extensionsFolderPath, "/opt/corvane/Extensions");
  EXPECT_EQ(p.dirFolderPath, "/opt/corvane/Dir");
}

}  // namespace
