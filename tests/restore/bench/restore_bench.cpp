// Measurements of the restore paths at real scale (not a test; run by scripts/bench/restore.sh).
// Usage: restore_bench <command> <arguments>; each command prints one line per figure.
//   appfolder <dir> <share> <rows>    an application folder whose Files.db holds <rows> uploaded
//                                     files and whose chosen computer is this one
//   catalogue <db> <rows>             a catalogue copy of another computer with <rows> files
//   fill <appdir>                     the restore list of this computer's catalogue
//   chooser <appdir>                  the restore file chooser's list of this computer's catalogue
//   queue <appdir> <n>                the newest <n> files ticked and queued for restore
//   locked <appdir> <ms>              the page's actions while another process holds Files.db
//   actions <appdir>                  Check All, Uncheck All, Start Download, Verify and Delete of the
//                                     largest folder, the file chooser's whole list queued
//   writeback <catalogue> <appdir>    a Sync of this computer: the catalogue into Files.db
//   textcatalogue <appdir> <rows> <sql>  Files.txt of <rows> files, and the same rows as SQL
//   import <appdir>                   Files.txt into a fresh download catalogue: "<rows> <seconds>"
//   stalled <share>                   the text catalogue from a server that stops sending
//   startup <appdir>                  the program's window shown, then the Restore tab visited
//   check <appdir>                    Files.db looked through for damage as the window does it
//   sync <appdir> <catalogue>         Sync of this computer against a server holding <catalogue>
//   sortfilter <appdir>               header clicks and filter keys on this computer's list, then
//                                     the folder view
//   serve <appdir> <catalogue> <other> a server for a session by hand: this computer's catalogue,
//                                     and a second computer "OTHERPC" whose catalogue is <other>;
//                                     prints the value for CORVANE_SERVER and runs until ended
#include <sqlite3.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>
#include <vector>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "fakeserver/FakeBackupServer.h"
#include "keys/Blowfish.h"
#include "keys/EncryptionSession.h"
#include "keys/HexConvert.h"
#include "keys/KeysTable.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"
#include "restore/CatalogueFetch.h"
#include "restore/RestoreCatalogue.h"
#include "restore/RestoreQueue.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/FrmFileChooser.h"
#include "restore/ui/FrmFolderChooser.h"
#include "restore/ui/RestorePage.h"
#include "shell/Composition.h"
#include "shell/ui/FrmConfig.h"
#include "store/AppFolderLayout.h"
#include "store/Database.h"
#include "store/DatabaseTrouble.h"
#include "store/FileTables.h"
#include "store/Settings.h"
#include "support/EventGapProbe.h"
#include "support/FakeMainWindow.h"
#include "restore/restore_fixture.h"

using namespace corvane;

