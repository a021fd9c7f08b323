#include "snapshot/LinkTable.h"

#include "snapshot/Control.h"

namespace corvane::snapshot {

namespace {

constexpr uint64_t kUsed = uint64_t{1} << 63;
constexpr uint64_t kStored = uint64_t{1} << 62;
constexpr int kNamesShift = 46;
constexpr uint64_t kMaxNames = 0xffff;  // and more: counted no further
constexpr uint64_t kLineMask = (uint64_t{1} << kNamesShift) - 1;

uint64_t pack(const LinkTable::Entry& e) {
  if (e.line > kLineMask) throw EngineFailure{kInternalError, "the hash list is too long to link files by it"};
  const uint64_t names = e.namesLeft < kMaxNames ? e.namesLeft : kMaxNames;
  return kUsed | (e.stored ? kStored : 0) | (names << kNamesShift) | e.line;
}

LinkTable::Entry unpack(uint64_t p) {
  return {p & kLineMask, (p >> kNamesShift) & kMaxNames, (p & kStored) != 0};
}

}  // namespace

LinkTable::Table* LinkTable::tableOf(dev_t dev, bool make) {
  for (Table& t : tables_)
    if (t.dev == dev) return &t;
  if (!make) return nullptr;
  tables_.push_back(Table{dev, std::vector<Slot>(1024), 0});
  return &tables_.back();
}

const LinkTable::Table* LinkTable::tableOf(dev_t dev) const {
  for (const Table& t : tables_)
    if (t.dev == dev) return &t;
  return nullptr;
}

size_t LinkTable::home(const Table& t, ino_t ino) {
  uint64_t x = static_cast<uint64_t>(ino) + 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return static_cast<size_t>(x ^ (x >> 31)) & (t.cells.size() - 1);
}

size_t LinkTable::findSlot(const Table& t, ino_t ino) {
  size_t at = home(t, ino);
  while ((t.cells[at].packed & kUsed) && t.cells[at].ino != static_cast<uint64_t>(ino)) at = (at + 1) & (t.cells.size() - 1);
  return at;
}

void LinkTable::grow(Table& t) {
  std::vector<Slot> old(t.cells.size() * 2);
  old.swap(t.cells);
  for (const Slot& s : old)
    if (s.packed & kUsed) t.cells[findSlot(t, static_cast<ino_t>(s.ino))] = s;
}

// Linear probing: the cells after the freed one that belong before it move back.
void LinkTable::erase(Table& t, size_t at) {
  const size_t mask = t.cells.size() - 1;
  size_t next = (at + 1) & mask;
  while (t.cells[next].packed & kUsed) {
    const size_t want = home(t, static_cast<ino_t>(t.cells[next].ino));
    // The entry at next may fill the hole when its home is not within (at, next].
    if (((next - want) & mask) >= ((next - at) & mask)) {
      t.cells[at] = t.cells[next];
      at = next;
    }
    next = (next + 1) & mask;
  }
  t.cells[at] = Slot{0, 0};
  --t.used;
}

bool LinkTable::find(dev_t dev, ino_t ino, Entry* out) const {
  const Table* t = tableOf(dev);
  if (!t) return false;
  const Slot& s = t->cells[findSlot(*t, ino)];
  if (!(s.packed & kUsed)) return false;
  *out = unpack(s.packed);
  return true;
}

void LinkTable::put(dev_t dev, ino_t ino, const Entry& e) {
  Table& t = *tableOf(dev, true);
  if ((t.used + 1) * 10 > t.cells.size() * 8) grow(t);
  Slot& s = t.cells[findSlot(t, ino)];
  if (!(s.packed & kUsed)) ++t.used;
  s = Slot{static_cast<uint64_t>(ino), pack(e)};
}

void LinkTable::countName(dev_t dev, ino_t ino) {
  Table* t = tableOf(dev, false);
  if (!t) return;
  const size_t at = findSlot(*t, ino);
  Slot& s = t->cells[at];
  if (!(s.packed & kUsed)) return;
  const uint64_t names = (s.packed >> kNamesShift) & kMaxNames;
  if (names == kMaxNames) return;
  if (names <= 1) return erase(*t, at);
  s.packed -= uint64_t{1} << kNamesShift;
}

size_t LinkTable::size() const {
  size_t n = 0;
  for (const Table& t : tables_) n += t.used;
  return n;
}

}  // namespace corvane::snapshot
