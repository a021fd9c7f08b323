#include "shell/Layout.h"

#include <algorithm>
#include <initializer_list>

namespace corvane::shell {

namespace {

class Rules {
 public:
  explicit Rules(ControlRects& r) : r_(r) {}
  bool has(std::initializer_list<const char*> names) const {
    for (const char* n : names)
      if (!r_.contains(QString::fromLatin1(n))) return false;
    return true;
  }
  TwipsRect& operator[](const char* n) { return r_[QString::fromLatin1(n)]; }
  static double size(double v) { return std::max(0.0, v); }

 private:
  ControlRects& r_;
};

}  // namespace

bool layOutMainWindow(const LayoutInput& in, ControlRects& rects) {
  if (in.windowWidth < in.loadWidth || in.windowHeight < in.loadHeight) return false;
  Rules c(rects);
  const double px = in.twipsPerPixelX, py = in.twipsPerPixelY;

  if (c.has({"SSTab1"})) {  // 1
    auto& t = c["SSTab1"];
    t.left = 4 * px;
    t.top = 4 * py;
    t.width = Rules::size(in.innerWidth - 8 * px);
    t.height = Rules::size(in.innerHeight - 8 * py);
  }
  if (c.has({"Frame2", "SSTab1"})) {  // 2
    c["Frame2"].width = Rules::size(c["SSTab1"].width - 180);
    c["Frame2"].height = Rules::size(c["SSTab1"].height - 980);
  }
  if (c.has({"Frame5", "Frame2", "Frame13"})) {  // 3
    c["Frame5"].width = Rules::size(c["Frame2"].width - 300);
    c["Frame5"].height = Rules::size(c["Frame2"].height - (c["Frame13"].height + 620));
  }
  if (c.has({"Frame13", "Frame5"})) {  // 4
    c["Frame13"].top = c["Frame5"].top + c["Frame5"].height;
    c["Frame13"].left = c["Frame5"].left + c["Frame5"].width / 2 - c["Frame13"].width / 2;
  }
  if (c.has({"Label3", "Frame2"})) c["Label3"].left = c["Frame2"].width / 1.5;  // 5
  if (c.has({"Frame7", "Frame2"})) {  // 6
    c["Frame7"].width = Rules::size(c["Frame2"].width - 100);
    c["Frame7"].height = Rules::size(c["Frame2"].height - 100);
  }
  if (in.backupModeCaption.left(11) == QLatin1String("Folder/File")) {  // 7
    if (c.has({"LstExtensions", "tvFolders", "Frame7"})) {
      auto& lst = c["LstExtensions"];
      auto& tv = c["tvFolders"];
      const auto& f7 = c["Frame7"];
      lst.width = Rules::size(f7.width / 2 - 220);
      tv.left = 100;
      tv.width = Rules::size(f7.width - lst.width - 440);
      tv.height = Rules::size(f7.height - 1400);
      lst.left = tv.width + 300;
      lst.height = Rules::size(f7.height - 1400);
      if (c.has({"lblExtension"})) c["lblExtension"].left = lst.left;
      if (c.has({"Text1"})) c["Text1"].left = lst.left + 1720;
      if (c.has({"cbxSelected"})) c["cbxSelected"].left = lst.left + 2800;
    }
  } else if (c.has({"tvFolders", "Frame7"})) {
    auto& tv = c["tvFolders"];
    tv.left = 100;
    tv.width = Rules::size(c["Frame7"].width - 140);
    tv.height = Rules::size(c["Frame7"].height - 1400);
  }
  if (c.has({"Frame7"})) {
    const auto f7 = c["Frame7"];
    if (c.has({"cbxSmallImageFileFilter"})) {  // 8
      c["cbxSmallImageFileFilter"].left = f7.width / 8 - 400;
      c["cbxSmallImageFileFilter"].top = f7.height - 460;
    }
    if (c.has({"cbxDefaultFolderFilter"})) {  // 9
      c["cbxDefaultFolderFilter"].left = f7.width / 8 + 1800;
      c["cbxDefaultFolderFilter"].top = f7.height - 460;
    }
    if (c.has({"cbxImageSwitch"})) {  // 10
      c["cbxImageSwitch"].left = f7.width / 8 + 4200;
      c["cbxImageSwitch"].top = f7.height - 460;
    }
    if (c.has({"btnAddExt"})) c["btnAddExt"].left = f7.width / 2 + 5000;  // 11
  }
  if (c.has({"Select_Item", "SSTab1", "Frame2"})) {  // 12
    c["Select_Item"].width = Rules::size(c["SSTab1"].width - 500);
    c["Select_Item"].height = Rules::size(c["Frame2"].height - 1500);
  }
  if (c.has({"Frame8", "Frame2"})) {  // 13
    c["Frame8"].width = Rules::size(c["Frame2"].width - 340);
    c["Frame8"].height = c["Frame2"].height;
  }
  if (c.has({"Frame9", "Frame5"})) c["Frame9"].width = Rules::size(c["Frame5"].width - 32);  // 14
  if (c.has({"Frame3", "Frame1", "Frame11", "Frame5"})) {  // 15
    c["Frame3"].height = Rules::size(c["Frame1"].height - (c["Frame11"].height + 250));
    c["Frame3"].width = c["Frame5"].width;
  }
  if (c.has({"lvwIcons", "Frame4", "tvDrivesStatus"})) {  // 16
    auto& lv = c["lvwIcons"];
    const auto& tv = c["tvDrivesStatus"];
    lv.width = Rules::size(c["Frame4"].width * 0.65 - 175);
    lv.height = Rules::size(c["Frame4"].height - 600);
    lv.left = tv.left + tv.width + 50;
    lv.top = tv.top;
  }
  if (c.has({"chkDetails", "lvwIcons"})) c["chkDetails"].left = c["lvwIcons"].left + 50;  // 17
  if (c.has({"Frame16", "Frame2"})) {  // 18
    c["Frame16"].width = Rules::size(c["Frame2"].width - 500);
    c["Frame16"].height = Rules::size(c["Frame2"].height - 200);
  }
  if (c.has({"Frame16"})) {  // 19, 20
    const auto f16 = c["Frame16"];
    const char* const buttons[] = {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"};
    const char* const texts[] = {"tbxQuickSync", "tbxRestoreAll", "tbxRestoreFolders", "tbxRestoreFiles"};
    for (int k = 1; k <= 4; ++k) {
      const double top = k * f16.height / 5 + f16.top - 1200;
      if (c.has({buttons[k - 1]})) {
        c[buttons[k - 1]].left = f16.width / 8;
        c[buttons[k - 1]].top = top;
      }
    }
    for (int k = 1; k <= 4; ++k) {
      const double top = k * f16.height / 5 + f16.top - 1200;
      if (c.has({texts[k - 1]})) {
        c[texts[k - 1]].left = f16.width / 3;
        c[texts[k - 1]].top = top;
      }
    }
  }
  if (c.has({"SSTab1"})) {
    const auto tab = c["SSTab1"];
    if (c.has({"frameImaging"})) {  // 21
      c["frameImaging"].left = tab.width / 2 - 4400;
      c["frameImaging"].top = tab.height / 2 - 2800;
    }
    if (c.has({"frameRestore"})) {  // 22
      c["frameRestore"].width = Rules::size(tab.width - 800);
      c["frameRestore"].height = Rules::size(tab.height - 860);
    }
    if (c.has({"lstFileChooser"})) {  // 23
      auto& l = c["lstFileChooser"];
      l.width = Rules::size(tab.width - 1280);
      l.height = Rules::size(tab.height - 3200);
      l.left = tab.left + 180;
      l.top = tab.top + 2020;
    }
    if (c.has({"tvDLFolders"})) {  // 24
      auto& t = c["tvDLFolders"];
      t.width = Rules::size(tab.width - 1280);
      t.height = Rules::size(tab.height - 2200);
      t.left = tab.left + 180;
      t.top = tab.top + 1040;
    }
    if (c.has({"frameFilter"})) c["frameFilter"].width = Rules::size(tab.width - 1280);  // 25
    if (c.has({"FrameSource"})) c["FrameSource"].left = tab.left + 1800;                // 26
  }
  return true;
}

}  // namespace corvane::shell
