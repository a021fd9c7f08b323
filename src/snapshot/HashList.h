#pragma once
// The hash list written beside an image: one line per entry of the image, in the order the
// walk wrote them, so that a differential can compare a drive with it in one pass and with
// memory that does not grow with the drive.
//
//   CorvaneHashList 2 <image size, 20 digits> <image inode, 20 digits> <started> <image file name>
//   <type> <mode> <links> <uid> <gid> <size> <mtime> <ctime or -> <inode> <attributes or -> <hash or -> <path>
//
// The first line names the image the list was written with (in the list's own folder), its
// size and inode, so that a differential never builds on a list whose image is gone or
// another, and an image whose list was not yet renamed into place can be paired again. It also
// says when the walk started (seconds.nanoseconds).
// type: d folder, f file, l link, p fifo, c/b device. mode: octal. size: of a file or link
// target; a device's number. times: seconds.nanoseconds, negative before 1970. ctime "-": the
// entry changed too close to the walk for its change time to prove anything later (it is read
// again next time). attributes: a 64-bit digest of the extended attributes and ACLs, 16 hex
// digits, "-" without any. hash: XXH3-128 of a file's content or of a link's target, 32 hex
// digits; "-" for a file whose content changed while it was read (the next differential takes
// it again). path: the path inside the image ("C/Users/a.txt"), with '\' written "\\" and a
// line break "\n"; its first piece is the drive letter.
//
// Lists of the first format ("CorvaneHashList 1", lines "<type> <mode> <size> <mtime> <hash>
// <path>") are still read; they know nothing of owners, attributes or change times, so a
// differential against one takes every entry again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::snapshot {

struct Timestamp {
  int64_t sec = 0;
  int32_t nsec = 0;
  bool operator==(const Timestamp&) const = default;
  bool operator<(const Timestamp& o) const { return sec != o.sec ? sec < o.sec : nsec < o.nsec; }
};

struct HashEntry {
  char type = 'f';
  uint32_t mode = 0;
  uint64_t links = 1;
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint64_t size = 0;
  Timestamp mtime;
  Timestamp ctime;
  bool ctimeKnown = false;
  uint64_t inode = 0;
  bool complete = true;     // false: read from a list of the first format
  std::string attributes;   // digest of extended attributes and ACLs; empty when there are none
  std::string hash;         // empty for types without content, or content not to be trusted
  std::string path;

  bool operator==(const HashEntry&) const = default;
  // What a restore puts back besides the content: equal means the entry needs no new header.
  bool sameAttributes(const HashEntry& o) const {
    return complete && o.complete && type == o.type && mode == o.mode && uid == o.uid && gid == o.gid &&
           size == o.size && mtime == o.mtime && attributes == o.attributes && (type != 'f' || links == o.links);
  }
  // Not touched at all since o was listed: its change time proves that nothing about it,
  // content included, has been changed.
  bool untouchedSince(const HashEntry& o) const {
    return complete && o.complete && o.ctimeKnown && ctimeKnown && type == o.type && inode == o.inode && ctime == o.ctime;
  }
};

// The longest path inside an image a list carries; the walk refuses longer ones, so that every
// list it writes can be read back.
inline constexpr size_t kMaxImagePath = size_t{1} << 20;

// The walk's order: component by component, a folder before what it holds ('/' sorts lowest).
int comparePaths(std::string_view a, std::string_view b);

std::string escapeListPath(std::string_view path);
bool unescapeListPath(std::string_view text, std::string* out);

// One line with its line break, appended to out.
void appendHashLine(const HashEntry& e, std::string* out);
std::string formatHashLine(const HashEntry& e);  // without the line break
bool parseHashLine(std::string_view line, HashEntry* out);
bool parseFirstFormatLine(std::string_view line, HashEntry* out);

extern const char* const kHashListHeader;             // "CorvaneHashList 2"
extern const char* const kFirstFormatHashListHeader;  // "CorvaneHashList 1"

// The first line of a list for an image; size and inode are written as 20 digits each so that
// they can be filled in (writeHashListImage) once the image is complete.
std::string formatHashListHeader(uint64_t imageSize, uint64_t imageInode, Timestamp started, std::string_view imageName);
inline constexpr long kHashListSizeOffset = 18;  // where the size's 20 digits start
inline constexpr long kHashListInodeOffset = 39;
inline constexpr int kHashListSizeDigits = 20;
// Fills in size and inode of a list written with formatHashListHeader; false (errno set) when
// the write fails.
bool writeHashListImage(int fd, uint64_t imageSize, uint64_t imageInode);

// Reads a list front to back; every line is checked, and so is the order, because the
// differential's single pass depends on it.
class HashListReader {
 public:
  enum class State { Ok, End, Damaged };
  // file is not owned. The buffer grows to the longest line; a large one reads a list in few
  // calls, a small one lets a test run lines across its edges.
  explicit HashListReader(std::FILE* file, size_t bufferSize = size_t{1} << 20);
  // Checks the header line; false on a file that is not a hash list.
  bool start();
  // From the header: the image the list belongs to, when it names one (the earliest lists do
  // not).
  bool namesImage() const { return !imageName_.empty(); }
  const std::string& imageName() const { return imageName_; }
  uint64_t imageSize() const { return imageSize_; }
  uint64_t imageInode() const { return imageInode_; }  // 0 when the list does not say
  bool firstFormat() const { return firstFormat_; }
  // When the walk of the list began; entries changed before it were seen as they are now.
  const Timestamp& started() const { return started_; }
  // The next entry; End at the end of the file, Damaged on a bad line or out-of-order path.
  State next(HashEntry* out);
  // The same without a copy: the entry stays valid until the call after the next one.
  State next(const HashEntry** out);
  long lineNumber() const { return line_; }  // of the line read last, from 1
  uint64_t lineOffset() const { return lineOffset_; }  // where the line read last starts

 private:
  bool readLine(std::string_view* line);
  std::FILE* file_;
  std::vector<char> buffer_;
  size_t begin_ = 0, end_ = 0;
  uint64_t dropped_ = 0;  // bytes of the file before buffer_
  uint64_t lineOffset_ = 0;
  bool eof_ = false;
  HashEntry slots_[2];  // the entry read last, and the one before it
  int last_ = 1;
  std::string imageName_;
  uint64_t imageSize_ = 0;
  uint64_t imageInode_ = 0;
  Timestamp started_;
  bool firstFormat_ = false;
  bool havePrevious_ = false;
  long line_ = 0;
};

}  // namespace corvane::snapshot
