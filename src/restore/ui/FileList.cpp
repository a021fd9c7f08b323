#include "restore/ui/FileList.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTreeView>
#include <algorithm>

#include "platform/Wait.h"

namespace corvane::restore::ui {

namespace {
enum Column { Check = 0, Folder, Name, Ext, Size, DateA, DateB, Uploaded, ColumnCount };

const QString& noText() {
  static const QString empty;
  return empty;
}

// A size text read as a number of bytes, false when it is none. Sizes are nearly always
// plain digits, read here without the general number reading (whole lists are summed).
bool sizeValue(const QString& text, double& value) {
  if (!text.isEmpty() && text.size() <= 15) {
    qint64 v = 0;
    bool digits = true;
    for (const QChar c : text) {
      if (c < u'0' || c > u'9') {
        digits = false;
        break;
      }
      v = v * 10 + (c.unicode() - u'0');
    }
    if (digits) {
      value = double(v);
      return true;
    }
  }
  bool ok = false;
  value = text.trimmed().toDouble(&ok);
  return ok;
}
}  // namespace

FileListModel::FileListModel(DateOrder order, QObject* parent) : QAbstractTableModel(parent), order_(order) {}

void FileListModel::reset(const UploadedFileRecords& records, QVector<qint32> shown) {
  beginResetModel();
  records_ = records;
  shown_ = std::move(shown);
  ticked_ = QVector<quint8>(records_.size(), 0);
  endResetModel();
}

void FileListModel::clear() { reset(UploadedFileRecords(), {}); }

const QString& FileListModel::field(const UploadedFileRecord& r, int column) const {
  const bool createdFirst = order_ == DateOrder::CreatedFirst;
  switch (column) {
    case Folder: return r.Folder;
    case Name: return r.FileName;
    case Ext: return r.Extension;
    case Size: return r.FileSize;
    case DateA: return createdFirst ? r.DateCreated : r.DateLastModified;
    case DateB: return createdFirst ? r.DateLastModified : r.DateCreated;
    case Uploaded: return r.DateUploaded;
    default: return noText();
  }
}

QString FileListModel::text(int row, int column) const { return field(record(row), column); }

// The list compares column texts as text, case counted; rows of equal text keep their order,
// in either direction.
void FileListModel::sortBy(int column, bool descending) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  QVector<qint32> oldRecordOfRow;
  for (const QModelIndex& i : before) oldRecordOfRow << shown_[i.row()];
  auto key = [&](qint32 r) -> const QString& { return field(records_[r], column); };
  if (descending)
    std::stable_sort(shown_.begin(), shown_.end(), [&](qint32 a, qint32 b) { return key(b) < key(a); });
  else
    std::stable_sort(shown_.begin(), shown_.end(), [&](qint32 a, qint32 b) { return key(a) < key(b); });
  if (!before.isEmpty()) {
    QVector<qint32> rowOfRecord(records_.size(), 0);
    for (int row = 0; row < shown_.size(); ++row) rowOfRecord[shown_[row]] = row;
    QModelIndexList after;
    for (int k = 0; k < before.size(); ++k) after << index(rowOfRecord[oldRecordOfRow[k]], before[k].column());
    changePersistentIndexList(before, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(shown_.size()); }
int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= shown_.size()) return {};
  if (role == Qt::DisplayRole && index.column() != Check) return field(record(index.row()), index.column());
  if (role == Qt::CheckStateRole && index.column() == Check) return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != Check || role != Qt::CheckStateRole) return false;
  setChecked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == Check) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const bool createdFirst = order_ == DateOrder::CreatedFirst;
  switch (section) {
    case Folder: return QStringLiteral("Folder");
    case Name: return QStringLiteral("Filename");
    case Ext: return QStringLiteral("Ext.");
    case Size: return QStringLiteral("Size");
    case DateA: return createdFirst ? QStringLiteral("Date Created") : QStringLiteral("Date Last Modified");
    case DateB: return createdFirst ? QStringLiteral("Date Last Modified") : QStringLiteral("Date Created");
    case Uploaded: return QStringLiteral("Date Uploaded");
    default: return QString();
  }
}

void FileListModel::setChecked(int row, bool ticked) {
  ticked_[shown_[row]] = ticked ? 1 : 0;
  const QModelIndex i = index(row, Check);
  emit dataChanged(i, i, {Qt::CheckStateRole});
}

void FileListModel::setAllChecked(bool ticked) {
  for (qint32 r : shown_) ticked_[r] = ticked ? 1 : 0;
  if (!shown_.isEmpty()) emit dataChanged(index(0, Check), index(int(shown_.size()) - 1, Check), {Qt::CheckStateRole});
}

// ---- the list ------------------------------------------------------------------------------

