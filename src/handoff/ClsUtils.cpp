#include "handoff/ClsUtils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <pugixml.hpp>

#include "platform/PathMap.h"
#include "platform/WholeFile.h"
#include "store/Database.h"
#include "store/DatabasePaths.h"
#include "store/Settings.h"

namespace corvane::handoff {

namespace {

QString readWholeText(const QString& path, bool* exists) {
  QFile f(path);
  *exists = f.exists();
  if (!*exists || !f.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(f.readAll());
}

QStringList textLines(const QString& text) {
  QStringList lines = text.split(QRegularExpression("\r\n|\n|\r"));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();  // the final line end
  return lines;
}

}  // namespace

ClsUtils::ClsUtils() : paths_(platform::appPaths()) {}
ClsUtils::ClsUtils(const platform::AppPaths& paths) : paths_(paths) {}

bool ClsUtils::IsValidPath(const QString& sFolderName) const {
  if (sFolderName.isEmpty()) return false;
  QString native = sFolderName;
  if (platform::isWindowsDrivePath(sFolderName)) {
    const auto mapped = platform::pathMap().toNative(sFolderName);
    if (!mapped) return false;
    native = *mapped;
  }
  return QFileInfo(native).isDir();
}

QStringList ClsUtils::UniqueValues(const QStringList& origArray) {
  QStringList kept;
  QSet<QString> seen;
  for (const QString& value : origArray) {
    const QString folded = value.toCaseFolded();
    if (seen.contains(folded)) continue;
    seen.insert(folded);
    kept << value;
  }
  return kept;
}

void ClsUtils::CreateFolder(const QString& folderName) const {
  if (folderName.isEmpty()) return;
  const QString clean = QDir::cleanPath(folderName);
  QStringList chain;  // the folder and its parents, innermost first
  for (QString p = clean; !p.isEmpty();) {
    chain.prepend(p);
    const int slash = p.lastIndexOf('/');
    if (slash <= 0) break;
    p = p.left(slash);
  }
  for (const QString& p : chain) {
    if (QFileInfo(p).isDir()) continue;
    QDir().mkdir(p);  // a failure leaves this folder (and those below it) missing
  }
}

bool ClsUtils::FileType_Details(const QStringList& extensions) const {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("FileTypeList");
  for (int i = 1; i < extensions.size(); ++i)
    if (!extensions[i].isEmpty()) root.append_child("FileType").text().set(extensions[i].toUtf8().constData());
  root.append_attribute("FileCreatedDateTime")
      .set_value(store::dateToText(QDateTime::currentDateTime()).toUtf8().constData());
  struct Writer : pugi::xml_writer {
    QByteArray bytes;
    void write(const void* data, size_t size) override { bytes.append(static_cast<const char*>(data), qsizetype(size)); }
  } writer;
  doc.save(writer);
  platform::WholeFileOptions options;
  options.earlierTemporaries = true;
  return platform::writeWholeFile(platform::joinPath(paths_.extensionsFolderPath, "TypeLst.xml"), writer.bytes,
                                  options);
}

QString ClsUtils::GetStatusForCaption(const QString& statusDb, store::RetryPolicy policy) const {
  return store::readSetting(statusDb, QStringLiteral("Status"), policy).value_or(QString());
}

bool ClsUtils::WriteConfig(const QString& strConfig, QString* error) const {
  platform::WholeFileOptions options;
  options.rewriteInPlace = true;
  options.earlierTemporaries = true;
  return platform::writeWholeFile(platform::joinPath(paths_.logsFolderPath, "Config.txt"),
                                  strConfig.toLocal8Bit() + "\r\n", options, error);
}

QString ClsUtils::ReadTray() const {
  bool exists = false;
  const QString text = readWholeText(platform::joinPath(paths_.logsFolderPath, "Tray.txt"), &exists);
  if (!exists) return {};
  const QStringList lines = textLines(text);
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

QString ClsUtils::GetStatus() const {
  bool exists = false;
  const QString text = readWholeText(platform::joinPath(paths_.logsFolderPath, "Status.txt"), &exists);
  if (!exists) return QStringLiteral("Corvane Backup....");
  return textLines(text).join("\r\n").trimmed();
}

QString successLogPath(const QString& logsFolder) {
  return store::applyDevTreeRule(platform::joinPath(logsFolder, "SuccessLog.xml"), 2);
}

}  // namespace corvane::handoff
