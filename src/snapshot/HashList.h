#pragma once
// The hash list written beside an image: one line per entry of the image, in the order the
// walk wrote them, so that a differential can compare a drive with it in one pass and with
// memory that does not grow with the drive.
//
//   CorvaneHashList 1
//   <type> <mode, octal> <size> <mtime seconds>.<nanoseconds> <hash or -> <path>
//
// type: d folder, f file, l link, p fifo, c/b device. hash: XXH3-128 of a file's content or
// of a link's target, 32 hex digits. path: the path inside the image ("C/Users/a.txt"), with
// '\' written "\\" and a line break "\n".
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

// The walk's order: component by component, a folder before what it holds ('/' sorts lowest).
int comparePaths(std::string_view a, std::string_view b);

std::string escapeListPath(std::string_view path);
bool unescapeListPath(std::string_view text, std::string* out);

// One line without its line break; nothing else.
std::string formatHashLine(const HashEntry& e);
bool parseHashLine(std::string_view line, HashEntry* out);

extern const char* const kHashListHeader;

// Reads a list front to back; every line is checked, and so is the order, because the
// differential's single pass depends on it.
class HashListReader {
 public:
  enum class State { Ok, End, Damaged };
  explicit HashListReader(std::FILE* file);  // not owned
  // Checks the header line; false on a file that is not a hash list.
  bool start();
  // The next entry; End at the end of the file, Damaged on a bad line or out-of-order path.
  State next(HashEntry* out);
  long lineNumber() const { return line_; }

 private:
  bool readLine(std::string* line);
  std::FILE* file_;
  std::string previous_;
  bool havePrevious_ = false;
  long line_ = 0;
};

}  // namespace corvane::snapshot