FileList::FileList(QWidget* parent, DateOrder order)
    : view_(new QTreeView(parent)), model_(new FileListModel(order, view_)) {
  view_->setObjectName(QStringLiteral("lstFileChooser"));
  view_->setRootIsDecorated(false);
  view_->setUniformRowHeights(true);
  view_->setAllColumnsShowFocus(true);
  view_->setModel(model_);
  view_->header()->setSectionsClickable(true);
  view_->header()->setStretchLastSection(false);
  fitColumns();
  QObject::connect(view_->header(), &QHeaderView::sectionClicked, view_, [this](int c) { ColumnClick(c); });
}

// Every header shows its whole caption, with room for the sort arrow that a click adds, and
// the date columns their whole date.
void FileList::fitColumns() {
  QHeaderView* h = view_->header();
  const QFontMetrics headerFont(h->font());
  const QFontMetrics rowFont(view_->font());
  const int cellPadding = 4 * view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 8;
  auto contentWidth = [&](int column) {
    switch (column) {
      case Folder: return rowFont.horizontalAdvance(QStringLiteral("C:\\Users\\Ann\\Documents"));
      case Name: return rowFont.horizontalAdvance(QStringLiteral("Quarterly report."));
      case Ext: return rowFont.horizontalAdvance(QStringLiteral("docx"));
      case Size: return rowFont.horizontalAdvance(QStringLiteral("0000000000"));
      case DateA:
      case DateB:
      case Uploaded: return rowFont.horizontalAdvance(QStringLiteral("0000-00-00 00-00-00"));
      default: return 0;
    }
  };
  // The header's own measure of a caption, taken as it is once a click has shown the arrow.
  const bool arrowShown = h->isSortIndicatorShown();
  h->setSortIndicatorShown(true);
  QList<int> captionWidths;
  for (int c = 0; c < ColumnCount; ++c) {
    const QString caption = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    captionWidths << std::max(h->sectionSizeHint(c),
                              headerFont.horizontalAdvance(caption) + headerFont.height() +
                                  3 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h));
  }
  h->setSortIndicatorShown(arrowShown);
  view_->setColumnWidth(Check, view_->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, view_) + cellPadding);
  for (int c = Folder; c < ColumnCount; ++c)
    view_->setColumnWidth(c, std::max(captionWidths[c], contentWidth(c) + cellPadding));
}

void FileList::clear() { model_->clear(); }

FileList::Totals FileList::show(const UploadedFileRecords& records,
                                const std::function<bool(const UploadedFileRecord&)>& filter) {
  Totals t;
  QVector<qint32> shown;
  const qsizetype n = filledCount(records);
  shown.reserve(n);
  for (qsizetype i = 0; i < n; ++i) {
    const UploadedFileRecord& r = records[i];
    if (filter && !filter(r)) continue;
    shown.push_back(qint32(i));
    double size = 0;
    if (sizeValue(r.FileSize, size)) t.bytes += size;  // a size that is not a number adds nothing
    t.count += 1;
  }
  model_->reset(records, std::move(shown));
  if (sorted_) model_->sortBy(sortColumn_, descending_);
  return t;
}

void FileList::ColumnClick(int column) {
  if (sorted_ && sortColumn_ == column) {
    descending_ = !descending_;
  } else {
    sorted_ = true;
    sortColumn_ = column;
    descending_ = false;
  }
  view_->header()->setSortIndicatorShown(true);
  view_->header()->setSortIndicator(sortColumn_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  model_->sortBy(sortColumn_, descending_);
  const QModelIndex current = view_->currentIndex();
  if (current.isValid() && view_->selectionModel()->isSelected(current)) view_->scrollTo(current);
}

void FileList::setAllChecked(bool ticked) { model_->setAllChecked(ticked); }

QList<UploadedFileRecord> FileList::checkedRecords() const {
  QList<UploadedFileRecord> out;
  for (int i = 0; i < model_->rowCount(); ++i)
    if (model_->isChecked(i)) out << model_->record(i);
  return out;
}

QList<UploadedFileRecord> FileList::rows() const {
  QList<UploadedFileRecord> out;
  out.reserve(model_->rowCount());
  for (int i = 0; i < model_->rowCount(); ++i) out << model_->record(i);
  return out;
}

bool readUploadedFilesInSteps(const QString& db, UploadedFileRecords& records, QLabel* progress, quint64& generation,
                              bool* busy) {
  const quint64 read = ++generation;
  progress->setText(QStringLiteral("Corvane Reading file list..."));
  DBSelectAllUploadedFilesAside(
      db, records,
      [&](qint64 rows) {
        if (rows > 0) progress->setText(QStringLiteral("Corvane Reading file list - %1 files...").arg(rows));
        platform::doEvents();
        return read == generation;  // another view or a sync has started meanwhile
      },
      busy);
  return read == generation;
}

QString busyCatalogueText() {
  return QStringLiteral("Corvane The catalogue is busy - its file list could not be read. Choose it again to retry.");
}

}  // namespace corvane::restore::ui
