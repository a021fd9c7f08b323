#include "handoff/SuccessLogReader.h"

#include <QDateTime>
#include <QFile>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include "handoff/LogSource.h"
#include "handoff/Utf8.h"
#include "platform/Wait.h"

namespace corvane::handoff {

namespace {

// Token by token, this reads what a tree of the whole document (pugixml, as the log was read
// before) reads: the same name characters, the same leniencies (text outside the root, several
// top-level elements), the same reference and line-end rules, and a NUL byte ends the document
// as it ends the tree's. The tests hold the two side by side.

// A single tag, text or comment larger than this is no upload log (its records are a few
// hundred bytes); the bound keeps what one token can make the reader hold small.
constexpr size_t kLargestToken = size_t(64) << 20;

constexpr std::string_view kFieldNames[] = {"FileName", "FileFolderName", "FileModifiedDate", "FileSize",
                                            "FileType", "UpSuccess",      "UpDTime"};
constexpr int kFields = int(LogField::Count);

// The length of a complete reference at s ("&amp;", "&#233;", "&#xE9;"), its text in `out`;
// 0 when s starts no complete reference (the "&" then stands for itself).
size_t decodeReference(std::string_view s, std::string& out) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&amp;", '&'}, {"&apos;", '\''}, {"&gt;", '>'}, {"&lt;", '<'}, {"&quot;", '"'}};
  for (const auto& [name, ch] : kNamed)
    if (s.substr(0, name.size()) == name) return out.push_back(ch), name.size();
  if (s.size() < 3 || s[1] != '#') return 0;
  const bool hex = s[2] == 'x';
  size_t i = hex ? 3 : 2;
  uint32_t value = 0;
  const size_t first = i;
  for (; i < s.size() && s[i] != ';'; ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') value = value * (hex ? 16 : 10) + uint32_t(c - '0');
    else if (hex && (c | ' ') >= 'a' && (c | ' ') <= 'f') value = value * 16 + uint32_t((c | ' ') - 'a' + 10);
    else return 0;
  }
  if (i == s.size() || i == first) return 0;
  appendUtf8(out, value);
  return i + 1;
}

// Text as the record holds it: references decoded, CR LF and lone CR made LF; a decoded NUL
// ends the text, as it ends a C string.
void decodeText(std::string_view s, bool references, std::string& out) {
  // Most texts hold no reference and no CR: those are copied as they are.
  size_t i = 0;
  while (i < s.size() && s[i] != '\r' && (s[i] != '&' || !references) && s[i] != '\0') ++i;
  out.assign(s.data(), i);
  if (i == s.size()) return;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\r') {
      out.push_back('\n');
      i += (i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
    } else if (c == '&' && references) {
      const size_t n = decodeReference(s.substr(i), out);
      if (n == 0) out.push_back('&');
      i += n ? n : 1;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  if (const size_t nul = out.find('\0'); nul != std::string::npos) out.resize(nul);
}

class StreamParser {
 public:
  StreamParser(LogSource& source, qint64 total, qint64 chunk, const SuccessLogReader::RecordFn& onRecord,
               const SuccessLogReader::ProgressFn& progress)
      : source_(source), chunk_(size_t(chunk)), onRecord_(onRecord), progress_(progress), total_(total) {}

  SuccessLogReader::Outcome run();

 private:
  enum class Step { Done, More, Bad };
  enum class Role : uint8_t { Other, Collection, Details, Field };
  struct Open {
    size_t nameEnd;  // in names_
    Role role;
    int field;
  };

  bool refill();
  Step token();
  Step text();
  Step markup();
  Step startTag(size_t p);
  Step endTag(size_t p);
  Step processingInstruction(size_t p);
  Step exclamation(size_t p);
  Step doctype(size_t p, size_t* end);
  void open(std::string_view name);
  void close();
  void takeText(std::string_view raw, bool references);

  size_t avail() const { return end_ - pos_; }
  const char* at(size_t p) const { return buf_.get() + p; }
  std::string_view view(size_t from, size_t to) const { return {buf_.get() + from, to - from}; }
  size_t find(size_t from, std::string_view what) const {
    const std::string_view hay = view(from, end_);
    const size_t i = hay.find(what);
    return i == std::string_view::npos ? std::string_view::npos : from + i;
  }

  LogSource& source_;
  size_t chunk_;
  const SuccessLogReader::RecordFn& onRecord_;
  const SuccessLogReader::ProgressFn& progress_;
  qint64 total_;
  qint64 readSoFar_ = 0;

  std::unique_ptr<char[]> buf_;
  size_t cap_ = 0, pos_ = 0, end_ = 0;
  bool eof_ = false;
  bool stopped_ = false;

  std::string names_;
  std::vector<Open> stack_;
  bool sawElement_ = false;

  std::array<std::string, kFields> values_;
  std::array<bool, kFields> seen_{}, taken_{};
  qint64 position_ = 0;
  std::string scratch_;
};

bool StreamParser::refill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.get(), buf_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (end_ == cap_) {
    if (cap_ >= kLargestToken) return false;
    const size_t grown = std::max(chunk_, cap_ * 2);
    auto bigger = std::make_unique_for_overwrite<char[]>(grown);
    std::memcpy(bigger.get(), buf_.get(), end_);
    buf_ = std::move(bigger);
    cap_ = grown;
  }
  const qint64 n = source_.read(buf_.get() + end_, std::min(cap_ - end_, chunk_));
  if (n <= 0) {
    eof_ = true;
    return n == 0;
  }
  readSoFar_ = source_.rawRead();
  total_ = source_.size();
  if (const void* nul = std::memchr(buf_.get() + end_, '\0', size_t(n))) {
    end_ = size_t(static_cast<const char*>(nul) - buf_.get());
    eof_ = true;
  } else {
    end_ += size_t(n);
  }
  if (progress_ && !progress_(readSoFar_, total_)) {
    stopped_ = true;
    return false;
  }
  return true;
}

SuccessLogReader::Outcome StreamParser::run() {
  cap_ = chunk_;
  buf_ = std::make_unique_for_overwrite<char[]>(cap_);  // only what is read is looked at
  for (;;) {
    if (pos_ == end_) {
      if (eof_) break;
      if (!refill()) return stopped_ ? SuccessLogReader::Outcome::Stopped : SuccessLogReader::Outcome::NoDocument;
      continue;
    }
    const Step step = token();
    if (step == Step::Bad) return SuccessLogReader::Outcome::NoDocument;
    if (step == Step::More && !refill()) {
      // The document ends inside a token (or the token is too large).
      return stopped_ ? SuccessLogReader::Outcome::Stopped : SuccessLogReader::Outcome::NoDocument;
    }
  }
  if (!stack_.empty() || !sawElement_) return SuccessLogReader::Outcome::NoDocument;
  return SuccessLogReader::Outcome::Read;
}

StreamParser::Step StreamParser::token() { return buf_[pos_] == '<' ? markup() : text(); }

StreamParser::Step StreamParser::text() {
  const bool wanted = !stack_.empty() && stack_.back().role == Role::Field && !taken_[size_t(stack_.back().field)];
  const void* lt = std::memchr(at(pos_), '<', avail());
  const size_t stop = lt ? size_t(static_cast<const char*>(lt) - buf_.get()) : end_;
  if (!wanted) {  // skipped text need not be whole
    pos_ = stop;
    return Step::Done;
  }
  if (!lt && !eof_) return Step::More;
  takeText(view(pos_, stop), true);
  pos_ = stop;
  return Step::Done;
}

void StreamParser::takeText(std::string_view raw, bool references) {
  const int field = stack_.back().field;
  if (references) {  // a run of only whitespace is no text
    bool blank = true;
    for (const char c : raw) {
      if (!isXmlSpace(c)) {
        blank = false;
        break;
      }
    }
    if (blank) return;
  }
  decodeText(raw, references, values_[size_t(field)]);
  taken_[size_t(field)] = true;
}

StreamParser::Step StreamParser::markup() {
  if (avail() < 2) return eof_ ? Step::Bad : Step::More;
  const char c = buf_[pos_ + 1];
  if (c == '/') return endTag(pos_);
  if (c == '?') return processingInstruction(pos_);
  if (c == '!') return exclamation(pos_);
  if (isXmlNameStart(c)) return startTag(pos_);
  return Step::Bad;
}

StreamParser::Step StreamParser::startTag(size_t p) {
  size_t q = p + 1;
  while (q < end_ && isXmlNameChar(buf_[q])) ++q;
  if (q == end_) return eof_ ? Step::Bad : Step::More;
  const std::string_view name = view(p + 1, q);
  bool selfClosing = false;
  if (buf_[q] == '/') {
    if (q + 1 == end_) return eof_ ? Step::Bad : Step::More;
    if (buf_[q + 1] != '>') return Step::Bad;
    selfClosing = true;
    q += 2;
  } else if (buf_[q] == '>') {
    ++q;
  } else if (isXmlSpace(buf_[q])) {
    for (;;) {  // attributes: read and dropped
      while (q < end_ && isXmlSpace(buf_[q])) ++q;
      if (q == end_) return eof_ ? Step::Bad : Step::More;
      const char a = buf_[q];
      if (a == '>') {
        ++q;
        break;
      }
      if (a == '/') {
        if (q + 1 == end_) return eof_ ? Step::Bad : Step::More;
        if (buf_[q + 1] != '>') return Step::Bad;
        selfClosing = true;
        q += 2;
        break;
      }
      if (!isXmlNameStart(a)) return Step::Bad;
      while (q < end_ && isXmlNameChar(buf_[q])) ++q;
      while (q < end_ && isXmlSpace(buf_[q])) ++q;
      if (q == end_) return eof_ ? Step::Bad : Step::More;
      if (buf_[q] != '=') return Step::Bad;
      ++q;
      while (q < end_ && isXmlSpace(buf_[q])) ++q;
      if (q == end_) return eof_ ? Step::Bad : Step::More;
      const char quote = buf_[q];
      if (quote != '"' && quote != '\'') return Step::Bad;
      const void* close = std::memchr(at(q + 1), quote, end_ - q - 1);
      if (!close) return eof_ ? Step::Bad : Step::More;
      q = size_t(static_cast<const char*>(close) - buf_.get()) + 1;
      if (q < end_ && isXmlNameStart(buf_[q])) return Step::Bad;  // attributes need a space between them
    }
  } else {
    return Step::Bad;
  }
  open(name);
  if (selfClosing) close();
  pos_ = q;
  return Step::Done;
}

StreamParser::Step StreamParser::endTag(size_t p) {
  size_t q = p + 2;
  while (q < end_ && isXmlNameChar(buf_[q])) ++q;
  while (q < end_ && isXmlSpace(buf_[q])) ++q;
  if (q == end_) return eof_ ? Step::Bad : Step::More;
  if (buf_[q] != '>' || stack_.empty()) return Step::Bad;
  std::string_view name = view(p + 2, q);
  while (!name.empty() && isXmlSpace(name.back())) name.remove_suffix(1);
  const size_t nameStart = stack_.size() > 1 ? stack_[stack_.size() - 2].nameEnd : 0;
  if (name != std::string_view(names_).substr(nameStart, stack_.back().nameEnd - nameStart)) return Step::Bad;
  close();
  pos_ = q + 1;
  return Step::Done;
}

StreamParser::Step StreamParser::processingInstruction(size_t p) {
  size_t q = p + 2;
  if (q == end_) return eof_ ? Step::Bad : Step::More;
  if (!isXmlNameStart(buf_[q])) return Step::Bad;
  while (q < end_ && isXmlNameChar(buf_[q])) ++q;
  const size_t close = find(q, "?>");
  if (close == std::string_view::npos) return eof_ ? Step::Bad : Step::More;
  pos_ = close + 2;
  return Step::Done;
}

StreamParser::Step StreamParser::exclamation(size_t p) {
  const std::string_view rest = view(p, end_);
  auto startsWith = [&](std::string_view what) -> int {  // 1 yes, 0 no, -1 not enough data yet
    const size_t n = std::min(rest.size(), what.size());
    if (rest.substr(0, n) != what.substr(0, n)) return 0;
    return n == what.size() ? 1 : -1;
  };
  auto need = [&](int r) { return r < 0 ? (eof_ ? Step::Bad : Step::More) : Step::Bad; };
  if (const int r = startsWith("<!--"); r != 0) {
    if (r < 0) return need(r);
    const size_t close = find(p + 4, "-->");
    if (close == std::string_view::npos) return eof_ ? Step::Bad : Step::More;
    pos_ = close + 3;
    return Step::Done;
  }
  if (const int r = startsWith("<![CDATA["); r != 0) {
    if (r < 0) return need(r);
    const size_t close = find(p + 9, "]]>");
    if (close == std::string_view::npos) return eof_ ? Step::Bad : Step::More;
    if (!stack_.empty() && stack_.back().role == Role::Field && !taken_[size_t(stack_.back().field)])
      takeText(view(p + 9, close), false);
    pos_ = close + 3;
    return Step::Done;
  }
  if (const int r = startsWith("<!DOCTYPE"); r != 0) {
    if (r < 0) return need(r);
    if (!stack_.empty()) return Step::Bad;
    size_t close = 0;
    const Step s = doctype(p, &close);
    if (s == Step::Done) pos_ = close + 1;
    return s;
  }
  return rest.size() < 3 && !eof_ ? Step::More : Step::Bad;
}

// The document type declaration, skipped: nested declarations, quoted strings, comments,
// processing instructions and conditional sections. `end` gets the position of its ">".
StreamParser::Step StreamParser::doctype(size_t p, size_t* end) {
  const Step more = eof_ ? Step::Bad : Step::More;
  auto has = [&](size_t i, std::string_view what) { return view(i, end_).substr(0, what.size()) == what; };
  size_t depth = 0;
  size_t i = p + 2;
  while (i < end_) {
    const char c = buf_[i];
    if (c == '<' && i + 2 < end_ && buf_[i + 1] == '!' && buf_[i + 2] != '-') {
      if (buf_[i + 2] == '[') {  // conditional section
        size_t nested = 0;
        i += 3;
        for (;;) {
          if (i + 2 >= end_) return more;
          if (has(i, "<![")) {
            i += 3;
            ++nested;
          } else if (has(i, "]]>")) {
            i += 3;
            if (nested == 0) break;
            --nested;
          } else {
            ++i;
          }
        }
      } else {
        i += 2;
        ++depth;
      }
    } else if (c == '<' && i + 2 >= end_) {
      return more;
    } else if (c == '"' || c == '\'') {
      const void* close = std::memchr(at(i + 1), c, end_ - i - 1);
      if (!close) return more;
      i = size_t(static_cast<const char*>(close) - buf_.get()) + 1;
    } else if (c == '<') {
      size_t close = std::string_view::npos;
      if (buf_[i + 1] == '?') close = find(i + 2, "?>");
      else if (has(i, "<!--")) close = find(i + 4, "-->");
      else if (i + 3 >= end_) return more;
      else return Step::Bad;
      if (close == std::string_view::npos) return more;
      i = close + (buf_[close] == '?' ? 2 : 3);
    } else if (c == '>') {
      if (depth == 0) {
        *end = i;
        return Step::Done;
      }
      --depth;
      ++i;
    } else {
      ++i;
    }
  }
  return more;
}

void StreamParser::open(std::string_view name) {
  Role role = Role::Other;
  int field = -1;
  const Role parent = stack_.empty() ? Role::Other : stack_.back().role;
  if (stack_.empty()) {
    sawElement_ = true;
    if (name == "FileCollection") role = Role::Collection;
  } else if (parent == Role::Collection && name == "FileDetails") {
    role = Role::Details;
    seen_.fill(false);
    taken_.fill(false);
  } else if (parent == Role::Details) {
    for (int f = 0; f < kFields; ++f) {
      if (name == kFieldNames[f]) {
        if (!seen_[size_t(f)]) {  // the first child of that name counts
          seen_[size_t(f)] = true;
          role = Role::Field;
          field = f;
        }
        break;
      }
    }
  }
  names_.append(name);
  stack_.push_back({names_.size(), role, field});
}

void StreamParser::close() {
  const Open top = stack_.back();
  stack_.pop_back();
  names_.resize(stack_.empty() ? 0 : stack_.back().nameEnd);
  if (top.role != Role::Details) return;
  LogRecord record;
  for (int f = 0; f < kFields; ++f)
    record.fields[size_t(f)] = taken_[size_t(f)] ? std::string_view(values_[size_t(f)]) : std::string_view();
  record.position = position_++;
  record.offset = readSoFar_ - qint64(end_ - pos_);
  onRecord_(record);
}

}  // namespace

