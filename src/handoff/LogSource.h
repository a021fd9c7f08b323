#pragma once
// What the upload log reader reads from: the log's bytes as UTF-8, whatever encoding the file is
// in, and the character classes of its XML.
#include <QByteArray>
#include <QIODevice>
#include <string>
#include <string_view>

namespace corvane::handoff {

// XML white space and name characters as the tree reader knows them (every byte from 0x80 on
// may stand in a name).
inline bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
inline bool isXmlNameStart(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
}
inline bool isXmlNameChar(char ch) { return isXmlNameStart(ch) || (ch >= '0' && ch <= '9') || ch == '-' || ch == '.'; }

// The encodings the tree reader tells apart; everything it reads is UTF-8 to the parser.
enum class LogEncoding { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Latin1 };

// The encoding as pugixml guesses it from the first bytes: a byte order mark, the first "<"
// in a wider form, or a declaration naming Latin-1 exactly. Anything else is UTF-8 (a NUL
// byte there simply ends the document).
LogEncoding guessLogEncoding(std::string_view head);

// The document's bytes as UTF-8, whatever its encoding, converted a piece at a time the way
// pugixml converts a whole buffer (surrogates that pair with nothing dropped, values beyond
// U+10FFFF written out bit for bit, an odd byte at the end ignored), so that a log in UTF-16
// or Latin-1 is read in constant memory too. A byte order mark at the start is dropped.
class LogSource {
 public:
  // `head`: the bytes already read from the device (its encoding told from them); `chunk`: how
  // much to read from the device at a time.
  LogSource(QIODevice& device, LogEncoding encoding, const QByteArray& head, size_t chunk);

  // Up to `max` bytes of the document; 0 at its end, -1 when the device fails.
  qint64 read(char* out, size_t max);
  qint64 rawRead() const { return rawRead_; }
  // The file's size now: a log being written grows while it is read.
  qint64 size() const;

 private:
  bool convertMore();
  void convert();

  QIODevice& device_;
  LogEncoding encoding_;
  size_t chunk_;
  std::string raw_;  // read from the device, not yet converted from rawAt_ on
  size_t rawAt_ = 0;
  bool rawEnd_ = false;
  qint64 rawRead_;
  std::string converted_;
  size_t convertedAt_ = 0;
  bool bomChecked_ = false;
};

}  // namespace corvane::handoff
