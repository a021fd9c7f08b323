#include "imaging/EngineLibrary.h"

#include <QFileInfo>
#include <QLibrary>

#include "platform/AppFolder.h"

namespace corvane::imaging {

QString engineLibraryPath(const QString& appFolder) {
  return platform::joinPath(appFolder, QStringLiteral("libsnapshot.so"));
}

namespace {

template <class F>
void resolve(QLibrary& lib, const char* name, F& slot, QStringList& missing) {
  slot = reinterpret_cast<F>(lib.resolve(name));
  if (!slot) missing << QString::fromLatin1(name);
}

}  // namespace

EngineLibrary EngineLibrary::load(const QString& libraryPath) {
  EngineLibrary e;
  if (!QFileInfo::exists(libraryPath)) {
    e.problem_ = QStringLiteral("The imaging engine is not installed: %1 is missing. Images cannot be made.")
                     .arg(libraryPath);
    return e;
  }
  auto lib = std::make_shared<QLibrary>(libraryPath);
  if (!lib->load()) {
    e.problem_ = QStringLiteral("The imaging engine library could not be loaded (%1). Images cannot be made.")
                     .arg(lib->errorString());
    return e;
  }
  QStringList missing;
  EngineFunctions& f = e.functions_;
  resolve(*lib, "SShConnect", f.SShConnect, missing);
  resolve(*lib, "SShDisconnect", f.SShDisconnect, missing);
  resolve(*lib, "SShGetStatusInfo", f.SShGetStatusInfo, missing);
  resolve(*lib, "SShIsPaused", f.SShIsPaused, missing);
  resolve(*lib, "SShIsInProgress", f.SShIsInProgress, missing);
  resolve(*lib, "SShPause", f.SShPause, missing);
  resolve(*lib, "SShResume", f.SShResume, missing);
  if (!missing.isEmpty()) {
    e.functions_ = {};
    e.problem_ = QStringLiteral("The imaging engine library %1 is incomplete (missing: %2). Images cannot be made.")
                     .arg(libraryPath, missing.join(QStringLiteral(", ")));
    return e;
  }
  e.library_ = std::move(lib);
  e.loaded_ = true;
  return e;
}

EngineLibrary EngineLibrary::fromFunctions(const EngineFunctions& functions) {
  EngineLibrary e;
  e.functions_ = functions;
  const EngineFunctions& f = functions;
  e.loaded_ = f.SShConnect && f.SShDisconnect && f.SShGetStatusInfo && f.SShIsPaused && f.SShIsInProgress &&
              f.SShPause && f.SShResume;
  if (!e.loaded_) e.problem_ = QStringLiteral("The imaging engine library is incomplete. Images cannot be made.");
  return e;
}

}  // namespace corvane::imaging
