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
  // Room for about this many names without growing.
  void reserve(qint64 names);

  // The upload time of the first record of exactly that name, or nullopt.
  std::optional<QString> uploadTimeOf(const QString& fileName) const;
  qint64 records() const { return records_; }  // repeats included

 private:
  struct Entry {
    quint64 at;
    quint32 nameLength, timeLength;
  };
  std::string_view nameOf(const Entry& e) const { return texts_.view(e.at, e.nameLength); }
  struct Slot {
    quint32 hash;
    quint32 entry;  // entry index + 1; 0 is free
  };
  size_t find(std::string_view name, quint32 hash) const;  // the name's slot, or the free one
  void rehash(size_t slotCount);

  TextStore texts_;
  std::vector<Entry> entries_;
  std::vector<Slot> slots_;  // open addressing; the hash is kept so most probes touch no text
  qint64 records_ = 0;
};

}  // namespace corvane::handoff
