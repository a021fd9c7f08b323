#include "store/DatabaseTrouble.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QScopeGuard>
#include <QStorageInfo>
#include <atomic>
#include <mutex>
#include <optional>

#include "platform/Messages.h"
#include "store/DatabaseJob.h"
#include "store/Database.h"

namespace corvane::store {

namespace {

constexpr int kAnswerEveryMs = 40;

// A file is its device and inode: a file put at the same path is another one.
struct FileId {
  bool exists = false;
  quint64 device = 0, inode = 0;
  bool operator==(const FileId& o) const { return exists == o.exists && device == o.device && inode == o.inode; }
};

FileId idOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return {true, quint64(st.st_dev), quint64(st.st_ino)};
}

// One spelling per file: SQLite reports the path with links resolved, callers pass it as they
// built it.
QString keyOf(const QString& path) {
  const QFileInfo file(path);
  const QString canonical = file.canonicalFilePath();
  if (!canonical.isEmpty()) return canonical;
  const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
  return (folder.isEmpty() ? file.absolutePath() : folder) + '/' + file.fileName();
}

struct Entry {
  QString path;
  FileId id;
  QString damage;  // SQLite's words for the damage; "" when none was found
  QString full;    // the disk-full error; "" when none
  bool checkedSound = false;
  bool checking = false;
  bool told = false;
};

std::mutex g_mutex;
QHash<QString, Entry> g_entries;
std::atomic<bool> g_anyDamage{false};

// The entry of the file now at key; one kept for a file that has since been replaced is dropped.
Entry* current(const QString& key, const FileId& id) {
  const auto it = g_entries.find(key);
  if (it == g_entries.end()) return nullptr;
  if (!(it->id == id)) {
    g_entries.erase(it);
    return nullptr;
  }
  return &*it;
}

Entry& entryFor(const QString& path) {
  const QString key = keyOf(path);
  const FileId id = idOf(path);
  if (Entry* e = current(key, id)) return *e;
  Entry& e = g_entries[key];
  e = Entry();
  e.path = key;
  e.id = id;
  return e;
}

bool isCatalogueCopy(const QString& name) {
  return name.endsWith(QLatin1String("Files.db")) && name != QLatin1String("Files.db");
}

bool isDownloadCatalogue(const QString& name) { return name.endsWith(QLatin1String("Download.db")); }

// SQLite's own words for a full disk say no more than the sentence they would stand in.
QString fullDetail(const QString& sqliteText) {
  if (sqliteText.isEmpty() || sqliteText == QLatin1String(sqlite3_errstr(SQLITE_FULL))) return QString();
  return QStringLiteral(" (") + sqliteText + QLatin1Char(')');
}

QString noticeText(const Entry& e) {
  const QString name = QFileInfo(e.path).fileName();
  const QString where = QDir::toNativeSeparators(e.path);
  if (!e.damage.isEmpty()) {
    if (isCatalogueCopy(name))
      return QStringLiteral("The catalogue copy %1 is damaged (%2):\n%3\n\nCorvane writes nothing more into it and "
                            "shows none of its files. Sync fetches it again from the backup server.")
          .arg(name, e.damage, where);
    if (isDownloadCatalogue(name))
      return QStringLiteral("The download catalogue %1 is damaged (%2):\n%3\n\nCorvane writes nothing more into it "
                            "and shows none of its files. Change Identity in the DL List window fetches it again from "
                            "the backup server.")
          .arg(name, e.damage, where);
    return QStringLiteral("Corvane's database %1 is damaged (%2):\n%3\n\nCorvane writes nothing more into it until "
                          "it is put right and Corvane is started again.")
        .arg(name, e.damage, where);
  }
  const QString disk = QStorageInfo(QFileInfo(e.path).absolutePath()).rootPath();
  return QStringLiteral("Corvane could not write into its database %1: the disk is full%2:\n%3\n\nWhat could "
                        "not be written was not kept. Free some space on the disk of %4.")
      .arg(name, fullDetail(e.full), where, QDir::toNativeSeparators(disk));
}

void show(const QString& text) {
  platform::showMessage(text, QStringLiteral("Corvane"), platform::MsgButtons::Ok, platform::MsgIcon::Critical);
}

enum class Finding { Sound, Damaged, Unknown };

Finding lookThrough(const QString& path, int lockWaitMs, const std::atomic<bool>& stop) {
  try {
    DBConnection c;
    c.Open(path, lockWaitMs);
    c.InterruptWhen(&stop);
    QString first;
    // One finding is enough to know; the check stops there.
    c.ForEachRow(QStringLiteral("PRAGMA quick_check(1)"), {}, [&](const DBRow& row) {
      first = row.Text(0);
      return false;
    });
    if (first == QLatin1String("ok")) return Finding::Sound;
    noteDatabaseFailure(path, SQLITE_CORRUPT, QString::fromUtf8(sqlite3_errstr(SQLITE_CORRUPT)));
    return Finding::Damaged;
  } catch (const DBError& e) {
    // A damaged file was noted by the component as it raised the error.
    return e.isDamaged() ? Finding::Damaged : Finding::Unknown;
  }
}

}  // namespace

