// Full and differential images made by the real engine on small trees, read back with
// libarchive and with tar; and the failures that must leave no image behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <optional>
#include <string>
#include <utility>

#include "EngineFixture.h"
#include "snapshot/StatusBlock.h"
#include "support/TestSupport.h"

using namespace corvane::test;
using corvane::snapshot::StatusBlock;

namespace {

void setMtime(const QString& path, qint64 seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// The source drive every image test starts from.
void makeTree(const EngineWorld& w) {
  writeFile(w.c("docs/report.txt"), "first report");
  writeFile(w.c("docs/keep.txt"), "unchanged");
  writeFile(w.c("docs/old.txt"), "to be deleted");
  writeFile(w.c("docs/touched.txt"), "same content");
  writeFile(w.c("music/song.bin"), QByteArray(200000, 'm'));
  writeFile(w.c("odd names/a\\b and\nbreak.txt"), "odd");
  // No Windows form: its "\" is no separator, so the image folder's exclusion is not about it.
  writeFile(w.c("CorvaneImage\\keep/kept.txt"), "kept");
  QDir().mkpath(w.c("empty"));
  ASSERT_EQ(symlink("../docs/report.txt", QFile::encodeName(w.c("music/link")).constData()), 0);
  ASSERT_EQ(chmod(QFile::encodeName(w.c("docs/keep.txt")).constData(), 0600), 0);
  for (const char* f : {"docs/report.txt", "docs/keep.txt", "docs/old.txt", "docs/touched.txt", "music/song.bin"})
    setMtime(w.c(f), 1600000000);
  // An earlier image in the image folder, on the same drive as the sources in the second test.
  writeFile(w.imageFile("unrelated.txt"), "not mine");
}

bool noPartialFiles(const EngineWorld& w) {
  return QDir(w.imageFolder()).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty();
}

}  // namespace

TEST(EngineImages, FullThenDifferentialHoldEverythingThenOnlyTheChanges) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  EXPECT_TRUE(noPartialFiles(w));
  EXPECT_EQ(w.status().statusCode, 0);
  EXPECT_EQ(w.status().inProgress, 0);

  auto full = readImage(w.imageFile("$DISK.sna"));
  for (const char* p : {"C", "C/docs", "C/docs/report.txt", "C/docs/keep.txt", "C/docs/old.txt", "C/music/song.bin",
                        "C/music/link", "C/empty", "C/odd names/a\\b and\nbreak.txt"})
    EXPECT_EQ(full.count(p), 1u) << p;
  EXPECT_EQ(full["C/docs/report.txt"].content, "first report");
  EXPECT_EQ(full["C/docs/report.txt"].mtime, 1600000000);
  EXPECT_EQ(full["C/docs/keep.txt"].mode, 0600u);
  EXPECT_EQ(full["C/music/song.bin"].content, std::string(200000, 'm'));
  EXPECT_EQ(full["C/music/link"].type, 'l');
  EXPECT_EQ(full["C/music/link"].link, "../docs/report.txt");
  EXPECT_EQ(full["C/empty"].type, 'd');
  EXPECT_EQ(full.count("CorvaneDeleted.txt"), 0u);
  EXPECT_TRUE(QFile::exists(w.imageFile("$DISK.hsh")));

  // A change (the same size, a new time), a touch without change, a deletion, a new file.
  writeFile(w.c("docs/report.txt"), "other report");
  writeFile(w.c("docs/touched.txt"), "same content");
  QFile::remove(w.c("docs/old.txt"));
  writeFile(w.c("music/new.txt"), "new");
  writeFile(w.c("CorvaneImage\\keep/new.txt"), "new beside kept");
  ASSERT_EQ(w.run(EngineWorld::diffLine()), 0);
  EXPECT_TRUE(noPartialFiles(w));

  auto diff = readImage(w.imageFile("$DISK_Diff.sna"));
  EXPECT_EQ(diff["C/docs/report.txt"].content, "other report");
  EXPECT_EQ(diff["C/music/new.txt"].content, "new");
  EXPECT_EQ(diff["C/CorvaneImage\\keep/new.txt"].content, "new beside kept");
  // Rewritten with the same content: its time is new, and a restore must give that back.
  EXPECT_EQ(diff["C/docs/touched.txt"].content, "same content");
  for (const char* p : {"C/docs/keep.txt", "C/music/song.bin", "C/music/link", "C/empty"})
    EXPECT_EQ(diff.count(p), 0u) << p;
  EXPECT_EQ(diff["CorvaneDeleted.txt"].content, "C/docs/old.txt\n");

