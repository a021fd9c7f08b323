#pragma once
// The catalogue file list (lstFileChooser) shared by the restore page and the restore file
// chooser: rows from records, prefix filters, sorting by a column's text, ticks. A catalogue
// can hold hundreds of thousands of files, so the list is a view over a model that shares the
// owner's records (one copy of each row) and keeps only the shown order and the ticks.
#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QVector>
#include <array>
#include <functional>
#include <optional>

#include "restore/RestoreCatalogue.h"

class QLabel;
class QLineEdit;
class QTreeView;
class QWidget;

namespace corvane::restore::ui {

// Columns: 0 the check box (no text), then Folder, Filename, Ext., Size and the three dates.
class FileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // Column order of the dates: the page shows Created, Last Modified, Uploaded; the file
  // chooser Last Modified, Created, Uploaded.
  enum class DateOrder { CreatedFirst, ModifiedFirst };
  explicit FileListModel(DateOrder order, QObject* parent = nullptr);

  // Shows the given records (indexes into records, in this order); every row unticked.
  void reset(const UploadedFileRecords& records, QVector<qint32> shown);
  void clear();
  // The shown records in a new order (the same records; ticks kept).
  void arrange(QVector<qint32> order);
  const UploadedFileRecords& records() const { return records_; }
  const QVector<qint32>& shownRecords() const { return shown_; }
  const QVector<quint8>& tickedRecords() const { return ticked_; }  // per record
  // A record's text in a column of a list of that date order.
  static const QString& fieldOf(DateOrder order, const UploadedFileRecord& r, int column);
  DateOrder dateOrder() const { return order_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  QString text(int row, int column) const;
  const UploadedFileRecord& record(int row) const { return records_[shown_[row]]; }
  bool isChecked(int row) const { return ticked_[shown_[row]] != 0; }
  void setChecked(int row, bool ticked);
  void setAllChecked(bool ticked);

 private:
  DateOrder order_;
  UploadedFileRecords records_;  // shared with the owner, never changed here
  QVector<qint32> shown_;
  QVector<quint8> ticked_;       // per record
};

class FileList {
 public:
  using DateOrder = FileListModel::DateOrder;
  FileList(QWidget* parent, DateOrder order);

  QTreeView* widget() const { return view_; }
  FileListModel& model() const { return *model_; }

  // Shows every filled record that passes the filter (all when no filter), unticked, in
  // record order (or the current sort). Returns the count and the size total of the rows shown;
  // nothing when a newer refill took over while this one waited for its order (that one shows
  // its own rows then).
  struct Totals {
    double count = 0;
    double bytes = 0;
  };
  std::optional<Totals> show(const UploadedFileRecords& records,
                             const std::function<bool(const UploadedFileRecord&)>& filter = {});
  void clear();

  // A header click: the sorted column again reverses the order; another column sorts ascending.
  // The first sort by a column of a catalogue places its texts on a thread of its own (most of
  // a million of them take about half a second) with the window painting and the pointer busy;
  // clicks and keys wait meanwhile, so each runs on the list as the one before left it. Each
  // later sort by that column, and each refill of a sorted list, takes a few milliseconds.
  void ColumnClick(int column);
  bool sorted() const { return sorted_; }
  int sortColumn() const { return sortColumn_; }
  bool descending() const { return descending_; }

  // A text shown in place of the rows, wrapped to the list's width ("" hides it): why the list is
  // empty (a busy or damaged catalogue) needs more room than a line beside the filter boxes.
  void setNotice(const QString& text);
  QString notice() const;

  int rowCount() const { return model_->rowCount(); }
  void setRowChecked(int row, bool ticked) { model_->setChecked(row, ticked); }
  void setAllChecked(bool ticked);
  // The ticked rows, first to last, as records (the texts as shown).
  QList<UploadedFileRecord> checkedRecords() const;
  // Every row, first to last.
  QList<UploadedFileRecord> rows() const;

 private:
  void fitColumns();
  // The places of a column's texts among these records, made once (see ColumnClick); nullptr
  // when wanted() turned false while they were made (a newer refill or sort took over).
  const QVector<qint32>* placesOf(const UploadedFileRecords records, int column, const std::function<bool()>& wanted);
  QTreeView* view_;
  FileListModel* model_;
  QLabel* notice_;
  bool sorted_ = false;
  int sortColumn_ = 0;
  bool descending_ = false;
  // The places, one slot per column, for the records they were made for (held, so that no
  // other records can take their storage while they are kept).
  struct Places {
    UploadedFileRecords records;
    std::array<std::optional<QVector<qint32>>, 8> byColumn;
  };
  Places places_;
  // They count refills and sorts: one that starts while another waits for its places takes over.
  quint64 refills_ = 0;
  quint64 sorts_ = 0;
};

// The list's two filter boxes. Each change filters by its own box alone, and every later refill
// of the list from its records (another catalogue, a Sync, the chooser shown again) keeps to the
// box that changed last: a box still holding text with every file listed under it would tell the
// user the files match it.
class FilterBoxes {
 public:
  enum class Box { None, FileName, Extension };
  FilterBoxes(const QLineEdit* fileName, const QLineEdit* extension) : fileName_(fileName), extension_(extension) {}
  void changed(Box box) { last_ = box; }
  // The rows that box's text lets through; empty (every row) when its text is empty.
  std::function<bool(const UploadedFileRecord&)> filter() const;

 private:
  const QLineEdit* fileName_;
  const QLineEdit* extension_;
  Box last_ = Box::None;
};

// Reads a catalogue's uploaded files into records while the window answers, the rows read so
// far shown in progress. Each read takes a new number from generation; a read started
// meanwhile (a nested one, from an event) makes this one give up and return false, leaving
// records as they were. busy tells a read that failed because the database stayed busy.
bool readUploadedFilesInSteps(const QString& db, UploadedFileRecords& records, QLabel* progress, quint64& generation,
                              bool* busy = nullptr);
// What a list says instead of its figures when its catalogue stayed busy: an empty list would
// read as a catalogue without files.
QString busyCatalogueText();

// What a list says instead of its files when its catalogue is damaged (an empty list would read
// as a computer without files), with how to fetch it again: Sync for a catalogue copy, Change
// Identity (DL List) for a download catalogue; this computer's Files.db is fetched by nothing.
QString damagedCatalogueText(const QString& db);

// Looks the catalogue through for damage once in the run while the window answers (stillWanted
// as checkDatabasesAside's answer). True when it is known to be damaged.
bool lookCatalogueThrough(const QString& db, const std::function<bool()>& stillWanted);

enum class CatalogueRead { Superseded, Read, Damaged };
// A catalogue's uploaded files for a list: looked through first ("Corvane Checking the file
// list..." in progress), then read as readUploadedFilesInSteps reads. Superseded when another
// view took over meanwhile (records are then that view's). A damaged catalogue leaves records
// empty (rows read past a damaged page are no files to restore) and its trouble is told, once
// per file and run, with list emptied first (the message says none of its files are shown).
CatalogueRead readCatalogueForList(const QString& db, UploadedFileRecords& records, FileList& list, QLabel* progress,
                                   quint64& generation, bool* busy = nullptr);

}  // namespace corvane::restore::ui
