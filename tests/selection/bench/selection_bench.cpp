// Measurements of the Backup tab at real scale (not part of the test suite; scripts/bench/selection.sh
// runs it on a Release build). Each mode prints "key value" lines the script turns into figures.
//   make-tree DIR                      200,000 folders, skewed by a power law (see makeTree)
//   scan-first TREE EMPTY_DB OUT_DB N  first scan of TREE as drive C:, fresh copy of EMPTY_DB per run
//   rescan TREE DB N                   scan that finds nothing new
//   gen-files DB                       1,000,000 File rows, types and folders by a power law
//   stats DB                           statistics of the 20 ticked types, the lower() form, the store
//   page TREE APPDIR                   the Backup page: first tick, expand, tick, refresh, toggle
//   actions TREE APPDIR                a type tick, Show Selected, sorts, the folder filter, the mode,
//                                      a tick of the fullest folder
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
#include <QHeaderView>
#include <QTreeWidget>
#include <algorithm>
#include <numeric>
#include <optional>
#include <cmath>
#include <stdexcept>
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
#include "support/EventGapProbe.h"

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

// The extension names by how common they are: the 20 ticked types first (as users tick the
// common ones), then made-up ones.
QString extensionName(int i) {
  static const char* const common[kTickedTypes] = {"jpg", "png", "pdf", "doc", "txt", "mp3", "gif",
                                                   "docx", "jpeg", "xls", "htm", "html", "zip", "mp4",
                                                   "xlsx", "bmp", "ppt", "csv", "wav", "avi"};
  if (i < kTickedTypes) return QString::fromLatin1(common[i]);
  return QStringLiteral("x%1").arg(i, 4, 10, QChar('0'));
}

// total shared out over parts by a power law: part i gets a share in proportion to
// 1 / (firstRank + i); what rounding leaves goes to the first.
std::vector<int> powerLaw(int total, int parts, int firstRank = 1) {
  std::vector<int> share(parts, 0);
  double weights = 0;
  for (int i = 0; i < parts; ++i) weights += 1.0 / (firstRank + i);
  int given = 0;
  for (int i = 0; i < parts; ++i) given += share[i] = static_cast<int>(total * (1.0 / (firstRank + i)) / weights);
  if (parts > 0) share[0] += total - given;
  return share;
}

// Files per type, as skewed as on a real computer: "jpg" alone 171,000 of the 1,000,000 rows,
// the next two 85,000 each, then a power law (1/rank) over the other ticked types (829,000 for
// the 20 in all) and over the 1,980 others (171,000).
std::vector<int> filesPerType() {
  std::vector<int> n{171000, 85000, 85000};
  for (int k : powerLaw(829000 - 341000, kTickedTypes - 3, 4)) n.push_back(k);
  for (int k : powerLaw(kFileRows - 829000, kExtensions - kTickedTypes, kTickedTypes + 1)) n.push_back(k);
  return n;
}

// The folders below one folder: how many sub-folders it has grows with the folders below it
// (up to 100), and the folders below are shared out by a power law (the first sub-folder holds
// the most), so the tree has a few deep, wide branches and many small ones, as a real disk.
void makeFolders(const std::string& dir, int below, int& made) {
  if (below <= 0) return;
  const int children = below <= 8 ? below : std::clamp(static_cast<int>(std::lround(std::sqrt(below) * 0.45)), 1, 100);
  const std::vector<int> share = powerLaw(below - children, children);
  for (int i = 0; i < children; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "/d%03d", i);
    const std::string path = dir + name;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw std::runtime_error("mkdir " + path);
    ++made;
    makeFolders(path, share[i], made);
  }
}

// 200,000 folders below 20 top folders t00..t19 (C:\t00 has 100 sub-folders holding about
// 55,000 folders between them; the top folders shrink by a power law down to t19).
int makeTree(const QString& dir) {
  const std::string root = QFile::encodeName(dir).toStdString();
  constexpr int kFolders = 200000, kTop = 20;
  const std::vector<int> below = powerLaw(kFolders - kTop, kTop);
  int made = 0;
  for (int a = 0; a < kTop; ++a) {
    char name[16];
    std::snprintf(name, sizeof name, "/t%02d", a);
    const std::string top = root + name;
    if (mkdir(top.c_str(), 0755) != 0 && errno != EEXIST) return 1;
    ++made;
    makeFolders(top, below[a], made);
  }
  std::printf("folders %d\n", made);
  return 0;
}

