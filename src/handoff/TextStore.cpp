#include "handoff/TextStore.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace corvane::handoff {

namespace {
constexpr size_t kBlock = size_t(4) << 20;
}

quint64 TextStore::append(std::initializer_list<std::string_view> pieces) {
  size_t total = 0;
  for (const std::string_view p : pieces) total += p.size();
  if (blocks_.empty() || used_ + total > size_) {
    size_ = std::max(kBlock, total);  // a text larger than a block gets a block of its own
    // Not zeroed: only what is appended is ever read, and a search of a small log should not
    // clear a whole block.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size_));
    used_ = 0;
  }
  const quint64 at = (quint64(blocks_.size() - 1) << 32) | used_;
  char* out = blocks_.back().get() + used_;
  for (const std::string_view p : pieces) {
    if (!p.empty()) std::memcpy(out, p.data(), p.size());
    out += p.size();
  }
  used_ += total;
  return at;
}

void TextStore::clear() {
  blocks_.clear();
  used_ = size_ = 0;
}

void TextSet::clear() {
  texts_.clear();
  slots_.clear();
  count_ = 0;
}

size_t TextSet::find(std::string_view text, quint32 hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.length == 0 || (s.hash == hash && s.length == text.size() + 1 && texts_.view(s.at, text.size()) == text))
      return i;
  }
}

void TextSet::rehash(size_t slotCount) {
  const std::vector<Slot> old = std::move(slots_);
  slots_.assign(slotCount, Slot{0, 0, 0});
  const size_t mask = slotCount - 1;
  for (const Slot& s : old) {
    if (s.length == 0) continue;
    size_t i = s.hash & mask;
    while (slots_[i].length != 0) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

void TextSet::reserve(size_t texts) {
  size_t slotCount = 1024;
  while (slotCount < texts * 2) slotCount *= 2;
  if (slotCount > slots_.size()) rehash(slotCount);
}

std::pair<std::string_view, bool> TextSet::insert(std::string_view text) {
  if ((count_ + 1) * 2 > slots_.size()) rehash(slots_.empty() ? 1024 : slots_.size() * 2);
  const quint32 hash = quint32(std::hash<std::string_view>()(text));
  const size_t i = find(text, hash);
  Slot& s = slots_[i];
  if (s.length != 0) return {texts_.view(s.at, text.size()), false};
  s = Slot{texts_.append({text}), hash, quint32(text.size() + 1)};
  ++count_;
  return {texts_.view(s.at, text.size()), true};
}

}  // namespace corvane::handoff
