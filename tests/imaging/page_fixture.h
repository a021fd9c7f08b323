#pragma once
// The imaging setup page on a fresh application folder, drives C:, D:, E: on temporary folders
// (C: holding "images"), a fixed clock and a scripted new-preset dialog.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <memory>
#include <optional>

#include "drives_fixture.h"
#include "imaging/ui/ImagingPage.h"
#include "store/Settings.h"

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
class PageTest : public DrivesTest {
 protected:
  void SetUp() override {
    DrivesTest::SetUp();
    QDir(c_.path()).mkdir("images");
  }

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
  static void choose(ImagingPage& page, const QString& name) {
    auto* list = find<QComboBox>(page, "cbxPreset");
    list->setCurrentIndex(list->findText(name));
    page.cbxPreset_Click();
  }
  QString currentPreset() const { return store::settingValue(app_.statusDb(), kCurrentImagePreset); }

  std::optional<QString> typedName;
};

}  // namespace corvane::test
