#include "imaging/ui/ActivityIndicator.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

#include "imaging/ui/PageWidgets.h"
#include "shell/Twips.h"

namespace corvane::imaging {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name) {
  auto* l = page::named(new QLabel(parent), name);
  l->setAutoFillBackground(true);
  return l;
}

void paint(QLabel* label, unsigned rgb) {
  QPalette p = label->palette();
  p.setColor(QPalette::Window, QColor::fromRgb(rgb));
  label->setPalette(p);
}

}  // namespace

ActivityIndicator::ActivityIndicator(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("ActivityIndicator"));
  lblLocalActive = makeLabel(this, "lblLocalActive");
  lblLocalActive->setFixedSize(16, 16);
  // The strip stands in a track of its full length, so its width reads as progress.
  auto* track = new QFrame(this);
  track->setFrameShape(QFrame::Box);
  track->setFixedSize(shell::pixelsFromTwips(kStripFullTwips) + 2, 16);
  lblLocalActive2 = makeLabel(track, "lblLocalActive2");
  lblLocalActive2->setGeometry(1, 1, 0, 14);
  lblLocalActive3 = page::named(new QLabel(QStringLiteral("INACTIVE"), this), "lblLocalActive3");
  lblLocalActive3->setFixedWidth(lblLocalActive3->fontMetrics().horizontalAdvance(QStringLiteral("Active 100.0%")) + 4);
  lblUploading = makeLabel(this, "lblUploading");
  lblUploading->setAlignment(Qt::AlignCenter);
  lblUploading->setFixedSize(lblUploading->fontMetrics().horizontalAdvance(QStringLiteral("INACTIVE")) + 10,
                             lblUploading->fontMetrics().height() + 6);
  // Two lines, so the indicator takes little of the presets row: patch and strip over the text.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(2);
  grid->addWidget(lblLocalActive, 0, 0);
  grid->addWidget(track, 0, 1);
  grid->addWidget(lblLocalActive3, 1, 0, 1, 2);
  grid->addWidget(lblUploading, 0, 2, 2, 1, Qt::AlignVCenter);
  display(IndicatorView{});
}

void ActivityIndicator::display(const IndicatorView& view) {
  paint(lblLocalActive, view.patchColour);
  lblLocalActive->setText(view.patchText);
  paint(lblLocalActive2, view.stripColour);
  lblLocalActive2->setText(view.stripText);
  lblLocalActive2->resize(shell::pixelsFromTwips(view.stripTwips), lblLocalActive2->height());
  lblLocalActive3->setText(view.text);
  paint(lblUploading, view.uploadingColour);
  lblUploading->setText(view.uploadingText);
}

}  // namespace corvane::imaging
