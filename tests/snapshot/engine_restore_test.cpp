// A full image, one kind of change, a differential, and the restore with plain tar exactly as
// the engine's README gives it: the restored tree must be the changed tree, entry by entry
// (content, type, permissions, owner, link target, hard links, extended attributes and ACLs,
// times to the nanosecond).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "support/TestSupport.h"

using namespace corvane::test;

namespace {

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The restore steps of the README, without the lines that name the images and the folder to
// restore into: the test gives FULL, DIFF and the working folder.
std::string documentedRestore() {
  QFile readme(QStringLiteral(CORVANE_ENGINE_README));
  if (!readme.open(QIODevice::ReadOnly)) return {};
  const QString text = QString::fromUtf8(readme.readAll());
  const qsizetype section = text.indexOf("## Restoring with plain tools");
  const qsizetype start = text.indexOf("```sh\n", section);
  const qsizetype end = text.indexOf("```\n", start + 6);
  if (section < 0 || start < 0 || end < 0) return {};
  std::string script;
  for (const QString& line : text.mid(start + 6, end - start - 6).split('\n'))
    if (!line.startsWith("FULL=") && !line.startsWith("DIFF=") && !line.startsWith("cd ")) script += line.toStdString() + "\n";
  return script;
}

struct Entry {
  char type = '?';
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  timespec mtime{};
  std::string content;  // a file's bytes, a link's target
  std::map<std::string, std::string> xattrs;
  std::set<std::string> names;  // every name of a file with several
};

std::string quoted(const std::string& s) {
  std::string out;
  for (unsigned char c : s) out += (c < 32 || c > 126) ? "\\x" + QByteArray(1, static_cast<char>(c)).toHex().toStdString() : std::string(1, c);
  return out;
}

std::string describe(const Entry& e) {
  std::string out = std::string(1, e.type) + " mode " + std::to_string(e.mode) + " owner " + std::to_string(e.uid) + ":" +
                    std::to_string(e.gid) + " mtime " + std::to_string(e.mtime.tv_sec) + "." + std::to_string(e.mtime.tv_nsec) +
                    " content " + quoted(e.content.substr(0, 64)) + " (" + std::to_string(e.content.size()) + " bytes)";
  for (const auto& [name, value] : e.xattrs) out += " " + name + "=" + quoted(value);
  for (const std::string& n : e.names) out += " name " + n;
  return out;
}

// Every entry at and below root by its path relative to root, read without following links.
std::map<std::string, Entry> readTree(const std::string& root) {
  std::map<std::string, Entry> tree;
  std::map<std::pair<dev_t, ino_t>, std::set<std::string>> linked;
  std::vector<std::string> paths = {""};
  namespace fs = std::filesystem;
  for (const auto& item : fs::recursive_directory_iterator(root)) paths.push_back(fs::relative(item.path(), root).string());
  for (const std::string& rel : paths) {
    const std::string path = rel.empty() ? root : root + "/" + rel;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
      ADD_FAILURE() << "cannot look at " << path;
      continue;
    }
    Entry e;
    e.type = S_ISDIR(st.st_mode) ? 'd' : S_ISREG(st.st_mode) ? 'f' : S_ISLNK(st.st_mode) ? 'l' : S_ISFIFO(st.st_mode) ? 'p' : 'o';
    e.mode = st.st_mode & 07777;
    e.uid = st.st_uid;
    e.gid = st.st_gid;
    e.mtime = st.st_mtim;
    if (e.type == 'f') e.content = readFile(QFile::decodeName(path.c_str())).toStdString();
    if (e.type == 'l') {
      char target[4096];
      const ssize_t n = readlink(path.c_str(), target, sizeof target);
      if (n > 0) e.content.assign(target, static_cast<size_t>(n));
    }
    char names[4096];
    const ssize_t n = llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; n > 0 && at < n; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
      char value[4096];
      const ssize_t v = lgetxattr(path.c_str(), names + at, value, sizeof value);
      e.xattrs[names + at] = v >= 0 ? std::string(value, static_cast<size_t>(v)) : "(unreadable)";
    }
    if (e.type == 'f' && st.st_nlink > 1) linked[{st.st_dev, st.st_ino}].insert(rel);
    tree[rel] = e;
  }
  for (const auto& [id, names] : linked)
    for (const std::string& name : names) tree[name].names = names;
  return tree;
}

