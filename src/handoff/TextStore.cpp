#include "handoff/TextStore.h"

#include <algorithm>
#include <cstring>

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

}  // namespace corvane::handoff
