// Runs the file copy tool's window as a user does (source and destination typed, Start Copy
// clicked) and exits when the walk is done: 0 when it ended with "Done" and no failure listed.
// Not part of the test suite; scripts/bench/filecopy.sh times it against cp and rsync. Prints the
// longest time the window went without handling its events meanwhile (a call posted every 10 ms,
// the longest it waited).
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <cstdio>

#include "filecopy/ui/FrmFileCopy.h"
#include "support/EventGapProbe.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: filecopy_bench SOURCE DESTINATION\n");
    return 2;
  }
  corvane::filecopy::FrmFileCopy form;
  form.show();
  form.findChild<QLineEdit*>("tbxFileCopySource")->setText(QString::fromLocal8Bit(argv[1]));
  form.findChild<QLineEdit*>("tbxFileCopyDestination")->setText(QString::fromLocal8Bit(argv[2]));
  corvane::test::EventGapProbe probe;
  form.findChild<QPushButton*>("btnFileCopyStart")->click();
  std::printf("longest_wait_ms %.1f\n", probe.longestMs());
  const auto* errors = form.findChild<QListWidget*>("lbxFileCopyErrors");
  const int failures = errors->count();
  for (int i = 0; i < failures; ++i) std::fprintf(stderr, "failed: %s\n", qPrintable(errors->item(i)->text()));
  const bool done = form.findChild<QLabel*>("lblLastFileCopied")->text() == QLatin1String("Done");
  if (failures) std::fprintf(stderr, "%d files failed\n", failures);
  return done && failures == 0 ? 0 : 1;
}
