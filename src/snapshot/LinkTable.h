#pragma once
// Files with several names, met under their first name and waiting for the others, by device
// and inode. A hard-linked copy of a tree holds every file of the tree here at once, so the
// table is flat, 16 bytes a file: a hundred thousand files cost 2 to 4 MB.
#include <sys/types.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace corvane::snapshot {

class LinkTable {
 public:
  struct Entry {
    uint64_t line = 0;       // where the first name's line starts in the list being written
    uint64_t namesLeft = 0;  // names not met yet
    bool stored = false;     // the first name's content is in the image
  };

  bool find(dev_t dev, ino_t ino, Entry* out) const;
  void put(dev_t dev, ino_t ino, const Entry& e);
  // One more name met; the file is forgotten once none is left (a file with more names than
  // the table counts stays to the end).
  void countName(dev_t dev, ino_t ino);
  size_t size() const;

 private:
  struct Slot {
    uint64_t ino;
    uint64_t packed;  // line (46 bits), names left (16 bits), stored, used
  };
  struct Table {
    dev_t dev;
    std::vector<Slot> cells;
    size_t used = 0;
  };
  Table* tableOf(dev_t dev, bool make);
  const Table* tableOf(dev_t dev) const;
  static size_t home(const Table& t, ino_t ino);
  static size_t findSlot(const Table& t, ino_t ino);  // its index, or the free cell where it would go
  static void grow(Table& t);
  static void erase(Table& t, size_t at);
  std::vector<Table> tables_;  // one a device: a drive or two
};

}  // namespace corvane::snapshot
