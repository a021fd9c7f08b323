// Reading a source file for an image: holes, files that change under the reader, and names
// that no longer hold a regular file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "snapshot/Control.h"
#include "snapshot/SourceFile.h"

using namespace corvane::snapshot;

namespace {

class SourceFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    dirFd_ = open(QFile::encodeName(dir_.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dirFd_, 0);
  }
  void TearDown() override { close(dirFd_); }

  std::string path(const char* name) const { return QFile::encodeName(dir_.path()).toStdString() + "/" + name; }
  void write(const char* name, const std::string& content, off_t at = 0) const {
    const int fd = open(path(name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, content.data(), content.size(), at), static_cast<ssize_t>(content.size()));
    close(fd);
  }
  // Everything readAll feeds, and whether it called the file whole.
  std::pair<std::string, bool> readThrough(SourceFile& f) {
    std::string fed;
    const bool whole = f.readAll(buffer_, control_, [&](const char* p, size_t n) { fed.append(p, n); });
    return {fed, whole};
  }

  QTemporaryDir dir_;
  int dirFd_ = -1;
  std::vector<char> buffer_ = std::vector<char>(size_t{1} << 16);
  Control control_{nullptr};
};

}  // namespace

TEST_F(SourceFiles, HolesAreMappedInWholeBlocksAndReadBackAsZeros) {
  const off_t size = 10 << 20;
  write("sparse", "abc", 1000);
  write("sparse", "xyz", (5 << 20) + 3);
  ASSERT_EQ(truncate(path("sparse").c_str(), size), 0);
  struct stat st {};
  ASSERT_EQ(stat(path("sparse").c_str(), &st), 0);
  if (st.st_blocks * 512 >= size) GTEST_SKIP() << "this file system keeps no holes";

  SourceFile f;
  ASSERT_TRUE(f.open(dirFd_, "sparse", "C/sparse"));
  const auto& regions = f.dataRegions();
  ASSERT_FALSE(regions.empty());
  uint64_t mapped = 0;
  for (size_t i = 0; i < regions.size(); ++i) {
    // tar readers take every region but the last from blocks of its own.
    if (i + 1 < regions.size()) {
      EXPECT_EQ(regions[i].length % 512, 0u) << i;
    }
    EXPECT_EQ(regions[i].offset % 512, 0u) << i;
    mapped += regions[i].length;
  }
  EXPECT_LT(mapped, static_cast<uint64_t>(size) / 100);
  const auto [fed, whole] = readThrough(f);
  EXPECT_TRUE(whole);
  std::string expected(size, '\0');
  expected.replace(1000, 3, "abc");
  expected.replace((5 << 20) + 3, 3, "xyz");
  EXPECT_TRUE(fed == expected);

  // All hole: one region at its very end is enough.
  write("empty", "");
  ASSERT_EQ(truncate(path("empty").c_str(), size), 0);
  SourceFile hole;
  ASSERT_TRUE(hole.open(dirFd_, "empty", "C/empty"));
  ASSERT_EQ(hole.dataRegions().size(), 1u);
  EXPECT_EQ(hole.dataRegions()[0].offset + hole.dataRegions()[0].length, static_cast<uint64_t>(size));
  EXPECT_TRUE(readThrough(hole).first == std::string(size, '\0'));
}

TEST_F(SourceFiles, AFileThatChangesWhileReadIsFedAtItsFirstSizeAndCalledNotWhole) {
  const std::string content(3 << 20, 'q');
  write("steady", content);
  SourceFile steady;
  ASSERT_TRUE(steady.open(dirFd_, "steady", "C/steady"));
  EXPECT_TRUE(readThrough(steady).second);

  // Cut short after the header promised its size: zeros make up the promise.
  write("shrinks", content);
  SourceFile shrinks;
  ASSERT_TRUE(shrinks.open(dirFd_, "shrinks", "C/shrinks"));
  ASSERT_EQ(truncate(path("shrinks").c_str(), 1 << 20), 0);
  const auto [cut, cutWhole] = readThrough(shrinks);
  EXPECT_FALSE(cutWhole);
  ASSERT_EQ(cut.size(), content.size());
  EXPECT_EQ(cut.substr(0, 1 << 20), content.substr(0, 1 << 20));
  EXPECT_EQ(cut.find_first_not_of('\0', 1 << 20), std::string::npos);

  write("grows", content);
  SourceFile grows;
  ASSERT_TRUE(grows.open(dirFd_, "grows", "C/grows"));
  write("grows", "more", static_cast<off_t>(content.size()));
  const auto [grown, grownWhole] = readThrough(grows);
  EXPECT_FALSE(grownWhole);
  EXPECT_TRUE(grown == content);
}

TEST_F(SourceFiles, ANameThatNoLongerHoldsARegularFileIsNeverOpened) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0644), 0);
  {
    SourceFile f;
    EXPECT_FALSE(f.open(dirFd_, "fifo", "C/fifo"));
    // Had it been opened for reading, a writer would find a reader now.
    const int writer = open(path("fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_LT(writer, 0);
    EXPECT_EQ(errno, ENXIO);
    if (writer >= 0) close(writer);
  }
  write("target", "t");
  ASSERT_EQ(symlink("target", path("link").c_str()), 0);
  SourceFile link, gone;
  EXPECT_FALSE(link.open(dirFd_, "link", "C/link"));
  EXPECT_FALSE(gone.open(dirFd_, "gone", "C/gone"));
}
