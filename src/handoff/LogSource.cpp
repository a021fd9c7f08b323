#include "handoff/LogSource.h"

#include <algorithm>
#include <cstring>

#include "handoff/Utf8.h"

namespace corvane::handoff {

LogEncoding guessLogEncoding(std::string_view head) {
  if (head.size() < 4) return LogEncoding::Utf8;
  const auto b = [&](size_t i) { return static_cast<unsigned char>(head[i]); };
  const unsigned d0 = b(0), d1 = b(1), d2 = b(2), d3 = b(3);
  if (d0 == 0 && d1 == 0 && d2 == 0xFE && d3 == 0xFF) return LogEncoding::Utf32BE;
  if (d0 == 0xFF && d1 == 0xFE && d2 == 0 && d3 == 0) return LogEncoding::Utf32LE;
  if (d0 == 0xFE && d1 == 0xFF) return LogEncoding::Utf16BE;
  if (d0 == 0xFF && d1 == 0xFE) return LogEncoding::Utf16LE;
  if (d0 == 0xEF && d1 == 0xBB && d2 == 0xBF) return LogEncoding::Utf8;
  if (d0 == 0 && d1 == 0 && d2 == 0 && d3 == '<') return LogEncoding::Utf32BE;
  if (d0 == '<' && d1 == 0 && d2 == 0 && d3 == 0) return LogEncoding::Utf32LE;
  if (d0 == 0 && d1 == '<') return LogEncoding::Utf16BE;
  if (d0 == '<' && d1 == 0) return LogEncoding::Utf16LE;
  // <?xml S ... encoding = "name": the scan stops at the first "?" or at "en".
  if (head.size() < 6 || head.substr(0, 5) != "<?xml" || !isXmlSpace(head[5])) return LogEncoding::Utf8;
  for (size_t i = 6; i + 1 < head.size(); ++i) {
    if (head[i] == '?') return LogEncoding::Utf8;
    if (head[i] != 'e' || head[i + 1] != 'n') continue;
    size_t q = i;
    if (head.substr(q, 8) != "encoding") return LogEncoding::Utf8;
    q += 8;
    while (q < head.size() && isXmlSpace(head[q])) ++q;
    if (q == head.size() || head[q] != '=') return LogEncoding::Utf8;
    ++q;
    while (q < head.size() && isXmlSpace(head[q])) ++q;
    const char quote = q < head.size() && head[q] == '"' ? '"' : '\'';
    if (q == head.size() || head[q] != quote) return LogEncoding::Utf8;
    const size_t start = ++q;
    while (q < head.size() && isXmlNameChar(head[q])) ++q;
    if (q == head.size() || head[q] != quote) return LogEncoding::Utf8;
    std::string name(head.substr(start, q - start));
    for (char& c : name) c = char(c == '-' ? c : (c | ' '));
    if (name == "iso-8859-1" || name == "latin1") return LogEncoding::Latin1;
    return LogEncoding::Utf8;
  }
  return LogEncoding::Utf8;
}

LogSource::LogSource(QIODevice& device, LogEncoding encoding, const QByteArray& head, size_t chunk)
    : device_(device), encoding_(encoding), chunk_(chunk), raw_(head.constData(), size_t(head.size())),
      rawRead_(head.size()) {
  if (encoding_ == LogEncoding::Utf8 && raw_.compare(0, 3, "\xEF\xBB\xBF") == 0) rawAt_ = 3;
}

qint64 LogSource::read(char* out, size_t max) {
  if (encoding_ == LogEncoding::Utf8) {  // what is left of the head, then straight from the device
    const size_t fromHead = std::min(max, raw_.size() - rawAt_);
    std::memcpy(out, raw_.data() + rawAt_, fromHead);
    rawAt_ += fromHead;
    if (fromHead == max) return qint64(fromHead);
    const qint64 n = device_.read(out + fromHead, qint64(max - fromHead));
    if (n < 0) return fromHead > 0 ? qint64(fromHead) : -1;
    rawRead_ += n;
    return qint64(fromHead) + n;
  }
  while (converted_.size() - convertedAt_ < max && !(rawEnd_ && rawAt_ == raw_.size())) {
    if (!convertMore()) return -1;
  }
  const size_t n = std::min(max, converted_.size() - convertedAt_);
  std::memcpy(out, converted_.data() + convertedAt_, n);
  convertedAt_ += n;
  return qint64(n);
}

qint64 LogSource::size() const { return std::max(device_.size(), rawRead_); }

// Converts the raw bytes that make whole characters, reading more first when none do.
bool LogSource::convertMore() {
  converted_.erase(0, convertedAt_);  // what the parser has taken
  convertedAt_ = 0;
  const size_t before = converted_.size();
  convert();
  if (converted_.size() == before && !rawEnd_) {
    raw_.erase(0, rawAt_);
    rawAt_ = 0;
    const size_t had = raw_.size();
    raw_.resize(had + chunk_);
    const qint64 n = device_.read(raw_.data() + had, qint64(chunk_));
    raw_.resize(had + size_t(std::max<qint64>(n, 0)));
    if (n < 0) return false;
    if (n == 0) rawEnd_ = true;
    rawRead_ += std::max<qint64>(n, 0);
    convert();
  }
  if (!bomChecked_ && converted_.size() > convertedAt_) {
    bomChecked_ = true;
    if (converted_.compare(convertedAt_, 3, "\xEF\xBB\xBF") == 0) convertedAt_ += 3;
  }
  return true;
}

void LogSource::convert() {
  const auto byte = [&](size_t i) { return uint32_t(static_cast<unsigned char>(raw_[i])); };
  const size_t size = raw_.size();
  switch (encoding_) {
    case LogEncoding::Utf8:
      break;
    case LogEncoding::Latin1:
      for (; rawAt_ < size; ++rawAt_) appendUtf8(converted_, byte(rawAt_));
      break;
    case LogEncoding::Utf16LE:
    case LogEncoding::Utf16BE: {
      const bool le = encoding_ == LogEncoding::Utf16LE;
      const auto unit = [&](size_t i) { return le ? byte(i) | byte(i + 1) << 8 : byte(i) << 8 | byte(i + 1); };
      while (rawAt_ + 2 <= size) {
        const uint32_t lead = unit(rawAt_);
        if (lead < 0xD800 || lead >= 0xE000) {
          appendUtf8(converted_, lead);
          rawAt_ += 2;
        } else if (lead >= 0xDC00) {
          rawAt_ += 2;  // a second half without its first
        } else if (rawAt_ + 4 <= size) {
          const uint32_t next = unit(rawAt_ + 2);
          if (next >= 0xDC00 && next < 0xE000) {
            appendUtf8(converted_, 0x10000 + ((lead & 0x3FF) << 10) + (next & 0x3FF));
            rawAt_ += 4;
          } else {
            rawAt_ += 2;  // a first half without its second
          }
        } else {
          if (!rawEnd_) return;  // the second half may come with the next read
          rawAt_ += 2;
        }
      }
      break;
    }
    case LogEncoding::Utf32LE:
    case LogEncoding::Utf32BE: {
      const bool le = encoding_ == LogEncoding::Utf32LE;
      for (; rawAt_ + 4 <= size; rawAt_ += 4) {
        const size_t i = rawAt_;
        appendUtf8(converted_, le ? byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24
                                       : byte(i) << 24 | byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3));
      }
      break;
    }
  }
  if (rawEnd_) rawAt_ = size;  // what is left makes no whole character
}

}  // namespace corvane::handoff
