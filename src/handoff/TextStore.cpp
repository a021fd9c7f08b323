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

namespace {
quint32 hashOf(std::string_view s) { return quint32(std::hash<std::string_view>()(s)); }
}  // namespace

void TextSet::clear() {
  texts_.clear();
  entries_.clear();
  slots_.clear();
}

size_t TextSet::find(std::string_view text, quint32 hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.entry == 0 || (s.hash == hash && textOf(entries_[s.entry - 1]) == text)) return i;
  }
}

void TextSet::rehash(size_t slotCount) {
  const std::vector<Slot> old = std::move(slots_);
  slots_.assign(slotCount, Slot{0, 0});
  for (const Slot& s : old)
    if (s.entry != 0) slots_[find(textOf(entries_[s.entry - 1]), s.hash)] = s;
}

void TextSet::reserve(size_t texts) {
  size_t slotCount = 1024;
  while (slotCount * 7 < texts * 10) slotCount *= 2;
  if (slotCount > slots_.size()) rehash(slotCount);
  entries_.reserve(texts);
}

std::pair<std::string_view, bool> TextSet::insert(std::string_view text, std::string_view payload) {
  if ((entries_.size() + 1) * 10 > slots_.size() * 7) rehash(slots_.empty() ? 1024 : slots_.size() * 2);
  const quint32 hash = hashOf(text);
  const size_t slot = find(text, hash);
  if (slots_[slot].entry != 0) return {textOf(entries_[slots_[slot].entry - 1]), false};
  entries_.push_back({texts_.append({text, payload}), quint32(text.size()), quint32(payload.size())});
  slots_[slot] = Slot{hash, quint32(entries_.size())};
  return {textOf(entries_.back()), true};
}

std::optional<std::string_view> TextSet::payloadOf(std::string_view text) const {
  if (slots_.empty()) return std::nullopt;
  const Slot& s = slots_[find(text, hashOf(text))];
  if (s.entry == 0) return std::nullopt;
  const Entry& e = entries_[s.entry - 1];
  return texts_.view(e.at + e.length, e.payloadLength);
}

}  // namespace corvane::handoff
