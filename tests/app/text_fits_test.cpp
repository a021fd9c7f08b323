// Every caption of the composed main window shows its whole text at the window's load size:
// each visible tab is made current (the imaging page in each of its views and schedules) and
// every visible button, check box, option, label, frame title and column header is measured
// with its own font.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "ComposedWindow.h"
#include "handoff/WindowTitle.h"
#include "imaging/ui/FrmNewPreset.h"
#include "keys/KeysTable.h"
#include "restore/ui/FileList.h"
#include "shell/FrameRules.h"

using namespace corvane;

namespace {

// The text as drawn: "&&" shows "&", a single "&" marks the shortcut and is not drawn.
QString shownText(QString text) {
  text.replace(QLatin1String("&&"), QString(QChar(1)));
  text.remove(QLatin1Char('&'));
  text.replace(QChar(1), QLatin1Char('&'));
  return text;
}

// From where the text starts to its last drawn pixel (the space after the last letter may
// fall outside without cutting anything).
int textWidth(const QFontMetrics& fm, const QString& text) {
  int widest = 0;
  for (const QString& line : shownText(text).split(QLatin1Char('\n')))
    widest = std::max(widest, fm.boundingRect(line).right() + 1);
  return widest;
}

// Where a caption does not fit: "what (class) 'text': needs N px, has M px".
class CutCaptions {
 public:
  void check(QWidget* w, const QString& where) {
    where_ = where;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return button(b);
    if (auto* l = qobject_cast<QLabel*>(w)) return label(l);
    if (auto* g = qobject_cast<QGroupBox*>(w)) return group(g);
    if (auto* h = qobject_cast<QHeaderView*>(w)) return header(h);
  }
  QStringList found;

 private:
  void cut(QWidget* w, const QString& text, int needed, int has) {
    QString name = w->objectName();
    for (QWidget* p = w->parentWidget(); name.isEmpty() && p; p = p->parentWidget())
      if (!p->objectName().isEmpty()) name = "in " + p->objectName();
    const QString line = QStringLiteral("%1 (%2) on %3 '%4': needs %5 px, has %6 px")
                             .arg(name, QString::fromLatin1(w->metaObject()->className()), where_, text)
                             .arg(needed)
                             .arg(has);
    if (!found.contains(line)) found << line;
  }

  void button(QAbstractButton* b) {
    if (b->text().isEmpty()) return;
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    opt.icon = b->icon();
    opt.iconSize = b->iconSize();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox*>(b)) contents = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton*>(b)) contents = QStyle::SE_RadioButtonContents;
    else if (!qobject_cast<QPushButton*>(b)) contents = QStyle::SE_PushButtonContents;
    int has = b->style()->subElementRect(contents, &opt, b).width();
    if (!b->icon().isNull()) has -= b->iconSize().width() + 4;
    if (contents == QStyle::SE_PushButtonContents) has -= 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, &opt, b) / 2;
    const int needed = textWidth(b->fontMetrics(), b->text());
    if (needed > has) cut(b, b->text(), needed, has);
  }

  void label(QLabel* l) {
    if (l->text().isEmpty()) return;
    if (l->wordWrap()) {
      const int needed = l->heightForWidth(l->width());
      if (needed > l->height()) cut(l, l->text(), needed, l->height());
      return;
    }
    const int needed = l->minimumSizeHint().width();
    if (needed > l->width()) cut(l, l->text(), needed, l->width());
  }

  void group(QGroupBox* g) {
    if (g->title().isEmpty()) return;
    QStyleOptionGroupBox opt;
    opt.initFrom(g);
    opt.text = g->title();
    opt.lineWidth = 1;
    opt.midLineWidth = 0;
    opt.textAlignment = g->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (g->isCheckable()) opt.subControls |= QStyle::SC_GroupBoxCheckBox;
    opt.features = g->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
    const QRect title = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
    const int needed = textWidth(g->fontMetrics(), g->title());
    const int has = std::min(title.width(), g->width() - std::max(0, title.left()));
    if (needed > has) cut(g, g->title(), needed, has);
  }

  void header(QHeaderView* h) {
    if (h->orientation() != Qt::Horizontal || !h->model()) return;
    const int margin = h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    const int mark = h->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, h);
    for (int i = 0; i < h->count(); ++i) {
      if (h->isSectionHidden(i)) continue;
      const QString text = h->model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
      if (text.isEmpty()) continue;
      int needed = textWidth(h->fontMetrics(), text) + 2 * margin;
      if (h->isSortIndicatorShown() && h->sortIndicatorSection() == i) needed += mark + margin;
      // Only what lies inside the visible width counts: a column pushed off to the right is cut.
      const int left = h->sectionViewportPosition(i);
      const int has = std::min(h->sectionSize(i), h->viewport()->width() - left);
      if (needed > has) cut(h, text, needed, has);
    }
  }

  QString where_;
};

class TextFits : public test::ComposedWindow {
 protected:
  void SetUp() override {
    ComposedWindow::SetUp();
    open();
    frm_->show();
    frm_->Form_Activate();
    frm_->Timer_Status_Timer();
    QApplication::processEvents();
  }

