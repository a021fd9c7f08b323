#include "restore/ui/FileList.h"

#include <QHeaderView>
#include <QTreeWidget>

namespace corvane::restore::ui {

namespace {
enum Column { Check = 0, Folder, Name, Ext, Size, DateA, DateB, Uploaded };
}

FileList::FileList(QWidget* parent, DateOrder order) : list_(new QTreeWidget(parent)), order_(order) {
  list_->setObjectName(QStringLiteral("lstFileChooser"));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setColumnCount(8);
  QStringList headers{QString(), QStringLiteral("Folder"), QStringLiteral("Filename"), QStringLiteral("Ext."),
                      QStringLiteral("Size")};
  if (order_ == DateOrder::CreatedFirst)
    headers << QStringLiteral("Date Created") << QStringLiteral("Date Last Modified");
  else
    headers << QStringLiteral("Date Last Modified") << QStringLiteral("Date Created");
  headers << QStringLiteral("Date Uploaded");
  list_->setHeaderLabels(headers);
  list_->setColumnWidth(Check, 28);
  list_->header()->setSectionsClickable(true);
  QObject::connect(list_->header(), &QHeaderView::sectionClicked, list_, [this](int c) { ColumnClick(c); });
}

void FileList::clear() { list_->clear(); }

FileList::Totals FileList::show(const UploadedFileRecords& records,
                                const std::function<bool(const UploadedFileRecord&)>& filter) {
  Totals t;
  list_->setUpdatesEnabled(false);
  list_->clear();
  QList<QTreeWidgetItem*> items;
  const qsizetype n = filledCount(records);
  items.reserve(n);
  for (qsizetype i = 0; i < n; ++i) {
    const UploadedFileRecord& r = records[i];
    if (filter && !filter(r)) continue;
    auto* item = new QTreeWidgetItem;
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Check, Qt::Unchecked);
    item->setText(Folder, r.Folder);
    item->setText(Name, r.FileName);
    item->setText(Ext, r.Extension);
    item->setText(Size, r.FileSize);
    const bool createdFirst = order_ == DateOrder::CreatedFirst;
    item->setText(DateA, createdFirst ? r.DateCreated : r.DateLastModified);
    item->setText(DateB, createdFirst ? r.DateLastModified : r.DateCreated);
    item->setText(Uploaded, r.DateUploaded);
    items.push_back(item);
    bool ok = false;
    const double size = r.FileSize.trimmed().toDouble(&ok);
    if (ok) t.bytes += size;  // a size that is not a number adds nothing
    t.count += 1;
  }
  list_->addTopLevelItems(items);
  if (sorted_) applySort();
  list_->setUpdatesEnabled(true);
  return t;
}

void FileList::applySort() { list_->sortItems(sortColumn_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder); }

void FileList::ColumnClick(int column) {
  if (sorted_ && sortColumn_ == column) {
    descending_ = !descending_;
  } else {
    sorted_ = true;
    sortColumn_ = column;
    descending_ = false;
  }
  list_->header()->setSortIndicatorShown(true);
  list_->header()->setSortIndicator(sortColumn_, descending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
  applySort();
  if (QTreeWidgetItem* current = list_->currentItem(); current && current->isSelected()) list_->scrollToItem(current);
}

void FileList::setAllChecked(bool ticked) {
  for (int i = 0; i < list_->topLevelItemCount(); ++i)
    list_->topLevelItem(i)->setCheckState(Check, ticked ? Qt::Checked : Qt::Unchecked);
  list_->viewport()->update();
}

UploadedFileRecord FileList::recordOf(int row) const {
  const QTreeWidgetItem* item = list_->topLevelItem(row);
  UploadedFileRecord r;
  r.Index = row;
  r.Folder = item->text(Folder);
  r.FileName = item->text(Name);
  r.Extension = item->text(Ext);
  r.FileSize = item->text(Size);
  const bool createdFirst = order_ == DateOrder::CreatedFirst;
  r.DateCreated = item->text(createdFirst ? DateA : DateB);
  r.DateLastModified = item->text(createdFirst ? DateB : DateA);
  r.DateUploaded = item->text(Uploaded);
  return r;
}

QList<UploadedFileRecord> FileList::checkedRecords() const {
  QList<UploadedFileRecord> out;
  for (int i = 0; i < list_->topLevelItemCount(); ++i)
    if (list_->topLevelItem(i)->checkState(Check) == Qt::Checked) out << recordOf(i);
  return out;
}

QList<UploadedFileRecord> FileList::rows() const {
  QList<UploadedFileRecord> out;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) out << recordOf(i);
  return out;
}

}  // namespace corvane::restore::ui