namespace {

[[noreturn]] void die(const QString& text) {
  std::fprintf(stderr, "restore_bench: %s\n", qPrintable(text));
  std::exit(1);
}

// Processes events for real, and paints while clicks and keys wait as the program's own waiter
// does. The pause figures are the longest a call posted to the window every 10 ms waited to be
// handled since restart().
class GapWaiter : public platform::Waiter {
 public:
  void sleep(int ms) override { QThread::msleep(ulong(ms)); }
  void processEvents() override { QCoreApplication::processEvents(); }
  void paintPending() override { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
  void sleepPainting(int ms) override {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  void restart() { probe_.restart(); }
  qint64 longestMs() { return qint64(std::lround(probe_.longestMs())); }

 private:
  test::EventGapProbe probe_;
};

// A real computer's files, skewed as real computers are: file types on a power law (the
// largest, JPEG pictures, about 17% of the files, the next two about 8.5% each), folders too
// (one folder per five files, in a tree whose folders have a power law of sub-folders, the
// largest folder C:\Users\Ann\Pictures\Camera holding 20,000 files, most a handful). The same
// number of files always gives the same files.
class SkewedFiles {
 public:
  explicit SkewedFiles(int files) : rng_(20240611) {
    const int folders = std::max(2, files / 5);
    makeTree(folders);
    // Files per folder, largest first: largest * k^-s with at least one each, summing to files.
    const int largest = std::max(1, std::min(20000, files / 10));
    const auto sizes = [&](double s) {
      std::vector<int> out(size_t(folders), 1);
      for (int k = 1; k <= folders; ++k) out[size_t(k - 1)] = std::max(1, int(largest * std::pow(double(k), -s)));
      return out;
    };
    double lo = 0.1, hi = 3.0;
    for (int i = 0; i < 60; ++i) {
      const double mid = (lo + hi) / 2;
      const std::vector<int> t = sizes(mid);
      (std::accumulate(t.begin(), t.end(), qint64(0)) > files ? lo : hi) = mid;
    }
    std::vector<int> count = sizes(hi);
    qint64 shortBy = files - std::accumulate(count.begin(), count.end(), qint64(0));
    for (int k = 1; shortBy > 0; k = k % (folders - 1) + 1, --shortBy) ++count[size_t(k)];
    for (int f = 0; f < folders; ++f) folderOfFile_.insert(folderOfFile_.end(), size_t(count[size_t(f)]), f);
    for (size_t i = folderOfFile_.size(); i > 1; --i) std::swap(folderOfFile_[i - 1], folderOfFile_[rng_.bounded(quint32(i))]);
    // Types: 17.1%, 8.5%, 8.5%, then 1/k.
    std::vector<double> weight = {0.171, 0.085, 0.085};
    double tail = 0;
    for (size_t k = 4; k <= std::size(kExtensions); ++k) tail += 1.0 / double(k);
    for (size_t k = 4; k <= std::size(kExtensions); ++k) weight.push_back((1.0 - 0.341) / tail / double(k));
    double sum = 0;
    for (const double w : weight) cumulative_.push_back(sum += w);
    for (int i = 0; i < files; ++i) extensionOfFile_.push_back(extensionAt(rng_.generateDouble() * sum));
  }

  int files() const { return int(folderOfFile_.size()); }
  int folderOf(int file) const { return folderOfFile_[size_t(file)]; }
  const QString& folder(int index) const { return folders_[size_t(index)]; }
  int folderCount() const { return int(folders_.size()); }
  const char* extension(int file) const { return kExtensions[extensionOfFile_[size_t(file)]]; }
  QRandomGenerator& rng() { return rng_; }

 private:
  static constexpr const char* kExtensions[] = {
      "jpg", "doc", "txt", "pdf", "png", "xls", "mp3", "docx", "htm", "gif", "zip", "xlsx", "csv", "ppt",
      "wav", "mov", "pst", "bmp", "rtf", "eml", "xml", "avi", "tif", "wma", "mpg", "psd", "odt", "msg",
      "vsd", "ini", "log", "raw", "m4a", "mp4", "pub", "accdb", "qbw", "key", "djvu", "flac"};

  size_t extensionAt(double x) const {
    return std::min(size_t(std::upper_bound(cumulative_.begin(), cumulative_.end(), x) - cumulative_.begin()),
                    std::size(kExtensions) - 1);
  }

  // Most folders are put beside one that exists (so a folder with many sub-folders gets more),
  // some below a random one; at most twelve deep.
  void makeTree(int count) {
    const char* const words[] = {"Project", "Part", "Photos", "Invoices", "Letters", "Music", "Backup", "Notes",
                                 "Budget", "Scans", "Holiday", "Minutes", "Plans", "Contracts", "Archive"};
    QStringList parents = {"C:\\Users\\Ann\\Documents", "C:\\Users\\Ann\\Desktop", "C:\\Users\\Ann\\Music",
                           "C:\\Users\\Bob\\Documents", "D:\\Data", "D:\\Archive", "C:\\Users\\Ann\\Pictures"};
    const int roots = int(parents.size());
    QHash<QString, int> children, depth;
    for (const QString& p : parents) depth.insert(p, int(p.count('\\')));
    folders_.push_back("C:\\Users\\Ann\\Pictures\\Camera");
    while (int(folders_.size()) < count) {
      QString parent;
      if (rng_.generateDouble() < 0.35 || folders_.size() < 2) {
        parent = parents[rng_.bounded(int(parents.size()))];
      } else {
        const QString& sibling = folders_[size_t(rng_.bounded(int(folders_.size())))];
        parent = sibling.left(sibling.lastIndexOf('\\'));
      }
      if (depth.value(parent) >= 12) parent = parents[rng_.bounded(roots)];
      const int n = children[parent]++;
      const QString path = QStringLiteral("%1\\%2%3").arg(parent, QLatin1String(words[rng_.bounded(int(std::size(words)))])).arg(n);
      folders_.push_back(path);
      parents << path;
      depth.insert(path, depth.value(parent) + 1);
    }
  }

  QRandomGenerator rng_;
  std::vector<QString> folders_;
  std::vector<int> folderOfFile_;
  std::vector<double> cumulative_;
  std::vector<size_t> extensionOfFile_;
};

// Rows as the service writes them: the skewed files, dates over a few years. After the uploaded
// rows, notUploaded rows that are not (the service's files still waiting, in folders of their own).
void fillCatalogue(const QString& db, int rows, int notUploaded = 0) {
  store::DBConnection c;
  c.Open(db);
  c.BeginTransaction();
  store::DBCommand cmd = c.Prepare(QStringLiteral("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)"));
  SkewedFiles files(rows);
  QRandomGenerator& rng = files.rng();
  const QDateTime base(QDate(2008, 1, 1), QTime(0, 0));
  for (int i = 0; i < rows + notUploaded; ++i) {
    if (i < rows) {
      cmd.BindText(2, files.folder(files.folderOf(i)));
      cmd.BindText(4, QString::fromLatin1(files.extension(i)));
    } else {
      cmd.BindText(2, QStringLiteral("C:\\Users\\Ann\\Waiting\\Batch%1").arg(i % 97));
      cmd.BindText(4, QStringLiteral("docx"));
    }
    cmd.BindText(3, QStringLiteral("file%1 o''brien.").arg(i));
    cmd.BindLong(5, rng.bounded(1, 50'000'000));
    const QDateTime modified = base.addSecs(qint64(rng.bounded(0, 400'000'000)));
    cmd.BindText(6, store::dateToText(modified.addDays(-30)));
    cmd.BindText(7, store::dateToText(modified));
    cmd.BindText(8, store::dateToText(modified.addDays(2)));
    cmd.BindLong(9, i < rows ? 1 : 0);
    cmd.BindLong(10, 0);
    cmd.Execute();
  }
  c.Commit();
}

void makeCatalogue(const QString& db, int rows) {
  QFile::remove(db);
  store::DBConnection c;
  c.Create(db);
  c.Execute(store::fileTableCreateStatement());
  for (const QString& s : store::fileTableIndexStatements()) c.Execute(s);
  c.Close();
  fillCatalogue(db, rows);
}

void makeAppFolder(const QString& dir, const QString& share, int rows) {
  QString error;
  if (!store::layOutAppFolder(dir, share, &error)) die(error);
  const auto paths = store::DatabasePaths::forAppFolder(dir);
  fillCatalogue(paths.filesDb, rows, rows / 50);
  const auto key = keys::DBInsertKey(paths.statusDb, "ann", "pw", "M-1", "BENCHPC", "Y", "00", "kk1", "");
  if (!key) die("cannot add a key row");
  store::writeSettings(paths.statusDb, {{"Identity", QString::number(*key)}, {"DIdentity", QString::number(*key)}},
                       QDateTime::currentDateTime());
}

struct Page {
  explicit Page(const QString& appDir) : win(store::DatabasePaths::forAppFolder(appDir)) {
    platform::setAppPaths(platform::AppPaths::forFolder(appDir));
    page = std::make_unique<restore::ui::RestorePage>(win);
    page->resize(1000, 700);
    page->show();
  }
  test::FakeMainWindow win;
  std::unique_ptr<restore::ui::RestorePage> page;
};

int fill(const QString& appDir, GapWaiter& waiter) {
  Page p(appDir);
  waiter.restart();
  QElapsedTimer t;
  t.start();
  p.page->InitRestorePage();
  const double secs = t.nsecsElapsed() / 1e9;
  const int rows = p.page->fileList().rowCount();
  std::printf("restore list fill, %d rows: %.2f s (%.0f rows/s), longest pause %lld ms\n", rows, secs, rows / secs,
              waiter.longestMs());
  return 0;
}

// The restore file chooser's activation, which reads the whole catalogue again each time.
int chooser(const QString& appDir, GapWaiter& waiter) {
  Page p(appDir);
  p.page->btnRestoreFiles_Click();
  restore::ui::FrmFileChooser* files = p.page->fileChooser();
  QCoreApplication::processEvents();
  waiter.restart();
  QElapsedTimer t;
  t.start();
  files->Form_Activate();
  const double secs = t.nsecsElapsed() / 1e9;
  const int rows = files->fileList().rowCount();
  std::printf("restore file chooser refill, %d rows: %.2f s (%.0f rows/s), longest pause %lld ms\n", rows, secs,
              rows / secs, waiter.longestMs());
  return 0;
}

// A click on each column's header, a second click on one (the order turned round), and a key in
// each filter box, on the whole list.
int sortFilter(const QString& appDir, GapWaiter& waiter) {
  Page p(appDir);
  p.page->InitRestorePage();
  auto& list = p.page->fileList();
  const int rows = list.rowCount();
  auto timed = [&](const char* what, const std::function<void()>& act) {
    waiter.restart();
    QElapsedTimer t;
    t.start();
    act();
    QCoreApplication::processEvents();
    const double secs = t.nsecsElapsed() / 1e9;
    std::printf("restore list of %d files, %s: %.3f s, longest pause %lld ms\n", rows, what, secs, waiter.longestMs());
  };
  timed("sort by folder", [&] { list.ColumnClick(1); });
  timed("sort by name", [&] { list.ColumnClick(2); });
  timed("sort by size (as text)", [&] { list.ColumnClick(4); });
  timed("sort by last modified", [&] { list.ColumnClick(6); });
  timed("same column again (order turned)", [&] { list.ColumnClick(6); });
  auto* name = p.page->findChild<QLineEdit*>(QStringLiteral("tbxFileName"));
  auto* ext = p.page->findChild<QLineEdit*>(QStringLiteral("tbxExtension"));
  timed("extension filter key, sorted", [&] { ext->setText(QStringLiteral("d")); });
  timed("name filter key, sorted", [&] { name->setText(QStringLiteral("file1")); });
  timed("filter cleared, sorted", [&] { name->clear(); });
  timed("check all", [&] { p.page->btnCheckAll_Click(); });
  waiter.restart();
  QElapsedTimer t;
  t.start();
  p.page->btnMode_Click();
  std::printf("restore folder view of %d files: %.2f s, longest pause %lld ms\n", rows, t.nsecsElapsed() / 1e9,
              waiter.longestMs());
  // Back to the list and to the folder view again: the old tree's nodes go while the new one is
  // built.
  p.page->btnMode_Click();
  QCoreApplication::processEvents();
  waiter.restart();
  t.restart();
  p.page->btnMode_Click();
  std::printf("restore folder view of %d files again: %.2f s, longest pause %lld ms\n", rows, t.nsecsElapsed() / 1e9,
              waiter.longestMs());
  return 0;
}

// Ticks the newest <n> files of the list and queues them for restore.
int queue(const QString& appDir, int n, GapWaiter& waiter) {
  Page p(appDir);
  p.page->InitRestorePage();
  auto& list = p.page->fileList();
  for (int i = 0; i < n && i < list.rowCount(); ++i) list.setRowChecked(i, true);
  const QString filesDb = store::DatabasePaths::forAppFolder(appDir).filesDb;
  store::DBDeleteAllTempDFile(filesDb);
  waiter.restart();
  QElapsedTimer t;
  t.start();
  p.page->StoreCheckedItems();
  const double secs = t.nsecsElapsed() / 1e9;
  const int rows = store::DBCountTempDFiles(filesDb);
  std::printf("queue %d ticked files for restore: %.3f s, %.0f rows/s (goal >= 50000: %.2fx), longest pause %lld ms\n",
              rows, secs, rows / secs, rows / secs / 50000.0, waiter.longestMs());
  return rows == n ? 0 : 1;
}

// Watches how long a second writer is kept out of a database: tries to take the write lock
// every millisecond and keeps the longest run of refusals.
class LockProbe {
 public:
  explicit LockProbe(const QString& db) : path_(QFile::encodeName(db)) {
    thread_ = std::thread([this] { run(); });
  }
  ~LockProbe() { stop(); }
  void stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  double longestSeconds() const { return longestNs_ / 1e9; }
  int stretches() const { return stretches_; }  // how many times the lock was taken

 private:
  void run() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path_.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    QElapsedTimer clock;
    clock.start();
    qint64 refusedSince = -1;
    while (!done_) {
      const bool refused = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK;
      if (!refused) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      const qint64 now = clock.nsecsElapsed();
      if (refused && refusedSince < 0) refusedSince = now, ++stretches_;
      if (refusedSince >= 0) longestNs_ = std::max(longestNs_.load(), now - refusedSince);
      if (!refused) refusedSince = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sqlite3_close(db);
  }
  QByteArray path_;
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::atomic<qint64> longestNs_{0};
  std::atomic<int> stretches_{0};
};

// This computer's fetched catalogue written back into Files.db.
int writeBack(const QString& catalogue, const QString& appDir, GapWaiter& waiter) {
  const QString filesDb = store::DatabasePaths::forAppFolder(appDir).filesDb;
  int rows = 0;
  {
    store::DBConnection c;
    c.Open(catalogue);
    rows = int(c.Query(QStringLiteral("Select count(*) AS n From File")).Long("n"));
  }
  waiter.restart();
  LockProbe probe(filesDb);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  QElapsedTimer t;
  t.start();
  const bool ok = restore::DBWriteBackCatalogue(catalogue, filesDb, {});
  const double secs = t.nsecsElapsed() / 1e9;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  probe.stop();
  std::printf("sync write-back of a %d-row catalogue into Files.db: %.2f s, %.0f rows/s, in %d transactions, "
              "write lock held at most %.2f s (goal <= 0.3 s), longest pause %lld ms\n",
              rows, secs, rows / secs, probe.stretches(), probe.longestSeconds(), waiter.longestMs());
  return ok ? 0 : 1;
}

// A text catalogue (Files.txt) of <rows> files and, beside it, the same rows as the SQL script
// that raw sqlite3 runs in one transaction on a database of the same schema and indexes. The
// files are the skewed ones, each folder's line followed by its files.
void makeTextCatalogue(const QString& appDir, int rows, const QString& script) {
  QFile txt(appDir + "/Files.txt");
  QFile sql(script);
  if (!txt.open(QIODevice::WriteOnly) || !sql.open(QIODevice::WriteOnly)) die("cannot write the text catalogue");
  sql.write(store::fileTableCreateStatement().toUtf8() + ";\n");
  for (const QString& s : store::fileTableIndexStatements()) sql.write(s.toUtf8() + ";\n");
  sql.write("BEGIN;\n");
  const QByteArray now = store::dateToText(QDateTime::currentDateTime()).toUtf8();
  const SkewedFiles files(rows);
  std::vector<std::vector<int>> inFolder(size_t(files.folderCount()));
  for (int i = 0; i < files.files(); ++i) inFolder[size_t(files.folderOf(i))].push_back(i);
  for (int f = 0; f < files.folderCount(); ++f) {
    if (inFolder[size_t(f)].empty()) continue;
    const QByteArray folder = files.folder(f).toUtf8();
    txt.write(folder + " 000\r\n");
    for (const int i : inFolder[size_t(f)]) {
      const QByteArray name = "file" + QByteArray::number(i) + ".";
      const QByteArray ext = files.extension(i);
      txt.write(folder + "\\" + name + ext + "\r\n");
      sql.write("INSERT INTO File VALUES(NULL,'" + folder + "','" + name + "','" + ext + "',-1,'" + now + "','" + now +
                "','2000-01-01 00:00:00',1,0);\n");
    }
  }
  sql.write("COMMIT;\n");
}

// The text catalogue imported into a fresh download catalogue.
int import(const QString& appDir, GapWaiter& waiter) {
  platform::setAppPaths(platform::AppPaths::forFolder(appDir));
  const auto db = restore::DBCreateDatabaseDownload(appDir, QStringLiteral("BENCHPC"));
  if (!db) die("cannot make the download catalogue");
  waiter.restart();
  QElapsedTimer t;
  t.start();
  const auto rows = restore::ImportFileToFileDB(appDir, *db, {}, QDateTime::currentDateTime());
  const double secs = t.nsecsElapsed() / 1e9;
  if (!rows) die("import failed");
  std::printf("%d %.4f %lld\n", *rows, secs, waiter.longestMs());
  return 0;
}

class LastMessage : public platform::MessageBoxes {
 public:
  platform::MsgResult show(const QString& text, const QString&, platform::MsgButtons, platform::MsgIcon) override {
    last = text;
    return platform::MsgResult::Ok;
  }
  QString last;
};

// The text catalogue fetched from a server that sends a few bytes and then nothing.
int stalled(const QString& share, GapWaiter& waiter) {
  QTemporaryDir dir;
  QString error;
  if (!store::layOutAppFolder(dir.path(), share, &error)) die(error);
  platform::setAppPaths(platform::AppPaths::forFolder(dir.path()));
  fakeserver::FakeBackupServer server;
  if (!server.start()) die("cannot start the fake server");
  fakeserver::ScopedServerHost host(server.hostPort());
  const fakeserver::Account account{"ann", "pw", "PC1", "M-1", "00112233445566778899AABBCCDDEEFF", "kk1"};
  server.addAccount(account);
  server.setCatalogueFile(account.machineId, "Files.txt",
                          fakeserver::FakeBackupServer::encryptWithKey("C:\\a\\b.txt\r\n", account.fileKeyHex));
  fakeserver::Faults stall;
  stall.downloadStallAfter = 4;
  server.setFaults(stall);
  LastMessage messages;
  platform::setMessageBoxes(&messages);
  keys::EncryptionSession session;
  restore::FetchContext ctx;
  ctx.appFolder = dir.path();
  ctx.session = &session;
  if (keys::BeginEncryptionSession(session) != QLatin1String("OK")) die("no session with the fake server");
  waiter.restart();
  QElapsedTimer t;
  t.start();
  const QString result = restore::DownloadTextCatalogue(ctx, account.fileKeyHex, account.machineId);
  const double secs = t.nsecsElapsed() / 1e9;
  platform::setMessageBoxes(nullptr);
  std::printf(
      "catalogue download from a server stalled after 4 bytes: ended after %.1f s with \"%s\" (goal: 30 s, "
      "the Part's failure message), longest pause %lld ms\n",
      secs, qPrintable(messages.last), waiter.longestMs());
  return result == QLatin1String("OK") ? 1 : 0;
}

constexpr const char* kBenchFileKey = "00112233445566778899AABBCCDDEEFF";

// Gives the computer's key row a real file key (the one the server enciphers its catalogue
// with) and has the server hold the catalogue as it sends one: zipped, under that key.
void serveCatalogue(fakeserver::FakeBackupServer& server, const QString& statusDb, qint64 keyId,
                    const QString& machineName, const QString& machineId, const QString& catalogue) {
  const QString fileKeyKey = QStringLiteral("kk%1").arg(keyId);
  store::DBConnection c;
  c.Open(statusDb);
  c.Execute(QStringLiteral("Update Keys Set FileKeyE = ?, FileKeyKey = ? WHERE KeyID = ?"),
            {keys::BlowfishEncryptHex(kBenchFileKey, keys::StringToHex(fileKeyKey)), fileKeyKey, keyId});
  c.Execute(QStringLiteral("Update Keys Set MachineNameE = ?, MachineIDE = ? WHERE KeyID = ?"),
            {keys::EncodeKeyColumn(machineName, fileKeyKey), keys::EncodeKeyColumn(machineId, fileKeyKey), keyId});
  c.Close();
  server.addAccount({"ann", "pw", machineName, machineId, kBenchFileKey, fileKeyKey});
  QFile db(catalogue);
  if (!db.open(QIODevice::ReadOnly)) die("cannot read " + catalogue);
  server.setCatalogueFile(machineId, "FilesE.db",
                          test::zipOf({{"FilesE.db", fakeserver::FakeBackupServer::encryptWithKey(db.readAll(), kBenchFileKey)}}));
}

// Sync of this computer: the catalogue fetched, both layers taken off, unzipped and written
// back into Files.db, the list shown again.
int sync(const QString& appDir, const QString& catalogue, GapWaiter& waiter) {
  fakeserver::FakeBackupServer server;
  if (!server.start()) die("cannot start the fake server");
  fakeserver::ScopedServerHost host(server.hostPort());
  const auto paths = store::DatabasePaths::forAppFolder(appDir);
  const qint64 keyId = store::settingValue(paths.statusDb, QStringLiteral("Identity")).toLongLong();
  serveCatalogue(server, paths.statusDb, keyId, QStringLiteral("BENCHPC"), QStringLiteral("M-1"), catalogue);
  LastMessage messages;
  platform::setMessageBoxes(&messages);
  Page p(appDir);
  p.page->InitRestorePage();
  waiter.restart();
  QElapsedTimer t;
  t.start();
  p.page->btnSync_Click();
  const double secs = t.nsecsElapsed() / 1e9;
  platform::setMessageBoxes(nullptr);
  std::printf("sync of this computer with a %d-file catalogue from the server: %.2f s, longest pause %lld ms%s\n",
              p.page->fileList().rowCount(), secs, waiter.longestMs(),
              messages.last.isEmpty() ? "" : qPrintable(" (message \"" + messages.last + "\")"));
  return messages.last.isEmpty() ? 0 : 1;
}

// The actions on ticked files: Check All and Uncheck All on the whole list, Start Download and
// Verify of the largest folder ticked in the folder view, the file chooser's whole list ticked
// and queued through its Next and the destination's OK, and Delete of the largest folder's files
// ticked in the list.
int actions(const QString& appDir, GapWaiter& waiter) {
  LastMessage messages;
  platform::setMessageBoxes(&messages);
  Page p(appDir);
  p.page->InitRestorePage();
  auto& list = p.page->fileList();
  const int rows = list.rowCount();
  QElapsedTimer t;
  auto timed = [&](const QString& what, const std::function<void()>& act) {
    QCoreApplication::processEvents();
    waiter.restart();
    t.start();
    act();
    QCoreApplication::processEvents();
    const qint64 pause = waiter.longestMs();
    std::printf("restore %s: %.3f s, longest pause %lld ms (goal <= 100 ms): %.2f\n", qPrintable(what),
                t.nsecsElapsed() / 1e9, pause, pause / 100.0);
  };
  timed(QStringLiteral("list of %1 files, check all").arg(rows), [&] { p.page->btnCheckAll_Click(); });
  timed(QStringLiteral("list of %1 files, uncheck all").arg(rows), [&] { p.page->btnUncheckAll_Click(); });

  p.page->btnMode_Click();
  const QString camera = QStringLiteral("C:\\Users\\Ann\\Pictures\\Camera");
  QTreeWidgetItem* node = p.page->tree().nodeByKey(camera);
  if (!node) die("no node for " + camera);
  node->setCheckState(0, Qt::Checked);
  const QString filesDb = store::DatabasePaths::forAppFolder(appDir).filesDb;
  const int inFolder = int(store::onDatabase(filesDb, [&](store::DBConnection& c) {
    return c.Query(QStringLiteral("Select count(*) AS n From File Where Folder = ?"), {camera}).Long("n");
  }));
  // The folder queued through Start Download.
  store::DBDeleteAllTempDFile(filesDb);
  timed(QStringLiteral("folder view, a ticked folder of %1 files, Start Download and OK").arg(inFolder), [&] {
    p.page->btnStartDownloads_Click();
    restore::ui::FrmFolderChooser* dest = p.page->destinationFolderChooser();
    dest->findChild<QLineEdit*>(QStringLiteral("tbxDirectory"))->setText(QStringLiteral("C:\\Restored"));
    dest->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
  });
  if (store::DBCountTempDFiles(filesDb) != inFolder) die("the ticked folder was not queued whole");
  timed(QStringLiteral("verify of a ticked folder of %1 files").arg(inFolder), [&] { p.page->btnVerifyDownloads_Click(); });
  node->setCheckState(0, Qt::Unchecked);
  p.page->btnMode_Click();

  p.page->btnRestoreFiles_Click();
  restore::ui::FrmFileChooser* files = p.page->fileChooser();
  files->Form_Activate();
  QCoreApplication::processEvents();
  const int chooserRows = files->fileList().rowCount();
  timed(QStringLiteral("file chooser of %1 files, check all").arg(chooserRows), [&] { files->btnCheckAll_Click(); });
  store::DBDeleteAllTempDFile(filesDb);
  timed(QStringLiteral("file chooser of %1 files, all ticked, Next and OK").arg(chooserRows), [&] {
    files->btnNext_Click();
    restore::ui::FrmFolderChooser* chooser = p.page->folderChooser();
    chooser->findChild<QLineEdit*>(QStringLiteral("tbxDirectory"))->setText(QStringLiteral("C:\\Restored"));
    chooser->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
  });
  const bool queuedAll = store::DBCountTempDFiles(filesDb) == chooserRows;
  timed(QStringLiteral("Clear Downloads with %1 files queued").arg(chooserRows), [&] { p.page->btnClearDownloads_Click(); });

  // Delete of the files of the largest folder ticked in the list: the files are here (drive C:
  // mapped to a folder that holds them, empty), each row written anew.
  QTemporaryDir drive;
  platform::setPathMap(platform::PathMap::parse("C:=" + drive.path()));
  QDir().mkpath(drive.path() + "/Users/Ann/Pictures/Camera");
  int here = 0;
  for (int i = 0; i < list.rowCount(); ++i) {
    const restore::UploadedFileRecord& r = list.model().record(i);
    if (r.Folder != camera) continue;
    const auto path = restore::LocalPathOf(r);
    QFile f(path.value_or(QString()));
    if (!path || !f.open(QIODevice::WriteOnly)) die("cannot make " + path.value_or(r.FileName));
    list.setRowChecked(i, true);
    ++here;
  }
  timed(QStringLiteral("delete of %1 ticked files").arg(here), [&] { p.page->btnDeleteFiles_Click(); });
  platform::setMessageBoxes(nullptr);
  return queuedAll ? 0 : 1;
}

// The service, as another process (the sqlite3 shell), holding Files.db exclusively for holdMs
// from the moment it is made (which returns once the lock is taken).
class ServiceProcessLock {
 public:
  ServiceProcessLock(const QString& db, int holdMs) {
    shell_.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"), QStringLiteral("(echo 'BEGIN EXCLUSIVE;'; echo 'SELECT 1 FROM File LIMIT 1;'; "
                                                       "sleep %1; echo 'ROLLBACK;') | sqlite3 \"$0\" >/dev/null")
                                            .arg(holdMs / 1000.0),
                  db});
    sqlite3* c = nullptr;
    sqlite3_open_v2(QFile::encodeName(db).constData(), &c, SQLITE_OPEN_READONLY, nullptr);
    for (int i = 0; i < 5000; ++i) {  // until a read is refused
      if (sqlite3_exec(c, "SELECT 1 FROM File LIMIT 1", nullptr, nullptr, nullptr) == SQLITE_BUSY) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    sqlite3_close(c);
  }
  ~ServiceProcessLock() { shell_.waitForFinished(60000); }

 private:
  QProcess shell_;
};

// The actions of the restore page while the service holds Files.db for holdMs: each started
// with the lock just taken; its time, the longest pause, and the messages it showed.
int locked(const QString& appDir, int holdMs, GapWaiter& waiter) {
  struct Counted : platform::MessageBoxes {
    platform::MsgResult show(const QString& text, const QString&, platform::MsgButtons, platform::MsgIcon) override {
      texts << text.left(70).replace('\n', ' ').replace('\r', ' ');
      return platform::MsgResult::Ok;
    }
    QStringList texts;
  } messages;
  platform::setMessageBoxes(&messages);
  const QString filesDb = store::DatabasePaths::forAppFolder(appDir).filesDb;
  Page p(appDir);
  auto timed = [&](const char* what, const std::function<void()>& act) {
    messages.texts.clear();
    double secs = 0;
    qint64 pause = 0;
    {
      ServiceProcessLock lock(filesDb, holdMs);
      QCoreApplication::processEvents();
      waiter.restart();
      QElapsedTimer t;
      t.start();
      act();
      QCoreApplication::processEvents();
      secs = t.nsecsElapsed() / 1e9;
      pause = waiter.longestMs();
    }
    std::printf("restore, Files.db locked by another process for %.1f s, %s: done after %.2f s, longest pause %lld ms "
                "(goal <= 100 ms): %.2f; %lld message(s)%s\n",
                holdMs / 1000.0, what, secs, pause, pause / 100.0,
                qlonglong(messages.texts.size()),
                messages.texts.isEmpty() ? "" : qPrintable(" \"" + messages.texts.join("\" \"") + "\""));
  };
  timed("first fill of the list", [&] { p.page->InitRestorePage(); });
  if (p.page->fileList().rowCount() == 0) p.page->InitRestorePage();
  auto& list = p.page->fileList();
  for (int i = 0; i < 20000 && i < list.rowCount(); ++i) list.setRowChecked(i, true);
  timed("20000 ticked files queued", [&] { p.page->StoreCheckedItems(); });
  timed("folder view", [&] { p.page->btnMode_Click(); });
  if (!p.page->tree().nodeByKey(QStringLiteral("C:\\Users\\Ann\\Pictures\\Camera"))) {
    p.page->btnMode_Click();  // built again, the service gone
    p.page->btnMode_Click();
  }
  QTreeWidgetItem* node = p.page->tree().nodeByKey(QStringLiteral("C:\\Users\\Ann\\Pictures\\Camera"));
  if (!node) die("no node for the largest folder");
  node->setCheckState(0, Qt::Checked);
  timed("verify of the largest folder ticked", [&] { p.page->btnVerifyDownloads_Click(); });
  std::printf("restore, files of the largest folder marked for a new upload by that verify: %d\n",
              int(store::onDatabase(filesDb, [&](store::DBConnection& c) {
                return c.Query(QStringLiteral("Select count(*) AS n From File Where Folder = ? AND Uploaded = 0"),
                               {QStringLiteral("C:\\Users\\Ann\\Pictures\\Camera")})
                    .Long("n");
              })));
  platform::setMessageBoxes(nullptr);
  return 0;
}

int serve(const QString& appDir, const QString& catalogue, const QString& other) {
  fakeserver::FakeBackupServer server;
  if (!server.start()) die("cannot start the fake server");
  const auto paths = store::DatabasePaths::forAppFolder(appDir);
  const qint64 keyId = store::settingValue(paths.statusDb, QStringLiteral("Identity")).toLongLong();
  serveCatalogue(server, paths.statusDb, keyId, QStringLiteral("BENCHPC"), QStringLiteral("M-1"), catalogue);
  qint64 otherId = 0;
  {
    store::DBConnection c;
    c.Open(paths.statusDb);
    otherId = c.Query(QStringLiteral("Select max(KeyID) AS n From Keys")).Long("n");
  }
  if (otherId == keyId) {
    const auto id = keys::DBInsertKey(paths.statusDb, "ann", "pw", "M-2", "OTHERPC", "Y", "00", "kk2", "");
    if (!id) die("cannot add the second computer");
    otherId = *id;
  }
  serveCatalogue(server, paths.statusDb, otherId, QStringLiteral("OTHERPC"), QStringLiteral("M-2"), other);
  std::printf("%s\n", qPrintable(server.hostPort()));
  std::fflush(stdout);
  return QCoreApplication::exec();
}

// The program's start with this computer's catalogue chosen for restore, then the user's first
// visit to the Restore tab.
int startup(const QString& appDir, GapWaiter& waiter) {
  platform::setAppPaths(platform::AppPaths::forFolder(appDir));
  LastMessage messages;
  platform::setMessageBoxes(&messages);
  QElapsedTimer t;
  t.start();
  shell::ComposedMainWindow window;
  shell::FrmConfig& frm = window.frame();
  frm.Form_Load();
  frm.show();
  QCoreApplication::processEvents();
  const double shown = t.nsecsElapsed() / 1e9;

  auto* page = frm.findChild<restore::ui::RestorePage*>();
  if (!page) die("no restore page in the window");
  waiter.restart();
  t.restart();
  frm.tabs()->setCurrentIndex(7);
  while (!page->pendingCatalogue().isEmpty() || page->fileList().rowCount() == 0) {
    waiter.processEvents();
    if (t.elapsed() > 120000) die("the restore list did not fill");
  }
  const double filled = t.nsecsElapsed() / 1e9;
  std::printf("start-up with this computer's %d-file catalogue chosen: window shown after %.2f s (goal < 1 s); "
              "first visit to the Restore tab filled the list in %.2f s, longest pause %lld ms\n",
              page->fileList().rowCount(), shown, filled, waiter.longestMs());
  platform::setMessageBoxes(nullptr);
  return 0;
}

// The look through Files.db for damage that the window makes once it shows (the same call),
// with the window's events handled meanwhile.
int check(const QString& appDir, GapWaiter& waiter) {
  const QString filesDb = store::DatabasePaths::forAppFolder(appDir).filesDb;
  const int rows = int(store::onDatabase(filesDb, [](store::DBConnection& c) {
    return c.Query(QStringLiteral("Select count(*) AS n From File")).Long(QStringLiteral("n"));
  }));
  waiter.restart();
  QElapsedTimer t;
  t.start();
  const bool done = store::checkDatabasesAside({filesDb}, [&] {
    waiter.processEvents();
    return true;
  });
  const double secs = t.nsecsElapsed() / 1e9;
  std::printf("damage look-through of a %d-row Files.db: %.2f s, longest pause %lld ms, %s\n", rows, secs,
              waiter.longestMs(), done && !store::isKnownDamaged(filesDb) ? "sound" : "NOT LOOKED THROUGH OR DAMAGED");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  GapWaiter waiter;
  platform::setWaiter(&waiter);
  const QStringList args = app.arguments().mid(1);
  const QString cmd = args.value(0);
  if (cmd == "appfolder" && args.size() == 4) {
    makeAppFolder(args[1], args[2], args[3].toInt());
    return 0;
  }
  if (cmd == "catalogue" && args.size() == 3) {
    makeCatalogue(args[1], args[2].toInt());
    return 0;
  }
  if (cmd == "fill" && args.size() == 2) return fill(args[1], waiter);
  if (cmd == "chooser" && args.size() == 2) return chooser(args[1], waiter);
  if (cmd == "locked" && args.size() == 3) return locked(args[1], args[2].toInt(), waiter);
  if (cmd == "actions" && args.size() == 2) return actions(args[1], waiter);
  if (cmd == "queue" && args.size() == 3) return queue(args[1], args[2].toInt(), waiter);
  if (cmd == "writeback" && args.size() == 3) return writeBack(args[1], args[2], waiter);
  if (cmd == "textcatalogue" && args.size() == 4) {
    makeTextCatalogue(args[1], args[2].toInt(), args[3]);
    return 0;
  }
  if (cmd == "import" && args.size() == 2) return import(args[1], waiter);
  if (cmd == "stalled" && args.size() == 2) return stalled(args[1], waiter);
  if (cmd == "startup" && args.size() == 2) return startup(args[1], waiter);
  if (cmd == "check" && args.size() == 2) return check(args[1], waiter);
  if (cmd == "sync" && args.size() == 3) return sync(args[1], args[2], waiter);
  if (cmd == "sortfilter" && args.size() == 2) return sortFilter(args[1], waiter);
  if (cmd == "serve" && args.size() == 4) return serve(args[1], args[2], args[3]);
  die("unknown command or arguments: " + args.join(' '));
}
