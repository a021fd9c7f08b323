#pragma once
// A list of rows with columns that shows either as a report (columns) or as large icons, like
// the folder list of the "Status" page. Rows sort by the text of one column.
#include <QIcon>
#include <QStringList>
#include <QWidget>

class QHeaderView;
class QListView;
class QStackedLayout;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

namespace corvane::status {

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

  // texts: the row's text followed by its sub-items.
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
  QStandardItemModel* model_ = nullptr;
  QTreeView* report_ = nullptr;
  QListView* icons_ = nullptr;
  QStackedLayout* stack_ = nullptr;
  QStringList keys_;
  int filling_ = 0;
  QList<QList<QStandardItem*>> pending_;
  int sortColumn_ = -1;  // the column the rows were sorted by last, -1 before any sort
  bool sortDescending_ = false;
};

}  // namespace corvane::status