  // The differential's own list knows the whole drive as it is now.
  const QByteArray list = readFile(w.imageFile("$DISK_Diff.hsh"));
  EXPECT_TRUE(list.contains(" C/docs/keep.txt\n"));
  EXPECT_TRUE(list.contains(" C/music/new.txt\n"));
  EXPECT_FALSE(list.contains("old.txt"));
}

TEST(EngineImages, AnImageReadsBackWithTarAndNeverHoldsTheImageFolder) {
  if (QStandardPaths::findExecutable("tar").isEmpty() || QStandardPaths::findExecutable("zstd").isEmpty())
    GTEST_SKIP() << "tar and zstd are not installed";
  EngineWorld w;
  makeTree(w);
  // The image folder lies on a source drive: C: and E: are one folder here.
  const QStringList sameDrive = {"C:", "C:\\CorvaneImage\\$DISK.sna", "-L4", "-W"};
  QDir().mkpath(w.c("CorvaneImage"));
  writeFile(w.c("CorvaneImage/earlier.sna"), "an earlier image");
  // Names as bytes: UTF-8, and not UTF-8 at all.
  writeFile(w.c("docs/\u00e9t\u00e9.txt"), "summer");
  const QByteArray notUtf8 = QFile::encodeName(w.c("docs/")) + "bad\xff\xfe.txt";
  const int fd = open(notUtf8.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "raw", 3), 3);
  close(fd);
  ASSERT_EQ(w.run(sameDrive), 0);

  QTemporaryDir out;
  QProcess tar;
  tar.start("tar", {"--zstd", "-xf", w.c("CorvaneImage/$DISK.sna"), "-C", out.path()});
  ASSERT_TRUE(tar.waitForFinished(30000));
  const QByteArray complaints = tar.readAllStandardError();
  ASSERT_EQ(tar.exitCode(), 0) << complaints.constData();
  // Only the name that is not UTF-8 goes in as raw bytes (tar says so about that one alone).
  EXPECT_EQ(complaints.count("hdrcharset"), complaints.count("\n")) << complaints.constData();
  EXPECT_LE(complaints.count("\n"), 2) << complaints.constData();
  EXPECT_EQ(readFile(out.path() + "/C/docs/\u00e9t\u00e9.txt"), "summer");
  // Qt has no name for such a file: read and removed by its bytes (the temporary folders
  // could not remove it either).
  const QByteArray restored = QFile::encodeName(out.path() + "/C/docs/") + "bad\xff\xfe.txt";
  char raw[8] = {};
  const int in = open(restored.constData(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(in, 0);
  if (in >= 0) {
    EXPECT_EQ(read(in, raw, sizeof raw), 3);
    close(in);
  }
  EXPECT_STREQ(raw, "raw");
  unlink(restored.constData());
  unlink(notUtf8.constData());
  EXPECT_EQ(readFile(out.path() + "/C/docs/report.txt"), "first report");
  EXPECT_EQ(readFile(out.path() + "/C/odd names/a\\b and\nbreak.txt"), "odd");
  EXPECT_EQ(QFileInfo(out.path() + "/C/docs/report.txt").lastModified().toSecsSinceEpoch(), 1600000000);
  EXPECT_EQ(QFileInfo(out.path() + "/C/docs/keep.txt").permissions() & 0x0fff,
            QFileInfo(w.c("docs/keep.txt")).permissions() & 0x0fff);
  EXPECT_EQ(QFileInfo(out.path() + "/C/music/link").symLinkTarget(), QFileInfo(out.path() + "/C/docs/report.txt").absoluteFilePath());
  EXPECT_FALSE(QFileInfo::exists(out.path() + "/C/CorvaneImage"));
}

TEST(EngineImages, AFullDestinationFailsWithItsCodeAndKeepsTheEarlierImage) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray earlier = readFile(w.imageFile("$DISK.sna"));
  const QByteArray earlierList = readFile(w.imageFile("$DISK.hsh"));

  // Content that does not compress, more of it than the destination takes.
  QByteArray noise(300000, '\0');
  quint32 x = 12345;
  for (char& ch : noise) ch = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  writeFile(w.c("docs/noise.bin"), noise);
  EXPECT_EQ(w.run(EngineWorld::fullLine(), {"CORVANE_ENGINE_WRITE_LIMIT=100000"}), corvane::snapshot::kDestinationFull);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kDestinationFull);
  EXPECT_EQ(w.status().inProgress, 0);
  EXPECT_TRUE(noPartialFiles(w));
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_EQ(readFile(w.imageFile("$DISK.hsh")), earlierList);
}

