#pragma once
// The "Log" page: a search of the service's upload log with its filters, the result list
// Select_Item (ten columns, the first and the last three hidden; one model row per result, so
// a log of a million records lists without a widget item each) and the totals.
#include <QList>
#include <QWidget>

#include "shell/PageSeam.h"
#include "status/LogListModel.h"
#include "status/LogSearch.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace corvane::status {

class LogPage : public QWidget, public shell::LogPageHooks {
  Q_OBJECT
 public:
  explicit LogPage(shell::MainWindowServices& services, QWidget* parent = nullptr);

  // shell::LogPageHooks: true empties the list and enables the filters; false runs the search.
  QWidget* widget() override { return this; }
  void WriteLog(bool firstTime) override;

  void CmdSearch_Click();
  void Check1_Click();
  // column: 1-based, as the list numbers its columns.
  void Select_Item_ColumnClick(int column);
  // Shows the sort mark on a column (image 4 ascending, 5 descending) or takes it away.
  void SetHeaderSortMark(int column, int image, bool show);

  QTreeView* list() const { return Select_Item; }
  LogListModel* model() const { return model_; }
  const ListSort& sortState() const { return sort_; }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void setFiltersEnabled(bool enabled);
  void showTotals(int files, double bytes);

  shell::MainWindowServices& services_;
  QCheckBox* Check1 = nullptr;
  QLineEdit* TxtDays = nullptr;
  QLineEdit* TxtFileExtension = nullptr;
  QLineEdit* TxtFileName = nullptr;
  QList<QRadioButton*> OptAction;
  QPushButton* CmdSearch = nullptr;
  QFrame* Frame8 = nullptr;
  QTreeView* Select_Item = nullptr;
  QWidget* totals_ = nullptr;
  LogListModel* model_ = nullptr;
  QLabel* LblTotFiles = nullptr;
  QLabel* LblTotFileSize = nullptr;
  ListSort sort_{{{4, 7}, {5, 8}, {6, 9}}};
  int search_ = 0;  // counts searches and resets, so a search overtaken while events run stops
};

}  // namespace corvane::status
