// Measurements of the Backup tab at real scale (not part of the test suite; scripts/bench/selection.sh
// runs it on a Release build). Each mode prints "key value" lines the script turns into figures.
//   make-tree DIR                      20 x 100 x 100 leaf folders and their parents (202,020)
//   scan-first TREE EMPTY_DB OUT_DB N  first scan of TREE as drive C:, fresh copy of EMPTY_DB per run
//   rescan TREE DB N                   scan that finds nothing new
//   gen-files DB                       1,000,000 File rows over 2,000 extensions, Bu on half the tree
//   stats DB                           statistics of the 20 ticked types, and the lower() form
//   page TREE APPDIR                   the Backup page: first tick, expand, tick, refresh, toggle
//   locked TREE APPDIR HOLD_MS         the page's actions while another connection holds Files.db
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <random>
#include <string>
#include <vector>

#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "selection/BackupDrives.h"
#include "selection/ExtensionStore.h"
#include "selection/FolderScan.h"
#include "selection/ui/BackupPage.h"
#include "selection/ui/ExtensionList.h"
#include "shell/PageSeam.h"
#include "store/Database.h"

using namespace corvane;

namespace {

constexpr int kTickedTypes = 20;
constexpr int kExtensions = 2000;
constexpr int kFileRows = 1000000;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

template <class Work>
double timeMs(Work&& work) {
  QElapsedTimer t;
  t.start();
  work();
  return t.nsecsElapsed() / 1e6;
}

long rssKb() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  long pages = 0, resident = 0;
  if (f) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void useTreeAsDriveC(const QString& tree) {
  qputenv("CORVANE_DRIVES", ("C:=" + tree).toUtf8());
  platform::setPathMap(platform::PathMap::parse("C:=" + tree));
}

bool copyFile(const QString& from, const QString& to) {
  QFile::remove(to);
  return QFile::copy(from, to);
}

// The extension names: the 20 ticked types first (as users tick them), then made-up ones.
QString extensionName(int i) {
  static const char* const common[kTickedTypes] = {"doc", "docx", "xls", "xlsx", "ppt", "pdf", "txt",
                                                   "jpg", "jpeg", "png", "gif", "bmp", "mp3", "wav",
                                                   "mp4", "avi", "zip", "htm", "html", "csv"};
  if (i < kTickedTypes) return QString::fromLatin1(common[i]);
  return QStringLiteral("x%1").arg(i, 4, 10, QChar('0'));
}

int makeTree(const QString& dir) {
  const QByteArray root = QFile::encodeName(dir);
  for (int a = 0; a < 20; ++a) {
    const std::string t = root.toStdString() + "/t" + (a < 10 ? "0" : "") + std::to_string(a);
    mkdir(t.c_str(), 0755);
    for (int b = 0; b < 100; ++b) {
      char m[16];
      std::snprintf(m, sizeof m, "/m%03d", b);
      const std::string mp = t + m;
      mkdir(mp.c_str(), 0755);
      for (int c = 0; c < 100; ++c) {
        char l[16];
        std::snprintf(l, sizeof l, "/l%03d", c);
        if (mkdir((mp + l).c_str(), 0755) != 0 && errno != EEXIST) return 1;
      }
    }
  }
  return 0;
}

// The longest stretch in which the window handled no event while it lives (a timer asks every
// 5 ms).
class StallProbe {
 public:
  StallProbe() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { mark(); });
    timer_.start();
    sinceLast_.start();
  }
  double longestMs() {
    mark();
    return longest_ / 1e6;
  }

 private:
  void mark() {
    longest_ = std::max(longest_, sinceLast_.nsecsElapsed());
    sinceLast_.restart();
  }
  QTimer timer_;
  QElapsedTimer sinceLast_;
  qint64 longest_ = 0;
};

int scanFirst(const QString& tree, const QString& emptyDb, const QString& outDb, int runs) {
  useTreeAsDriveC(tree);
  std::vector<double> ms, stalls;
  qint64 found = 0;
  for (int i = 0; i < runs; ++i) {
    if (!copyFile(emptyDb, outDb)) return 1;
    selection::FolderScan scan(outDb, [](const QString&) {});
    StallProbe probe;
    ms.push_back(timeMs([&] { scan.Run(selection::GetDrives()); }));
    stalls.push_back(probe.longestMs());
    found = scan.foldersFound();
  }
  std::printf("folders %lld\nms %.1f\nstall_ms %.1f\n", static_cast<long long>(found), median(ms), median(stalls));
  return 0;
}

