#pragma once
// The differential's view of the full image's hash list: read alongside the walk, one entry at
// a time, since both are in the same order, so that new, changed, unchanged and deleted paths
// are told apart with memory that does not grow with the drive.
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "snapshot/HashList.h"

namespace corvane::snapshot {

class Control;

// An image and its hash list are put in place one after the other. A run ended between the
// two renames leaves its list whole under the temporary name, beside the image it belongs to
// (the list names that image's size and inode): this puts it in place, so the pair is whole
// again before a differential reads the list.
void completeInterruptedPair(const std::string& list);

class BaseList {
 public:
  // drives: the letters of the drives this image walks; the list's entries of other drives
  // were not looked at, so they are neither compared nor reported deleted. Deleted paths go to
  // onDeleted. Throws kHashListMissing or kHashListDamaged.
  BaseList(const std::string& nativePath, std::string drives, Control& control, std::function<void(const std::string&)> onDeleted);
  ~BaseList();
  BaseList(const BaseList&) = delete;
  BaseList& operator=(const BaseList&) = delete;

  // When the full image's walk started (entries whose change time is older were seen as they
  // are now); nothing for lists of the first format.
  std::optional<Timestamp> started() const;

  // The entry for path, if the list has one (valid until the next call); every listed path
  // before it has been deleted.
  const HashEntry* take(const std::string& path);
  // Every listed path below folder that is still left has been deleted.
  void passOverWithin(const std::string& folder);
  // The walk left out path and what lies below it: whatever the list has there is neither
  // compared nor deleted (the restore keeps the full image's copy). Every listed path before
  // it has been deleted.
  void leftOut(const std::string& path);
  void drain();

 private:
  [[noreturn]] void damaged();
  void checkImage();
  void passOver(bool deleted = true);
  void advance();

  std::string path_;
  std::string drives_;
  Control& control_;
  std::function<void(const std::string&)> onDeleted_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<HashListReader> reader_;
  const HashEntry* current_ = nullptr;  // held by the reader
  bool has_ = false;
  uint64_t passed_ = 0;
};

}  // namespace corvane::snapshot