SuccessLogReader::Outcome SuccessLogReader::read(const QString& path, const RecordFn& onRecord,
                                                 const ProgressFn& progress) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return Outcome::NoDocument;
  return read(file, onRecord, progress);
}

namespace {

// What tells a file that was written to: its size and modification time, and which file the
// name stands for.
struct FileState {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  timespec modified{};
  bool operator==(const FileState& o) const {
    return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
           modified.tv_nsec == o.modified.tv_nsec;
  }
};

FileState stateOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// Readings of a log that is being written, and the pause between them.
constexpr int kReadings = 5;
constexpr int kSettleMs = 250;
// A file written this recently may be in the middle of being written.
constexpr qint64 kRecentMs = 2000;

bool writtenRecently(const FileState& s) {
  if (s.size < 0) return false;
  const qint64 modifiedMs = qint64(s.modified.tv_sec) * 1000 + s.modified.tv_nsec / 1000000;
  return QDateTime::currentMSecsSinceEpoch() - modifiedMs < kRecentMs;
}

}  // namespace

SuccessLogReader::Outcome SuccessLogReader::readWhileWritten(const QString& path, const RecordFn& onRecord,
                                                             const ProgressFn& progress, const RestartFn& restart) {
  for (int reading = 1;; ++reading) {
    const FileState before = stateOf(path);
    const Outcome outcome = read(path, onRecord, progress);
    if (outcome != Outcome::NoDocument || reading == kReadings) return outcome;
    const FileState after = stateOf(path);
    if (after == before && !writtenRecently(after)) return outcome;  // broken, not being written
    platform::waitPaintingMs(kSettleMs);
    if (restart) restart();
  }
}

SuccessLogReader::Outcome SuccessLogReader::read(QIODevice& device, const RecordFn& onRecord,
                                                 const ProgressFn& progress, qint64 chunkBytes) {
  // The encoding is told from the start of the file, read whatever the size of the pieces (a
  // declaration longer than this is taken as UTF-8).
  constexpr qint64 kHead = 64 << 10;
  QByteArray head;
  while (head.size() < kHead) {
    const QByteArray more = device.read(kHead - head.size());
    if (more.isEmpty()) break;
    head += more;
  }
  const LogEncoding encoding = guessLogEncoding(std::string_view(head.constData(), size_t(head.size())));
  LogSource source(device, encoding, head, size_t(std::max<qint64>(chunkBytes, 1)));
  StreamParser parser(source, device.size(), chunkBytes, onRecord, progress);
  return parser.run();
}

}  // namespace corvane::handoff
