#pragma once
// The main window with every page and dialog of the program, composed as the program does it,
// on a fresh application folder and a drive C: mapped to a temporary folder (holding
// Data\Mail).
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "platform/PathMap.h"
#include "shell/Composition.h"
#include "shell/ui/FrmConfig.h"
#include "support/TestSupport.h"

namespace corvane::test {

class ComposedWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir(drive_.path()).mkpath("Data/Mail");
    map_ = std::make_unique<ScopedPathMap>(platform::PathMap::parse("C:=" + drive_.path()));
  }

  // As the program opens it: the composed window, then the load.
  void open() {
    window_ = std::make_unique<shell::ComposedMainWindow>();
    frm_ = &window_->frame();
    frm_->Form_Load();
  }

  void TearDown() override {
    frm_ = nullptr;
    window_.reset();
  }

  TempAppFolder app_;
  FakeWaiter waiter_;
  RecordingMessages messages_;
  QTemporaryDir drive_;
  std::unique_ptr<ScopedPathMap> map_;
  std::unique_ptr<shell::ComposedMainWindow> window_;
  shell::FrmConfig* frm_ = nullptr;
};

}  // namespace corvane::test
