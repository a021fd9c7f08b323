#include "platform/AppFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace corvane::platform {

namespace {
QString trimTrailingSeparators(QString p) {
  while (p.size() > 1 && (p.endsWith('/') || p.endsWith('\\'))) p.chop(1);
  return p;
}

AppPaths& currentPaths() {
  static AppPaths paths = AppPaths::forFolder(applicationFolder());
  return paths;
}
}  // namespace

QString applicationFolder() {
  const QByteArray env = qgetenv("CORVANE_APPDIR");
  if (!env.isEmpty()) return trimTrailingSeparators(QDir::cleanPath(QString::fromLocal8Bit(env)));
  if (QCoreApplication::instance()) return trimTrailingSeparators(QCoreApplication::applicationDirPath());
  return trimTrailingSeparators(QDir::currentPath());
}

QString joinPath(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return name;
  QString n = name;
  while (n.startsWith('/')) n.remove(0, 1);
  return trimTrailingSeparators(folder) + '/' + n;
}

AppPaths AppPaths::forFolder(const QString& appFolder) {
  AppPaths p;
  p.appFolder = trimTrailingSeparators(appFolder);
  p.mirrorRootPath = joinPath(p.appFolder, "TmpCorvane");
  p.configFolderPath = joinPath(p.appFolder, "Config");
  p.logsFolderPath = joinPath(p.appFolder, "Logs");
  p.extensionsFolderPath = joinPath(p.appFolder, "Extensions");
  p.dirFolderPath = joinPath(p.appFolder, "Dir");
  return p;
}

const AppPaths& appPaths() { return currentPaths(); }

void setAppPaths(const AppPaths& paths) { currentPaths() = paths; }

}  // namespace corvane::platform
