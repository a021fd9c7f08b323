#pragma once
#include <QString>

namespace corvane::platform {

// The application folder: the folder of the executable, or CORVANE_APPDIR when set.
// Native path, no trailing separator.
QString applicationFolder();

// Joins native path pieces with exactly one '/' between them.
QString joinPath(const QString& folder, const QString& name);

// The folder values every other area builds its file paths from.
struct AppPaths {
  QString appFolder;             // databases, key files, catalogue copies
  QString mirrorRootPath;        // appFolder/TmpCorvane
  QString configFolderPath;      // appFolder/Config
  QString logsFolderPath;        // appFolder/Logs
  QString extensionsFolderPath;  // appFolder/Extensions
  QString dirFolderPath;         // appFolder/Dir

  static AppPaths forFolder(const QString& appFolder);
};

// Process-wide folder values; set once at start (tests may set their own).
const AppPaths& appPaths();
void setAppPaths(const AppPaths& paths);

}  // namespace corvane::platform
