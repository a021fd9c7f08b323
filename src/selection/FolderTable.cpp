#include "selection/FolderTable.h"

#include "store/Database.h"

namespace corvane::selection {

using store::DBConnection;
using store::DBRecordset;
using store::RetryPolicy;
using store::withBusyRetry;

namespace {

// A stored path read back: doubled apostrophes and doubled backslashes become single again.
QString plainFromStored(const QString& stored) {
  QString s = store::fromStoredText(stored);
  s.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
  return s;
}

}  // namespace

QString withoutTrailingBackslash(const QString& path) {
  QString p = path;
  if (p.endsWith('\\')) p.chop(1);
  return p;
}

std::optional<FolderFlags> DBSelectFolder(const QString& filesDb, const QString& folder) {
  const QString stored = store::toStoredText(withoutTrailingBackslash(folder));
  return store::onDatabase(
      filesDb,
      [&](DBConnection& db) -> std::optional<FolderFlags> {
        DBRecordset rs = db.Query(QStringLiteral("Select * From Folder WHERE Folders = ?"), {stored});
        if (rs.RowCount() < 1) return std::nullopt;
        return FolderFlags{rs.Boolean("Bu"), rs.Boolean("BuAll")};
      },
      RetryPolicy{100, 3000});
}

int DBUpdateBuandBuAll(const QString& filesDb, const QString& folder, const FolderFlags& flags) {
  const QString stored = store::toStoredText(withoutTrailingBackslash(folder));
  return store::inTransaction(filesDb, [&](DBConnection& db) {
    const int n = db.Execute(QStringLiteral("UPDATE Folder SET Bu = ?, BuAll = ? WHERE Folders = ?"),
                             {flags.Bu, flags.BuAll, stored});
    return n;
  });
}

int DBUpdateBusandBusAll(const QString& filesDb, const QString& folder, const FolderFlags& flags) {
  const QString stored = store::toStoredText(withoutTrailingBackslash(folder));
  const QString below = stored + '\\';
  return store::inTransaction(filesDb, [&](DBConnection& db) {
    // The prefix test is a plain comparison (no LIKE), so "%" and "_" in names match themselves.
    const int n = db.Execute(QStringLiteral("UPDATE Folder SET Bu = ?, BuAll = ? "
                                            "WHERE Folders = ? OR substr(Folders, 1, length(?)) = ?"),
                             {flags.Bu, flags.BuAll, stored, below, below});
    return n;
  });
}

QVector<RawNode> DBSelectNodes(const QString& filesDb, const QString& nodename) {
  const QString stored = store::toStoredText(nodename);
  return store::onDatabase(filesDb, [&](DBConnection& db) {
    DBRecordset rs =
        db.Query(QStringLiteral("Select * FROM Folder WHERE substr(Folders, 1, length(?)) = ? ORDER BY Folders"),
                 {stored, stored});
    QVector<RawNode> out;
    out.reserve(rs.RowCount());
    for (; !rs.AtEnd(); rs.MoveNext())
      out.push_back({plainFromStored(rs.Text("Folders")) + '\\', {rs.Boolean("Bu"), rs.Boolean("BuAll")}});
    return out;
  });
}

QVector<ChildNode> FolderRows::SelectChildNodes(const QString& key) {
  const QString drive = key.left(2);
  if (drive != loadedDrive_) LoadDrive(drive);
  QString parent = key;
  if (!parent.endsWith('\\')) parent += '\\';
  return children_.value(parent);
}

void FolderRows::LoadDrive(const QString& drive) {
  ClearNodeArrays();
  raw_ = DBSelectNodes(filesDb_, drive);
  loadedDrive_ = drive;
  // Every row names its folder and, through it, each folder above it. A child is recorded
  // once, at its first row; its flags are those of its own row.
  QHash<QString, std::pair<QString, qsizetype>> where;  // child key -> (parent, position)
  for (const RawNode& r : raw_) {
    const QString folder = withoutTrailingBackslash(r.name);
    QString child = folder;
    for (;;) {
      const qsizetype cut = child.lastIndexOf('\\');
      if (cut <= 0) break;  // the drive itself ("C:")
      const QString parent = child.left(cut + 1);
      const bool own = child == folder;
      const auto it = where.constFind(child);
      if (it != where.constEnd()) {
        if (own) children_[it->first][it->second].flags = r.flags;
        break;  // the folders above were recorded with it
      }
      QVector<ChildNode>& siblings = children_[parent];
      where.insert(child, {parent, siblings.size()});
      siblings.push_back({child, child.mid(cut + 1), own ? r.flags : FolderFlags{}});
      child = child.left(cut);
    }
  }
}

void FolderRows::ClearNodeArrays() {
  raw_.clear();
  children_.clear();
  loadedDrive_.clear();
}

void DownloadNodes::ClearDLNodeArrays() {
  DLRawNodeNames.clear();
  DLNodeNames.clear();
}

void DownloadNodes::DBSelectDLNodes(const QString& DLNodename, int& DLRawNodeCount, const QString& DBDName,
                                    QString& strReturn) {
  const QString stored = store::toStoredText(DLNodename);
  try {
    DBConnection db;
    db.Open(DBDName);
    DBRecordset rs = db.Query(QStringLiteral("SELECT Distinct Folder FROM File WHERE Uploaded = 1 AND "
                                             "substr(Folder, 1, length(?)) = ?"),
                              {stored, stored});
    if (rs.RowCount() < 1) {
      strReturn.clear();
      return;
    }
    int i = 0;
    for (; !rs.AtEnd(); rs.MoveNext(), ++i) {
      const QString name = plainFromStored(rs.Text("Folder")) + '\\';
      if (i < DLRawNodeNames.size())
        DLRawNodeNames[i] = name;
      else
        DLRawNodeNames.push_back(name);
    }
    DLRawNodeCount = i;
    strReturn = QStringLiteral("OK");
  } catch (const store::DBError& e) {
    strReturn = e.description();
  }
}

}  // namespace corvane::selection
