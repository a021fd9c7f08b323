#include "selection/FolderTable.h"

#include "store/Database.h"

namespace corvane::selection {

using store::DBCommand;
using store::DBConnection;
using store::RetryPolicy;

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

std::optional<FolderFlags> DBSelectFolder(const QString& filesDb, const QString& folder, RetryPolicy policy) {
  return store::onDatabase(
      filesDb, [&](DBConnection& db) { return FolderFlagReader(db)(withoutTrailingBackslash(folder)); }, policy);
}

int DBUpdateBuandBuAll(DBConnection& db, const QString& folder, const FolderFlags& flags) {
  return db.Execute(QStringLiteral("UPDATE Folder SET Bu = ?, BuAll = ? WHERE Folders = ?"),
                    {flags.Bu, flags.BuAll, store::toStoredText(withoutTrailingBackslash(folder))});
}

int DBUpdateBuandBuAll(const QString& filesDb, const QString& folder, const FolderFlags& flags) {
  return store::inTransaction(filesDb, [&](DBConnection& db) { return DBUpdateBuandBuAll(db, folder, flags); });
}

int DBUpdateBusandBusAll(DBConnection& db, const QString& folder, const FolderFlags& flags) {
  const QString stored = store::toStoredText(withoutTrailingBackslash(folder));
  const QString below = stored + '\\';
  // A range of the index, not LIKE, so "%" and "_" in names match themselves.
  return db.Execute(QStringLiteral("UPDATE Folder SET Bu = ?, BuAll = ? WHERE Folders = ? OR (Folders >= ? AND Folders < ?)"),
                    {flags.Bu, flags.BuAll, stored, below, prefixEnd(below)});
}

int DBUpdateBusandBusAll(const QString& filesDb, const QString& folder, const FolderFlags& flags) {
  return store::inTransaction(filesDb, [&](DBConnection& db) { return DBUpdateBusandBusAll(db, folder, flags); });
}

FolderFlagReader::FolderFlagReader(DBConnection& db)
    : read_(db.Prepare(QStringLiteral("Select Bu, BuAll From Folder WHERE Folders = ?"))) {}

std::optional<FolderFlags> FolderFlagReader::operator()(const QString& folder) {
  read_.BindText(1, store::toStoredText(folder));
  if (!read_.Step()) return std::nullopt;
  const FolderFlags flags{read_.Row().Boolean(0), read_.Row().Boolean(1)};
  read_.Reset();  // the first row counts
  return flags;
}

QString prefixEnd(const QString& prefix) {
  QString end = prefix;
  if (!end.isEmpty()) end.back() = QChar(end.back().unicode() + 1);
  return end;
}

struct FolderChildren::Reader {
  DBConnection db;
  DBCommand below;
  FolderFlagReader flags;
  Reader(const QString& filesDb, int engineWaitMs) : below(open(db, filesDb, engineWaitMs)), flags(db) {}
  static DBCommand open(DBConnection& db, const QString& filesDb, int engineWaitMs) {
    db.Open(filesDb, engineWaitMs);
    // Only the paths: the index alone answers, without a read of each row.
    return db.Prepare(QStringLiteral("Select Folders FROM Folder WHERE Folders >= ? AND Folders < ? ORDER BY Folders"));
  }
};

FolderChildren::FolderChildren(QString filesDb, RetryPolicy policy)
    : filesDb_(std::move(filesDb)), policy_(policy) {}
FolderChildren::~FolderChildren() = default;

QVector<ChildNode> FolderChildren::SelectChildNodes(const QString& key) {
  QString parent = key;
  if (!parent.endsWith('\\')) parent += '\\';
  const QString storedParent = store::toStoredText(parent);
  const QByteArray prefix = storedParent.toUtf8();
  const QString end = prefixEnd(storedParent);
  return store::withBusyRetry([&] {
    try {
      if (!reader_) reader_ = std::make_unique<Reader>(filesDb_, policy_.engineWaitMs);
      QVector<ChildNode> children;
      QVector<bool> own;
      QHash<QByteArray, qsizetype> seen;  // stored name -> position
      DBCommand& below = reader_->below;
      const auto from = [&](QByteArrayView lowest) {
        below.BindUtf8(1, lowest);
        below.BindText(2, end);
      };
      from(prefix);
      while (below.Step()) {
        const QByteArrayView path = below.Row().Utf8(0);
        if (path.size() <= prefix.size()) continue;  // the parent itself, or no text
        const QByteArrayView rest = path.sliced(prefix.size());
        const qsizetype cut = rest.indexOf('\\');
        const QByteArray name = (cut < 0 ? rest : rest.first(cut)).toByteArray();
        if (name.isEmpty()) continue;
        const auto it = seen.constFind(name);
        if (it == seen.constEnd()) {
          seen.insert(name, children.size());
          const QString text = plainFromStored(QString::fromUtf8(name));
          children.push_back({parent + text, text, {}});
          own.push_back(cut < 0);
        } else if (cut < 0) {
          own[*it] = true;
        }
        if (cut >= 0) {
          // The rest of the rows below this child sort together up to name + "]" ("]" follows
          // the backslash): the index goes straight past them, so a node costs its children,
          // not every folder below them. A sibling whose name sorts between the child and its
          // rows (C:\a b between C:\a and C:\a\x) comes before them and is met on the way.
          below.Reset();
          from(prefix + name + ']');
        }
      }
      for (qsizetype i = 0; i < children.size(); ++i) {
        if (!own[i]) continue;  // no row of its own: both flags false
        if (const std::optional<FolderFlags> f = reader_->flags(children[i].key)) children[i].flags = *f;
      }
      return children;
    } catch (const store::DBError&) {
      reader_.reset();  // a retry starts on a fresh connection
      throw;
    }
  }, policy_);
}

QHash<QString, FolderFlags> DBSelectFolderFlags(const QString& filesDb, const QStringList& folders,
                                                RetryPolicy policy) {
  return store::onDatabase(
      filesDb,
      [&](DBConnection& db) {
    QHash<QString, FolderFlags> out;
    out.reserve(folders.size());
    FolderFlagReader read(db);
    for (const QString& f : folders)
      if (const std::optional<FolderFlags> flags = read(f)) out.insert(f, *flags);
    return out;
      },
      policy);
}

void DownloadNodes::ClearDLNodeArrays() {
  DLRawNodeNames.clear();
  DLNodeNames.clear();
}

void DownloadNodes::DBSelectDLNodes(const QString& DLNodename, int& DLRawNodeCount, const QString& DBDName,
                                    QString& strReturn) {
  try {
    DBConnection db;
    db.Open(DBDName);
    DBSelectDLNodes(db, DLNodename, DLRawNodeCount, strReturn);
  } catch (const store::DBError& e) {
    strReturn = e.description();
  }
}

void DownloadNodes::DBSelectDLNodes(DBConnection& db, const QString& DLNodename, int& DLRawNodeCount,
                                    QString& strReturn) {
  const QString stored = store::toStoredText(DLNodename);
  try {
    // A folder keeps the bytes of its name that are no UTF-8: it is the key the restore looks
    // its files up by, and two such folders stay two nodes.
    QStringList found;
    db.ForEachRow(QStringLiteral("SELECT Distinct Folder FROM File WHERE Uploaded = 1 AND "
                                 "substr(Folder, 1, length(?)) = ?"),
                  {stored, stored}, [&](const store::DBRow& row) {
                    found << plainFromStored(row.TextKeepingBytes(0)) + '\\';
                    return true;
                  });
    if (found.isEmpty()) {
      strReturn.clear();
      return;
    }
    for (qsizetype i = 0; i < found.size(); ++i) {
      if (i < DLRawNodeNames.size())
        DLRawNodeNames[i] = found[i];
      else
        DLRawNodeNames.push_back(found[i]);
    }
    DLRawNodeCount = int(found.size());
    strReturn = QStringLiteral("OK");
  } catch (const store::DBError& e) {
    strReturn = e.description();
  }
}

}  // namespace corvane::selection
