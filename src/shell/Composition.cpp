#include "shell/Composition.h"

namespace corvane::shell {

Composition::Composition(MainWindowServices& services) {
  // One line per page or dialog that is part of the program, for example:
  //   pages_.backup = keep(std::make_shared<selection::BackupPage>(services));
  // An object that implements several hooks is kept once and assigned to each member.
  (void)services;
}

}  // namespace corvane::shell
