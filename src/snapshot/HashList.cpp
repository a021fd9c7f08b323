#include "snapshot/HashList.h"

#include <unistd.h>

#include <cinttypes>
#include <cstring>

namespace corvane::snapshot {

const char* const kHashListHeader = "CorvaneHashList 2";
const char* const kFirstFormatHashListHeader = "CorvaneHashList 1";

namespace {

// Every line carries 48 hex digits: checked by table, without a branch per digit.
struct HexTable {
  bool digit[256] = {};
  constexpr HexTable() {
    for (int c = '0'; c <= '9'; ++c) digit[c] = true;
    for (int c = 'a'; c <= 'f'; ++c) digit[c] = true;
  }
};
constexpr HexTable kHex;

bool allHex(const char* p, size_t n) {
  bool ok = true;
  for (size_t i = 0; i < n; ++i) ok &= kHex.digit[static_cast<unsigned char>(p[i])];
  return ok;
}

bool isHexField(std::string_view s, size_t size) { return s.size() == size && allHex(s.data(), size); }

// Whether a path needs escaping in a list ('\' or a line break); a plain loop, as
// find_first_of looks each character up in its set with a call of its own.
bool needsEscape(std::string_view path) {
  for (char c : path)
    if (c == '\\' || c == '\n') return true;
  return false;
}

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
    if (c < '0' || c > '9') return false;
    const int d = c - '0';
    if (d >= base) return false;
    if (v > (max - static_cast<T>(d)) / static_cast<T>(base)) return false;
    v = v * static_cast<T>(base) + static_cast<T>(d);
  }
  *out = v;
  return true;
}

bool parseTime(std::string_view s, Timestamp* out) {
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
  out->sec = negative ? -static_cast<int64_t>(whole) : static_cast<int64_t>(whole);
  out->nsec = static_cast<int32_t>(frac);
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
constexpr size_t kMaxLine = 2 * kMaxImagePath + 512;

// The list is written and read a line per entry of a drive: numbers by hand, not printf.
// The base is fixed at compile time, so that no digit costs a division.
template <unsigned base = 10>
char* putUnsigned(char* at, uint64_t v, int width = 0) {
  char digits[24];
  char* p = digits + sizeof digits;
  if constexpr (base == 10) {
    // Two digits at a time.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    while (v >= 100) {
      const unsigned pair = static_cast<unsigned>(v % 100) * 2;
      v /= 100;
      *--p = kPairs[pair + 1];
      *--p = kPairs[pair];
    }
    if (v >= 10) {
      const unsigned pair = static_cast<unsigned>(v) * 2;
      *--p = kPairs[pair + 1];
      *--p = kPairs[pair];
    } else {
      *--p = static_cast<char>('0' + v);
    }
  } else {
    do {
      *--p = static_cast<char>('0' + v % base);
      v /= base;
    } while (v != 0);
  }
  const int n = static_cast<int>(digits + sizeof digits - p);
  for (int i = n; i < width; ++i) *at++ = '0';
  std::memcpy(at, p, static_cast<size_t>(n));
  return at + n;
}

char* putTime(char* at, const Timestamp& t) {
  if (t.sec < 0) {
    *at++ = '-';
    at = putUnsigned(at, static_cast<uint64_t>(-(t.sec + 1)) + 1);
  } else {
    at = putUnsigned(at, static_cast<uint64_t>(t.sec));
  }
  *at++ = '.';
  return putUnsigned(at, static_cast<uint64_t>(t.nsec), 9);
}

void appendUnsigned(std::string* out, uint64_t v, int width = 0) {
  char buf[32];
  out->append(buf, static_cast<size_t>(putUnsigned(buf, v, width) - buf));
}

void appendTime(std::string* out, const Timestamp& t) {
  char buf[48];
  out->append(buf, static_cast<size_t>(putTime(buf, t) - buf));
}

