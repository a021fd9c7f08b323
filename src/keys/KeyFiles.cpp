#include "keys/KeyFiles.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <pugixml.hpp>
#include <sstream>

#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeysTable.h"
#include "keys/PrivateFile.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/WholeFile.h"

namespace corvane::keys {

namespace {

const char* const kRoot = "UserInfo";

// The application folder without a trailing development-tree part.
QString withoutDevTree(QString folder) {
  for (const QString& sep : {QStringLiteral("/"), QStringLiteral("\\")}) {
    const QString piece = sep + "ExeSource" + sep + "CorvaneUI";
    if (folder.endsWith(piece)) {
      folder.chop(piece.size());
      break;
    }
  }
  return folder;
}

// The entry of folder whose name equals name without regard to case ("" when none).
QString findEntry(const QString& folder, const QString& name, QDir::Filters kind) {
  const QDir dir(folder);
  if (!dir.exists()) return QString();
  if (QFileInfo::exists(dir.filePath(name))) {
    const QFileInfo exact(dir.filePath(name));
    if ((kind & QDir::Dirs) ? exact.isDir() : exact.isFile()) return exact.filePath();
  }
  for (const QFileInfo& fi : dir.entryInfoList(kind | QDir::NoDotAndDotDot | QDir::Hidden))
    if (fi.fileName().compare(name, Qt::CaseInsensitive) == 0) return fi.filePath();
  return QString();
}

bool loadXml(const QString& path, pugi::xml_document& doc) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = f.readAll();
  return doc.load_buffer(data.constData(), static_cast<size_t>(data.size()));
}

pugi::xml_node firstUserInfo(const pugi::xml_document& doc) {
  return doc.find_node(
      [](pugi::xml_node n) { return n.type() == pugi::node_element && std::strcmp(n.name(), kRoot) == 0; });
}

// The texts of the named children; nothing when one of them is missing.
std::optional<QStringList> childTexts(pugi::xml_node parent, const QStringList& names) {
  QStringList values;
  for (const QString& name : names) {
    const pugi::xml_node child = parent.child(name.toUtf8().constData());
    if (!child) return std::nullopt;
    values.append(QString::fromUtf8(child.text().get()));
  }
  return values;
}

const QStringList kOriginalShape = {"UserName", "Password", "AccountNumber", "MachineName",
                                    "StoreKey", "Clkey",    "Clkeykey"};
const QStringList kExportedShape = {"UserName", "Password", "MachineID", "MachineName",
                                    "StoreKey", "FileKey",  "FileKeyKey"};

// The insert of the installation's shape: FileKeyE as given, FileKeyKey from the hex of its characters.
std::optional<qint64> insertOriginalShape(const QString& statusDb, const QStringList& v) {
  return DBInsertKey(statusDb, v[0], v[1], v[2], v[3], v[4], v[5], HexToString(v[6]), QString());
}

}  // namespace

QString OriginalKeyFilePath(const QString& appFolder) {
  const QString config = findEntry(withoutDevTree(appFolder), QStringLiteral("config"), QDir::Dirs);
  if (config.isEmpty()) return QString();
  return findEntry(config, QStringLiteral("sysinfo.xml"), QDir::Files);
}

std::optional<qint64> ImportOriginalKeyFile(const QString& statusDb, const QString& appFolder) {
  const QString path = OriginalKeyFilePath(appFolder);
  if (path.isEmpty()) return std::nullopt;
  pugi::xml_document doc;
  if (!loadXml(path, doc)) return std::nullopt;
  const pugi::xml_node info = firstUserInfo(doc);
  if (!info) return std::nullopt;
  const auto values = childTexts(info, kOriginalShape);
  if (!values || !IsSafeMachineName(values->at(3))) return std::nullopt;
  return insertOriginalShape(statusDb, *values);
}

