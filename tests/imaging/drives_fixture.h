#pragma once
// A fresh application folder with drives C:, D:, E: on temporary folders, the window's database
// paths set to it, and message boxes recorded instead of shown.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QWidget>
#include <memory>

#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

namespace corvane::test {

class DrivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::pathMap();  // the process map is read from the environment before the test changes it
    const QString drives = "C:=" + c_.path() + ";D:=" + d_.path() + ";E:=" + e_.path();
    qputenv("CORVANE_DRIVES", drives.toUtf8());
    map_ = std::make_unique<ScopedPathMap>(platform::PathMap::parse(drives));
    window_.paths.statusDb = app_.statusDb();
    window_.paths.filesDb = app_.filesDb();
  }
  void TearDown() override { qunsetenv("CORVANE_DRIVES"); }

  template <class W>
  static W* find(QWidget& root, const char* name) {
    W* w = root.findChild<W*>(QString::fromLatin1(name));
    EXPECT_TRUE(w) << name;
    return w;
  }

  TempAppFolder app_;
  QTemporaryDir c_, d_, e_;
  std::unique_ptr<ScopedPathMap> map_;
  FakeMainWindow window_;
  RecordingMessages messages_;
};

}  // namespace corvane::test
