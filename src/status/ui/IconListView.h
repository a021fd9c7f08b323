#pragma once
// A list of rows with columns that shows either as a report (columns) or as large icons, like
// the folder list of the "Status" page. Rows sort by the text of one column.
#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <QWidget>
#include <vector>

class QHeaderView;
class QListView;
class QStackedLayout;
class QTreeView;

namespace corvane::status {

// The rows of the list, each held once: its texts and its icon (shared with every row of the
// same kind). A folder of twenty thousand files made as many items per cell, and clearing them
// one by one froze the window for a second.
class IconListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void clearRows();
  void clearColumns();
  void addColumn(const QString& header);
  // texts: the row's text followed by its sub-items. With a sort column (>= 0) all rows are put
  // in that order, the views laid out once.
  void appendRows(std::vector<std::pair<QStringList, QIcon>> rows, int sortColumn = -1,
                  Qt::SortOrder order = Qt::AscendingOrder);
  QString text(int row, int column) const;
  QString header(int column) const { return headers_.value(column); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  // By the column's text without regard to letter case; rows of equal text keep their order.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 private:
  struct Row {
    QStringList texts;
    QIcon icon;
  };
  // Puts the rows in the order of a column; newPlace[old row] is its place now.
  void arrange(int column, Qt::SortOrder order, std::vector<int>& newPlace);
  QStringList headers_;
  std::vector<Row> rows_;
};

class IconListView : public QWidget {
  Q_OBJECT
 public:
  explicit IconListView(QWidget* parent = nullptr);

  void clearRows();
  void clearColumns();
  void addColumn(const QString& key, const QString& header, int widthTwips);
  int columnCount() const;
  QString columnKey(int column) const;
  QString columnHeader(int column) const;

  // texts: the row's text followed by its sub-items; the icon is shared, not copied per row.
  void addRow(const QStringList& texts, const QIcon& icon);
  // Rows added between these two come into the list together, in its sort order, when the
  // outermost pair ends: a list laid out anew at each pass of the window's events while
  // thousands of rows came in took seconds.
  void beginRows();
  void endRows();
  int rowCount() const;
  QString text(int row, int column) const;

  void setReportView(bool report);
  bool reportView() const;
  // Sorts the rows by the text of a column (0-based), without regard to letter case.
  void sortRows(int column, bool descending);

  QHeaderView* header() const;
  QTreeView* reportWidget() const { return report_; }
  QListView* iconWidget() const { return icons_; }

 signals:
  void columnClicked(int column);  // 1-based, as the list numbers its columns

 private:
  IconListModel* model_ = nullptr;
  QTreeView* report_ = nullptr;
  QListView* icons_ = nullptr;
  QStackedLayout* stack_ = nullptr;
  QStringList keys_;
  int filling_ = 0;
  std::vector<std::pair<QStringList, QIcon>> pending_;
  int sortColumn_ = -1;  // the column the rows were sorted by last, -1 before any sort
  bool sortDescending_ = false;
};

}  // namespace corvane::status
