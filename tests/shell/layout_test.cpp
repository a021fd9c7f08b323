#include <gtest/gtest.h>

#include "shell/Layout.h"

using namespace corvane::shell;

namespace {

ControlRects designRects() {
  ControlRects r;
  r["SSTab1"] = {60, 60, 14000, 9000};
  r["Frame2"] = {120, 600, 13000, 8000};
  r["Frame7"] = {120, 600, 13000, 8000};
  r["tvFolders"] = {100, 300, 6000, 6000};
  r["LstExtensions"] = {6500, 300, 6000, 6000};
  r["lblExtension"] = {6500, 100, 1000, 200};
  r["cbxSelected"] = {9000, 100, 1500, 250};
  r["cbxImageSwitch"] = {0, 0, 2000, 250};
  r["Frame16"] = {120, 1200, 12000, 7000};
  for (const char* b : {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"}) r[b] = {0, 0, 1500, 400};
  for (const char* t : {"tbxQuickSync", "tbxRestoreAll", "tbxRestoreFolders", "tbxRestoreFiles"}) r[t] = {0, 0, 8000, 900};
  return r;
}

LayoutInput sized(double w, double h) {
  LayoutInput in;
  in.loadWidth = 15000;
  in.loadHeight = 10500;
  in.windowWidth = w;
  in.windowHeight = h;
  in.innerWidth = w;
  in.innerHeight = h - 375;  // the menu bar
  in.backupModeCaption = "Folder/File Backup";
  return in;
}

}  // namespace

TEST(Layout, GuardKeepsEverythingBelowTheLoadSize) {
  for (auto [w, h] : {std::pair{14985.0, 12000.0}, std::pair{20000.0, 10485.0}}) {
    ControlRects r = designRects();
    const ControlRects before = r;
    EXPECT_FALSE(layOutMainWindow(sized(w, h), r));
    for (auto it = before.begin(); it != before.end(); ++it) {
      EXPECT_EQ(r[it.key()].width, it.value().width) << it.key().toStdString();
      EXPECT_EQ(r[it.key()].top, it.value().top) << it.key().toStdString();
    }
  }
}

TEST(Layout, TabControlFillsTheClientAreaButAFourPixelMargin) {
  ControlRects r = designRects();
  ASSERT_TRUE(layOutMainWindow(sized(15000, 10500), r));
  EXPECT_EQ(r["SSTab1"].left, 60);
  EXPECT_EQ(r["SSTab1"].top, 60);
  EXPECT_EQ(r["SSTab1"].width, 15000 - 120);
  EXPECT_EQ(r["SSTab1"].height, 10500 - 375 - 120);
  // Frames follow the tab control.
  EXPECT_EQ(r["Frame2"].width, r["SSTab1"].width - 180);
  EXPECT_EQ(r["Frame7"].height, r["Frame2"].height - 100);
}

TEST(Layout, RestoreRowsDivideTheFrameIntoFifthsAtEverySize) {
  for (double w : {15000.0, 18000.0, 30000.0}) {
    ControlRects r = designRects();
    ASSERT_TRUE(layOutMainWindow(sized(w, w * 0.7), r));
    const TwipsRect f = r["Frame16"];
    EXPECT_EQ(f.width, r["Frame2"].width - 500);
    EXPECT_EQ(f.height, r["Frame2"].height - 200);
    const char* const buttons[] = {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"};
    const char* const texts[] = {"tbxQuickSync", "tbxRestoreAll", "tbxRestoreFolders", "tbxRestoreFiles"};
    for (int k = 1; k <= 4; ++k) {
      EXPECT_DOUBLE_EQ(r[buttons[k - 1]].top, k * f.height / 5 + f.top - 1200);
      EXPECT_DOUBLE_EQ(r[buttons[k - 1]].left, f.width / 8);
      EXPECT_DOUBLE_EQ(r[texts[k - 1]].top, r[buttons[k - 1]].top);
      EXPECT_DOUBLE_EQ(r[texts[k - 1]].left, f.width / 3);
    }
    EXPECT_NEAR(r["btnRestoreAll"].top - r["btnQuickSync"].top, f.height / 5, 1e-9);
  }
}

TEST(Layout, BackupModeDecidesHowTreeAndExtensionListShareTheFrame) {
  ControlRects r = designRects();
  ASSERT_TRUE(layOutMainWindow(sized(18000, 12000), r));
  const TwipsRect f7 = r["Frame7"];
  EXPECT_DOUBLE_EQ(r["LstExtensions"].width, f7.width / 2 - 220);
  EXPECT_DOUBLE_EQ(r["tvFolders"].width, f7.width - r["LstExtensions"].width - 440);
  EXPECT_DOUBLE_EQ(r["LstExtensions"].left, r["tvFolders"].width + 300);
  EXPECT_DOUBLE_EQ(r["lblExtension"].left, r["LstExtensions"].left);
  EXPECT_DOUBLE_EQ(r["cbxSelected"].left, r["LstExtensions"].left + 2800);
  EXPECT_DOUBLE_EQ(r["cbxImageSwitch"].top, f7.height - 460);
  EXPECT_DOUBLE_EQ(r["cbxImageSwitch"].left, f7.width / 8 + 4200);

  ControlRects full = designRects();
  LayoutInput in = sized(18000, 12000);
  in.backupModeCaption = "Full Folder Backup";
  ASSERT_TRUE(layOutMainWindow(in, full));
  EXPECT_DOUBLE_EQ(full["tvFolders"].width, full["Frame7"].width - 140);
  EXPECT_DOUBLE_EQ(full["tvFolders"].height, full["Frame7"].height - 1400);
  EXPECT_EQ(full["LstExtensions"].width, 6000);  // untouched in this mode
}

TEST(Layout, AbsentControlsAreSkippedAndSizesNeverGoNegative) {
  ControlRects r;
  r["SSTab1"] = {0, 0, 100, 100};
  r["Frame16"] = {0, 0, 100, 100};  // Frame2 absent: its rules cannot run
  r["frameRestore"] = {0, 0, 100, 100};
  LayoutInput in = sized(600, 900);
  in.loadWidth = in.loadHeight = 0;
  ASSERT_TRUE(layOutMainWindow(in, r));
  EXPECT_EQ(r["Frame16"].width, 100);
  EXPECT_FALSE(r.contains("Frame2"));
  EXPECT_FALSE(r.contains("btnQuickSync"));
  EXPECT_EQ(r["frameRestore"].width, 0);  // 600 - 120 - 800 < 0
  EXPECT_GE(r["frameRestore"].height, 0);
}
