// The layout rules hold in the composed main window, at its load size and at a larger one: each
// rule's equation is checked on the controls' live places, in twips (15 to the pixel), to the
// pixel. A control that sits directly on a tab counts from the tab control's corner, any other
// from its container.
#include <QAbstractButton>
#include <QApplication>
#include <QTreeView>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/PathMap.h"
#include "shell/Composition.h"
#include "shell/ui/FrmConfig.h"
#include "ComposedWindow.h"

using namespace corvane;

namespace {

struct Rect {
  double l = 0, t = 0, w = 0, h = 0;
};

class LayoutRules : public test::ComposedWindow {
 protected:
  void SetUp() override {
    ComposedWindow::SetUp();
    open();
    frm_->show();
    QApplication::processEvents();
  }

  void resizeBy(int dw, int dh) {
    frm_->resize(frm_->loadWidth() + dw, frm_->loadHeight() + dh);
    QApplication::processEvents();
  }

  bool onTab(const QWidget* w) const {
    const QWidget* parent = w->parentWidget();
    for (int i = 0; i < frm_->tabs()->count(); ++i) {
      const QWidget* page = frm_->tabs()->widget(i);
      if (parent == page || (parent && parent->parentWidget() == page && parent->pos() == QPoint(0, 0))) return true;
    }
    return false;
  }

  Rect r(const char* name) {
    QWidget* w = frm_->findChild<QWidget*>(QString::fromLatin1(name));
    if (!w) {
      missing_ << QString::fromLatin1(name);
      return {};
    }
    const QPoint at = w == frm_->tabs() ? w->pos() : onTab(w) ? w->mapTo(frm_->tabs(), QPoint(0, 0)) : w->pos();
    return {at.x() * 15.0, at.y() * 15.0, w->width() * 15.0, w->height() * 15.0};
  }

  // The rule's value against the control's: within a pixel (rounding, also of rules that read
  // rounded results of earlier rules).
  void expect(int rule, const char* what, double actual, double wanted) {
    if (std::abs(actual - wanted) > 16)
      broken_ << QStringLiteral("rule %1, %2: is %3 twips, the rule gives %4").arg(rule).arg(what).arg(actual).arg(wanted);
  }

