// Measures the "Log" and "Status" pages on an application folder made by
// scripts/bench/status_gen.py: the time of one user action, the longest the window's thread
// went without handling its events meanwhile (a call posted every 10 ms, the longest it
// waited), and the process's peak memory.
//
//   status_bench search APP_FOLDER all|type|name|last|days
//   status_bench sort APP_FOLDER       (every visible column clicked once after a search "All")
//   status_bench reenter APP_FOLDER    (the Log tab selected again with a million rows listed)
//   status_bench status APP_FOLDER
//   status_bench list APP_FOLDER       (the largest logged folder clicked in the tree; CORVANE_DRIVES maps C:)
//   status_bench relist APP_FOLDER     (the Status tab selected again with that folder listed, sorted)
//   status_bench expand APP_FOLDER     (the mirror folder with the most sub-folders expanded)
#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeWidgetItem>
#include <cstdio>
#include <sys/resource.h>

#include "platform/AppFolder.h"
#include "status/ui/IconListView.h"
#include "status/ui/LogPage.h"
#include "status/ui/StatusPage.h"
#include "support/EventGapProbe.h"
#include "support/FakeMainWindow.h"

using namespace corvane;

namespace {

long peakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// One user action: its time and the longest the window went without its events, the list
// painted with its rows at the end.
struct Timed {
  double seconds = 0, freezeSeconds = 0;
};
Timed timed(test::EventGapProbe& probe, const std::function<void()>& action) {
  probe.restart();
  QElapsedTimer clock;
  clock.start();
  action();
  QCoreApplication::processEvents();
  Timed t;
  t.seconds = double(clock.nsecsElapsed()) / 1e9;
  t.freezeSeconds = probe.longestMs() / 1000.0;
  return t;
}

// The node of a mirror folder, reached as a user would: each node above it expanded in turn.
QTreeWidgetItem* expandTo(status::StatusPage& page, const QString& mirrorFolder) {
  const QString root = platform::appPaths().mirrorRootPath;
  QTreeWidgetItem* node = page.nodeByKey(root);
  QString key = root;
  for (const QString& piece : mirrorFolder.mid(root.size() + 1).split('/')) {
    if (!node) return nullptr;
    page.tvDrivesStatus_Expand(node);
    key += '/' + piece;
    node = page.nodeByKey(key);
  }
  return node;
}

QString bigFolder() { return platform::appPaths().mirrorRootPath + "/CDrive/Users/user0/Pictures/Camera"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s search|sort|reenter|status|list|relist|expand APP_FOLDER [filter]\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  platform::setAppPaths(platform::AppPaths::forFolder(QString::fromLocal8Bit(argv[2])));
  test::EventGapProbe probe;
  test::FakeMainWindow window;
  const QString mode = QString::fromLatin1(argv[1]);

  if (mode == "search" || mode == "sort" || mode == "reenter") {
    status::LogPage page(window);
    page.resize(1000, 700);
    page.show();
    QCoreApplication::processEvents();
    if (mode == "search") {
      const QString filter = argc > 3 ? QString::fromLatin1(argv[3]) : "all";
      if (filter == "type") page.findChild<QLineEdit*>("TxtFileExtension")->setText("Text Document");
      if (filter == "name") page.findChild<QLineEdit*>("TxtFileName")->setText("report");
      if (filter == "last") page.findChild<QCheckBox*>("Check1")->setChecked(true);
      if (filter == "days") page.findChild<QLineEdit*>("TxtDays")->setText("30");
      const Timed t = timed(probe, [&] { page.CmdSearch_Click(); });
      std::printf("%.2f s, longest freeze %.2f s, peak %ld MB, %d rows\n", t.seconds, t.freezeSeconds, peakMb(),
                  page.model()->rowCount());
      return 0;
    }
    page.CmdSearch_Click();
    QCoreApplication::processEvents();
    const int rows = page.model()->rowCount();
    if (mode == "reenter") {
      const Timed t = timed(probe, [&] { page.WriteLog(true); });
      std::printf("%.2f s, longest freeze %.2f s, %d rows emptied\n", t.seconds, t.freezeSeconds, rows);
      return 0;
    }
    const char* const names[] = {"", "File Name", "File Path", "File Type", "File Size", "Modified Date", "Upload Date"};
    double slowest = 0, freeze = 0;
    QString line;
    for (int column = 2; column <= 7; ++column) {
      const Timed t = timed(probe, [&] { page.Select_Item_ColumnClick(column); });
      slowest = std::max(slowest, t.seconds);
      freeze = std::max(freeze, t.freezeSeconds);
      line += QString::asprintf("%s%s %.2f s", column > 2 ? ", " : "", names[column - 1], t.seconds);
    }
    std::printf("slowest %.2f s (%s), longest freeze %.2f s, peak %ld MB, %d rows\n", slowest, qPrintable(line), freeze,
                peakMb(), rows);
    return 0;
  }

  status::StatusPage page(window);
  page.resize(1000, 700);
  page.show();
  QCoreApplication::processEvents();
  if (mode == "status") {
    const Timed first = timed(probe, [&] { page.InitStatusPage(); });  // the mirror made from nothing
    const Timed again = timed(probe, [&] { page.InitStatusPage(); });  // selected again: the mirror is in place
    std::printf("%.2f s, longest freeze %.2f s (first selection %.2f s, longest freeze %.2f s), peak %ld MB\n",
                again.seconds, again.freezeSeconds, first.seconds, first.freezeSeconds, peakMb());
    return 0;
  }
  page.InitStatusPage();
  if (mode == "list" || mode == "relist") {
    QTreeWidgetItem* folder = expandTo(page, bigFolder());
    if (!folder) return 2;
    QCoreApplication::processEvents();
    const Timed listed = timed(probe, [&] { page.tvDrivesStatus_NodeClick(folder); });
    const int rows = page.iconList()->rowCount();
    if (mode == "list") {
      std::printf("%.2f s, longest freeze %.2f s, peak %ld MB, %d rows\n", listed.seconds, listed.freezeSeconds,
                  peakMb(), rows);
      return 0;
    }
    page.findChild<QCheckBox*>("chkDetails")->setChecked(true);
    page.lvwIcons_ColumnClick(2);
    QCoreApplication::processEvents();
    const Timed t = timed(probe, [&] { page.InitStatusPage(); });
    std::printf("%.2f s, longest freeze %.2f s, %d sorted rows cleared\n", t.seconds, t.freezeSeconds, rows);
    return 0;
  }
  if (mode == "expand") {
    QString widest;
    int most = -1;
    for (QDirIterator it(platform::appPaths().mirrorRootPath, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
         it.hasNext();) {
      const QString folder = it.next();
      const int children = int(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
      if (children > most) most = children, widest = folder;
    }
    // The parent's expansion loads the widest folder's sub-folders; the widest one's own
    // expansion then loads the level below each of them.
    const QString root = platform::appPaths().mirrorRootPath;
    const QString parent = widest.left(widest.lastIndexOf('/'));
    QTreeWidgetItem* up = parent == root ? page.nodeByKey(root) : expandTo(page, parent);
    if (!up) return 2;
    QCoreApplication::processEvents();
    const Timed first = timed(probe, [&] { page.tvDrivesStatus_Expand(up); });
    QTreeWidgetItem* node = page.nodeByKey(widest);
    if (!node) return 2;
    const Timed second = timed(probe, [&] { page.tvDrivesStatus_Expand(node); });
    std::printf("%d sub-folders loaded with its parent's expansion %.2f s, longest freeze %.2f s; its own expansion "
                "%.2f s, longest freeze %.2f s\n",
                most, first.seconds, first.freezeSeconds, second.seconds, second.freezeSeconds);
    return 0;
  }
  return 2;
}
