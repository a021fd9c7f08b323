#pragma once
// The imaging setup page on a fresh application folder, drives C:, D:, E: on temporary folders
// (C: holding "images"), a fixed clock and a scripted new-preset dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "imaging/ui/ImagingPage.h"
#include "store/Settings.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

namespace corvane::test {

using namespace corvane::imaging;

// Counts the calls of the page's engine seam.
class CountingEngine : public ImageOperations {
 public:
  void UpdateImagePage() override { ++updates; }
  void UpdateOldImagePage() override { ++oldUpdates; }
  void UIDisconnect() override { ++disconnects; }
  QWidget* enginePanel() override { return nullptr; }
  QWidget* activityIndicator() override { return nullptr; }
  int updates = 0, oldUpdates = 0, disconnects = 0;
};

// Drives C:, D:, E: on temporary folders, C: holding "images"; a fresh application folder.
class PageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir(c_.path()).mkdir("images");
    platform::pathMap();  // the process map is read from the environment before the test changes it
    const QString drives = "C:=" + c_.path() + ";D:=" + d_.path() + ";E:=" + e_.path();
    qputenv("CORVANE_DRIVES", drives.toUtf8());
    map_ = std::make_unique<ScopedPathMap>(platform::PathMap::parse(drives));
    window_.paths.statusDb = app_.statusDb();
    window_.paths.filesDb = app_.filesDb();
  }
  void TearDown() override { qunsetenv("CORVANE_DRIVES"); }

  std::unique_ptr<ImagingPage> makePage(ImageOperations* engine = nullptr) {
    auto page = std::make_unique<ImagingPage>(window_, engine);
    page->now = [] { return QDateTime(QDate(2027, 1, 4), QTime(9, 0)); };
    page->askNewPresetName = [this](QWidget*) { return typedName; };
    return page;
  }
  // A page entered twice: the presets seeded by the first entry are listed from the second on.
  std::unique_ptr<ImagingPage> pageListingPresets() {
    auto page = makePage();
    page->InitImagePage();
    page->InitImagePage();
    return page;
  }
  template <class W>
  static W* find(ImagingPage& page, const char* name) {
    W* w = page.findChild<W*>(QString::fromLatin1(name));
    EXPECT_TRUE(w) << name;
    return w;
  }
  static void choose(ImagingPage& page, const QString& name) {
    auto* list = find<QComboBox>(page, "cbxPreset");
    list->setCurrentIndex(list->findText(name));
    page.cbxPreset_Click();
  }
  QString currentPreset() const { return store::settingValue(app_.statusDb(), kCurrentImagePreset); }

  TempAppFolder app_;
  QTemporaryDir c_, d_, e_;
  std::unique_ptr<ScopedPathMap> map_;
  FakeMainWindow window_;
  RecordingMessages messages_;
  std::optional<QString> typedName;
};

}  // namespace corvane::test
