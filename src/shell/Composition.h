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

class FrmConfig;

// The main window as the program runs it: the frame, then the pages composed for it and handed
// to it. The pages go first at the end. Loading and showing are the owner's.
class ComposedMainWindow {
 public:
  ComposedMainWindow();
  ~ComposedMainWindow();
  FrmConfig& frame() const { return *frame_; }

 private:
  std::unique_ptr<FrmConfig> frame_;        // declared before the pages:
  std::unique_ptr<Composition> composition_;  // they go first
};

}  // namespace corvane::shell
