#pragma once
// The catalogue file list (lstFileChooser) shared by the restore page and the restore file
// chooser: rows from records, prefix filters, sorting by a column's text, ticks.
#include <QList>
#include <QString>
#include <functional>

#include "restore/RestoreCatalogue.h"

class QTreeWidget;
class QWidget;

namespace corvane::restore::ui {

class FileList {
 public:
  // Column order of the dates: the page shows Created, Last Modified, Uploaded; the file
  // chooser Last Modified, Created, Uploaded.
  enum class DateOrder { CreatedFirst, ModifiedFirst };
  FileList(QWidget* parent, DateOrder order);

  QTreeWidget* widget() const { return list_; }

  // Clears the rows and shows every filled record that passes the filter (all when no filter).
  // Returns the count and the size total of the rows shown.
  struct Totals {
    double count = 0;
    double bytes = 0;
  };
  Totals show(const UploadedFileRecords& records, const std::function<bool(const UploadedFileRecord&)>& filter = {});
  void clear();

  // A header click: the sorted column again reverses the order; another column sorts ascending.
  void ColumnClick(int column);
  bool sorted() const { return sorted_; }
  int sortColumn() const { return sortColumn_; }
  bool descending() const { return descending_; }

  void setAllChecked(bool ticked);
  // The ticked rows, first to last, as records (the texts as shown).
  QList<UploadedFileRecord> checkedRecords() const;
  // Every row, first to last (for tests and callers that look at the order).
  QList<UploadedFileRecord> rows() const;

 private:
  void applySort();
  UploadedFileRecord recordOf(int row) const;
  QTreeWidget* list_;
  DateOrder order_;
  bool sorted_ = false;
  int sortColumn_ = 0;
  bool descending_ = false;
};

}  // namespace corvane::restore::ui
