#include "restore/ui/FileList.h"

#include <QFileInfo>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <vector>

#include "handoff/CutTextTips.h"
#include "handoff/SpareWidth.h"
#include "platform/LosslessUtf8.h"
#include "platform/RunAside.h"
#include "platform/Wait.h"
#include "store/DatabaseTrouble.h"

namespace corvane::restore::ui {

namespace {
enum Column { Check = 0, Folder, Name, Ext, Size, DateA, DateB, Uploaded, ColumnCount };

// How long the window paints between looks at work on another thread.
constexpr int kWaitForPlacesMs = 20;

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

const QString& FileListModel::fieldOf(DateOrder order, const UploadedFileRecord& r, int column) {
  const bool createdFirst = order == DateOrder::CreatedFirst;
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

QString FileListModel::text(int row, int column) const { return fieldOf(order_, record(row), column); }

namespace {
// A row's place in a sort by one column. Chasing each row's text through the heap at every
// comparison froze the window for seconds on a catalogue of most of a million files, so the
// first sixteen code units of the text travel with the row, packed big end first into four
// numbers that decide nearly every comparison alone (a date to its minute); the text itself
// (which the records keep unchanged meanwhile) decides the rest.
struct SortKey {
  quint64 head[4];
  const char16_t* text;
  qint32 length;
  qint32 record;  // or, for the shared texts of a column, the text's place among them
};

SortKey sortKeyOf(const QString& s, qint32 record) {
  SortKey k{{0, 0, 0, 0}, reinterpret_cast<const char16_t*>(s.constData()), qint32(s.size()), record};
  const qsizetype n = std::min<qsizetype>(s.size(), 16);
  for (qsizetype i = 0; i < n; ++i) k.head[i / 4] |= quint64(s[i].unicode()) << (48 - 16 * (i % 4));
  return k;
}

// QString's own order: code unit by code unit, a text before every longer text it begins.
bool keyLess(const SortKey& x, const SortKey& y) {
  for (int w = 0; w < 4; ++w)
    if (x.head[w] != y.head[w]) return x.head[w] < y.head[w];
  if (x.text == y.text && x.length == y.length) return false;  // one text shared by both rows
  const qint32 n = std::min(x.length, y.length);
  for (qint32 i = 16; i < n; ++i)
    if (x.text[i] != y.text[i]) return x.text[i] < y.text[i];
  return x.length < y.length;
}

// Each record's place among the column's texts in their order (equal texts, stored together
// or apart, share it). Rows of one folder share one text, and folders tie on long beginnings
// ("C:\Users\..."): when the column's texts are mostly shared, only the few distinct ones are
// sorted. stop, raised from another thread, gives up (what is returned is then of no use).
QVector<qint32> ranksOfTexts(qsizetype n, const std::function<const QString&(qint32)>& text,
                             const std::atomic<bool>& stop) {
  QHash<const void*, qint32> distinct;
  for (qint32 r = 0; r < n; ++r) {
    distinct.insert(text(r).constData(), 0);
    if (distinct.size() > n / 4 + 16) break;
  }
  std::vector<SortKey> keys;
  QVector<qint32> textOfRow;
  if (distinct.size() > n / 4 + 16) {
    keys.reserve(size_t(n));
    for (qint32 r = 0; r < n; ++r) keys.push_back(sortKeyOf(text(r), r));
  } else {
    // Distinct texts by their storage; equal texts stored apart get one place below.
    textOfRow.reserve(n);
    distinct.clear();
    for (qint32 r = 0; r < n; ++r) {
      const QString& t = text(r);
      auto it = distinct.find(t.constData());
      if (it == distinct.end()) {
        it = distinct.insert(t.constData(), qint32(keys.size()));
        keys.push_back(sortKeyOf(t, qint32(keys.size())));
      }
      textOfRow.push_back(*it);
    }
  }
  if (stop) return {};
  // Equal texts get one place, so the order among them is of no matter here.
  std::sort(keys.begin(), keys.end(), keyLess);
  if (stop) return {};
  QVector<qint32> place(qsizetype(keys.size()), 0);  // by record, or by distinct text
  qint32 next = 0;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i > 0 && keyLess(keys[i - 1], keys[i])) ++next;
    place[keys[i].record] = next;
  }
  if (textOfRow.isEmpty()) return place;
  for (qint32& t : textOfRow) t = place[t];
  return textOfRow;
}

// The rows in the order of their records' places (a stable counting sort: rows of equal text
// keep the order they had, in either direction).
QVector<qint32> orderedRows(const QVector<qint32>& rows, const QVector<qint32>& rank, bool descending) {
  qint32 top = 0;
  for (qint32 r : rows) top = std::max(top, rank[r]);
  const auto place = [&](qint32 r) { return descending ? top - rank[r] : rank[r]; };
  QVector<qint32> start(qsizetype(top) + 2, 0);
  for (qint32 r : rows) ++start[place(r) + 1];
  for (qsizetype i = 1; i < start.size(); ++i) start[i] += start[i - 1];
  QVector<qint32> out(rows.size());
  for (qint32 r : rows) out[start[place(r)]++] = r;
  return out;
}
}  // namespace

// Rows of equal text keep their order, in either direction: the order a list shows after a
// click on another header or a refill stays the one it had among them.
void FileListModel::arrange(QVector<qint32> order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  QVector<qint32> oldRecordOfRow;
  for (const QModelIndex& i : before) oldRecordOfRow << shown_[i.row()];
  shown_ = std::move(order);
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
  if (role == Qt::DisplayRole && index.column() != Check)
    return platform::shownText(fieldOf(order_, record(index.row()), index.column()));
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
    : view_(new QTreeView(parent)), model_(new FileListModel(order, view_)), notice_(new QLabel(view_->viewport())) {
  view_->setObjectName(QStringLiteral("lstFileChooser"));
  notice_->setObjectName(QStringLiteral("lblListNotice"));
  notice_->setWordWrap(true);
  notice_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
  notice_->hide();
  auto* noticePlace = new QVBoxLayout(view_->viewport());
  noticePlace->setContentsMargins(24, 24, 24, 24);
  noticePlace->addWidget(notice_);
  noticePlace->addStretch(1);
  view_->setRootIsDecorated(false);
  view_->setUniformRowHeights(true);
  view_->setAllColumnsShowFocus(true);
  view_->setModel(model_);
  handoff::showCutTextsAsTips(view_);
  view_->header()->setSectionsClickable(true);
  view_->header()->setStretchLastSection(false);
  fitColumns();
  handoff::giveSpareWidthTo(view_, Folder);  // folder paths are the texts the list cuts most
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

void FileList::clear() {
  ++refills_;  // a refill still waiting for its order is not shown after this
  model_->clear();
  places_ = Places();
}

const QVector<qint32>* FileList::placesOf(const UploadedFileRecords records, int column,
                                          const std::function<bool()>& wanted) {
  const auto madeFor = [&] {
    return places_.records.constData() == records.constData() && places_.records.size() == records.size();
  };
  if (!madeFor()) places_ = Places{records, {}};
  if (places_.byColumn[size_t(column)]) return &*places_.byColumn[size_t(column)];
  QVector<qint32> made;
  if (filledCount(records) > 0) {
    const platform::BusyPointerWhileWaiting busy;  // while the list waits for its order
    const FileListModel::DateOrder order = model_->dateOrder();
    platform::runAside(
        [&](const std::atomic<bool>& stop) {
          made = ranksOfTexts(
              filledCount(records),
              [&](qint32 r) -> const QString& { return FileListModel::fieldOf(order, records[r], column); }, stop);
        },
        [&] {
          platform::paintPending();
          return wanted();
        },
        kWaitForPlacesMs);
  }
  if (!wanted()) return nullptr;
  if (!madeFor()) places_ = Places{records, {}};  // a refill of other records came in meanwhile
  places_.byColumn[size_t(column)] = std::move(made);
  return &*places_.byColumn[size_t(column)];
}

std::optional<FileList::Totals> FileList::show(const UploadedFileRecords& given,
                                               const std::function<bool(const UploadedFileRecord&)>& filter) {
  const quint64 refill = ++refills_;
  // Held here: the owner may give its records a new value while this refill waits.
  const UploadedFileRecords records = given;
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
  // The places of other records go with them (a catalogue's are tens of megabytes).
  if (places_.records.constData() != records.constData()) places_ = Places();
  // Sorted before it is shown, so that the list never shows its rows out of order meanwhile; a
  // sort asked for while the places were made is the one the rows get.
  while (sorted_) {
    const int column = sortColumn_;
    const bool descending = descending_;
    const QVector<qint32>* places = placesOf(records, column, [&] { return refill == refills_; });
    if (!places) return std::nullopt;
    if (!sorted_ || column != sortColumn_ || descending != descending_) continue;
    shown = orderedRows(shown, *places, descending);
    break;
  }
  model_->reset(records, std::move(shown));
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
  const quint64 sort = ++sorts_;
  const quint64 refill = refills_;
  const QVector<qint32>* places =
      placesOf(model_->records(), sortColumn_, [&] { return sort == sorts_ && refill == refills_; });
  // A later click or refill has put the rows in the order the list is to have.
  if (!places) return;
  model_->arrange(orderedRows(model_->shownRecords(), *places, descending_));
  const QModelIndex current = view_->currentIndex();
  if (current.isValid() && view_->selectionModel()->isSelected(current)) view_->scrollTo(current);
}

void FileList::setNotice(const QString& text) {
  notice_->setText(text);
  notice_->setVisible(!text.isEmpty());
}

QString FileList::notice() const { return notice_->isHidden() ? QString() : notice_->text(); }

void FileList::setAllChecked(bool ticked) { model_->setAllChecked(ticked); }

QList<UploadedFileRecord> FileList::checkedRecords() const {
  // Copying 200,000 ticked records touches each of their texts, a tenth of a second: aside, with
  // the window painting. The model's vectors are held here, so a change of the list meanwhile
  // leaves these as they were.
  const UploadedFileRecords records = model_->records();
  const QVector<qint32> shown = model_->shownRecords();
  const QVector<quint8> ticked = model_->tickedRecords();
  QList<UploadedFileRecord> out;
  platform::runAsidePainting([&](const std::atomic<bool>&) {
    for (const qint32 r : shown)
      if (ticked[r]) out << records[r];
  });
  return out;
}

QList<UploadedFileRecord> FileList::rows() const {
  QList<UploadedFileRecord> out;
  out.reserve(model_->rowCount());
  for (int i = 0; i < model_->rowCount(); ++i) out << model_->record(i);
  return out;
}

std::function<bool(const UploadedFileRecord&)> FilterBoxes::filter() const {
  const QLineEdit* box = last_ == Box::FileName ? fileName_ : last_ == Box::Extension ? extension_ : nullptr;
  const QString text = box ? box->text() : QString();
  if (text.isEmpty()) return {};
  if (last_ == Box::FileName) return [text](const UploadedFileRecord& r) { return MatchesPrefix(r.FileName, text); };
  return [text](const UploadedFileRecord& r) { return MatchesPrefix(r.Extension, text); };
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

QString damagedCatalogueText(const QString& db) {
  const QString name = QFileInfo(db).fileName();
  if (name == QLatin1String("Files.db"))
    return QStringLiteral("Corvane Files.db is damaged - its file list cannot be shown.");
  // The download catalogue is made anew by Change Identity, which Sync never touches.
  const QString again = name.endsWith(QLatin1String("Download.db"))
                            ? QStringLiteral("Press DL List, tick the computer and press Change Identity to fetch it "
                                             "again.")
                            : QStringLiteral("Press Sync to fetch it again.");
  return QStringLiteral("Corvane The catalogue copy %1 is damaged - its file list cannot be shown. ").arg(name) + again;
}

bool lookCatalogueThrough(const QString& db, const std::function<bool()>& stillWanted) {
  store::checkDatabasesAside({db}, [&] {
    platform::doEvents();
    return stillWanted();
  });
  return store::isKnownDamaged(db);
}

CatalogueRead readCatalogueForList(const QString& db, UploadedFileRecords& records, FileList& list, QLabel* progress,
                                   quint64& generation, bool* busy) {
  // A damaged page is met only when a statement reads it: a catalogue not looked through in this
  // run is looked through first. A view started meanwhile takes over.
  const quint64 view = generation;
  progress->setText(QStringLiteral("Corvane Checking the file list..."));
  const bool damaged = lookCatalogueThrough(db, [&] { return view == generation; });
  if (view != generation) return CatalogueRead::Superseded;
  if (!damaged && !readUploadedFilesInSteps(db, records, progress, generation, busy)) return CatalogueRead::Superseded;
  const bool damagedNow = store::isKnownDamaged(db);
  if (damagedNow) {
    records = freshRecords();
    list.clear();
    progress->clear();
  }
  store::tellDatabaseTrouble(QFileInfo(db).absolutePath());
  return damagedNow ? CatalogueRead::Damaged : CatalogueRead::Read;
}

}  // namespace corvane::restore::ui
