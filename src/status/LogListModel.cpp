#include "status/LogListModel.h"

#include <numeric>

#include "platform/RunAside.h"
#include "platform/Wait.h"

namespace corvane::status {

namespace {
const char* const kHeaders[LogTable::kColumns] = {"",           "File Name",     "File Path",   "File Type", "File Size",
                                                  "Modified Date", "Upload Date", "FileSizeHide", "Mod Date", "TarrowDate"};
}

LogListModel::LogListModel(QObject* parent) : QAbstractTableModel(parent), table_(std::make_unique<LogTable>()) {}
LogListModel::~LogListModel() = default;

void LogListModel::clear() { setTable(std::make_unique<LogTable>()); }

void LogListModel::setTable(std::unique_ptr<LogTable> table) {
  beginResetModel();
  table_ = table ? std::move(table) : std::make_unique<LogTable>();
  order_.resize(size_t(table_->rowCount()));
  std::iota(order_.begin(), order_.end(), 0);
  order_.shrink_to_fit();
  endResetModel();
}

int LogListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(order_.size()); }
int LogListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : LogTable::kColumns; }

QVariant LogListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(order_.size())) return {};
  const int row = order_[size_t(index.row())];
  switch (role) {
    case Qt::DisplayRole: return table_->text(row, index.column());
    case Qt::TextAlignmentRole:
      if (index.column() == LogTable::FileSize) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case KeyRole: return table_->key(row);
    default: return {};
  }
}

QVariant LogListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= LogTable::kColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kHeaders[section]);
  if (role == Qt::TextAlignmentRole && section == LogTable::FileSize)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

void LogListModel::sort(int column, Qt::SortOrder order) {
  // A million rows take a few tenths of a second to sort (the first sort of a column ranks its
  // texts too): that runs on a thread of its own while the window paints the rows as they were
  // (clicks and keys wait meanwhile), on a copy of the order the views keep reading.
  std::vector<int> sorted = order_;
  platform::runAsidePainting(
      [&](const std::atomic<bool>&) { table_->sort(sorted, column, order == Qt::DescendingOrder); });

  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList persistent = persistentIndexList();
  std::vector<int> before;
  before.reserve(size_t(persistent.size()));
  for (const QModelIndex& i : persistent) before.push_back(order_[size_t(i.row())]);
  order_ = std::move(sorted);

  if (!persistent.isEmpty()) {  // selection and current row follow their rows
    std::vector<int> placeOf(order_.size());
    for (size_t place = 0; place < order_.size(); ++place) placeOf[size_t(order_[place])] = int(place);
    QModelIndexList after;
    for (qsizetype k = 0; k < persistent.size(); ++k)
      after << index(placeOf[size_t(before[size_t(k)])], persistent[k].column());
    changePersistentIndexList(persistent, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace corvane::status
