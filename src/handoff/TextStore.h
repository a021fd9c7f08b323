#pragma once
// Many short UTF-8 texts kept in large blocks that never move: no allocation per text, and no
// moment where a growing buffer is held twice (a million log rows hold some 150 MB of text).
#include <QtGlobal>
#include <initializer_list>
#include <memory>
#include <optional>
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

// Distinct texts, each held once in a TextStore with a payload text beside it (the one given
// when the text first came). Open addressing on the texts' hashes, kept in the slots so that
// most probes touch no text: a log's million names, or its folders, are looked up without a
// pass over them.
class TextSet {
 public:
  void clear();
  // Room for about this many texts without growing.
  void reserve(size_t texts);
  // The held copy of the text, and whether it was new (a text held already keeps its payload).
  std::pair<std::string_view, bool> insert(std::string_view text, std::string_view payload = {});
  // The payload held with the text, or nullopt when the text is not held.
  std::optional<std::string_view> payloadOf(std::string_view text) const;
  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    quint64 at;
    quint32 length, payloadLength;
  };
  struct Slot {
    quint32 hash;
    quint32 entry;  // entry index + 1; 0 is free
  };
  std::string_view textOf(const Entry& e) const { return texts_.view(e.at, e.length); }
  size_t find(std::string_view text, quint32 hash) const;  // the text's slot, or the free one
  void rehash(size_t slotCount);

  TextStore texts_;
  std::vector<Entry> entries_;
  std::vector<Slot> slots_;
};

}  // namespace corvane::handoff
