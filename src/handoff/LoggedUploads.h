#pragma once
// The upload log's file names, each with the upload time of its first record: what the status
// page shows beside a file of that name, whichever folder the record named. A million records
// are held in a few dozen MB and looked up without a pass over them.
#include <QString>
#include <optional>
#include <string_view>

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
  TextSet names_;  // each name with the upload time of its first record
  qint64 records_ = 0;
};

}  // namespace corvane::handoff
