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

  // main.cpp's order: the frame, the pages composed for it, then the load.
  void open() {
    frm_ = std::make_unique<shell::FrmConfig>();
    composition_ = std::make_unique<shell::Composition>(*frm_);
    frm_->setPages(composition_->pages());
    frm_->Form_Load();
  }

  void TearDown() override {
    composition_.reset();
    frm_.reset();
  }

  TempAppFolder app_;
  FakeWaiter waiter_;
  RecordingMessages messages_;
  QTemporaryDir drive_;
  std::unique_ptr<ScopedPathMap> map_;
  std::unique_ptr<shell::FrmConfig> frm_;
  std::unique_ptr<shell::Composition> composition_;
};

}  // namespace corvane::test
