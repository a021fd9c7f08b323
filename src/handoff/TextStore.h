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

}  // namespace corvane::handoff
