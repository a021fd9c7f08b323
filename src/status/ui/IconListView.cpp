#include "status/ui/IconListView.h"

#include <QHeaderView>
#include <QListView>
#include <QStackedLayout>
#include <QTreeView>
#include <algorithm>
#include <numeric>

#include "status/ui/HeaderFit.h"

namespace corvane::status {

void IconListModel::clearRows() {
  if (rows_.empty()) return;
  beginResetModel();
  rows_ = {};
  endResetModel();
}

void IconListModel::clearColumns() {
  beginResetModel();
  rows_ = {};
  headers_.clear();
  endResetModel();
}

void IconListModel::addColumn(const QString& header) {
  const int c = int(headers_.size());
  beginInsertColumns({}, c, c);
  headers_ << header;
  endInsertColumns();
}

void IconListModel::appendRows(std::vector<std::pair<QStringList, QIcon>> rows, int sortColumn, Qt::SortOrder order) {
  if (rows.empty()) return;
  const bool sorted = sortColumn >= 0 && sortColumn < headers_.size();
  if (sorted) beginResetModel();
  else beginInsertRows({}, int(rows_.size()), int(rows_.size() + rows.size()) - 1);
  rows_.reserve(rows_.size() + rows.size());
  for (auto& [texts, icon] : rows) rows_.push_back({std::move(texts), std::move(icon)});
  if (sorted) {
    std::vector<int> newPlace;
    arrange(sortColumn, order, newPlace);
    endResetModel();
  } else {
    endInsertRows();
  }
}

QString IconListModel::text(int row, int column) const {
  if (row < 0 || size_t(row) >= rows_.size()) return {};
  return rows_[size_t(row)].texts.value(column);
}

int IconListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(rows_.size()); }
int IconListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(headers_.size()); }

QVariant IconListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || size_t(index.row()) >= rows_.size()) return {};
  const Row& r = rows_[size_t(index.row())];
  if (role == Qt::DisplayRole) return r.texts.value(index.column());
  if (role == Qt::DecorationRole && index.column() == 0 && !r.icon.isNull()) return r.icon;
  return {};
}

QVariant IconListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size()) return {};
  return headers_[section];
}

void IconListModel::arrange(int column, Qt::SortOrder order, std::vector<int>& newPlace) {
  std::vector<QString> keys(rows_.size());
  for (size_t r = 0; r < rows_.size(); ++r) keys[r] = rows_[r].texts.value(column).toCaseFolded();
  std::vector<int> place(rows_.size());  // the row that comes at each place
  std::iota(place.begin(), place.end(), 0);
  const bool descending = order == Qt::DescendingOrder;
  std::stable_sort(place.begin(), place.end(), [&](int a, int b) {
    const int c = QString::compare(keys[size_t(a)], keys[size_t(b)], Qt::CaseSensitive);
    return descending ? c > 0 : c < 0;
  });
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  newPlace.assign(rows_.size(), 0);
  for (size_t p = 0; p < place.size(); ++p) {
    sorted.push_back(std::move(rows_[size_t(place[p])]));
    newPlace[size_t(place[p])] = int(p);
  }
  rows_ = std::move(sorted);
}

void IconListModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= headers_.size()) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList persistent = persistentIndexList();
  std::vector<int> newPlace;
  arrange(column, order, newPlace);
  QModelIndexList moved;  // selection and current row follow their rows
  for (const QModelIndex& i : persistent) moved << index(newPlace[size_t(i.row())], i.column());
  changePersistentIndexList(persistent, moved);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

IconListView::IconListView(QWidget* parent) : QWidget(parent) {
  model_ = new IconListModel(this);
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
  pending_.clear();
  model_->clearRows();
}

void IconListView::clearColumns() {
  pending_.clear();
  model_->clearColumns();
  keys_.clear();
}

void IconListView::addColumn(const QString& key, const QString& header, int widthTwips) {
  const int c = model_->columnCount();
  model_->addColumn(header);
  keys_ << key;
  report_->setColumnWidth(c, headerWidth(report_->header(), c, widthTwips));
}

int IconListView::columnCount() const { return model_->columnCount(); }
QString IconListView::columnKey(int column) const { return keys_.value(column); }
QString IconListView::columnHeader(int column) const { return model_->header(column); }

void IconListView::addRow(const QStringList& texts, const QIcon& icon) {
  if (filling_ > 0) {
    pending_.emplace_back(texts, icon);
    return;
  }
  std::vector<std::pair<QStringList, QIcon>> one;
  one.emplace_back(texts, icon);
  model_->appendRows(std::move(one));  // at the end, as the list takes a row outside a fill
}

void IconListView::beginRows() { ++filling_; }

void IconListView::endRows() {
  if (filling_ == 0 || --filling_ > 0) return;
  model_->appendRows(std::move(pending_), sortColumn_, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  pending_ = {};
}

int IconListView::rowCount() const { return model_->rowCount(); }
QString IconListView::text(int row, int column) const { return model_->text(row, column); }

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