void noteDatabaseFailure(const QString& path, int code, const QString& description) {
  const int primary = code & 0xff;
  const bool damaged = primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
  if ((!damaged && primary != SQLITE_FULL) || path.isEmpty()) return;
  QString words = description;
  words.remove(QStringLiteral("Cannot compile mSQL-Statement: "));
  std::lock_guard<std::mutex> lock(g_mutex);
  Entry& e = entryFor(path);
  if (damaged) {
    if (e.damage.isEmpty()) e.damage = words;
    e.checkedSound = false;
    g_anyDamage = true;
  } else if (e.full.isEmpty()) {
    e.full = words;
  }
}

bool anyKnownDamaged() { return g_anyDamage; }

bool isKnownDamaged(const QString& path) {
  if (!g_anyDamage) return false;
  const QString key = keyOf(path);
  const FileId id = idOf(path);
  std::lock_guard<std::mutex> lock(g_mutex);
  const Entry* e = current(key, id);
  return e && !e->damage.isEmpty();
}

namespace {
QString refusalText(const QString& path, const QString& damage) {
  return QStringLiteral("%1 is damaged (%2): Corvane writes nothing more into it").arg(QFileInfo(path).fileName(), damage);
}
}  // namespace

void refuseIfDamaged(const QString& path) {
  if (!g_anyDamage) return;
  const QString key = keyOf(path);
  const FileId id = idOf(path);
  QString damage;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (const Entry* e = current(key, id)) damage = e->damage;
  }
  if (damage.isEmpty()) return;
  throw DBError(refusalText(path, damage), SQLITE_CORRUPT, path);
}

void forgetDatabaseTrouble(const QString& path) {
  const QString key = keyOf(path);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_entries.remove(key);
}

bool checkDatabasesAside(const QStringList& paths, const std::function<bool()>& answer, bool again, int lockWaitMs) {
  QStringList todo;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const QString& path : paths) {
      Entry& e = entryFor(path);
      if (!e.id.exists || e.checking || (!again && (e.checkedSound || !e.damage.isEmpty()))) continue;
      e.checking = true;
      todo << path;
    }
  }
  if (todo.isEmpty()) return true;
  QVector<Finding> found(todo.size(), Finding::Unknown);
  // However the look ends, the files it took are free for the next one.
  const auto settle = qScopeGuard([&] {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (qsizetype i = 0; i < todo.size(); ++i) {
      Entry* e = current(keyOf(todo[i]), idOf(todo[i]));
      if (!e) continue;
      e->checking = false;
      if (found[i] == Finding::Sound && e->damage.isEmpty()) e->checkedSound = true;
    }
  });
  try {
    runAnswering(
        [&](JobContext& job) {
          const std::atomic<bool>& stop = job.stopFlag();
          for (qsizetype i = 0; i < todo.size() && !stop; ++i) found[i] = lookThrough(todo[i], lockWaitMs, stop);
        },
        answer, kAnswerEveryMs);
  } catch (const DBError& e) {
    // Given up by answer: what was not looked through stays unknown, to be looked through later.
    if (e.code() != SQLITE_INTERRUPT) throw;
  }
  return !found.contains(Finding::Unknown);
}

int tellDatabaseTrouble(const QString& folder) {
  const QString dir = keyOf(folder);
  QStringList texts;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (auto it = g_entries.begin(); it != g_entries.end();) {
      Entry& e = *it;
      const bool untold = !e.told && (!e.damage.isEmpty() || !e.full.isEmpty());
      if (!untold || QFileInfo(e.path).absolutePath() != dir ||
          !e.path.endsWith(QLatin1String(".db"), Qt::CaseInsensitive)) {
        ++it;
        continue;
      }
      if (!(idOf(e.path) == e.id)) {  // replaced since: what was noted was about another file
        it = g_entries.erase(it);
        continue;
      }
      e.told = true;
      texts << noticeText(e);
      ++it;
    }
  }
  for (const QString& t : texts) show(t);
  return int(texts.size());
}

bool tellAboutDatabaseOnce(const QString& path, const QString& text) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    Entry& e = entryFor(path);
    if (e.told) return false;
    e.told = true;
  }
  show(text);
  return true;
}

void showDatabaseError(const DBError& e) {
  std::optional<QString> notice;
  if ((e.isDamaged() || e.isDiskFull()) && !e.path().isEmpty()) {
    const QString key = keyOf(e.path());
    const FileId id = idOf(e.path());
    std::lock_guard<std::mutex> lock(g_mutex);
    Entry* entry = current(key, id);
    if (entry && !entry->told && (!entry->damage.isEmpty() || !entry->full.isEmpty())) {
      entry->told = true;
      notice = noticeText(*entry);
    }
  }
  if (notice) return show(*notice);
  // Told before: the action's failure, with the file named (SQLite's words alone do not).
  const QString name = QFileInfo(e.path()).fileName();
  QString text = e.description();
  if (name.isEmpty() || text.startsWith(name)) {
  } else if (e.isDamaged()) {
    text = refusalText(e.path(), text);
  } else if (e.isDiskFull()) {
    text = QStringLiteral("Corvane could not write into its database %1: the disk is full%2").arg(name, fullDetail(text));
  } else if (e.isBusy()) {
    text = busyDatabaseText(e.path(), QStringLiteral("this was not done"));
  }
  show(text);
}

QString busyDatabaseText(const QString& path, const QString& outcome) {
  return QStringLiteral("Corvane could not use its database %1: the backup service kept it busy, so %2. Try again in "
                        "a moment.")
      .arg(QFileInfo(path).fileName(), outcome);
}

}  // namespace corvane::store
