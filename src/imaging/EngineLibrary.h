#pragma once
// The imaging engine's control library as the window uses it: the seven functions, loaded at
// run time from the application folder. A missing library or a missing function leaves the
// engine unavailable with a plain explanation; nothing is called then.
#include <QString>
#include <memory>

#include "snapshot/snapshot.h"

class QLibrary;

namespace corvane::imaging {

struct EngineFunctions {
  int32_t (*SShConnect)() = nullptr;
  int32_t (*SShDisconnect)() = nullptr;
  int32_t (*SShGetStatusInfo)(SShStatusInfo*) = nullptr;
  int16_t (*SShIsPaused)() = nullptr;
  int16_t (*SShIsInProgress)() = nullptr;
  int32_t (*SShPause)() = nullptr;
  int32_t (*SShResume)() = nullptr;
};

// The library file in an application folder (native path).
QString engineLibraryPath(const QString& appFolder);

class EngineLibrary {
 public:
  EngineLibrary() = default;  // unavailable, without a reason given
  // Loads the library file and resolves every function; when that fails, problem() says why.
  static EngineLibrary load(const QString& libraryPath);
  // A table given directly (tests); every function must be set.
  static EngineLibrary fromFunctions(const EngineFunctions& functions);

  bool available() const { return problem_.isEmpty() && loaded_; }
  // The text the engine panel shows when the engine cannot be used; empty when it can.
  const QString& problem() const { return problem_; }
  const EngineFunctions& functions() const { return functions_; }

 private:
  std::shared_ptr<QLibrary> library_;  // kept loaded as long as any copy lives
  EngineFunctions functions_;
  QString problem_;
  bool loaded_ = false;
};

}  // namespace corvane::imaging
