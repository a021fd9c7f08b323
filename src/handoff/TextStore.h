#pragma once
// Many short UTF-8 texts kept in large blocks that never move: no allocation per text, and no
// moment where a growing buffer is held twice (a million log rows hold some 150 MB of text).
#include <QtGlobal>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

namespace corvane::handoff {

class TextStore {
 public:
  // Copies the pieces one after another; returns where the first begins.
  quint64 append(std::initializer_list<std::string_view> pieces);
  // `length` bytes from `at` (pieces appended together can be viewed together).
  std::string_view view(quint64 at, size_t length) const {
    return {blocks_[size_t(at >> 32)].get() + (at & 0xFFFFFFFFu), length};
  }
  void clear();

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0, size_ = 0;
};

// Distinct texts, each held once in a TextStore. Open addressing with the hash and the text's
// place in the slot itself, so a look-up touches one slot and the one text it may be: a log's
// million folder names against a couple of hundred thousand distinct ones.
class TextSet {
 public:
  void clear();
  // Room for about this many texts without growing.
  void reserve(size_t texts);
  // The held copy of the text, and whether it was new.
  std::pair<std::string_view, bool> insert(std::string_view text);
  size_t size() const { return count_; }

 private:
  struct Slot {
    quint64 at;
    quint32 hash;
    quint32 length;  // of the text + 1; 0 is a free slot
  };
  size_t find(std::string_view text, quint32 hash) const;  // its slot, or the free one
  void rehash(size_t slotCount);

  TextStore texts_;
  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace corvane::handoff