TEST(EngineImages, ADifferentialWithoutAUsableHashListSaysWhichAndWritesNothing) {
  EngineWorld w;
  makeTree(w);
  EXPECT_EQ(w.run(EngineWorld::diffLine()), corvane::snapshot::kHashListMissing);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kHashListMissing);

  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  QByteArray list = readFile(w.imageFile("$DISK.hsh"));
  list.chop(1);  // the last line loses its line break: a list cut short
  writeFile(w.imageFile("$DISK.hsh"), list);
  EXPECT_EQ(w.run(EngineWorld::diffLine()), corvane::snapshot::kHashListDamaged);
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK_Diff.sna")));
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK_Diff.hsh")));
  EXPECT_TRUE(noPartialFiles(w));

  EXPECT_EQ(w.run({"C:", "E:\\CorvaneImage\\$DISK.sna", "-L99"}), corvane::snapshot::kBadCommandLine);
  EXPECT_EQ(w.run({"Q:", "E:\\CorvaneImage\\$DISK.sna"}), corvane::snapshot::kSourceMissing);
  EXPECT_EQ(w.run({"C:", "E:\\NoFolder\\$DISK.sna"}), corvane::snapshot::kDestinationUnwritable);
}

namespace {

void setMode(const QString& path, mode_t mode) { ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0); }

// Runs the full image with permissions counting: root reads and writes anything, so as root
// the engine runs without that power. Empty when it cannot be taken away here.
std::optional<int> runBoundByPermissions(EngineWorld& w) {
  const bool asRoot = geteuid() == 0;
  const auto dropPower = [] {
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
  };
  const int code = w.run(EngineWorld::fullLine(), {}, asRoot ? std::function<void()>(dropPower) : std::function<void()>());
  if (asRoot && code == 0) return std::nullopt;
  return code;
}

}  // namespace

TEST(EngineImages, AFileThatCannotBeReadFailsTheImageInsteadOfLeavingItOut) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray earlier = readFile(w.imageFile("$DISK.sna"));
  setMode(w.c("docs/keep.txt"), 0);
  const auto code = runBoundByPermissions(w);
  setMode(w.c("docs/keep.txt"), 0600);
  if (!code) GTEST_SKIP() << "cannot run the engine without root's read power here";
  EXPECT_EQ(*code, corvane::snapshot::kSourceUnreadable);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kSourceUnreadable);
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_TRUE(noPartialFiles(w));

  // A folder that cannot be listed, the same.
  setMode(w.c("music"), 0);
  const auto folderCode = runBoundByPermissions(w);
  setMode(w.c("music"), 0755);
  EXPECT_EQ(folderCode.value_or(-1), corvane::snapshot::kSourceUnreadable);
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);

  // An image folder that cannot be written: its own code, and the earlier image as it was.
  setMode(w.imageFolder(), 0555);
  const auto destinationCode = runBoundByPermissions(w);
  setMode(w.imageFolder(), 0755);
  EXPECT_EQ(destinationCode.value_or(-1), corvane::snapshot::kDestinationUnwritable);
  EXPECT_EQ(w.status().statusCode, corvane::snapshot::kDestinationUnwritable);
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_TRUE(noPartialFiles(w));
}

