#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "clipped_text.h"
#include "imaging/ui/DirListBox.h"
#include "page_fixture.h"

using namespace corvane;
using namespace corvane::imaging;
using test::PageTest;

namespace {

// The page in a window of the tab's room; the window is deleted with the test.
std::unique_ptr<QWidget> showAtLoadSize(std::unique_ptr<ImagingPage>& page) {
  return std::unique_ptr<QWidget>(test::showInTab(page.release()));
}

bool shown(ImagingPage& page, const char* name) {
  auto* w = page.findChild<QWidget*>(QString::fromLatin1(name));
  return w && w->isVisibleTo(&page);
}

}  // namespace

TEST_F(PageTest, TheWizardRevealsItsFramesOneStepAtATime) {
  auto page = pageListingPresets();
  ASSERT_EQ(find<QComboBox>(*page, "cbxPreset")->currentText(), kWizardSetup);
  EXPECT_TRUE(shown(*page, "frameSourceDrives"));
  for (const char* later : {"frameDestination", "FrameCopies", "FrameVSS", "btnRunNow", "frameFullImage", "frameDiff"})
    EXPECT_FALSE(shown(*page, later)) << later;

  auto* drives = find<QListWidget>(*page, "lstImgSourceDrives");
  drives->item(0)->setSelected(true);
  emit drives->itemClicked(drives->item(0));
  EXPECT_TRUE(shown(*page, "frameDestination"));
  EXPECT_EQ(find<QGroupBox>(*page, "FrameImagingSetup")->title(), "Imaging Setup - choose full backup destination...");
  EXPECT_FALSE(shown(*page, "FrameCopies"));

  // The folder list shows the drive the drive list names, ready for a folder to be opened;
  // nothing is chosen by that.
  auto* folders = find<DirListBox>(*page, "dirDest");
  EXPECT_EQ(folders->path(), find<QComboBox>(*page, "dlbDestDrive")->currentText() + "\\");
  EXPECT_EQ(find<QLineEdit>(*page, "tbxDest")->text(), "");
  const QList<QListWidgetItem*> images = folders->findItems("images", Qt::MatchEndsWith);
  ASSERT_EQ(images.size(), 1);
  emit folders->itemDoubleClicked(images[0]);
  EXPECT_EQ(find<QLineEdit>(*page, "tbxDest")->text(), "C:\\images");
  EXPECT_TRUE(shown(*page, "FrameCopies"));
  EXPECT_FALSE(shown(*page, "FrameVSS"));
  find<QToolButton>(*page, "btnLocalUp")->click();
  EXPECT_TRUE(shown(*page, "FrameVSS"));
  EXPECT_FALSE(shown(*page, "btnRunNow"));
  find<QRadioButton>(*page, "rbRequireVSS")->click();
  EXPECT_TRUE(shown(*page, "btnRunNow"));
  EXPECT_TRUE(shown(*page, "btnSchedule"));
  EXPECT_FALSE(shown(*page, "frameFullImage"));  // the wizard's preset is not scheduled
  EXPECT_TRUE(page->presetEdited());
}

TEST_F(PageTest, EveryTextShowsWholeAtTheWindowsLoadSize) {
  auto owned = pageListingPresets();
  ImagingPage* page = owned.get();
  const auto room = showAtLoadSize(owned);
  auto check = [&](const char* view) { EXPECT_EQ(test::clippedTexts(page).join("; ").toStdString(), "") << view; };
  check("wizard");
  for (const char* preset : {"Server", "Office Computer", "Laptop"}) {
    choose(*page, preset);  // detail view: monthly, weekly and quarterly frames
    QApplication::processEvents();
    check(preset);
  }
  page->btnDetail_Click();
  QApplication::processEvents();
  check("summary");
  choose(*page, kHelpPage);
  QApplication::processEvents();
  check("help");
}

TEST_F(PageTest, TabFollowsThePageColumnByColumnAndEachFrameRowByRow) {
  auto owned = pageListingPresets();
  ImagingPage* page = owned.get();
  choose(*page, "Office Computer");
  find<QPushButton>(*page, "btnRunNow")->setVisible(true);
  const auto room = showAtLoadSize(owned);

  // The frames in the order Tab reaches them.
  const QStringList columns{"framePresets",   "FrameImagingSetup", "frameSourceDrives", "frameDestination",
                            "frameFullImage", "FrameCopies",       "frameDiff",         "FrameVSS"};
  auto frameOf = [&](QWidget* w) -> int {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
      if (const int i = columns.indexOf(p->objectName()); i >= 0) return i;
    return -1;
  };
  QWidget* first = find<QComboBox>(*page, "cbxPreset");
  QList<QWidget*> chain;
  for (QWidget* w = first; chain.size() < 200; w = w->nextInFocusChain()) {
    if (!chain.isEmpty() && w == first) break;
    if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && page->isAncestorOf(w)) chain << w;
  }
  ASSERT_GT(chain.size(), 40);
  for (qsizetype i = 1; i < chain.size(); ++i) {
    QWidget* a = chain[i - 1];
    QWidget* b = chain[i];
    ASSERT_LE(frameOf(a), frameOf(b)) << qPrintable(a->objectName()) << " before " << qPrintable(b->objectName());
    if (frameOf(a) != frameOf(b)) continue;
    const QPoint pa = a->mapTo(page, QPoint(0, a->height() / 2));
    const QPoint pb = b->mapTo(page, QPoint(0, b->height() / 2));
    const bool sameRow = std::abs(pa.y() - pb.y()) < qMin(a->height(), b->height()) / 2 + 2;
    EXPECT_TRUE(sameRow ? pa.x() < pb.x() : pa.y() < pb.y())
        << qPrintable(a->objectName()) << " before " << qPrintable(b->objectName());
  }
}