// Reads the fields of a line front to back, each ended by one space.
class Fields {
 public:
  explicit Fields(std::string_view line) : p_(line.data()), end_(line.data() + line.size()) {}
  bool number(unsigned base, uint64_t max, uint64_t* out) {
    uint64_t v = 0;
    const char* start = p_;
    while (p_ < end_ && *p_ != ' ') {
      const unsigned d = static_cast<unsigned char>(*p_) - '0';
      if (d >= base) return false;
      // Nineteen decimal digits always fit; only a longer number can overflow.
      if (p_ - start >= 19 && (__builtin_mul_overflow(v, base, &v) || __builtin_add_overflow(v, d, &v))) return false;
      if (p_ - start < 19) v = v * base + d;
      ++p_;
    }
    if (p_ == start || p_ - start > 22 || v > max) return false;
    *out = v;
    return space();
  }
  template <typename T>
  bool number(unsigned base, T* out) {
    uint64_t v;
    if (!number(base, static_cast<uint64_t>(static_cast<T>(-1)), &v)) return false;
    *out = static_cast<T>(v);
    return true;
  }
  bool time(Timestamp* out) {
    bool negative = false;
    if (p_ < end_ && *p_ == '-') {
      negative = true;
      ++p_;
    }
    uint64_t whole = 0;
    const char* start = p_;
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9' && p_ - start < 19) whole = whole * 10 + static_cast<unsigned>(*p_++ - '0');
    if (p_ == start || whole > static_cast<uint64_t>(INT64_MAX) || end_ - p_ < 11 || *p_ != '.') return false;
    ++p_;
    uint32_t frac = 0;
    for (int i = 0; i < 9; ++i, ++p_) {
      if (*p_ < '0' || *p_ > '9') return false;
      frac = frac * 10 + static_cast<uint32_t>(*p_ - '0');
    }
    out->sec = negative ? -static_cast<int64_t>(whole) : static_cast<int64_t>(whole);
    out->nsec = static_cast<int32_t>(frac);
    return space();
  }
  // "-" and a space: nothing.
  bool dash() {
    if (end_ - p_ >= 2 && p_[0] == '-' && p_[1] == ' ') {
      p_ += 2;
      return true;
    }
    return false;
  }
  bool hex(size_t digits, std::string* out) {
    if (static_cast<size_t>(end_ - p_) <= digits || p_[digits] != ' ') return false;
    if (!allHex(p_, digits)) return false;
    out->assign(p_, digits);
    p_ += digits + 1;
    return true;
  }
  bool type(char* out) {
    if (end_ - p_ < 2 || p_[1] != ' ') return false;
    switch (*p_) {
      case 'd': case 'f': case 'l': case 'p': case 'c': case 'b': break;
      default: return false;
    }
    *out = *p_;
    p_ += 2;
    return true;
  }
  std::string_view rest() const { return std::string_view(p_, static_cast<size_t>(end_ - p_)); }

 private:
  bool space() {
    if (p_ >= end_ || *p_ != ' ') return false;
    ++p_;
    return true;
  }
  const char* p_;
  const char* end_;
};

std::string digits20(uint64_t v) {
  std::string s;
  appendUnsigned(&s, v, kHashListSizeDigits);
  return s;
}

bool parsePath(std::string_view rest, HashEntry* e) { return unescapeListPath(rest, &e->path) && validImagePath(e->path); }

bool parseType(std::string_view type, HashEntry* e) {
  if (type.size() != 1 || std::strchr("dflpcb", type[0]) == nullptr) return false;
  e->type = type[0];
  return true;
}

bool parseHash(std::string_view hash, HashEntry* e) {
  if (hash == "-") return true;
  if (!isHexField(hash, 32)) return false;
  e->hash.assign(hash);
  return true;
}

}  // namespace

std::string formatHashListHeader(uint64_t imageSize, uint64_t imageInode, Timestamp started, std::string_view imageName) {
  std::string line = std::string(kHashListHeader) + ' ' + digits20(imageSize) + ' ' + digits20(imageInode) + ' ';
  appendTime(&line, started);
  return line + ' ' + escapeListPath(imageName);
}

bool writeHashListImage(int fd, uint64_t imageSize, uint64_t imageInode) {
  return pwrite(fd, digits20(imageSize).data(), kHashListSizeDigits, kHashListSizeOffset) == kHashListSizeDigits &&
         pwrite(fd, digits20(imageInode).data(), kHashListSizeDigits, kHashListInodeOffset) == kHashListSizeDigits;
}

