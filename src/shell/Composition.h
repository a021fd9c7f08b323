#pragma once
// The composition root of the main window: builds the pages and dialogs that are part of the
// program and hands the frame their hooks. It must be destroyed before the frame.
#include <memory>
#include <vector>

#include "shell/PageSeam.h"

namespace corvane::shell {

class Composition {
 public:
  explicit Composition(MainWindowServices& services);
  const Pages& pages() const { return pages_; }

 private:
  template <class T>
  T* keep(std::shared_ptr<T> object) {
    owned_.push_back(object);
    return object.get();
  }

  Pages pages_;
  std::vector<std::shared_ptr<void>> owned_;  // destroyed in reverse order of creation
};

}  // namespace corvane::shell