SaveKeyResult SaveKeyFile(const QString& configFolder, const QString& username, const QString& password,
                          const QString& machineId, const QString& machineName, const QString& storeKey,
                          const QString& fileKey, const QString& fileKeyKey, const QDateTime& now,
                          QString* error) {
  if (username.isEmpty() || password.isEmpty()) return SaveKeyResult::NoCredentials;
  if (!IsSafeMachineName(machineName)) return SaveKeyResult::UnsafeName;

  const QString nowText = DefaultDateTimeText(now);
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child(kRoot);
  const QList<QPair<const char*, QString>> children = {
      {"UserName", username},       {"Password", password}, {"MachineID", machineId},
      {"MachineName", machineName}, {"StoreKey", storeKey}, {"FileKey", fileKey},
      {"FileKeyKey", fileKeyKey},   {"FullScanDT", nowText},
  };
  for (const auto& [name, value] : children)
    root.append_child(name).text().set(value.toUtf8().constData());
  root.append_attribute("FileCreatedDateTime").set_value(nowText.toUtf8().constData());

  std::ostringstream out;
  doc.save(out, "  ", pugi::format_default | pugi::format_no_declaration, pugi::encoding_utf8);
  const std::string text = out.str();

  if (!platform::makeFolders(configFolder, 0700, error)) return SaveKeyResult::WriteFailed;
  return WritePrivateFile(platform::joinPath(configFolder, machineName + "Sysinfo.xml"),
                          QByteArray(text.data(), static_cast<qsizetype>(text.size())), error)
             ? SaveKeyResult::Written
             : SaveKeyResult::WriteFailed;
}

ExportOutcome ExportKeyFile(const QString& statusDb, const QString& configFolder, const QList<qint64>& keyIds,
                            const QDateTime& now) {
  ExportOutcome outcome;
  if (keyIds.isEmpty()) {
    platform::showMessage("Please check at least one computer to export a key file...");
    return outcome;
  }
  for (qint64 id : keyIds) {
    KeyRecord rec;
    if (!DBSelectKey(statusDb, id, rec)) {
      outcome.skipped.append(QStringLiteral("key %1 (not found)").arg(id));
      continue;
    }
    QString why;
    switch (SaveKeyFile(configFolder, rec.Username, rec.Password, rec.MachineID, rec.MachineName, rec.StoreKey,
                        rec.FileKey, rec.FileKeyKey, now, &why)) {
      case SaveKeyResult::Written:
        outcome.exported.append(rec.MachineName);
        break;
      case SaveKeyResult::NoCredentials:
        outcome.skipped.append(rec.MachineName + " (no user name or password)");
        break;
      case SaveKeyResult::UnsafeName:
        outcome.skipped.append(rec.MachineName + " (not a usable file name)");
        break;
      case SaveKeyResult::WriteFailed:
        outcome.skipped.append(rec.MachineName + " (the file could not be written: " + why + ")");
        break;
    }
  }
  QString text = QStringLiteral("Exported Keys for: \n");
  for (const QString& name : outcome.exported) text += '\n' + name;
  if (!outcome.skipped.isEmpty()) {
    text += QStringLiteral("\n\nNot exported:");
    for (const QString& name : outcome.skipped) text += '\n' + name;
  }
  platform::showMessage(text);
  return outcome;
}

std::optional<qint64> ImportKeyFile(const QString& statusDb, const QString& path) {
  pugi::xml_document doc;
  pugi::xml_node info;
  if (loadXml(path, doc)) info = firstUserInfo(doc);
  if (!info) {
    platform::showMessage("Not a key file: " + QDir::toNativeSeparators(path));
    return std::nullopt;
  }
  if (const auto v = childTexts(info, kExportedShape)) {
    if (!IsSafeMachineName(v->at(3))) {
      platform::showMessage("The key file names no usable computer name: " + v->at(3));
      return std::nullopt;
    }
    // The exported file carries the file key itself; the table keeps it enciphered under FileKeyKey.
    const QString fileKeyE = BlowfishEncryptHex(v->at(5), StringToHex(v->at(6)), QString());
    if (fileKeyE.isEmpty()) {
      platform::showMessage("The key file holds no usable key: " + QDir::toNativeSeparators(path));
      return std::nullopt;
    }
    return DBInsertKey(statusDb, v->at(0), v->at(1), v->at(2), v->at(3), v->at(4), fileKeyE, v->at(6), QString());
  }
  if (const auto v = childTexts(info, kOriginalShape)) {
    if (!IsSafeMachineName(v->at(3))) {
      platform::showMessage("The key file names no usable computer name: " + v->at(3));
      return std::nullopt;
    }
    return insertOriginalShape(statusDb, *v);
  }
  platform::showMessage("Not a key file: " + QDir::toNativeSeparators(path));
  return std::nullopt;
}

}  // namespace corvane::keys