int comparePaths(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  // Equal stretches are the rule (siblings share their folder's path): skip them at once.
  const size_t same = static_cast<size_t>(std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin()).first - a.begin());
  if (same < n) {
    const unsigned char x = a[same] == '/' ? 0 : static_cast<unsigned char>(a[same]);
    const unsigned char y = b[same] == '/' ? 0 : static_cast<unsigned char>(b[same]);
    return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string escapeListPath(std::string_view path) {
  if (!needsEscape(path)) return std::string(path);
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
  bool plain = true;
  for (char c : text) plain &= c != '\\' && c != '\0';
  if (plain) {
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

void appendHashLine(const HashEntry& e, std::string* out) {
  char head[320];
  char* at = head;
  *at++ = e.type;
  *at++ = ' ';
  at = putUnsigned<8>(at, e.mode);
  *at++ = ' ';
  at = putUnsigned(at, e.links);
  *at++ = ' ';
  at = putUnsigned(at, e.uid);
  *at++ = ' ';
  at = putUnsigned(at, e.gid);
  *at++ = ' ';
  at = putUnsigned(at, e.size);
  *at++ = ' ';
  at = putTime(at, e.mtime);
  *at++ = ' ';
  if (e.ctimeKnown) at = putTime(at, e.ctime);
  else *at++ = '-';
  *at++ = ' ';
  at = putUnsigned(at, e.inode);
  *at++ = ' ';
  for (const std::string* field : {&e.attributes, &e.hash}) {
    // Both are hex digits of our own; anything longer is not written as if it were.
    if (field->empty() || field->size() > 32) {
      *at++ = '-';
    } else {
      std::memcpy(at, field->data(), field->size());
      at += field->size();
    }
    *at++ = ' ';
  }
  out->append(head, static_cast<size_t>(at - head));
  if (!needsEscape(e.path)) *out += e.path;
  else *out += escapeListPath(e.path);
  *out += '\n';
}

std::string formatHashLine(const HashEntry& e) {
  std::string line;
  appendHashLine(e, &line);
  line.pop_back();
  return line;
}

bool parseHashLine(std::string_view line, HashEntry* out) {
  HashEntry& e = *out;
  Fields f(line);
  e.complete = true;
  e.hash.clear();
  e.attributes.clear();
  if (!f.type(&e.type) || !f.number(8, &e.mode) || e.mode > 07777777u || !f.number(10, &e.links) || !f.number(10, &e.uid) ||
      !f.number(10, &e.gid) || !f.number(10, &e.size) || !f.time(&e.mtime))
    return false;
  // An unknown change time is none at all, not the one of the entry read before into *out.
  e.ctimeKnown = !f.dash();
  if (!e.ctimeKnown) e.ctime = {};
  else if (!f.time(&e.ctime)) return false;
  if (!f.number(10, &e.inode)) return false;
  if (!f.dash() && !f.hex(16, &e.attributes)) return false;
  if (!f.dash() && !f.hex(32, &e.hash)) return false;
  return parsePath(f.rest(), &e);
}

bool parseFirstFormatLine(std::string_view line, HashEntry* out) {
  HashEntry e;
  std::string_view rest = line, type, mode, size, time, hash;
  if (!takeField(&rest, &type) || !takeField(&rest, &mode) || !takeField(&rest, &size) || !takeField(&rest, &time) ||
      !takeField(&rest, &hash))
    return false;
  if (!parseType(type, &e)) return false;
  if (!parseUnsigned<uint32_t>(mode, 8, 07777777u, &e.mode)) return false;
  if (!parseUnsigned<uint64_t>(size, 10, UINT64_MAX, &e.size)) return false;
  if (!parseTime(time, &e.mtime)) return false;
  if (!parseHash(hash, &e) || !parsePath(rest, &e)) return false;
  e.complete = false;
  *out = std::move(e);
  return true;
}

HashListReader::HashListReader(std::FILE* file, size_t bufferSize) : file_(file), buffer_(bufferSize ? bufferSize : 1) {}

bool HashListReader::readLine(std::string_view* line) {
  ++line_;
  lineOffset_ = dropped_ + begin_;
  size_t scanned = begin_;
  for (;;) {
    if (const void* nl = std::memchr(buffer_.data() + scanned, '\n', end_ - scanned)) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - buffer_.data());
      *line = std::string_view(buffer_.data() + begin_, at - begin_);
      begin_ = at + 1;
      return true;
    }
    scanned = end_;
    // A line longer than any path the walk takes is no line of ours; a last line without its
    // line break is a list cut short.
    if (eof_ || end_ - begin_ > kMaxLine) {
      *line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      return false;
    }
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      dropped_ += begin_;
      scanned -= begin_;
      end_ -= begin_;
      begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    const size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
    if (n == 0) eof_ = true;
    end_ += n;
  }
}

bool HashListReader::start() {
  std::string_view line;
  if (!readLine(&line)) return false;
  const std::string_view first(kFirstFormatHashListHeader), second(kHashListHeader);
  if (line == first) {
    firstFormat_ = true;
    return true;
  }
  std::string_view rest(line);
  const bool isFirst = rest.substr(0, first.size()) == first;
  if ((!isFirst && rest.substr(0, second.size()) != second) || rest.size() <= second.size() || rest[second.size()] != ' ')
    return false;
  firstFormat_ = isFirst;
  rest.remove_prefix(second.size() + 1);
  std::string_view size, inode, started;
  if (!takeField(&rest, &size) || size.size() != kHashListSizeDigits ||
      !parseUnsigned<uint64_t>(size, 10, UINT64_MAX, &imageSize_))
    return false;
  if (!isFirst && (!takeField(&rest, &inode) || inode.size() != kHashListSizeDigits ||
                   !parseUnsigned<uint64_t>(inode, 10, UINT64_MAX, &imageInode_) || !takeField(&rest, &started) ||
                   !parseTime(started, &started_)))
    return false;
  if (!unescapeListPath(rest, &imageName_) || imageName_ == "." || imageName_ == ".." ||
      imageName_.find('/') != std::string::npos) {
    imageName_.clear();
    return false;
  }
  return true;
}

HashListReader::State HashListReader::next(const HashEntry** out) {
  std::string_view line;
  if (!readLine(&line)) {
    if (line.empty() && eof_ && !std::ferror(file_)) return State::End;
    return State::Damaged;
  }
  HashEntry& e = slots_[1 - last_];
  if (!(firstFormat_ ? parseFirstFormatLine(line, &e) : parseHashLine(line, &e))) return State::Damaged;
  if (havePrevious_ && comparePaths(slots_[last_].path, e.path) >= 0) return State::Damaged;
  last_ = 1 - last_;
  havePrevious_ = true;
  *out = &e;
  return State::Ok;
}

HashListReader::State HashListReader::next(HashEntry* out) {
  const HashEntry* e = nullptr;
  const State s = next(&e);
  if (s == State::Ok) *out = *e;
  return s;
}

}  // namespace corvane::snapshot
