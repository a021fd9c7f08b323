#pragma once
// Streaming reader of the service's upload log (SuccessLog.xml): the FileDetails records under
// the root FileCollection, one at a time, without holding the document. A log of a million
// records is some 400 MB of XML; a tree of it would need several times that.
#include <QIODevice>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace corvane::handoff {

// The children of a FileDetails element that the program reads.
enum class LogField { FileName, FileFolderName, FileModifiedDate, FileSize, FileType, UpSuccess, UpDTime, Count };

// One record. A child's text is the first run of text (or CDATA) directly inside the first
// child of that name, entities decoded and line ends made "\n"; a run of only whitespace does
// not count. A missing child reads as "". The views hold UTF-8 and live until the callback
// returns.
struct LogRecord {
  std::array<std::string_view, size_t(LogField::Count)> fields;
  qint64 position = 0;  // 0-based, in document order
  qint64 offset = 0;    // about where in the file the record ends (for progress)
  std::string_view operator[](LogField f) const { return fields[size_t(f)]; }
};

class SuccessLogReader {
 public:
  enum class Outcome {
    Read,        // every record was delivered
    NoDocument,  // missing, unreadable, not well-formed, or no root element
    Stopped,     // the progress callback asked to stop
  };
  using RestartFn = std::function<void()>;
  using RecordFn = std::function<void(const LogRecord&)>;
  // Bytes read so far and the file's size; returning false stops the reading.
  using ProgressFn = std::function<bool(qint64 done, qint64 total)>;

  // Records are delivered while the file is read, so a document found broken further on has
  // already delivered some: callers keep what they collect until the outcome is Read.
  static Outcome read(const QString& path, const RecordFn& onRecord, const ProgressFn& progress = {});
  // As read(path), for a log the service may be writing to meanwhile: when the document is not
  // whole and the file changed while it was read, or had changed just before, it is read again
  // from the start after a moment (the window painting), a few times at most. `restart` is called before each new
  // reading, so the caller drops what the one before delivered.
  static Outcome readWhileWritten(const QString& path, const RecordFn& onRecord, const ProgressFn& progress,
                                  const RestartFn& restart);
  // The same from an open device, read `chunkBytes` at a time.
  static Outcome read(QIODevice& device, const RecordFn& onRecord, const ProgressFn& progress = {},
                      qint64 chunkBytes = qint64(1) << 20);
};

}  // namespace corvane::handoff
