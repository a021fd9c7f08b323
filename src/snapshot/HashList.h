#pragma once
// The hash list written beside an image: one line per entry of the image, in the order the
// walk wrote them, so that a differential can compare a drive with it in one pass and with
// memory that does not grow with the drive.
//
//   CorvaneHashList 1 <image size, 20 digits> <image file name>
//   <type> <mode, octal> <size> <mtime seconds>.<nanoseconds> <hash or -> <path>
//
// The first line names the image the list was written with (in the list's own folder) and
// its size, so that a differential never builds on a list whose image is gone or another.
// type: d folder, f file, l link, p fifo, c/b device. hash: XXH3-128 of a file's content or
// of a link's target, 32 hex digits; "-" for a file whose content changed while it was read
// (the next differential takes it again). path: the path inside the image ("C/Users/a.txt"),
// with '\' written "\\" and a line break "\n"; its first piece is the drive letter.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace corvane::snapshot {

struct HashEntry {
  char type = 'f';
  uint32_t mode = 0;
  uint64_t size = 0;
  int64_t mtimeSec = 0;
  int32_t mtimeNsec = 0;
  std::string hash;  // empty for types without content
  std::string path;

  bool sameMetadata(const HashEntry& o) const {
    return type == o.type && mode == o.mode && size == o.size && mtimeSec == o.mtimeSec && mtimeNsec == o.mtimeNsec;
  }
};

// The longest path inside an image a list carries; the walk refuses longer ones, so that every
// list it writes can be read back.
inline constexpr size_t kMaxImagePath = size_t{1} << 20;

// The walk's order: component by component, a folder before what it holds ('/' sorts lowest).
int comparePaths(std::string_view a, std::string_view b);

std::string escapeListPath(std::string_view path);
bool unescapeListPath(std::string_view text, std::string* out);

// One line without its line break; nothing else.
std::string formatHashLine(const HashEntry& e);
bool parseHashLine(std::string_view line, HashEntry* out);

extern const char* const kHashListHeader;

// The first line of a list for an image; the size is written as 20 digits so that it can be
// filled in (writeHashListImageSize) once the image is complete.
std::string formatHashListHeader(uint64_t imageSize, std::string_view imageName);
inline constexpr long kHashListSizeOffset = 18;  // where the 20 digits start
inline constexpr int kHashListSizeDigits = 20;
// Fills in the size of a list written with formatHashListHeader; false (errno set) when the
// write fails.
bool writeHashListImageSize(int fd, uint64_t imageSize);

// Reads a list front to back; every line is checked, and so is the order, because the
// differential's single pass depends on it.
class HashListReader {
 public:
  enum class State { Ok, End, Damaged };
  explicit HashListReader(std::FILE* file);  // not owned
  // Checks the header line; false on a file that is not a hash list.
  bool start();
  // From the header: the image the list belongs to, when it names one (lists of the first
  // version of this engine do not).
  bool namesImage() const { return !imageName_.empty(); }
  const std::string& imageName() const { return imageName_; }
  uint64_t imageSize() const { return imageSize_; }
  // The next entry; End at the end of the file, Damaged on a bad line or out-of-order path.
  State next(HashEntry* out);
  long lineNumber() const { return line_; }  // of the line read last, from 1

 private:
  bool readLine(std::string* line);
  std::FILE* file_;
  std::string previous_;
  std::string imageName_;
  uint64_t imageSize_ = 0;
  bool havePrevious_ = false;
  long line_ = 0;
};

}  // namespace corvane::snapshot