namespace {

// A chain of folders, each named name, below folder, with one file at its bottom. Built
// folder by folder through descriptors: the whole path is longer than the system lets a
// single call take.
void makeChain(const QString& folder, const std::string& name, int depth, const char* file, const std::string& content) {
  QDir().mkpath(folder);
  int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  for (int i = 0; i < depth; ++i) {
    ASSERT_EQ(mkdirat(fd, name.c_str(), 0755), 0);
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    ASSERT_GE(next, 0);
    fd = next;
  }
  const int f = openat(fd, file, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  close(fd);
  ASSERT_GE(f, 0);
  ASSERT_EQ(write(f, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(f);
}

// Removes such a chain from the bottom up, one level at a time: a removal by whole paths
// would fail past the system's path length and take time in the square of the depth.
void removeChain(const QString& folder, const std::string& name, int depth, const char* file) {
  int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int levels = 0;
  for (; fd >= 0 && levels < depth; ++levels) {
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (next < 0) break;
    close(fd);
    fd = next;
  }
  if (fd < 0) return;
  unlinkat(fd, file, 0);
  for (; levels > 0; --levels) {
    const int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(fd);
    if (parent < 0) return;
    unlinkat(parent, name.c_str(), AT_REMOVEDIR);
    fd = parent;
  }
  close(fd);
}

std::string chainPath(std::string path, const std::string& name, int depth, const char* file) {
  for (int i = 0; i < depth; ++i) path += "/" + name;
  return path + "/" + file;
}

}  // namespace

TEST(EngineImages, DeepAndLongPathsAreImagedAndTheirListsReadBack) {
  EngineWorld w;
  writeFile(w.c("top.txt"), "top");
  setMtime(w.c("top.txt"), 1600000000);
  const std::string longName(250, 'l');
  struct Chains {
    const EngineWorld& w;
    std::string longName;
    ~Chains() {
      removeChain(w.c("deep"), "a", 1000, "bottom.txt");
      removeChain(w.c("long"), longName, 300, "far.txt");
    }
  } chains{w, longName};
  makeChain(w.c("deep"), "a", 1000, "bottom.txt", "deep bottom");
  // Paths of more than 70,000 bytes.
  makeChain(w.c("long"), longName, 300, "far.txt", "far away");
  // A small stack: the walk must not take a frame of it per folder level.
  const auto smallStack = [] {
    const rlimit rl{128 * 1024, 128 * 1024};
    setrlimit(RLIMIT_STACK, &rl);
  };
  ASSERT_EQ(w.run(EngineWorld::fullLine(), {}, smallStack), 0);
  const std::string deep = chainPath("C/deep", "a", 1000, "bottom.txt");
  const std::string far = chainPath("C/long", longName, 300, "far.txt");
  {
    auto full = readImage(w.imageFile("$DISK.sna"));
    EXPECT_EQ(full[deep].content, "deep bottom");
    EXPECT_EQ(full[far].content, "far away");
  }

  writeFile(w.c("top.txt"), "new");
  ASSERT_EQ(w.run(EngineWorld::diffLine(), {}, smallStack), 0);
  auto diff = readImage(w.imageFile("$DISK_Diff.sna"));
  EXPECT_EQ(diff["C/top.txt"].content, "new");
  EXPECT_EQ(diff.count(deep), 0u);
  EXPECT_EQ(diff.count(far), 0u);
  EXPECT_EQ(diff["CorvaneDeleted.txt"].content, "");
}

TEST(EngineImages, HolesStayHolesThroughTarAndWhatFollowsThemIsIntact) {
  if (QStandardPaths::findExecutable("tar").isEmpty() || QStandardPaths::findExecutable("zstd").isEmpty())
    GTEST_SKIP() << "tar and zstd are not installed";
  EngineWorld w;
  const qint64 size = 64 << 20;
  {
    QFile f(w.c("disk.img"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // Data at places no file system block starts: the regions around them are rounded out.
    for (const auto& [at, text] : {std::pair<qint64, QByteArray>{1000, "start"}, {(40 << 20) + 7, "middle"}, {size - 3, "end"}}) {
      ASSERT_TRUE(f.seek(at));
      ASSERT_EQ(f.write(text), text.size());
    }
  }
  writeFile(w.c("zafter.txt"), "after the holes");
  struct stat st {};
  ASSERT_EQ(stat(QFile::encodeName(w.c("disk.img")).constData(), &st), 0);
  if (st.st_blocks * 512 >= size) GTEST_SKIP() << "this file system keeps no holes";
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  EXPECT_LT(QFileInfo(w.imageFile("$DISK.sna")).size(), 64 * 1024);

  QTemporaryDir out;
  QProcess tar;
  tar.start("tar", {"--zstd", "-xf", w.imageFile("$DISK.sna"), "-C", out.path()});
  ASSERT_TRUE(tar.waitForFinished(30000));
  ASSERT_EQ(tar.exitCode(), 0) << tar.readAllStandardError().constData();
  EXPECT_TRUE(readFile(out.path() + "/C/disk.img") == readFile(w.c("disk.img")));
  EXPECT_EQ(readFile(out.path() + "/C/zafter.txt"), "after the holes");
  ASSERT_EQ(stat(QFile::encodeName(out.path() + "/C/disk.img").constData(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, size / 16);
}

TEST(EngineImages, ADifferentialTrustsItsListOnlyForItsOwnImageAndDrives) {
  EngineWorld w;
  makeTree(w);
  writeFile(w.e("dsrc/d.txt"), "on D:");
  const QStringList twoDrives = {"CORVANE_DRIVES=C:=" + w.c() + ";D:=" + w.e("dsrc") + ";E:=" + w.e()};
  ASSERT_EQ(w.run({"C:+D:", "E:\\CorvaneImage\\$DISK.sna", "-L4", "-W"}, twoDrives), 0);

  // The last image could not read keep.txt whole: its line carries no hash.
  QByteArray list = readFile(w.imageFile("$DISK.hsh"));
  const int line = list.indexOf(" C/docs/keep.txt\n");
  ASSERT_GT(line, 32);
  list.replace(line - 32, 32, "-");
  writeFile(w.imageFile("$DISK.hsh"), list);
  // A differential of C: alone: D: was not looked at, so nothing of it is deleted.
  ASSERT_EQ(w.run(EngineWorld::diffLine(), twoDrives), 0);
  auto diff = readImage(w.imageFile("$DISK_Diff.sna"));
  EXPECT_EQ(diff["C/docs/keep.txt"].content, "unchanged");
  EXPECT_EQ(diff["CorvaneDeleted.txt"].content, "");
  ASSERT_TRUE(QFile::remove(w.imageFile("$DISK_Diff.sna")));
  ASSERT_TRUE(QFile::remove(w.imageFile("$DISK_Diff.hsh")));

  // Its full image gone, or another image in its place: no differential of any use.
  ASSERT_TRUE(QFile::rename(w.imageFile("$DISK.sna"), w.imageFile("moved.sna")));
  EXPECT_EQ(w.run(EngineWorld::diffLine(), twoDrives), corvane::snapshot::kHashListMissing);
  writeFile(w.imageFile("$DISK.sna"), "some other image");
  EXPECT_EQ(w.run(EngineWorld::diffLine(), twoDrives), corvane::snapshot::kHashListDamaged);
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK_Diff.sna")));
  EXPECT_FALSE(QFile::exists(w.imageFile("$DISK_Diff.hsh")));
  EXPECT_TRUE(noPartialFiles(w));
}

TEST(EngineImages, AWalkStopsAtEveryMountEvenOneOfTheSameDevice) {
  if (geteuid() != 0 || QStandardPaths::findExecutable("unshare").isEmpty()) GTEST_SKIP() << "needs root and unshare";
  EngineWorld w;
  writeFile(w.c("data/d.txt"), "d");
  QDir().mkpath(w.c("inner"));
  writeFile(w.c("hostfile"), "under the mount");
  writeFile(w.e("other/o.txt"), "another mount's");
  writeFile(w.e("bound.txt"), "mounted over");
  // Bind mounts in a mount namespace of the engine's own, gone when it ends.
  QProcess p;
  p.setProcessEnvironment(w.environment());
  const QStringList mountThenRun = {"-m", "sh", "-c",
                                    "mount --bind \"$1\" \"$2\" && mount --bind \"$3\" \"$4\" || exit 97; shift 4; exec \"$@\"",
                                    "sh", w.e("other"), w.c("inner"), w.e("bound.txt"), w.c("hostfile"),
                                    QStringLiteral(CORVANE_ENGINE_PROGRAM)};
  p.start("unshare", mountThenRun + EngineWorld::fullLine());
  ASSERT_TRUE(p.waitForFinished(30000));
  if (p.exitCode() == 97 || p.exitStatus() != QProcess::NormalExit) GTEST_SKIP() << "cannot mount here";
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
  auto image = readImage(w.imageFile("$DISK.sna"));
  EXPECT_EQ(image["C/data/d.txt"].content, "d");
  EXPECT_EQ(image["C/inner"].type, 'd');  // the mount point, kept empty
  EXPECT_EQ(image.count("C/inner/o.txt"), 0u);
  EXPECT_EQ(image.count("C/hostfile"), 0u);
}

namespace {

ino_t inodeOf(const QString& path) {
  struct stat st {};
  stat(QFile::encodeName(path).constData(), &st);
  return st.st_ino;
}

}  // namespace

TEST(EngineImages, AnImageAndItsListComeTogetherOrNotAtAll) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray earlier = readFile(w.imageFile("$DISK.sna"));
  const QByteArray earlierList = readFile(w.imageFile("$DISK.hsh"));
  const ino_t earlierImage = inodeOf(w.imageFile("$DISK.sna"));

  // Room for the whole new image (the tree is the same, so is the image) but not its list.
  const QString limit = QString("CORVANE_ENGINE_WRITE_LIMIT=%1").arg(earlier.size() + 10);
  EXPECT_EQ(w.run(EngineWorld::fullLine(), {limit}), corvane::snapshot::kDestinationFull);
  EXPECT_EQ(inodeOf(w.imageFile("$DISK.sna")), earlierImage);
  EXPECT_EQ(readFile(w.imageFile("$DISK.sna")), earlier);
  EXPECT_EQ(readFile(w.imageFile("$DISK.hsh")), earlierList);
  EXPECT_TRUE(noPartialFiles(w));

  // Ended between its two renames: the new image in place, the old list beside it, the new
  // list whole under its temporary name. The next differential pairs them again first.
  writeFile(w.c("docs/report.txt"), "a report the new full image holds");
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  const QByteArray newList = readFile(w.imageFile("$DISK.hsh"));
  ASSERT_TRUE(QFile::rename(w.imageFile("$DISK.hsh"), w.imageFile("$DISK.hsh.part")));
  writeFile(w.imageFile("$DISK.hsh"), earlierList);
  ASSERT_EQ(w.run(EngineWorld::diffLine()), 0);
  EXPECT_EQ(readFile(w.imageFile("$DISK.hsh")), newList);
  EXPECT_TRUE(noPartialFiles(w));
  EXPECT_EQ(readImage(w.imageFile("$DISK_Diff.sna")).count("C/docs/report.txt"), 0u);
}

TEST(EngineImages, AListOfTheFirstFormatGivesADifferentialOfEverything) {
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  // The list as the first engines wrote it: no owners, attributes, change times or inodes.
  QList<QByteArray> lines = readFile(w.imageFile("$DISK.hsh")).split('\n');
  QByteArray first = "CorvaneHashList 1 " + lines[0].split(' ')[2] + " $DISK.sna\n";
  for (qsizetype i = 1; i < lines.size(); ++i) {
    const QList<QByteArray> f = lines[i].split(' ');
    if (f.size() < 12) continue;
    first += f[0] + ' ' + f[1] + ' ' + f[5] + ' ' + f[6] + ' ' + f[10] + ' ' + lines[i].mid(lines[i].indexOf(" C") + 1) + '\n';
  }
  writeFile(w.imageFile("$DISK.hsh"), first);
  QFile::remove(w.c("docs/old.txt"));
  ASSERT_EQ(w.run(EngineWorld::diffLine()), 0);
  auto diff = readImage(w.imageFile("$DISK_Diff.sna"));
  EXPECT_EQ(diff["C/docs/keep.txt"].content, "unchanged");
  EXPECT_EQ(diff["C/music/song.bin"].content, std::string(200000, 'm'));
  EXPECT_EQ(diff["C/music/link"].type, 'l');
  EXPECT_EQ(diff["CorvaneDeleted.txt"].content, "C/docs/old.txt\n");
}

// Where /proc does not show the engine's descriptors (a chroot without it), an entry's
// extended attributes cannot be read by its path through the folder's descriptor; the image
// must still hold every entry, attributes of files included.
TEST(EngineImages, WithoutProcAnImageIsWholeAndKeepsFilesAttributes) {
  if (geteuid() != 0 || QStandardPaths::findExecutable("unshare").isEmpty()) GTEST_SKIP() << "needs root and unshare";
  EngineWorld w;
  makeTree(w);
  const bool attributes = setxattr(QFile::encodeName(w.c("docs/keep.txt")).constData(), "user.note", "kept", 4, 0) == 0;
  QProcess p;
  p.setProcessEnvironment(w.environment());
  // Only the engine's own descriptors are hidden (the sanitizer build needs the rest of /proc):
  // the shell's process becomes the engine's.
  p.start("unshare", QStringList{"-m", "sh", "-c", "mount -t tmpfs none /proc/$$/fd || exit 97; exec \"$@\"", "sh",
                                 QStringLiteral(CORVANE_ENGINE_PROGRAM)} + EngineWorld::fullLine());
  ASSERT_TRUE(p.waitForFinished(30000));
  if (p.exitCode() == 97 || p.exitStatus() != QProcess::NormalExit) GTEST_SKIP() << "cannot mount here";
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
  auto image = readImage(w.imageFile("$DISK.sna"));
  EXPECT_EQ(image["C/docs/report.txt"].content, "first report");
  EXPECT_EQ(image["C/music/link"].type, 'l');
  EXPECT_EQ(image["C/empty"].type, 'd');
  if (attributes) {
    EXPECT_EQ(image["C/docs/keep.txt"].xattrs["user.note"], "kept");
  }
}
