#include "snapshot/HashList.h"

#include <unistd.h>

#include <cinttypes>
#include <cstring>

namespace corvane::snapshot {

const char* const kHashListHeader = "CorvaneHashList 1";

namespace {

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// Splits off the next space-separated field.
bool takeField(std::string_view* rest, std::string_view* field) {
  const size_t sp = rest->find(' ');
  if (sp == std::string_view::npos || sp == 0) return false;
  *field = rest->substr(0, sp);
  rest->remove_prefix(sp + 1);
  return true;
}

template <typename T>
bool parseUnsigned(std::string_view s, int base, T max, T* out) {
  if (s.empty() || s.size() > 22) return false;
  T v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else return false;
    if (d >= base) return false;
    if (v > (max - static_cast<T>(d)) / static_cast<T>(base)) return false;
    v = v * static_cast<T>(base) + static_cast<T>(d);
  }
  *out = v;
  return true;
}

bool parseTime(std::string_view s, int64_t* sec, int32_t* nsec) {
  bool negative = false;
  if (!s.empty() && s[0] == '-') {
    negative = true;
    s.remove_prefix(1);
  }
  const size_t dot = s.find('.');
  if (dot == std::string_view::npos || s.size() - dot - 1 != 9) return false;
  uint64_t whole = 0, frac = 0;
  if (!parseUnsigned<uint64_t>(s.substr(0, dot), 10, INT64_MAX, &whole)) return false;
  if (!parseUnsigned<uint64_t>(s.substr(dot + 1), 10, 999999999, &frac)) return false;
  *sec = negative ? -static_cast<int64_t>(whole) : static_cast<int64_t>(whole);
  *nsec = static_cast<int32_t>(frac);
  return true;
}

// A path as the walk writes it: a drive letter, then names; nothing that could climb out of
// the drive's folder when a list of deleted paths is acted on.
bool validImagePath(std::string_view path) {
  if (path.size() < 1 || path[0] < 'A' || path[0] > 'Z' || (path.size() > 1 && path[1] != '/')) return false;
  size_t start = 2;
  while (start <= path.size() && path.size() > 1) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view piece = path.substr(start, end - start);
    if (piece.empty() || piece == "." || piece == "..") return false;
    start = end + 1;
  }
  return true;
}

// The longest line a list of ours can hold: a path of kMaxImagePath bytes, every one escaped.
constexpr size_t kMaxLine = 2 * kMaxImagePath + 256;

std::string sizeField(uint64_t imageSize) {
  char size[32];
  std::snprintf(size, sizeof size, "%0*" PRIu64, kHashListSizeDigits, imageSize);
  return size;
}

}  // namespace

std::string formatHashListHeader(uint64_t imageSize, std::string_view imageName) {
  return std::string(kHashListHeader) + ' ' + sizeField(imageSize) + ' ' + escapeListPath(imageName);
}

bool writeHashListImageSize(int fd, uint64_t imageSize) {
  return pwrite(fd, sizeField(imageSize).data(), kHashListSizeDigits, kHashListSizeOffset) == kHashListSizeDigits;
}

int comparePaths(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = a[i] == '/' ? 0 : static_cast<unsigned char>(a[i]);
    const unsigned char y = b[i] == '/' ? 0 : static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string escapeListPath(std::string_view path) {
  if (path.find_first_of("\\\n") == std::string_view::npos) return std::string(path);
  std::string out;
  out.reserve(path.size() + 8);
  for (char c : path) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

bool unescapeListPath(std::string_view text, std::string* out) {
  if (text.find_first_of(std::string_view("\\\0", 2)) == std::string_view::npos) {
    out->assign(text);
    return !out->empty();
  }
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\0') return false;
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (++i >= text.size()) return false;
    if (text[i] == '\\') *out += '\\';
    else if (text[i] == 'n') *out += '\n';
    else return false;
  }
  return !out->empty();
}

std::string formatHashLine(const HashEntry& e) {
  char head[128];
  const int64_t sec = e.mtimeSec;
  std::snprintf(head, sizeof head, "%c %o %" PRIu64 " %s%" PRIu64 ".%09d ", e.type, e.mode, e.size, sec < 0 ? "-" : "",
                sec < 0 ? static_cast<uint64_t>(-(sec + 1)) + 1 : static_cast<uint64_t>(sec), e.mtimeNsec);
  std::string line(head);
  line += e.hash.empty() ? "-" : e.hash;
  line += ' ';
  line += escapeListPath(e.path);
  return line;
}

bool parseHashLine(std::string_view line, HashEntry* out) {
  HashEntry e;
  std::string_view rest = line, type, mode, size, time, hash;
  if (!takeField(&rest, &type) || !takeField(&rest, &mode) || !takeField(&rest, &size) || !takeField(&rest, &time) ||
      !takeField(&rest, &hash))
    return false;
  if (type.size() != 1 || std::strchr("dflpcb", type[0]) == nullptr) return false;
  e.type = type[0];
  if (!parseUnsigned<uint32_t>(mode, 8, 07777777u, &e.mode)) return false;
  if (!parseUnsigned<uint64_t>(size, 10, UINT64_MAX, &e.size)) return false;
  if (!parseTime(time, &e.mtimeSec, &e.mtimeNsec)) return false;
  if (hash != "-") {
    if (hash.size() != 32) return false;
    for (char c : hash)
      if (!isHex(c)) return false;
    e.hash.assign(hash);
  }
  if (!unescapeListPath(rest, &e.path) || !validImagePath(e.path)) return false;
  *out = std::move(e);
  return true;
}

HashListReader::HashListReader(std::FILE* file) : file_(file) {}

bool HashListReader::readLine(std::string* line) {
  line->clear();
  ++line_;
  int c;
  while ((c = getc_unlocked(file_)) != EOF) {
    if (c == '\n') return true;
    // A line longer than any path the walk takes is no line of ours.
    if (line->size() > kMaxLine) return false;
    line->push_back(static_cast<char>(c));
  }
  // A last line without its line break is a list cut short.
  return false;
}

bool HashListReader::start() {
  std::string line;
  if (!readLine(&line)) return false;
  const std::string_view head(kHashListHeader);
  if (line == head) return true;
  std::string_view rest(line);
  if (rest.substr(0, head.size()) != head || rest.size() <= head.size() || rest[head.size()] != ' ') return false;
  rest.remove_prefix(head.size() + 1);
  std::string_view size;
  if (!takeField(&rest, &size) || size.size() != kHashListSizeDigits ||
      !parseUnsigned<uint64_t>(size, 10, UINT64_MAX, &imageSize_))
    return false;
  if (!unescapeListPath(rest, &imageName_) || imageName_ == "." || imageName_ == ".." ||
      imageName_.find('/') != std::string::npos) {
    imageName_.clear();
    return false;
  }
  return true;
}

HashListReader::State HashListReader::next(HashEntry* out) {
  std::string line;
  if (!readLine(&line)) {
    if (line.empty() && std::feof(file_) && !std::ferror(file_)) return State::End;
    return State::Damaged;
  }
  if (!parseHashLine(line, out)) return State::Damaged;
  if (havePrevious_ && comparePaths(previous_, out->path) >= 0) return State::Damaged;
  previous_ = out->path;
  havePrevious_ = true;
  return State::Ok;
}

}  // namespace corvane::snapshot
