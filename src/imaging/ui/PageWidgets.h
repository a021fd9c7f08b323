#pragma once
// Small builders shared by the frames of the imaging setup page and the engine panel.
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringList>
#include <QToolButton>

namespace corvane::imaging::page {

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

inline QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
  return named(new QPushButton(caption, parent), name);
}

inline QGroupBox* group(QWidget* parent, const char* name, const QString& caption) {
  return named(new QGroupBox(caption, parent), name);
}

// A drop-down list's items replaced by code, which runs none of the user's change handlers.
inline void refill(QComboBox* list, const QStringList& items) {
  const QSignalBlocker block(list);
  list->clear();
  list->addItems(items);
}

// A text box with its up and down buttons in one grid cell; the box is wide enough for the
// widest text it takes.
inline QLineEdit* spinner(QWidget* parent, QGridLayout* grid, int row, int col, const char* box, const char* up,
                          const char* down, const QString& widest, QList<QToolButton*>* buttons = nullptr) {
  auto* edit = named(new QLineEdit(parent), box);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(widest) + 18);
  auto* upButton = named(new QToolButton(parent), up);
  upButton->setArrowType(Qt::UpArrow);
  auto* downButton = named(new QToolButton(parent), down);
  downButton->setArrowType(Qt::DownArrow);
  auto* cell = new QHBoxLayout;
  cell->setSpacing(1);
  cell->addWidget(edit);
  cell->addWidget(upButton);
  cell->addWidget(downButton);
  cell->addStretch();
  grid->addLayout(cell, row, col);
  if (buttons) *buttons << upButton << downButton;
  return edit;
}

}  // namespace corvane::imaging::page