void expectSameTree(const std::string& expectedRoot, const std::string& restoredRoot) {
  const auto expected = readTree(expectedRoot);
  const auto restored = readTree(restoredRoot);
  for (const auto& [path, e] : expected) {
    const auto r = restored.find(path);
    if (r == restored.end()) {
      ADD_FAILURE() << "not restored: " << quoted(path);
      continue;
    }
    EXPECT_EQ(describe(r->second), describe(e)) << quoted(path);
  }
  for (const auto& [path, e] : restored)
    if (!expected.count(path)) ADD_FAILURE() << "restored, but not in the tree: " << quoted(path);
}

void setTime(const QString& path, timespec t) {
  const timespec times[2] = {t, t};
  ASSERT_EQ(utimensat(AT_FDCWD, native(path).c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << native(path);
}

timespec timeOf(const QString& path) {
  struct stat st {};
  lstat(native(path).c_str(), &st);
  return st.st_mtim;
}

// For names Qt cannot carry (bytes that are not UTF-8).
void writeNativeFile(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  close(fd);
}

// An attribute of the test's own; false when the file system keeps none.
bool setAttribute(const QString& path, const char* name, const std::string& value) {
  return lsetxattr(native(path).c_str(), name, value.data(), value.size(), 0) == 0;
}

// An ACL as the file system keeps it: version 2, then entries of tag, permissions and id, in
// the order the kernel wants (by tag, then id).
std::string posixAcl(const std::vector<std::array<unsigned, 3>>& entries) {
  std::string out;
  const auto put = [&out](unsigned v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
  };
  put(2, 4);
  for (const auto& [tag, perm, id] : entries) {
    put(tag, 2);
    put(perm, 2);
    put(id, 4);
  }
  return out;
}

// The source drive every restore starts from. Times are set last, folders after what they
// hold, each with its own nanoseconds.
void makeTree(const EngineWorld& w) {
  writeFile(w.c("docs/report.txt"), "first report");
  writeFile(w.c("docs/keep.txt"), "unchanged");
  writeFile(w.c("docs/same.bin"), QByteArray(4096, 'a'));
  writeFile(w.c("folder/inner/a.txt"), "inner");
  writeFile(w.c("folder/b.txt"), "b");
  writeFile(w.c("file.txt"), "a file");
  writeFile(w.c("linked/one.txt"), "linked content");
  ASSERT_EQ(link(native(w.c("linked/one.txt")).c_str(), native(w.c("linked/two.txt")).c_str()), 0);
  // Before the folder in the walk's order.
  ASSERT_EQ(link(native(w.c("linked/one.txt")).c_str(), native(w.c("alink.txt")).c_str()), 0);
  ASSERT_EQ(symlink("docs/report.txt", native(w.c("link")).c_str()), 0);
  writeFile(w.c("old.txt"), "from 1960");
  // Names the list of deleted paths writes escaped.
  writeFile(w.c("docs/a \\ b\nc.txt"), "odd");
  writeFile(w.c("docs/ends in a break\n"), "odd too");
  // Not UTF-8, and its last byte opens a character of three: a UTF-8 shell's read runs it
  // into the next line.
  writeNativeFile(native(w.c("docs")) + "/caf\xe9", "latin-1");
  QDir().mkpath(w.c("empty"));
  ASSERT_EQ(chmod(native(w.c("docs/keep.txt")).c_str(), 0600), 0);
  setAttribute(w.c("docs/keep.txt"), "user.note", "first note");
  long ns = 100000001;
  for (const char* f : {"docs/report.txt", "docs/keep.txt", "docs/same.bin", "folder/inner/a.txt", "folder/b.txt", "file.txt",
                        "linked/one.txt", "link"})
    setTime(w.c(f), {1600000000, ns += 111111});
  setTime(w.c("old.txt"), {-315619200, 250000000});  // 1960-01-01 00:00:00.25
  for (const char* d : {"docs", "folder/inner", "folder", "linked", "empty", ""}) setTime(w.c(d), {1650000000, ns += 111111});
}

struct Change {
  const char* name;
  // Changes the tree; a reason when it cannot be made here (the test is then skipped).
  std::function<std::string(const EngineWorld&)> apply;
};

const std::vector<Change>& changes() {
  static const std::vector<Change> all = {
      {"FolderReplacedByFile",
       [](const EngineWorld& w) {
         QDir(w.c("folder")).removeRecursively();
         writeFile(w.c("folder"), "now a file");
         return std::string();
       }},
      {"FileReplacedByFolder",
       [](const EngineWorld& w) {
         QFile::remove(w.c("file.txt"));
         writeFile(w.c("file.txt/inside.txt"), "now a folder");
         return std::string();
       }},
      {"NewContentSameSizeAndTime",
       [](const EngineWorld& w) {
         const timespec t = timeOf(w.c("docs/same.bin"));
         const timespec folder = timeOf(w.c("docs"));
         writeFile(w.c("docs/same.bin"), QByteArray(4096, 'b'));
         setTime(w.c("docs/same.bin"), t);
         setTime(w.c("docs"), folder);
         return std::string();
       }},
      {"OwnerChanged",
       [](const EngineWorld& w) {
         if (geteuid() != 0) return std::string("changing owners needs root");
         EXPECT_EQ(lchown(native(w.c("docs/report.txt")).c_str(), 1234, 5678), 0);
         EXPECT_EQ(lchown(native(w.c("link")).c_str(), 4321, 8765), 0);
         EXPECT_EQ(lchown(native(w.c("empty")).c_str(), 1111, 2222), 0);
         return std::string();
       }},
      {"TimeOnly",
       [](const EngineWorld& w) {
         setTime(w.c("docs/keep.txt"), {1500000000, 1});
         setTime(w.c("old.txt"), {-1000000, 999999999});
         setTime(w.c("link"), {1400000000, 7});
         setTime(w.c("empty"), {-86400, 500});
         return std::string();
       }},
      {"SubSecondTimeOnly",
       [](const EngineWorld& w) {
         timespec t = timeOf(w.c("docs/report.txt"));
         t.tv_nsec = (t.tv_nsec + 1) % 1000000000;
         setTime(w.c("docs/report.txt"), t);
         return std::string();
       }},
      {"AttributesChanged",
       [](const EngineWorld& w) {
         if (!setAttribute(w.c("docs/keep.txt"), "user.note", "second note"))
           return std::string("this file system keeps no extended attributes");
         setAttribute(w.c("docs/report.txt"), "user.binary", std::string("a\0b\xff", 4));
         // An access ACL (a named user may read) and a folder's default ACL.
         if (!setAttribute(w.c("docs/report.txt"), "system.posix_acl_access",
                           posixAcl({{0x01, 6, ~0u}, {0x02, 4, 1234}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 4, ~0u}})))
           return std::string("this file system keeps no ACLs");
         setAttribute(w.c("docs"), "system.posix_acl_default",
                      posixAcl({{0x01, 7, ~0u}, {0x04, 5, ~0u}, {0x08, 7, 55}, {0x10, 7, ~0u}, {0x20, 5, ~0u}}));
         // A file capability (cap_net_raw, effective); only root may set one.
         if (geteuid() == 0) {
           EXPECT_TRUE(setAttribute(w.c("file.txt"), "security.capability",
                                    std::string("\x01\x00\x00\x02\x00\x20\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 20)));
         }
         return std::string();
       }},
      {"Deleted",
       [](const EngineWorld& w) {
         // Its folder given its old time back (as cp -a and rsync do): the restore's own
         // deletion must not leave the folder with the time of the restore.
         const timespec folder = timeOf(w.c("docs"));
         EXPECT_TRUE(QFile::remove(w.c("docs/keep.txt")));
         EXPECT_TRUE(QFile::remove(w.c("docs/a \\ b\nc.txt")));
         EXPECT_TRUE(QFile::remove(w.c("docs/ends in a break\n")));
         EXPECT_EQ(unlink((native(w.c("docs")) + "/caf\xe9").c_str()), 0);
         setTime(w.c("docs"), folder);
         return std::string();
       }},
      {"Renamed",
       [](const EngineWorld& w) {
         EXPECT_TRUE(QFile::rename(w.c("docs/report.txt"), w.c("docs/renamed.txt")));
         // One of a file's several names.
         EXPECT_TRUE(QFile::rename(w.c("linked/two.txt"), w.c("linked/zwei.txt")));
         return std::string();
       }},
      {"ModeOnly",
       [](const EngineWorld& w) {
         EXPECT_EQ(chmod(native(w.c("docs/keep.txt")).c_str(), 0640), 0);
         EXPECT_EQ(chmod(native(w.c("docs")).c_str(), 0750), 0);
         return std::string();
       }},
      {"NewHardLink",
       [](const EngineWorld& w) {
         EXPECT_EQ(link(native(w.c("docs/report.txt")).c_str(), native(w.c("docs/report-too.txt")).c_str()), 0);
         EXPECT_EQ(link(native(w.c("linked/one.txt")).c_str(), native(w.c("linked/three.txt")).c_str()), 0);
         return std::string();
       }},
      {"HardLinkBrokenApart",
       [](const EngineWorld& w) {
         const timespec t = timeOf(w.c("linked/two.txt"));
         QFile::remove(w.c("linked/two.txt"));
         writeFile(w.c("linked/two.txt"), "linked content");
         setTime(w.c("linked/two.txt"), t);
         return std::string();
       }},
      {"LinkedFolderRenamed",
       [](const EngineWorld& w) {
         // Its files keep their change time: only the folder was touched.
         EXPECT_TRUE(QDir().rename(w.c("linked"), w.c("zlinked")));
         return std::string();
       }},
      {"LinkRetargeted",
       [](const EngineWorld& w) {
         QFile::remove(w.c("link"));
         EXPECT_EQ(symlink("docs/keep.txt", native(w.c("link")).c_str()), 0);
         return std::string();
       }},
  };
  return all;
}

void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }

class RestoreAfterChange : public testing::TestWithParam<Change> {};

// Restores the world's full image and differential with the README's steps into target.
void restoreWithTheReadmesSteps(const EngineWorld& w, const QTemporaryDir& target) {
  const std::string restore = documentedRestore();
  ASSERT_FALSE(restore.empty()) << "no restore steps in " << CORVANE_ENGINE_README;
  QProcess shell;
  QProcessEnvironment shellEnv = QProcessEnvironment::systemEnvironment();
  shellEnv.insert("FULL", w.imageFile("$DISK.sna"));
  shellEnv.insert("DIFF", w.imageFile("$DISK_Diff.sna"));
  // As on a user's desktop.
  shellEnv.insert("LC_ALL", "C.UTF-8");
  shell.setProcessEnvironment(shellEnv);
  shell.setWorkingDirectory(target.path());
  shell.start("bash", {"-euc", QString::fromStdString(restore)});
  ASSERT_TRUE(shell.waitForFinished(60000));
  const QByteArray complaints = shell.readAllStandardError();
  ASSERT_EQ(shell.exitCode(), 0) << complaints.constData();
  EXPECT_EQ(QDir(target.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"C"});
}

// The restore of the world's full image and differential is drive C: as it is now.
void expectRestoreGivesTheTreeBack(const EngineWorld& w) {
  QTemporaryDir target;
  ASSERT_NO_FATAL_FAILURE(restoreWithTheReadmesSteps(w, target));
  expectSameTree(native(w.c()), native(target.path() + "/C"));
}

bool haveTar() { return !QStandardPaths::findExecutable("tar").isEmpty() && !QStandardPaths::findExecutable("zstd").isEmpty(); }

TEST_P(RestoreAfterChange, FullThenDifferentialRestoredWithTarGiveTheChangedTreeBack) {
  if (!haveTar()) GTEST_SKIP() << "tar and zstd are not installed";
  EngineWorld w;
  makeTree(w);
  // The tree counts as old, as real trees are: unchanged entries are known by their change
  // time alone.
  const QStringList env = {"CORVANE_ENGINE_CHANGE_MARGIN_MS=0"};
  ASSERT_EQ(w.run(EngineWorld::fullLine(), env), 0);
  const std::string skip = GetParam().apply(w);
  if (!skip.empty()) GTEST_SKIP() << skip;
  ASSERT_EQ(w.run(EngineWorld::diffLine(), env), 0);
  expectRestoreGivesTheTreeBack(w);
}

// Entries changed just before their image have no change time to go by: every one of them is
// looked at again, and the restore is as exact.
TEST(RestoreAfterChanges, EveryKindAtOnceOnAFreshTree) {
  if (!haveTar()) GTEST_SKIP() << "tar and zstd are not installed";
  EngineWorld w;
  makeTree(w);
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  std::map<std::string, const Change*> byName;
  for (const Change& c : changes()) byName[c.name] = &c;
  // An order in which none undoes another (the split hard link would undo the rename).
  for (const char* name : {"AttributesChanged", "FolderReplacedByFile", "FileReplacedByFolder", "NewContentSameSizeAndTime",
                           "OwnerChanged", "TimeOnly", "SubSecondTimeOnly", "ModeOnly", "NewHardLink", "Renamed",
                           "LinkedFolderRenamed", "LinkRetargeted", "Deleted"})
    byName.at(name)->apply(w);
  ASSERT_EQ(w.run(EngineWorld::diffLine()), 0);
  expectRestoreGivesTheTreeBack(w);
}

// The window leaves "\CorvaneImage\*" out of the differential only. On a source drive that
// is not the destination such a folder is the user's own: the full image holds it, and the
// restore must keep that copy rather than delete what the differential did not look at.
TEST(RestoreAfterChanges, AFolderOnlyTheDifferentialExcludesComesBackAsTheFullImageHeldIt) {
  if (!haveTar()) GTEST_SKIP() << "tar and zstd are not installed";
  EngineWorld w;
  makeTree(w);
  writeFile(w.c("CorvaneImage/photo.jpg"), "my photo");
  writeFile(w.c("CorvaneImage/album/beach.jpg"), "the beach");
  ASSERT_EQ(w.run(EngineWorld::fullLine()), 0);
  QTemporaryDir asImaged;
  ASSERT_EQ(QProcess::execute("cp", {"-a", w.c("CorvaneImage"), asImaged.path()}), 0);
  writeFile(w.c("CorvaneImage/photo.jpg"), "edited after the full image");
  ASSERT_EQ(w.run(EngineWorld::diffLine()), 0);
  QTemporaryDir target;
  ASSERT_NO_FATAL_FAILURE(restoreWithTheReadmesSteps(w, target));
  ASSERT_TRUE(QDir(target.path() + "/C/CorvaneImage").exists()) << "the restore deleted the folder";
  expectSameTree(native(asImaged.path() + "/CorvaneImage"), native(target.path() + "/C/CorvaneImage"));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RestoreAfterChange, testing::ValuesIn(changes()),
                         [](const testing::TestParamInfo<Change>& info) { return std::string(info.param.name); });

}  // namespace