  void checkFrameRules() {
    const QWidget* client = frm_->centralWidget();
    const Rect tab = r("SSTab1");
    expect(1, "SSTab1.L", tab.l, 60);
    expect(1, "SSTab1.T", tab.t, 60);
    expect(1, "SSTab1.W", tab.w, client->width() * 15.0 - 120);
    expect(1, "SSTab1.H", tab.h, client->height() * 15.0 - 120);
    const Rect f2 = r("Frame2");
    expect(2, "Frame2.W", f2.w, tab.w - 180);
    expect(2, "Frame2.H", f2.h, tab.h - 980);
    const Rect f5 = r("Frame5"), f13 = r("Frame13");
    expect(3, "Frame5.W", f5.w, f2.w - 300);
    expect(3, "Frame5.H", f5.h, f2.h - (f13.h + 620));
    expect(4, "Frame13.T", f13.t, f5.t + f5.h);
    expect(4, "Frame13.L", f13.l, f5.l + f5.w / 2 - f13.w / 2);
    expect(5, "Label3.L", r("Label3").l, f2.w / 1.5);
    expect(14, "Frame9.W", r("Frame9").w, f5.w - 32);
    const Rect f1 = r("Frame1"), f3 = r("Frame3"), f11 = r("Frame11");
    expect(15, "Frame3.H", f3.h, f1.h - (f11.h + 250));
    expect(15, "Frame3.W", f3.w, f5.w);
    const Rect f16 = r("Frame16");
    expect(18, "Frame16.W", f16.w, f2.w - 500);
    expect(18, "Frame16.H", f16.h, f2.h - 200);
    const char* const buttons[] = {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"};
    const char* const texts[] = {"tbxQuickSync", "tbxRestoreAll", "tbxRestoreFolders", "tbxRestoreFiles"};
    for (int k = 1; k <= 4; ++k) {
      const double top = k * f16.h / 5 + f16.t - 1200;
      expect(19, buttons[k - 1], r(buttons[k - 1]).l, f16.w / 8);
      expect(19, buttons[k - 1], r(buttons[k - 1]).t, top);
      expect(20, texts[k - 1], r(texts[k - 1]).l, f16.w / 3);
      expect(20, texts[k - 1], r(texts[k - 1]).t, top);
    }
  }

  void checkBackupRules() {
    const Rect f2 = r("Frame2");
    const Rect f7 = r("Frame7");
    expect(6, "Frame7.W", f7.w, f2.w - 100);
    expect(6, "Frame7.H", f7.h, f2.h - 100);
    const Rect lst = r("LstExtensions"), tv = r("tvFolders");
    auto* mode = frm_->findChild<QAbstractButton*>(QStringLiteral("btnBackupMode"));
    ASSERT_NE(mode, nullptr);
    expect(7, "tvFolders.L", tv.l, 100);
    expect(7, "tvFolders.H", tv.h, f7.h - 1400);
    if (mode->text().left(11) == QLatin1String("Folder/File")) {
      expect(7, "LstExtensions.W", lst.w, f7.w / 2 - 220);
      expect(7, "tvFolders.W", tv.w, f7.w - lst.w - 440);
      expect(7, "LstExtensions.L", lst.l, tv.w + 300);
      expect(7, "LstExtensions.H", lst.h, f7.h - 1400);
      expect(7, "lblExtension.L", r("lblExtension").l, lst.l);
      expect(7, "Text1.L", r("Text1").l, lst.l + 1720);
      expect(7, "cbxSelected.L", r("cbxSelected").l, lst.l + 2800);
    } else {
      expect(7, "tvFolders.W", tv.w, f7.w - 140);
    }
    expect(8, "cbxSmallImageFileFilter.L", r("cbxSmallImageFileFilter").l, f7.w / 8 - 400);
    expect(8, "cbxSmallImageFileFilter.T", r("cbxSmallImageFileFilter").t, f7.h - 460);
    expect(9, "cbxDefaultFolderFilter.L", r("cbxDefaultFolderFilter").l, f7.w / 8 + 1800);
    expect(9, "cbxDefaultFolderFilter.T", r("cbxDefaultFolderFilter").t, f7.h - 460);
    expect(10, "cbxImageSwitch.L", r("cbxImageSwitch").l, f7.w / 8 + 4200);
    expect(10, "cbxImageSwitch.T", r("cbxImageSwitch").t, f7.h - 460);
    expect(11, "btnAddExt.L", r("btnAddExt").l, f7.w / 2 + 5000);
  }

  void checkLogRules() {
    const Rect tab = r("SSTab1"), f2 = r("Frame2");
    expect(12, "Select_Item.W", r("Select_Item").w, tab.w - 500);
    expect(12, "Select_Item.H", r("Select_Item").h, f2.h - 1500);
    expect(13, "Frame8.W", r("Frame8").w, f2.w - 340);
    expect(13, "Frame8.H", r("Frame8").h, f2.h);
  }

  void checkStatusRules() {
    const Rect f4 = r("Frame4"), tree = r("tvDrivesStatus"), icons = r("lvwIcons");
    expect(16, "lvwIcons.W", icons.w, f4.w * 0.65 - 175);
    expect(16, "lvwIcons.H", icons.h, f4.h - 600);
    expect(16, "lvwIcons.L", icons.l, tree.l + tree.w + 50);
    expect(16, "lvwIcons.T", icons.t, tree.t);
    expect(17, "chkDetails.L", r("chkDetails").l, icons.l + 50);
  }

  void checkRestoreRules() {
    const Rect tab = r("SSTab1");
    expect(22, "frameRestore.W", r("frameRestore").w, tab.w - 800);
    expect(22, "frameRestore.H", r("frameRestore").h, tab.h - 860);
    const Rect list = r("lstFileChooser");
    expect(23, "lstFileChooser.W", list.w, tab.w - 1280);
    expect(23, "lstFileChooser.H", list.h, tab.h - 3200);
    expect(23, "lstFileChooser.L", list.l, tab.l + 180);
    expect(23, "lstFileChooser.T", list.t, tab.t + 2020);
    const Rect tree = r("tvDLFolders");
    expect(24, "tvDLFolders.W", tree.w, tab.w - 1280);
    expect(24, "tvDLFolders.H", tree.h, tab.h - 2200);
    expect(24, "tvDLFolders.L", tree.l, tab.l + 180);
    expect(24, "tvDLFolders.T", tree.t, tab.t + 1040);
    expect(25, "frameFilter.W", r("frameFilter").w, tab.w - 1280);
    expect(26, "FrameSource.L", r("FrameSource").l, tab.l + 1800);
  }

  void expectAllHeld() {
    EXPECT_TRUE(missing_.isEmpty()) << "missing: " << missing_.join(", ").toStdString();
    EXPECT_TRUE(broken_.isEmpty()) << broken_.join("\n").toStdString();
    missing_.clear();
    broken_.clear();
  }

  QStringList missing_, broken_;
};

TEST_F(LayoutRules, FrameAndBackupPageAtTheLoadSizeAndLarger) {
  checkFrameRules();
  checkBackupRules();
  expectAllHeld();
  resizeBy(300, 200);
  checkFrameRules();
  checkBackupRules();
  expectAllHeld();
  // The other backup mode lays the folder tree out alone.
  frm_->findChild<QAbstractButton*>(QStringLiteral("btnBackupMode"))->click();
  QApplication::processEvents();
  checkBackupRules();
  expectAllHeld();
}

TEST_F(LayoutRules, LogPageAtTheLoadSizeAndLarger) {
  checkLogRules();
  expectAllHeld();
  auto* logList = frm_->findChild<QTreeView*>(QStringLiteral("Select_Item"));
  frm_->tabs()->setCurrentIndex(3);
  QApplication::processEvents();
  const int pathWidth = logList->columnWidth(2);  // File Path
  resizeBy(300, 200);
  checkLogRules();
  expectAllHeld();
  // The room a wider window gives goes to the folder paths, which the list cuts most.
  QApplication::processEvents();
  EXPECT_GE(logList->columnWidth(2), pathWidth + 250);
  // The list stays between the filters and the totals.
  frm_->tabs()->setCurrentIndex(3);
  QApplication::processEvents();
  QWidget* list = frm_->findChild<QWidget*>(QStringLiteral("Select_Item"));
  QWidget* totals = frm_->findChild<QWidget*>(QStringLiteral("LblTotFiles"));
  QWidget* search = frm_->findChild<QWidget*>(QStringLiteral("CmdSearch"));
  const QWidget* page = list->parentWidget();
  EXPECT_LT(search->mapTo(page, QPoint(0, search->height())).y(), list->y());
  EXPECT_GT(totals->mapTo(page, QPoint(0, 0)).y(), list->geometry().bottom());
  EXPECT_LE(totals->mapTo(page, QPoint(0, totals->height())).y(), page->height());
}

TEST_F(LayoutRules, EnginePanelStaysCentredAtTheLoadSizeAndLarger) {
  for (int grow : {0, 300}) {
    resizeBy(grow, grow / 2);
    const Rect tab = r("SSTab1"), panel = r("frameImaging");
    expect(21, "frameImaging.L", panel.l, tab.w / 2 - 4400);
    expect(21, "frameImaging.T", panel.t, tab.h / 2 - 2800);
    expectAllHeld();
  }
}

// The rules hold, and what they leave alone stays clear of what they move: the tick and
// download buttons below the list, inside the tab, in either view.
TEST_F(LayoutRules, RestorePageAtTheLoadSizeAndLarger) {
  frm_->tabs()->setCurrentIndex(7);
  for (int grow : {0, 300}) {
    resizeBy(grow, grow);
    checkRestoreRules();
    expectAllHeld();
    QWidget* page = frm_->tabs()->widget(7);
    auto bottomOf = [&](const char* name) {
      QWidget* w = frm_->findChild<QWidget*>(QString::fromLatin1(name));
      return w->mapTo(page, QPoint(0, w->height())).y();
    };
    auto topOf = [&](const char* name) {
      QWidget* w = frm_->findChild<QWidget*>(QString::fromLatin1(name));
      return w->mapTo(page, QPoint(0, 0)).y();
    };
    EXPECT_LT(bottomOf("lstFileChooser"), topOf("btnCheckAll"));
    EXPECT_LT(bottomOf("tvDLFolders"), topOf("btnCheckAll"));
    EXPECT_LT(bottomOf("btnCheckAll"), topOf("btnStartDownloads"));
    EXPECT_LE(bottomOf("btnStartDownloads"), page->height());
    EXPECT_LT(bottomOf("FrameSource"), topOf("frameFilter"));
    EXPECT_LT(bottomOf("frameFilter"), topOf("lstFileChooser"));
  }
}

TEST_F(LayoutRules, StatusPageAtTheLoadSizeAndLarger) {
  checkStatusRules();
  expectAllHeld();
  resizeBy(300, 200);
  checkStatusRules();
  expectAllHeld();
}

}  // namespace
