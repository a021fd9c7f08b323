#pragma once
// The controls under a widget whose own text does not fit them at their present size (by the
// font's metrics): captions of buttons, check boxes, options and frames, labels that do not wrap,
// the text of boxes and lists. Hidden controls are not looked at.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace corvane::test {

// Shows the widget in a window of the given size as a tab shows its page: placed, not laid out,
// so a page wider than its room is squeezed as it would be on screen instead of widening the
// window. The window owns the widget from then on.
inline QWidget* showInRoom(QWidget* page, int width, int height) {
  auto* room = new QWidget;
  room->resize(width, height);
  page->setParent(room);
  page->setGeometry(0, 0, width, height);
  room->show();
  QApplication::processEvents();
  return room;
}

// Shows the widget in the room of a main window tab at the window's load size (1000 x 700).
inline QWidget* showInTab(QWidget* page) { return showInRoom(page, 980, 630); }

inline QStringList clippedTexts(QWidget* root) {
  QStringList clipped;
  auto report = [&](QWidget* w, const QString& text, int need) {
    clipped << QStringLiteral("%1 \"%2\": %3 of %4 px").arg(w->objectName(), text).arg(w->width()).arg(need);
  };
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (!w->isVisibleTo(root)) continue;
    const QFontMetrics fm = w->fontMetrics();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      if (!b->text().isEmpty() && b->sizeHint().width() > b->width()) report(b, b->text(), b->sizeHint().width());
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      const int need = fm.horizontalAdvance(l->text());
      if (!l->wordWrap() && !l->text().isEmpty() && need > l->contentsRect().width()) report(l, l->text(), need);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      const int need = fm.horizontalAdvance(g->title()) + 12;
      if (!g->title().isEmpty() && need > g->width()) report(g, g->title(), need);
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
      const int need = fm.horizontalAdvance(e->text()) + 8;
      if (!e->text().isEmpty() && need > e->width() && !qobject_cast<QComboBox*>(e->parentWidget()))
        report(e, e->text(), need);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
      QStyleOptionComboBox opt;
      opt.initFrom(c);
      opt.editable = c->isEditable();
      const int room = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c).width();
      const int need = fm.horizontalAdvance(c->currentText()) + 4;
      if (!c->currentText().isEmpty() && need > room) report(c, c->currentText(), need);
    }
  }
  return clipped;
}

}  // namespace corvane::test
