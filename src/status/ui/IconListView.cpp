#include "status/ui/IconListView.h"

#include <QHeaderView>
#include <QListView>
#include <QStackedLayout>
#include <QStandardItemModel>
#include <QTreeView>

#include "status/ui/HeaderFit.h"

namespace corvane::status {

namespace {
constexpr int kSortRole = Qt::UserRole + 7;  // the text, case-folded
}

IconListView::IconListView(QWidget* parent) : QWidget(parent) {
  model_ = new QStandardItemModel(this);
  model_->setSortRole(kSortRole);
  report_ = new QTreeView(this);
  report_->setObjectName("lvwIconsReport");
  report_->setModel(model_);
  report_->setRootIsDecorated(false);
  report_->setUniformRowHeights(true);
  report_->setIconSize(QSize(16, 16));
  report_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  report_->header()->setSectionsClickable(true);
  icons_ = new QListView(this);
  icons_->setObjectName("lvwIconsIcons");
  icons_->setModel(model_);
  icons_->setViewMode(QListView::IconMode);
  icons_->setIconSize(QSize(32, 32));
  icons_->setResizeMode(QListView::Adjust);
  icons_->setWordWrap(true);
  icons_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  stack_ = new QStackedLayout(this);
  stack_->setContentsMargins(0, 0, 0, 0);
  stack_->addWidget(icons_);
  stack_->addWidget(report_);
  connect(report_->header(), &QHeaderView::sectionClicked, this, [this](int s) { emit columnClicked(s + 1); });
}

void IconListView::clearRows() {
  for (const QList<QStandardItem*>& row : std::as_const(pending_)) qDeleteAll(row);
  pending_.clear();
  model_->removeRows(0, model_->rowCount());
}

void IconListView::clearColumns() {
  clearRows();
  model_->clear();
  keys_.clear();
}

void IconListView::addColumn(const QString& key, const QString& header, int widthTwips) {
  const int c = model_->columnCount();
  model_->setColumnCount(c + 1);
  model_->setHorizontalHeaderItem(c, new QStandardItem(header));
  keys_ << key;
  report_->setColumnWidth(c, headerWidth(report_->header(), c, widthTwips));
}

int IconListView::columnCount() const { return model_->columnCount(); }
QString IconListView::columnKey(int column) const { return keys_.value(column); }
QString IconListView::columnHeader(int column) const {
  const QStandardItem* h = model_->horizontalHeaderItem(column);
  return h ? h->text() : QString();
}

void IconListView::addRow(const QStringList& texts, const QIcon& icon) {
  QList<QStandardItem*> cells;
  for (int c = 0; c < std::max<qsizetype>(texts.size(), model_->columnCount()); ++c) {
    auto* cell = new QStandardItem(texts.value(c));
    cell->setData(texts.value(c).toCaseFolded(), kSortRole);
    if (c == 0) cell->setIcon(icon);
    cells << cell;
  }
  if (filling_ > 0) pending_ << cells;
  else model_->appendRow(cells);
}

void IconListView::beginRows() { ++filling_; }

void IconListView::endRows() {
  if (filling_ == 0 || --filling_ > 0) return;
  for (const QList<QStandardItem*>& row : std::as_const(pending_)) model_->appendRow(row);
  pending_.clear();
  if (sortColumn_ >= 0) model_->sort(sortColumn_, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

int IconListView::rowCount() const { return model_->rowCount(); }

QString IconListView::text(int row, int column) const {
  const QStandardItem* cell = model_->item(row, column);
  return cell ? cell->text() : QString();
}

void IconListView::setReportView(bool report) { stack_->setCurrentWidget(report ? static_cast<QWidget*>(report_) : icons_); }
bool IconListView::reportView() const { return stack_->currentWidget() == report_; }

void IconListView::sortRows(int column, bool descending) {
  sortColumn_ = column;
  sortDescending_ = descending;
  model_->sort(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
  report_->header()->setSortIndicatorShown(true);
  report_->header()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

QHeaderView* IconListView::header() const { return report_->header(); }

}  // namespace corvane::status
