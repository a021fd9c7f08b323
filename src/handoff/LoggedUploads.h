#pragma once
// The upload log's file names, each with the upload time of its first record: what the status
// page shows beside a file of that name, whichever folder the record named. A million records
// are held in a few dozen MB and looked up without a pass over them.
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

#include "handoff/TextStore.h"

namespace corvane::handoff {

class LoggedUploads {
 public:
  // One record (UTF-8 texts); a name seen before keeps the time of its first record.
  void add(std::string_view fileName, std::string_view uploadTime);
  void clear();

  // The upload time of the first record of exactly that name, or nullopt.
  std::optional<QString> uploadTimeOf(const QString& fileName) const;
  qint64 records() const { return records_; }  // repeats included

 private:
  struct Entry {
    quint64 at;
    quint32 nameLength, timeLength;
  };
  std::string_view nameOf(const Entry& e) const { return texts_.view(e.at, e.nameLength); }
  qint64 find(std::string_view name, size_t hash) const;  // slot index of the name or of the free slot
  void grow();

  TextStore texts_;
  std::vector<Entry> entries_;
  std::vector<quint32> slots_;  // entry index + 1; 0 is free
  qint64 records_ = 0;
};

}  // namespace corvane::handoff
