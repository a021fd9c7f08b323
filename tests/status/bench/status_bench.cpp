// Measures the "Log" and "Status" pages on an application folder made by
// scripts/bench/status_gen.py: the time of one user action, the longest stretch in it without
// the window's events being processed, and the process's peak memory.
//
//   status_bench search APP_FOLDER all|type|name|last|days
//   status_bench sort APP_FOLDER       (every visible column clicked once after a search "All")
//   status_bench status APP_FOLDER
//   status_bench list APP_FOLDER       (C:\\Users\\user0 clicked in the tree; CORVANE_DRIVES maps C:)
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>
#include <QTreeWidgetItem>
#include <cstdio>
#include <sys/resource.h>

#include "platform/AppFolder.h"
#include "platform/Wait.h"
#include "status/ui/LogPage.h"
#include "status/ui/IconListView.h"
#include "status/ui/StatusPage.h"
#include "support/FakeMainWindow.h"

using namespace corvane;

namespace {

// Processes events for real and notes the longest time between two passes.
class FreezeMeter : public platform::Waiter {
 public:
  void sleep(int ms) override { QThread::msleep(ulong(ms)); }
  void processEvents() override {
    note();
    QCoreApplication::processEvents();
    last_ = clock_.nsecsElapsed();
  }
  void start() {
    clock_.start();
    last_ = 0;
    longest_ = 0;
  }
  void note() { longest_ = std::max(longest_, clock_.nsecsElapsed() - last_); }
  double longestSeconds() const { return double(longest_) / 1e9; }
  double elapsedSeconds() const { return double(clock_.nsecsElapsed()) / 1e9; }

 private:
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
};

long peakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s search APP_FOLDER all|type|name|last|days | status APP_FOLDER\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  platform::setAppPaths(platform::AppPaths::forFolder(QString::fromLocal8Bit(argv[2])));
  FreezeMeter meter;
  platform::setWaiter(&meter);
  test::FakeMainWindow window;
  const QString mode = QString::fromLatin1(argv[1]);

  if (mode == "search") {
    status::LogPage page(window);
    page.resize(1000, 700);
    page.show();
    QCoreApplication::processEvents();
    const QString filter = argc > 3 ? QString::fromLatin1(argv[3]) : "all";
    if (filter == "type") page.findChild<QLineEdit*>("TxtFileExtension")->setText("Text Document");
    if (filter == "name") page.findChild<QLineEdit*>("TxtFileName")->setText("report");
    if (filter == "last") page.findChild<QCheckBox*>("Check1")->setChecked(true);
    if (filter == "days") page.findChild<QLineEdit*>("TxtDays")->setText("30");
    meter.start();
    page.CmdSearch_Click();
    meter.processEvents();  // the list painted with its rows
    std::printf("%.2f s, longest freeze %.2f s, peak %ld MB, %d rows\n", meter.elapsedSeconds(), meter.longestSeconds(),
                peakMb(), page.model()->rowCount());
    return 0;
  }
  if (mode == "sort") {
    status::LogPage page(window);
    page.resize(1000, 700);
    page.show();
    page.CmdSearch_Click();
    QCoreApplication::processEvents();
    const char* const names[] = {"", "File Name", "File Path", "File Type", "File Size", "Modified Date", "Upload Date"};
    double slowest = 0;
    QString line;
    for (int column = 2; column <= 7; ++column) {
      meter.start();
      page.Select_Item_ColumnClick(column);
      meter.processEvents();
      slowest = std::max(slowest, meter.elapsedSeconds());
      line += QString::asprintf("%s%s %.2f s", column > 2 ? ", " : "", names[column - 1], meter.elapsedSeconds());
    }
    std::printf("slowest %.2f s (%s), peak %ld MB, %d rows\n", slowest, qPrintable(line), peakMb(), page.model()->rowCount());
    return 0;
  }
  if (mode == "status") {
    status::StatusPage page(window);
    page.resize(1000, 700);
    page.show();
    QCoreApplication::processEvents();
    meter.start();
    page.InitStatusPage();  // the mirror made from nothing
    meter.processEvents();
    const double first = meter.elapsedSeconds(), firstFreeze = meter.longestSeconds();
    meter.start();
    page.InitStatusPage();  // the tab selected again: the mirror is in place
    meter.processEvents();
    std::printf("%.2f s, longest freeze %.2f s (first selection %.2f s, longest freeze %.2f s), peak %ld MB\n",
                meter.elapsedSeconds(), meter.longestSeconds(), first, firstFreeze, peakMb());
    return 0;
  }
  if (mode == "list") {
    status::StatusPage page(window);
    page.resize(1000, 700);
    page.show();
    page.InitStatusPage();
    const QString root = platform::appPaths().mirrorRootPath;
    page.tvDrivesStatus_Expand(page.nodeByKey(root));
    page.tvDrivesStatus_Expand(page.nodeByKey(root + "/CDrive"));
    page.tvDrivesStatus_Expand(page.nodeByKey(root + "/CDrive/Users"));
    QTreeWidgetItem* folder = page.nodeByKey(root + "/CDrive/Users/user0");
    if (!folder) return 2;
    QCoreApplication::processEvents();
    meter.start();
    page.tvDrivesStatus_NodeClick(folder);
    meter.processEvents();  // the list painted with its rows
    std::printf("%.2f s, longest freeze %.2f s, peak %ld MB, %d rows\n", meter.elapsedSeconds(), meter.longestSeconds(),
                peakMb(), page.iconList()->rowCount());
    return 0;
  }
  return 2;
}