int rescan(const QString& tree, const QString& db, int runs) {
  useTreeAsDriveC(tree);
  std::vector<double> ms, stalls;
  qint64 added = 0;
  for (int i = 0; i < runs; ++i) {
    selection::FolderScan scan(db, [](const QString&) {});
    StallProbe probe;
    ms.push_back(timeMs([&] { scan.Run(selection::GetDrives()); }));
    stalls.push_back(probe.longestMs());
    added += scan.foldersAdded();
  }
  std::printf("added %lld\nms %.1f\nstall_ms %.1f\n", static_cast<long long>(added), median(ms), median(stalls));
  return 0;
}

void exec(sqlite3* db, const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", sql, err ? err : "?");
    sqlite3_free(err);
    std::exit(1);
  }
}

// File rows as the service writes them, over the folders the scan stored; the first ten top
// folders (half the tree) are ticked for "Folder/File Backup". Extensions come in mixed case as
// they do on a real disk; a tenth of the images are small.
int genFiles(const QString& dbPath) {
  sqlite3* db = nullptr;
  if (sqlite3_open(QFile::encodeName(dbPath).constData(), &db) != SQLITE_OK) return 1;
  exec(db, "BEGIN");
  exec(db, "UPDATE Folder SET Bu = 1 WHERE Folders >= 'C:\\t00' AND Folders < 'C:\\t10'");
  std::vector<std::string> folders;
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT Folders FROM Folder", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) folders.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO File (Folder, FileName, Extension, Filesize, DateCreated, DateLastModified, "
                     "DateUploaded, Uploaded, Filtered) VALUES (?,?,?,?,'2024-01-02 03:04:05','2024-01-02 03:04:05',"
                     "'2024-02-03 04:05:06',?,0)",
                     -1, &ins, nullptr);
  std::mt19937 rng(12345);
  std::vector<std::string> exts;
  for (int i = 0; i < kExtensions; ++i) exts.push_back(extensionName(i).toStdString());
  for (int i = 0; i < kFileRows; ++i) {
    const std::string& folder = folders[rng() % folders.size()];
    std::string ext = exts[i % kExtensions];
    if (rng() % 4 == 0)
      for (char& ch : ext) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string name = "file" + std::to_string(i) + ".";
    const bool image = ext.size() <= 4 && (ext == "jpg" || ext == "JPG" || ext == "gif" || ext == "GIF" ||
                                           ext == "bmp" || ext == "BMP" || ext == "jpeg" || ext == "JPEG");
    const sqlite3_int64 size = image && rng() % 10 == 0 ? 1000 + rng() % 19000 : 20480 + rng() % 5000000;
    sqlite3_bind_text(ins, 1, folder.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(ins, 3, ext.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins, 4, size);
    sqlite3_bind_int(ins, 5, rng() % 2);
    if (sqlite3_step(ins) != SQLITE_DONE) {
      std::fprintf(stderr, "insert: %s\n", sqlite3_errmsg(db));
      return 1;
    }
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  exec(db, "DELETE FROM Ext");
  for (int i = 0; i < kTickedTypes + 100; ++i) {
    const std::string sql = "INSERT INTO Ext (Extension, ExtName, ExtBu, TotalFiles, TotalSize, TotalFilesNU) VALUES ('." +
                            extensionName(i).toStdString() + "', 'Type', " + (i < kTickedTypes ? "1" : "0") +
                            ", '', '', '')";
    exec(db, sql.c_str());
  }
  exec(db, "COMMIT");
  exec(db, "ANALYZE");
  sqlite3_close(db);
  std::printf("files %d\nfolders %zu\n", kFileRows, folders.size());
  return 0;
}

struct Figures {
  qint64 files = 0;
  double size = 0;
  qint64 notUploaded = 0;
  bool operator==(const Figures&) const = default;
};

// The three statistics as the list first computed them, each with lower(a.Extension).
Figures lowerFormStatistics(const QString& filesDb, const QString& ext) {
  store::DBConnection c;
  c.Open(filesDb);
  const QVariantList p{ext};
  Figures f;
  f.files = c.Query("Select count(*) FROM File a, Folder b WHERE lower(a.Extension) = ? AND a.folder = b.folders "
                    "AND a.Filtered = 0 AND b.bu = 1", p)
                .Long("Count(*)");
  f.size = c.Query("Select Total(a.FileSize) as TotalSize From File a, Folder b WHERE lower(a.Extension) = ? "
                   "AND a.folder = b.folders AND b.bu = 1 AND a.Filtered = 0", p)
               .Number("TotalSize");
  f.notUploaded = c.Query("Select Count(*) from File a, Folder b WHERE lower(a.Extension) = ? AND a.folder = "
                          "b.folders AND b.bu = 1 AND Uploaded = 0 AND Filtered = 0", p)
                      .Long("Count(*)");
  return f;
}

Figures programStatistics(const QString& filesDb, const QString& ext) {
  Figures f;
  f.files = selection::DBCountExtensions(filesDb, "." + ext);
  f.size = selection::DBAggregateSizes(filesDb, "." + ext);
  f.notUploaded = selection::DBCountExtensionsNotUploaded(filesDb, "." + ext);
  return f;
}

int stats(const QString& filesDb) {
  std::vector<double> lowerMs, programMs;
  bool same = true;
  for (int i = 0; i < kTickedTypes; ++i) {
    const QString ext = extensionName(i);
    Figures a, b;
    lowerMs.push_back(timeMs([&] { a = lowerFormStatistics(filesDb, ext); }));
    programMs.push_back(timeMs([&] { b = programStatistics(filesDb, ext); }));
    same = same && a == b;
  }
  std::printf("lower_ms %.1f\nms %.1f\nmax_ms %.1f\nsame %s\n", median(lowerMs), median(programMs),
              *std::max_element(programMs.begin(), programMs.end()), same ? "yes" : "no");
  return same ? 0 : 1;
}

class BenchWindow : public shell::MainWindowServices {
 public:
  explicit BenchWindow(store::DatabasePaths p) : paths_(std::move(p)) {}
  const store::DatabasePaths& databases() const override { return paths_; }
  QWidget* window() override { return nullptr; }
  void setCaption(const QString& text) override { caption_ = text; }
  QString caption() const override { return caption_; }
  void relayout() override {}
  QDateTime& settingDate() override { return date_; }

 private:
  store::DatabasePaths paths_;
  QString caption_;
  QDateTime date_;
};

void clearStatistics(const QString& filesDb) {
  store::DBConnection c;
  c.Open(filesDb);
  c.Execute("UPDATE Ext SET TotalFiles = '', TotalSize = '', TotalFilesNU = ''");
}

// The user's click on a node's box.
void click(QTreeWidgetItem* node) {
  node->setCheckState(0, node->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

int page(const QString& tree, const QString& appDir) {
  useTreeAsDriveC(tree);
  const QString filesDb = appDir + "/Files.db";
  const store::DatabasePaths paths{filesDb, appDir + "/Status.db"};
  BenchWindow window(paths);
  selection::BackupPage page(window);
  page.LoadRegisteredExtensions();
  clearStatistics(filesDb);

  // The frame's first tick: the tree down to the drives and the ticked types with figures that
  // are not cached yet.
  const double firstTick = timeMs([&] {
    page.PopulateDriveNodes();
    page.ShowSelectedExtensions();
  });
  // The same with the figures cached, as on every later start.
  const double firstTickCached = timeMs([&] {
    page.PopulateDriveNodes();
    page.ShowSelectedExtensions();
  });
  std::printf("first_tick_ms %.1f\nfirst_tick_cached_ms %.1f\n", firstTick, firstTickCached);

  auto* tv = page.findChild<QTreeWidget*>("tvFolders");
  QTreeWidgetItem* drive = page.nodeByKey("C:\\");
  tv->expandItem(drive);
  // Expanding C:\t00 loads the 100 x 100 folders below its children.
  QTreeWidgetItem* top = page.nodeByKey("C:\\t00");
  const long rssBefore = rssKb();
  const double expand = timeMs([&] { tv->expandItem(top); });
  const long rssAfter = rssKb();
  int loaded = 0;
  for (int i = 0; i < top->childCount(); ++i) loaded += top->child(i)->childCount();
  // Collapsing and expanding again adds nothing.
  tv->collapseItem(top);
  const double again = timeMs([&] { tv->expandItem(top); });
  const long rssAgain = rssKb();
  std::printf("expand_nodes %d\nexpand_ms %.1f\nexpand_again_ms %.1f\nexpand_kb %ld\nexpand_again_kb %ld\n", loaded,
              expand, again, rssAfter - rssBefore, rssAgain - rssAfter);

  // A tick on a folder with sub-folders, on and off again.
  QTreeWidgetItem* folder = page.nodeByKey("C:\\t00\\m001");
  tv->expandItem(folder);
  std::vector<double> ticks;
  for (int i = 0; i < 6; ++i) ticks.push_back(timeMs([&] { click(page.nodeByKey("C:\\t00\\m001")); }));
  std::printf("tick_ms %.1f\n", median(ticks));

  // The list after a folder tick: the figures from the cache, against computing them all again
  // as the list did after every tick before.
  std::vector<double> cached, recomputed;
  for (int i = 0; i < 3; ++i) {
    cached.push_back(timeMs([&] { page.ShowSelectedExtensions(); }));
    clearStatistics(filesDb);
    recomputed.push_back(timeMs([&] { page.ShowSelectedExtensions(); }));
  }
  std::printf("list_cached_ms %.1f\nlist_recomputed_ms %.1f\n", median(cached), median(recomputed));

  // The refresh of every 150th tick and the small image filter, on and off.
  std::vector<double> refresh;
  for (int i = 0; i < 3; ++i) refresh.push_back(timeMs([&] { page.RefreshExtensionList(); }));
  auto* filter = page.findChild<QCheckBox*>("cbxSmallImageFileFilter");
  std::vector<double> toggle;
  for (int i = 0; i < 4; ++i) toggle.push_back(timeMs([&] { filter->click(); }));
  std::printf("refresh_ms %.1f\ntoggle_ms %.1f\n", median(refresh), median(toggle));

  // Typing in the filter box lists every known type that starts with the text, each key anew.
  auto* text = page.findChild<QLineEdit*>("Text1");
  auto* list = page.findChild<QTreeWidget*>("LstExtensions");
  std::vector<double> keys;
  int listed = 0;
  for (const char* typed : {".", ".d", ".do", ".d", "."}) {
    text->setText(QString::fromLatin1(typed));
    keys.push_back(timeMs([&] { emit text->textEdited(text->text()); }));
    listed = std::max(listed, list->topLevelItemCount());
  }
  std::printf("typing_types %d\ntyping_ms %.1f\n", listed, *std::max_element(keys.begin(), keys.end()));

  // A tick of the drive itself writes every folder of the drive (on, then off again; last, as it
  // changes the half of the tree ticked above).
  std::vector<double> driveTicks;
  for (int i = 0; i < 2; ++i) driveTicks.push_back(timeMs([&] { click(page.nodeByKey("C:\\")); }));
  std::printf("tick_drive_ms %.1f\n", *std::max_element(driveTicks.begin(), driveTicks.end()));
  return 0;
}

// Another connection holds Files.db with an exclusive lock, as the service does, from the moment
// it is made until holdMs later.
class ServiceLock {
 public:
  ServiceLock(const QString& db, int holdMs) {
    thread_ = std::thread([this, path = QFile::encodeName(db), holdMs] {
      sqlite3* c = nullptr;
      sqlite3_open(path.constData(), &c);
      sqlite3_busy_timeout(c, 5000);
      taken_ = sqlite3_exec(c, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
      ready_ = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
      sqlite3_exec(c, "ROLLBACK", nullptr, nullptr, nullptr);
      sqlite3_close(c);
    });
    while (!ready_) std::this_thread::yield();
  }
  ~ServiceLock() { thread_.join(); }
  bool taken() const { return taken_; }

 private:
  std::thread thread_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> taken_{false};
};

class CountedMessages : public platform::MessageBoxes {
 public:
  platform::MsgResult show(const QString&, const QString&, platform::MsgButtons, platform::MsgIcon) override {
    ++shown;
    return platform::MsgResult::Ok;
  }
  int shown = 0;
};

// Runs an action while the lock is held; prints its time, the longest stretch in which the
// window handled no event (a timer asks every 5 ms) and the messages it showed.
void underLock(const QString& filesDb, int holdMs, const char* name, const std::function<void()>& action) {
  CountedMessages messages;
  platform::setMessageBoxes(&messages);
  double ms = 0, stall = 0;
  {
    ServiceLock lock(filesDb, holdMs);
    if (!lock.taken()) std::fprintf(stderr, "%s: the lock was not taken\n", name);
    StallProbe probe;
    ms = timeMs(action);
    stall = probe.longestMs();
  }
  platform::setMessageBoxes(nullptr);
  std::printf("locked_%s_ms %.0f\nlocked_%s_stall_ms %.1f\nlocked_%s_messages %d\n", name, ms, name, stall, name,
              messages.shown);
}

int locked(const QString& tree, const QString& appDir, int holdMs) {
  useTreeAsDriveC(tree);
  const QString filesDb = appDir + "/Files.db";
  BenchWindow window({filesDb, appDir + "/Status.db"});
  selection::BackupPage page(window);
  page.LoadRegisteredExtensions();
  page.PopulateDriveNodes();
  page.ShowSelectedExtensions();
  auto* tv = page.findChild<QTreeWidget*>("tvFolders");
  tv->expandItem(page.nodeByKey("C:\\"));
  tv->expandItem(page.nodeByKey("C:\\t00"));

  underLock(filesDb, holdMs, "tick", [&] { click(page.nodeByKey("C:\\t00\\m002")); });
  underLock(filesDb, holdMs, "expand", [&] {
    tv->collapseItem(page.nodeByKey("C:\\t01"));
    tv->expandItem(page.nodeByKey("C:\\t01"));
  });
  auto* mode = page.findChild<QPushButton*>("btnBackupMode");
  underLock(filesDb, holdMs, "mode", [&] { mode->click(); });
  underLock(filesDb, holdMs, "mode_back", [&] { mode->click(); });
  underLock(filesDb, holdMs, "filter", [&] { page.findChild<QCheckBox*>("cbxSmallImageFileFilter")->click(); });
  underLock(filesDb, holdMs, "show_selected", [&] { page.findChild<QCheckBox*>("cbxSelected")->click(); });
  auto* text = page.findChild<QLineEdit*>("Text1");
  underLock(filesDb, holdMs, "typing", [&] {
    for (const char* typed : {".", ".d", ".do"}) {
      text->setText(QString::fromLatin1(typed));
      emit text->textEdited(text->text());
    }
  });
  underLock(filesDb, holdMs, "status_tick", [&] {
    for (int i = 0; i < 5; ++i) {
      try {
        page.PopulateDriveNodes();
      } catch (const store::DBError&) {
      }
      try {
        page.RefreshExtensionList();
      } catch (const store::DBError&) {
      }
    }
  });
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  const QString mode = args.value(1);
  try {
    if (mode == "make-tree" && args.size() == 3) return makeTree(args[2]);
    if (mode == "scan-first" && args.size() == 6) return scanFirst(args[2], args[3], args[4], args[5].toInt());
    if (mode == "rescan" && args.size() == 5) return rescan(args[2], args[3], args[4].toInt());
    if (mode == "gen-files" && args.size() == 3) return genFiles(args[2]);
    if (mode == "stats" && args.size() == 3) return stats(args[2]);
    if (mode == "page" && args.size() == 4) return page(args[2], args[3]);
    if (mode == "locked" && args.size() == 5) return locked(args[2], args[3], args[4].toInt());
  } catch (const store::DBError& e) {
    std::fprintf(stderr, "database error: %s\n", qPrintable(e.description()));
    return 1;
  }
  std::fprintf(stderr, "usage: see the head of selection_bench.cpp\n");
  return 2;
}