int scanFirst(const QString& tree, const QString& emptyDb, const QString& outDb, int runs) {
  useTreeAsDriveC(tree);
  std::vector<double> ms, stalls;
  qint64 found = 0;
  for (int i = 0; i < runs; ++i) {
    if (!copyFile(emptyDb, outDb)) return 1;
    selection::FolderScan scan(outDb, [](const QString&) {});
    test::EventGapProbe probe;
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
    test::EventGapProbe probe;
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

// File rows as the service writes them, over the folders the scan stored: the types as
// filesPerType gives them, the folders by a power law too (the fullest folder 20,000 files, then
// 20,000 / rank^0.8 over the folders in a shuffled order, one file at least). The first ten top
// folders are ticked for "Folder/File Backup". Extensions come in mixed case as they do on a
// real disk (a quarter upper case); 30% of the images are small (below 20480 bytes).
int genFiles(const QString& dbPath) {
  sqlite3* db = nullptr;
  if (sqlite3_open(QFile::encodeName(dbPath).constData(), &db) != SQLITE_OK) return 1;
  exec(db, "BEGIN");
  exec(db, "UPDATE Folder SET Bu = 1 WHERE Folders >= 'C:\\t00' AND Folders < 'C:\\t10'");
  std::vector<std::string> folders;
  {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT Folders FROM Folder WHERE Folders <> 'C:' ORDER BY Folders", -1, &st, nullptr);
    while (sqlite3_step(st) == SQLITE_ROW) folders.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  std::mt19937 rng(12345);
  std::shuffle(folders.begin(), folders.end(), rng);
  // One entry per file: its folder and its type, each list shuffled on its own.
  std::vector<int> folderOf, typeOf;
  folderOf.reserve(kFileRows);
  typeOf.reserve(kFileRows);
  for (size_t f = 0; f < folders.size() && static_cast<int>(folderOf.size()) < kFileRows; ++f) {
    const int n = std::max(1, static_cast<int>(20000.0 / std::pow(static_cast<double>(f + 1), 0.8)));
    for (int k = 0; k < n && static_cast<int>(folderOf.size()) < kFileRows; ++k) folderOf.push_back(static_cast<int>(f));
  }
  for (size_t f = 0; static_cast<int>(folderOf.size()) < kFileRows; f = (f + 1) % folders.size())
    folderOf.push_back(static_cast<int>(f));
  const std::vector<int> perType = filesPerType();
  for (int t = 0; t < kExtensions; ++t) typeOf.insert(typeOf.end(), perType[t], t);
  std::shuffle(typeOf.begin(), typeOf.end(), rng);

  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO File (Folder, FileName, Extension, Filesize, DateCreated, DateLastModified, "
                     "DateUploaded, Uploaded, Filtered) VALUES (?,?,?,?,'2024-01-02 03:04:05','2024-01-02 03:04:05',"
                     "'2024-02-03 04:05:06',?,0)",
                     -1, &ins, nullptr);
  std::vector<std::string> exts;
  for (int i = 0; i < kExtensions; ++i) exts.push_back(extensionName(i).toStdString());
  for (int i = 0; i < kFileRows; ++i) {
    const std::string& folder = folders[folderOf[i]];
    std::string ext = exts[typeOf[i]];
    if (rng() % 4 == 0)
      for (char& ch : ext) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const std::string name = "file" + std::to_string(i) + ".";
    const std::string lower = exts[typeOf[i]];
    const bool image = lower == "jpg" || lower == "gif" || lower == "bmp" || lower == "jpeg";
    const sqlite3_int64 size = image && rng() % 10 < 3 ? 1000 + rng() % 19000 : 20480 + rng() % 5000000;
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
  std::printf("files %d\nfolders %zu\nlargest_type %d\n", kFileRows, folders.size(), perType[0]);
  return 0;
}

struct Figures {
  qint64 files = 0;
  double size = 0;
  qint64 notUploaded = 0;
  bool operator==(const Figures&) const = default;
};

void clearStatistics(const QString& filesDb) {
  store::DBConnection c;
  c.Open(filesDb);
  c.Execute("UPDATE Ext SET TotalFiles = '', TotalSize = '', TotalFilesNU = ''");
}

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

// The statistics of the 20 ticked types: the statements as the list first ran them (lower()),
// the three procedures of one type, and the job's pass (the ticked folders read once, then each
// type); the figures must be the same. Then the job's store of the 20 types' figures in one
// transaction against one transaction per type.
int stats(const QString& filesDb) {
  std::vector<double> lowerMs, programMs, jobMs;
  bool same = true;
  store::DBConnection c;
  c.Open(filesDb);
  std::optional<selection::TypeStatistics> statistics;
  const double setupMs = timeMs([&] { statistics.emplace(c); });
  std::vector<selection::ExtStatistics> figures;
  for (int i = 0; i < kTickedTypes; ++i) {
    const QString ext = extensionName(i);
    Figures a, b;
    selection::ExtStatistics j;
    lowerMs.push_back(timeMs([&] { a = lowerFormStatistics(filesDb, ext); }));
    programMs.push_back(timeMs([&] { b = programStatistics(filesDb, ext); }));
    jobMs.push_back(timeMs([&] { j = (*statistics)("." + ext); }));
    figures.push_back(j);
    same = same && a == b && a == Figures{j.TotalFiles, j.TotalSize, j.TotalFilesNU};
  }
  statistics.reset();
  const double onePerType = timeMs([&] {
    for (int i = 0; i < kTickedTypes; ++i) {
      const selection::ExtStatistics& f = figures[i];
      selection::DBUpdateExts(filesDb, "." + extensionName(i), f.TotalFiles, f.TotalSize, f.TotalFilesNU);
    }
  });
  const double oneTransaction = timeMs([&] {
    store::inTransaction(filesDb, [&](store::DBConnection& db) {
      for (int i = 0; i < kTickedTypes; ++i) selection::DBUpdateExts(db, "." + extensionName(i), figures[i]);
    });
  });
  clearStatistics(filesDb);
  std::printf("lower_ms %.1f\nprogram_ms %.1f\nprogram_max_ms %.1f\nms %.1f\nmax_ms %.1f\nsetup_ms %.1f\nall_ms %.1f\n"
              "same %s\nstore_each_ms %.1f\nstore_one_ms %.1f\n",
              median(lowerMs), median(programMs), *std::max_element(programMs.begin(), programMs.end()),
              median(jobMs), *std::max_element(jobMs.begin(), jobMs.end()), setupMs,
              setupMs + std::accumulate(jobMs.begin(), jobMs.end(), 0.0), same ? "yes" : "no", onePerType,
              oneTransaction);
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

// The user's click on a node's box.
void click(QTreeWidgetItem* node) {
  node->setCheckState(0, node->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

// What one action costs the window: how long its call held it, and the longest a call posted
// every 10 ms waited meanwhile (the window painting and answering or not).
struct Held {
  double ms = 0, stallMs = 0;
};

template <class Action>
Held measure(Action&& action) {
  test::EventGapProbe probe;
  Held h;
  h.ms = timeMs(action);
  h.stallMs = probe.longestMs();
  return h;
}

// Lets the window run until the statistics job has shown its figures.
void untilFigures(selection::BackupPage& page) {
  while (page.extensionList()->statisticsJob().running()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void print(const char* key, const std::vector<Held>& runs, bool longest = false) {
  std::vector<double> ms, stall;
  for (const Held& h : runs) {
    ms.push_back(h.ms);
    stall.push_back(h.stallMs);
  }
  std::printf("%s_ms %.1f\n%s_stall_ms %.1f\n", key, longest ? *std::max_element(ms.begin(), ms.end()) : median(ms), key,
              *std::max_element(stall.begin(), stall.end()));
}

int page(const QString& tree, const QString& appDir) {
  useTreeAsDriveC(tree);
  const QString filesDb = appDir + "/Files.db";
  const store::DatabasePaths paths{filesDb, appDir + "/Status.db"};
  BenchWindow window(paths);
  selection::BackupPage page(window);
  page.resize(page.minimumSize());
  page.show();  // the window paints, lays out and answers as on the screen
  QCoreApplication::processEvents();
  page.LoadRegisteredExtensions();
  clearStatistics(filesDb);

  // The frame's first tick: the tree down to the drives and the ticked types, whose figures
  // are not cached yet: the tick's call, then the figures as they arrive with the window running.
  {
    test::EventGapProbe probe;
    const double call = timeMs([&] {
      page.PopulateDriveNodes();
      page.ShowSelectedExtensions();
    });
    const double figures = call + timeMs([&] { untilFigures(page); });
    std::printf("first_tick_ms %.1f\nfirst_tick_figures_ms %.1f\nfirst_tick_stall_ms %.1f\n", call, figures,
                probe.longestMs());
  }
  // The same with the figures cached, as on every later start.
  print("first_tick_cached", {measure([&] {
          page.PopulateDriveNodes();
          page.ShowSelectedExtensions();
        })});

  auto* tv = page.findChild<QTreeWidget*>("tvFolders");
  QTreeWidgetItem* drive = page.nodeByKey("C:\\");
  tv->expandItem(drive);
  QCoreApplication::processEvents();
  // Expanding C:\t00 loads the folders below its 100 sub-folders (the window lays them out).
  QTreeWidgetItem* top = page.nodeByKey("C:\\t00");
  const long rssBefore = rssKb();
  const Held expand = measure([&] {
    tv->expandItem(top);
    QCoreApplication::processEvents();
  });
  const long rssAfter = rssKb();
  int loaded = 0;
  for (int i = 0; i < top->childCount(); ++i) loaded += top->child(i)->childCount();
  // Collapsing and expanding again adds nothing.
  tv->collapseItem(top);
  QCoreApplication::processEvents();
  const Held again = measure([&] {
    tv->expandItem(top);
    QCoreApplication::processEvents();
  });
  const long rssAgain = rssKb();
  std::printf("expand_children %d\nexpand_nodes %d\nexpand_kb %ld\nexpand_again_kb %ld\n", top->childCount(), loaded,
              rssAfter - rssBefore, rssAgain - rssAfter);
  print("expand", {expand});
  print("expand_again", {again});

  // A tick on a folder with sub-folders, on and off again.
  tv->expandItem(page.nodeByKey("C:\\t00\\d001"));
  std::vector<Held> ticks;
  for (int i = 0; i < 6; ++i) ticks.push_back(measure([&] { click(page.nodeByKey("C:\\t00\\d001")); }));
  untilFigures(page);
  print("tick", ticks);

  // The list after a folder tick: the figures from the cache, against counting them all again
  // (off the window's thread, the window running until they are in).
  std::vector<Held> cached, recomputed;
  for (int i = 0; i < 3; ++i) {
    cached.push_back(measure([&] { page.ShowSelectedExtensions(); }));
    clearStatistics(filesDb);
    recomputed.push_back(measure([&] {
      page.ShowSelectedExtensions();
      untilFigures(page);
    }));
  }
  print("list_cached", cached);
  print("list_recomputed", recomputed);

  // The refresh of every 150th tick and the small image filter, on and off.
  std::vector<Held> refresh, toggle;
  for (int i = 0; i < 3; ++i) refresh.push_back(measure([&] { page.RefreshExtensionList(); }));
  auto* filter = page.findChild<QCheckBox*>("cbxSmallImageFileFilter");
  for (int i = 0; i < 4; ++i) {
    toggle.push_back(measure([&] { filter->click(); }));
    untilFigures(page);
  }
  print("refresh", refresh);
  print("toggle", toggle);

  // Typing in the filter box lists every known type that starts with the text, each key anew.
  auto* text = page.findChild<QLineEdit*>("Text1");
  auto* list = page.findChild<QTreeWidget*>("LstExtensions");
  std::vector<Held> keys;
  int listed = 0;
  for (const char* typed : {".", ".d", ".do", ".d", "."}) {
    text->setText(QString::fromLatin1(typed));
    keys.push_back(measure([&] { emit text->textEdited(text->text()); }));
    listed = std::max(listed, list->topLevelItemCount());
  }
  std::printf("typing_types %d\n", listed);
  print("typing", keys, true);

  // A tick of the drive itself writes every folder of the drive (on, then off again; last, as it
  // changes the ticks set above).
  std::vector<Held> driveTicks;
  for (int i = 0; i < 2; ++i) driveTicks.push_back(measure([&] { click(page.nodeByKey("C:\\")); }));
  print("tick_drive", driveTicks, true);
  return 0;
}

// The page's other actions: a type ticked and unticked in the list, Show Selected off and on, a
// header click on each of the list's columns, the default folder filter on and off, the mode
// switch both ways, and a tick of the folder holding the most files (on, then off).
int actions(const QString& tree, const QString& appDir) {
  useTreeAsDriveC(tree);
  const QString filesDb = appDir + "/Files.db";
  BenchWindow window({filesDb, appDir + "/Status.db"});
  selection::BackupPage page(window);
  page.resize(page.minimumSize());
  page.show();
  QCoreApplication::processEvents();
  page.LoadRegisteredExtensions();
  page.PopulateDriveNodes();
  page.ShowSelectedExtensions();
  untilFigures(page);

  auto* list = page.findChild<QTreeWidget*>("LstExtensions");
  QTreeWidgetItem* type = list->topLevelItem(0);
  std::vector<Held> typeTicks;
  for (int i = 0; i < 2; ++i) {
    typeTicks.push_back(measure([&] {
      type->setCheckState(0, type->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
      QCoreApplication::processEvents();
    }));
    untilFigures(page);
    type = list->topLevelItem(0);
  }
  print("type_tick", typeTicks, true);
  auto* selected = page.findChild<QCheckBox*>("cbxSelected");
  std::vector<Held> shows;
  for (int i = 0; i < 2; ++i) {
    shows.push_back(measure([&] { selected->click(); }));
    untilFigures(page);
  }
  print("show_selected", shows, true);
  std::vector<Held> sorts;
  for (int column = 0; column < list->columnCount(); ++column)
    sorts.push_back(measure([&] { emit list->header()->sectionClicked(column); }));
  print("sort", sorts, true);
  auto* folderFilter = page.findChild<QCheckBox*>("cbxDefaultFolderFilter");
  std::vector<Held> filters;
  for (int i = 0; i < 2; ++i) filters.push_back(measure([&] { folderFilter->click(); }));
  print("folder_filter", filters, true);
  auto* mode = page.findChild<QPushButton*>("btnBackupMode");
  std::vector<Held> modes;
  for (int i = 0; i < 2; ++i) modes.push_back(measure([&] { mode->click(); }));
  print("mode", modes, true);

  // The fullest folder: its ancestors expanded, then its box clicked.
  const QString fullest = store::onDatabase(filesDb, [](store::DBConnection& c) {
    return c.Query(QStringLiteral("Select Folder, count(*) AS n From File Group By Folder Order By n Desc Limit 1"))
        .Text(QStringLiteral("Folder"));
  });
  auto* tv = page.findChild<QTreeWidget*>("tvFolders");
  const QStringList parts = fullest.split('\\');
  QString key = parts[0] + '\\';
  tv->expandItem(page.nodeByKey(key));
  QCoreApplication::processEvents();
  for (int i = 1; i < parts.size(); ++i) {
    key = i == 1 ? key + parts[i] : key + '\\' + parts[i];
    if (!page.nodeByKey(key)) {
      std::fprintf(stderr, "no node for %s\n", qPrintable(key));
      return 1;
    }
    tv->expandItem(page.nodeByKey(key));
    QCoreApplication::processEvents();
  }
  std::vector<Held> fullTicks;
  for (int i = 0; i < 2; ++i) {
    fullTicks.push_back(measure([&] { click(page.nodeByKey(key)); }));
    untilFigures(page);
  }
  std::printf("fullest_files %lld\n", static_cast<long long>(store::onDatabase(filesDb, [&](store::DBConnection& c) {
                return c.Query(QStringLiteral("Select count(*) AS n From File Where Folder = ?"), {fullest}).Long("n");
              })));
  print("tick_fullest", fullTicks, true);
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
    test::EventGapProbe probe;
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

  underLock(filesDb, holdMs, "tick", [&] { click(page.nodeByKey("C:\\t00\\d002")); });
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
    if (mode == "actions" && args.size() == 4) return actions(args[2], args[3]);
    if (mode == "locked" && args.size() == 5) return locked(args[2], args[3], args[4].toInt());
  } catch (const store::DBError& e) {
    std::fprintf(stderr, "database error: %s\n", qPrintable(e.description()));
    return 1;
  }
  std::fprintf(stderr, "usage: see the head of selection_bench.cpp\n");
  return 2;
}