  void checkShown(const QString& where) {
    QApplication::processEvents();
    for (QWidget* w : frm_->findChildren<QWidget*>())
      if (w->isVisible() && w->width() > 0) cuts_.check(w, where);
  }

  CutCaptions cuts_;
};

// Every window the menus and the pages open shows its title whole in its title bar, and each of
// its captions whole, at the size it opens with.
TEST_F(TextFits, EveryDialogShowsItsTitleAndCaptionsWhole) {
  frm_->mAbout_Click();
  frm_->mAdvancedSettings_Click();
  frm_->mFileCopy_Click();
  frm_->tabs()->setCurrentIndex(shell::TabRestore);
  for (const char* name : {"btnAddSource", "btnRemoveSource", "btnStartDownloads"}) {
    auto* button = frm_->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
  }
  imaging::FrmNewPreset newPreset(frm_);  // asked for modally by Save As
  newPreset.show();
  QApplication::processEvents();

  QStringList opened;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w == frm_ || !w->isVisible()) continue;
    opened << w->objectName();
    const int needed = handoff::titleBarWidth(w, {w->windowTitle()});
    if (w->width() < needed)
      cuts_.found << QStringLiteral("%1 title '%2': needs %3 px, has %4 px")
                         .arg(w->objectName(), w->windowTitle())
                         .arg(needed)
                         .arg(w->width());
    for (QWidget* c : w->findChildren<QWidget*>())
      if (c->isVisible() && c->width() > 0) cuts_.check(c, w->objectName());
  }
  EXPECT_EQ(opened.size(), 7) << opened.join(", ").toStdString();
  EXPECT_TRUE(cuts_.found.isEmpty()) << cuts_.found.join("\n").toStdString();
}

TEST_F(TextFits, EveryCaptionShowsItsWholeTextAtTheLoadSize) {
  ASSERT_EQ(frm_->size(), QSize(frm_->loadWidth(), frm_->loadHeight()));
  QTabWidget* tabs = frm_->tabs();
  for (int tab = 0; tab < tabs->count(); ++tab) {
    if (!tabs->isTabVisible(tab)) continue;
    tabs->setCurrentIndex(tab);
    const QString where = QStringLiteral("tab %1 \"%2\"").arg(tab).arg(tabs->tabText(tab));
    checkShown(where);
    if (tab != shell::TabImaging) continue;
    auto* views = frm_->findChild<QPushButton*>(QStringLiteral("btnDetail"));
    ASSERT_NE(views, nullptr);
    for (int view = 0; view < 2; ++view) {
      views->click();
      checkShown(where + ", " + views->text());
      for (const char* often : {"rbDaily", "rbWeekly", "rbMonthly", "rbQuarterly"}) {
        auto* option = frm_->findChild<QRadioButton*>(QString::fromLatin1(often));
        if (!option || !option->isVisible()) continue;
        option->click();
        checkShown(where + ", " + views->text() + ", " + option->text());
      }
    }
  }
  EXPECT_TRUE(cuts_.found.isEmpty()) << cuts_.found.join("\n").toStdString();
}

// A damaged catalogue of the computer chosen for restore: the Restore page says so whole where
// the files would be listed, and the two filter boxes keep their room (the text beside them
// squeezed them to a few pixels and was cut off itself).
class DamagedCatalogueText : public test::ComposedWindow {};

TEST_F(DamagedCatalogueText, IsReadWholeAndLeavesTheFilterBoxesTheirRoom) {
  const auto own = keys::DBInsertKey(app_.statusDb(), "ann", "pw", "M-1", "HOMEPC", "Y", "00", "kk1", "");
  const auto other = keys::DBInsertKey(app_.statusDb(), "ann", "pw", "M-2", "A-COMPUTER-WITH-A-LONG-NAME", "Y", "00",
                                       "kk2", "");
  ASSERT_TRUE(own && other);
  test::setSetting(app_.statusDb(), "Identity", QString::number(*own));
  test::setSetting(app_.statusDb(), "DIdentity", QString::number(*other));
  const QString catalogue = app_.file("A-COMPUTER-WITH-A-LONG-NAMEFiles.db");
  test::writeFile(catalogue, QByteArray(8192, 'x'));
  open();
  frm_->show();
  frm_->tabs()->setCurrentIndex(shell::TabRestore);
  QApplication::processEvents();
  QApplication::processEvents();

  CutCaptions cuts;
  for (QWidget* w : frm_->findChildren<QWidget*>())
    if (w->isVisible() && w->width() > 0) cuts.check(w, QStringLiteral("the Restore tab"));
  EXPECT_TRUE(cuts.found.isEmpty()) << cuts.found.join("\n").toStdString();
  for (const char* name : {"tbxFileName", "tbxExtension"}) {
    auto* box = frm_->findChild<QLineEdit*>(QString::fromLatin1(name));
    ASSERT_NE(box, nullptr) << name;
    EXPECT_GE(box->width(), box->sizeHint().width()) << name;
  }
  auto* notice = frm_->findChild<QLabel*>(QStringLiteral("lblListNotice"));
  ASSERT_NE(notice, nullptr);
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->text(), restore::ui::damagedCatalogueText(catalogue));
}

}  // namespace
