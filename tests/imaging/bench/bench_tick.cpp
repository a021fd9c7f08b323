// The imaging pages' share of the one-second status tick at real scale: the engine panel's and
// the activity indicator's refresh on a File table of a million rows, against the same refresh
// on an empty table, and while the service holds both databases locked; and Verify Image Upload
// on that table, with the longest time the window went without handling its events.
//   imaging_bench_tick <scratch folder> <share folder> [rows]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "imaging/EngineFrontEnd.h"
#include "imaging/ImgPresets.h"
#include "platform/AppFolder.h"
#include "store/AppFolderLayout.h"
#include "store/Database.h"
#include "store/Settings.h"
#include "support/EventGapProbe.h"

using namespace corvane;

namespace {

SShStatusInfo running{};

imaging::EngineLibrary writingEngine() {
  imaging::EngineFunctions f;
  f.SShConnect = [] { return int32_t(0); };
  f.SShDisconnect = [] { return int32_t(0); };
  f.SShGetStatusInfo = [](SShStatusInfo* info) { return *info = running, int32_t(0); };
  f.SShIsPaused = [] { return int16_t(0); };
  f.SShIsInProgress = [] { return int16_t(0); };
  f.SShPause = [] { return int32_t(0); };
  f.SShResume = [] { return int32_t(0); };
  return imaging::EngineLibrary::fromFunctions(f);
}

store::DatabasePaths layOut(const QString& folder, const QString& share, int rows) {
  QString error;
  if (!store::layOutAppFolder(folder, share, &error)) qFatal("%s", qPrintable(error));
  const store::DatabasePaths paths = store::DatabasePaths::forAppFolder(folder);
  store::inTransaction(paths.filesDb, [&](store::DBConnection& c) {
    store::DBCommand cmd = c.Prepare("Insert Into File (Folder, FileName, Extension, Filesize, Uploaded, Filtered) "
                                     "Values (?, ?, ?, ?, ?, 0)");
    for (int i = 0; i < rows; ++i) {
      // One row in a hundred is an image file; the rest spread over 5,000 folders.
      const bool image = i % 100 == 0;
      cmd.BindText(1, image ? QStringLiteral("C:\\CorvaneImage") : QStringLiteral("C:\\Users\\f%1").arg(i % 5000));
      cmd.BindText(2, QStringLiteral("file%1.").arg(i));
      cmd.BindText(3, image ? QStringLiteral("sna") : QStringLiteral("txt"));
      cmd.BindLong(4, 1000 + i);
      cmd.BindLong(5, i % 3 == 0 ? 1 : 0);
      cmd.Execute();
    }
  });
  imaging::ImgPreset preset;
  preset[imaging::Col::ImgPresetName] = "Bench";
  preset[imaging::Col::ImgSource] = "C:\\";
  preset[imaging::Col::ImgDest] = "C:\\images";
  imaging::ImgPresetStore(paths.statusDb).DBInsertImgPresetFull(preset);
  store::writeSettings(paths.statusDb, {{"CurrentImagePreset", "Bench"}, {"ImageActive", "Yes"}},
                       QDateTime::currentDateTime());
  return paths;
}

// Median milliseconds of one tick's imaging refresh.
double medianTick(const store::DatabasePaths& paths) {
  imaging::EngineHooks hooks;
  hooks.driveSizes = [](const QString&, double& total, double& free) { return total = 200e9, free = 50e9, true; };
  imaging::EngineFrontEnd front(paths, writingEngine(), hooks);
  front.btnConnectToImageEngine_Click();
  std::vector<double> times;
  for (int i = 0; i < 21; ++i) {
    QElapsedTimer t;
    t.start();
    front.UpdateOldImagePage();
    front.UpdateImagePage();
    times.push_back(double(t.nsecsElapsed()) / 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: imaging_bench_tick <scratch folder> <share folder> [rows]\n");
    return 2;
  }
  const QString scratch = QString::fromLocal8Bit(argv[1]);
  const QString share = QString::fromLocal8Bit(argv[2]);
  const int rows = argc > 3 ? std::atoi(argv[3]) : 1000000;
  running.BytesReadLow = 1 << 30;
  running.BytesWrittenLow = 1 << 29;

  const store::DatabasePaths empty = layOut(QDir(scratch).filePath("empty"), share, 0);
  const store::DatabasePaths full = layOut(QDir(scratch).filePath("full"), share, rows);
  const double base = medianTick(empty);
  const double large = medianTick(full);
  std::printf("imaging tick, %d File rows: %.2f ms against %.2f ms on an empty table: ratio %.2f (goal: under 100 ms)\n",
              rows, large, base, large / (base > 0 ? base : 1e-9));

  // Verify Image Upload on the image files of the large table, with hash rows of 1,000 blocks for
  // each of its first 20 images: the longest time the window went without handling its events.
  store::inTransaction(full.filesDb, [](store::DBConnection& c) {
    c.Execute("Insert Into Hash (FileId, BlockNo, Hash) Select f.FileID, b.n, 'h' From "
              "(Select FileID From File Where Folder = 'C:\\CorvaneImage' Limit 20) f, "
              "(With Recursive k(n) As (Select 1 Union All Select n + 1 From k Where n < 1000) Select n From k) b");
  });
  {
    imaging::EngineFrontEnd front(full, writingEngine(), {});
    test::EventGapProbe probe;
    QElapsedTimer t;
    t.start();
    front.btnVerifyImageUpload_Click();
    const double ms = t.nsecsElapsed() / 1e6;
    const double gap = probe.longestMs();
    std::printf("imaging Verify Image Upload, %d image rows, 20,000 hash rows: %.0f ms, longest wait of the window's "
                "events %.1f ms (goal <= 100 ms): %.2f\n",
                rows / 100, ms, gap, gap / 100.0);
  }

  store::DBConnection holdFiles, holdStatus;
  holdFiles.Open(full.filesDb);
  holdFiles.Execute("BEGIN EXCLUSIVE");
  holdStatus.Open(full.statusDb);
  holdStatus.Execute("BEGIN EXCLUSIVE");
  const double locked = medianTick(full);
  std::printf("imaging tick, both databases locked by another process: %.2f ms: ratio %.2f against unlocked "
              "(goal: no wait, under 100 ms)\n",
              locked, locked / (large > 0 ? large : 1e-9));
  return 0;
}
