#pragma once
// The result list of the "Log" page as a model over one LogTable: ten columns (the first and
// the last three hidden in the view), rows in an order the sorts rearrange.
#include <QAbstractTableModel>
#include <memory>
#include <vector>

#include "status/LogTable.h"

namespace corvane::status {

class LogListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int KeyRole = Qt::UserRole;  // the row's key

  explicit LogListModel(QObject* parent = nullptr);
  ~LogListModel() override;

  void clear();
  // Shows the table's rows in log order.
  void setTable(std::unique_ptr<LogTable> table);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  // Stable: rows with equal texts keep the order the last sort left them in.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  std::unique_ptr<LogTable> table_;
  std::vector<int> order_;  // row shown at each place
};

}  // namespace corvane::status
