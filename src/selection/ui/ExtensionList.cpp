#include "selection/ui/ExtensionList.h"

#include <QCheckBox>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>
#include <algorithm>

#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "selection/ExtensionStore.h"
#include "selection/SmallImageFilter.h"
#include "selection/ui/Failure.h"
#include "shell/PageSeam.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::selection {

namespace {

enum Column { ColId = 0, ColType = 1, ColDescription = 2, ColTotalFiles = 3, ColTotalSize = 4, ColRemaining = 5 };
constexpr int kShownTickRole = Qt::UserRole + 1;  // the tick as last stored or set by code

const QString kSmallImageSetting = QStringLiteral("SmallImageFileFilter");

}  // namespace

ExtensionList::ExtensionList(const ExtensionControls& controls, shell::MainWindowServices& services, QObject* parent)
    : QObject(parent), c_(controls), services_(services) {
  c_.LstExtensions->setObjectName(QStringLiteral("LstExtensions"));
  c_.Text1->setObjectName(QStringLiteral("Text1"));
  c_.lblExtension->setObjectName(QStringLiteral("lblExtension"));
  c_.cbxSelected->setObjectName(QStringLiteral("cbxSelected"));
  c_.btnAddExt->setObjectName(QStringLiteral("btnAddExt"));
  c_.CmdRsetList->setObjectName(QStringLiteral("CmdRsetList"));
  c_.cbxSmallImageFileFilter->setObjectName(QStringLiteral("cbxSmallImageFileFilter"));

  c_.lblExtension->setText(QStringLiteral("Choose Extension:"));
  c_.cbxSelected->setText(QStringLiteral("Show Selected"));
  c_.btnAddExt->setText(QStringLiteral("Add Ext."));
  c_.CmdRsetList->setText(QStringLiteral("&Cancel"));
  c_.CmdRsetList->setToolTip(QStringLiteral("Click to cancel any changes..."));
  c_.cbxSmallImageFileFilter->setText(QStringLiteral("Small Image File Filter"));
  c_.cbxSmallImageFileFilter->setToolTip(QStringLiteral("Filters out image files less than 20K..."));

  QTreeWidget* list = c_.LstExtensions;
  list->setColumnCount(6);
  list->setHeaderLabels({QString(), QStringLiteral("Type"), QStringLiteral("Description"),
                         QStringLiteral("Total Files"), QStringLiteral("Total Size"), QStringLiteral("Remaining")});
  list->setRootIsDecorated(false);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setSortingEnabled(false);
  list->header()->setSectionsClickable(true);
  fitColumns();

  connect(list, &QTreeWidget::itemChanged, this, &ExtensionList::onItemChanged);
  connect(list->header(), &QHeaderView::sectionClicked, this, &ExtensionList::LstExtensions_ColumnClick);
  connect(c_.Text1, &QLineEdit::textEdited, this, [this] { Text1_KeyUp(); });
  connect(c_.btnAddExt, &QPushButton::clicked, this, [this] { btnAddExt_Click(); });
  connect(c_.CmdRsetList, &QPushButton::clicked, this, [this] { CmdRsetList_Click(); });
  connect(c_.cbxSelected, &QCheckBox::clicked, this, [this] { cbxSelected_Click(); });
  connect(c_.cbxSmallImageFileFilter, &QCheckBox::clicked, this, [this] { cbxSmallImageFileFilter_Click(); });
  // Leaving the page (another tab, the other backup mode, the window closed) hides the list.
  list->installEventFilter(this);
}

ExtensionList::~ExtensionList() = default;

void ExtensionList::fitColumns() {
  // Each column other than the description is as wide as its caption (the sort column with
  // room for the arrow too) or the widest text it holds; the description takes what is left.
  // So every caption, type and figure shows whole in the list's place at the window's load size.
  QTreeWidget* list = c_.LstExtensions;
  QHeaderView* header = list->header();
  header->setStretchLastSection(false);
  const QFontMetrics text(list->font());
  const int box = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list);
  const QHash<int, int> contents = {{ColId, 2 * box + text.horizontalAdvance(QStringLiteral("0000"))},
                                    {ColType, text.horizontalAdvance(QStringLiteral(".xxxx"))}};
  // The width the list's own item drawing asks for the widest text of a column.
  QStyleOptionViewItem option;
  option.initFrom(list);
  option.font = list->font();
  const auto widest = [&](int column) {
    int w = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      w = std::max(w, list->itemDelegate()->sizeHint(option, list->model()->index(i, column)).width());
    return w;
  };
  // The header sizes every caption for an arrow while one is shown, though only the sort
  // column draws it: the others are measured without.
  const bool sorted = header->isSortIndicatorShown();
  header->setSortIndicatorShown(true);
  const int sortWidth = sortColumn_ >= 0 ? header->sectionSizeHint(sortColumn_) : 0;
  header->setSortIndicatorShown(false);
  for (int c : {ColId, ColType, ColTotalFiles, ColTotalSize, ColRemaining}) {
    header->setSectionResizeMode(c, QHeaderView::Interactive);
    list->setColumnWidth(c, std::max({header->sectionSizeHint(c), contents.value(c), widest(c),
                                      c == sortColumn_ ? sortWidth : 0}));
  }
  header->setSortIndicatorShown(sorted);
  header->setSectionResizeMode(ColDescription, QHeaderView::Stretch);
}

void ExtensionList::LoadRegisteredExtensions() {
  const QVector<RegisteredType> registered = systemFileTypes();
  platform::doEvents();
  LoadRegisteredExtensions(registered);
}

void ExtensionList::LoadRegisteredExtensions(const QVector<RegisteredType>& registered) {
  fileTypes_ = filterRegisteredTypes(registered);
}

void ExtensionList::LoadFileTypeList() {
  listedTypes_ = {FileTypeEntry{}};
  const QString path = platform::joinPath(platform::appPaths().extensionsFolderPath, QStringLiteral("TypeLst.xml"));
  for (const QString& ext : readTypeList(path)) {
    for (const FileTypeEntry& e : fileTypes_) {
      if (e.FileId != 0 && e.Extension == ext) {
        AddToList(e.Extension, e.FileName, 0, 0, 0, e.FileId, false);
        listedTypes_.append(e);
        break;
      }
    }
  }
  fitColumns();
  resortIfSorted();
}

void ExtensionList::AddToList(const QString& extension, const QString& description, qint64 totalFiles,
                              double totalSize, qint64 notUploaded, int fileId, bool ticked) {
  QTreeWidget* list = c_.LstExtensions;
  auto* item = new QTreeWidgetItem;
  item->setText(ColId, QString::number(fileId != 0 ? fileId : list->topLevelItemCount() + 1));
  item->setText(ColType, extension);
  item->setText(ColDescription, description);
  item->setText(ColTotalFiles, QString::number(totalFiles));
  item->setText(ColTotalSize, sizeText(totalSize));
  item->setText(ColRemaining, QString::number(notUploaded));
  item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
  item->setCheckState(ColId, ticked ? Qt::Checked : Qt::Unchecked);
  item->setData(ColId, kShownTickRole, ticked);
  const QSignalBlocker block(list);
  list->addTopLevelItem(item);
}

void ExtensionList::clearList() {
  // The job's figures go to rows of this list: it ends before they go.
  stopStatistics();
  pending_.clear();
  resumeOnShow_ = false;
  const QSignalBlocker block(c_.LstExtensions);
  c_.LstExtensions->clear();
  ++listGeneration_;
}

void ExtensionList::stopStatistics() {
  if (statistics_.running()) resumeOnShow_ = false;
  statistics_.stop();
}

void ExtensionList::resumeStatistics() {
  if (!statistics_.running() && !pending_.isEmpty()) startStatistics(pending_);
}

bool ExtensionList::eventFilter(QObject* watched, QEvent* event) {
  if (watched == c_.LstExtensions) {
    if (event->type() == QEvent::Hide && statistics_.running()) {
      statistics_.stop();
      resumeOnShow_ = true;
    } else if (event->type() == QEvent::Show && resumeOnShow_) {
      resumeOnShow_ = false;
      startStatistics(pending_);
    }
  }
  return QObject::eventFilter(watched, event);
}

void ExtensionList::setRowTick(QTreeWidgetItem* item, bool ticked) {
  const QSignalBlocker block(c_.LstExtensions);
  item->setCheckState(ColId, ticked ? Qt::Checked : Qt::Unchecked);
  item->setData(ColId, kShownTickRole, ticked);
}

void ExtensionList::setBusy(bool busy) {
  if (busy) {
    if (busyDepth_++ == 0) busy_.emplace(std::initializer_list<QWidget*>{c_.lblExtension, c_.Text1, c_.cbxSelected, c_.LstExtensions});
  } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
    busy_.reset();
  }
}

void ExtensionList::resortIfSorted() {
  if (sortColumn_ < 0) return;
  const QSignalBlocker block(c_.LstExtensions);
  c_.LstExtensions->sortItems(sortColumn_, sortAscending_ ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ExtensionList::FillExtensionList(const QString& filter) {
  clearList();
  const QString prefix = filter.isEmpty() ? QStringLiteral(".") : filter;
  for (qsizetype i = 1; i < fileTypes_.size(); ++i) {
    const FileTypeEntry& e = fileTypes_.at(i);
    if (e.Extension.startsWith(prefix)) AddToList(e.Extension, e.FileName, 0, 0, 0, e.FileId, false);
  }
  fitColumns();
  resortIfSorted();

  QVector<ExtRow> rows;
  try {
    rows = DBSelectAllExt(services_.databases().filesDb);
  } catch (const store::DBError&) {
    return;  // the rows stay unticked; the next fill tries again
  }
  QSet<QString> ticked;
  for (const ExtRow& r : rows)
    if (r.ExtBu) ticked.insert(r.Extension);
  QTreeWidget* list = c_.LstExtensions;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    if (ticked.contains(item->text(ColType))) setRowTick(item, true);
  }
}

void ExtensionList::showFigures(QTreeWidgetItem* item, const QStringList& figures, bool counting) {
  const QSignalBlocker block(c_.LstExtensions);
  // Figures still being counted (the row's first zeros, or those it showed before) are drawn
  // as the list draws what cannot be used yet, so a type is not read as holding no files.
  const QVariant colour = counting ? QVariant(c_.LstExtensions->palette().color(QPalette::Disabled, QPalette::Text))
                                   : QVariant();
  int c = ColTotalFiles;
  for (const QString& figure : figures) {
    item->setText(c, figure);
    item->setData(c, Qt::ForegroundRole, colour);
    ++c;
  }
}

void ExtensionList::growColumns(QTreeWidgetItem* item) {
  // Figures arriving one by one widen their columns as needed, so none shows cut short; the
  // fit at the end of the count sets the widths anew.
  QTreeWidget* list = c_.LstExtensions;
  QStyleOptionViewItem option;
  option.initFrom(list);
  option.font = list->font();
  const int row = list->indexOfTopLevelItem(item);
  for (int c : {ColTotalFiles, ColTotalSize, ColRemaining}) {
    const int need = list->itemDelegate()->sizeHint(option, list->model()->index(row, c)).width();
    if (need > list->columnWidth(c)) list->setColumnWidth(c, need);
  }
}

namespace {
QStringList figureTexts(qint64 files, double size, qint64 notUploaded) {
  return {QString::number(files), sizeText(size), QString::number(notUploaded)};
}
}  // namespace

void ExtensionList::cbxSelected_Click() {
  setBusy(true);
  struct Release {
    ExtensionList* self;
    ~Release() { self->setBusy(false); }
  } release{this};

  if (!c_.cbxSelected->isChecked()) {
    FillExtensionList(QString());
    return;
  }

  // From the status timer nothing here waits on a busy Files.db: what the list shows stays,
  // and the busy error goes back to the timer, which calls again. Otherwise the wait is the
  // usual bounded one and a failure just ends the fill.
  const store::RetryPolicy policy = services_.databasePolicy();
  QVector<ExtRow> rows;
  try {
    rows = DBSelectAllCheckedExt(services_.databases().filesDb, policy);
  } catch (const store::DBError& e) {
    if (e.isBusy() && policy.waitMs <= 0) throw;
    return;
  }
  // A type without cached figures keeps those it showed until the job has new ones, so a fill
  // never blanks figures out while they are being counted.
  QHash<QString, QStringList> shownFigures;
  QTreeWidget* list = c_.LstExtensions;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    shownFigures.insert(item->text(ColType),
                        {item->text(ColTotalFiles), item->text(ColTotalSize), item->text(ColRemaining)});
  }

  clearList();
  const quint64 generation = listGeneration_;
  PendingRows uncached;
  for (const ExtRow& r : rows) {
    if (r.Extension.isEmpty()) continue;
    AddToList(r.Extension, r.ExtName, 0, 0, 0, 0, true);
    QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
    if (r.statisticsCached()) {
      showFigures(item, figureTexts(r.TotalFiles, r.TotalSize, r.TotalFilesNU));
    } else {
      showFigures(item, shownFigures.value(r.Extension, figureTexts(0, 0, 0)), true);
      uncached.append({r.Extension, item});
    }
  }
  fitColumns();
  resortIfSorted();
  list->viewport()->update();
  platform::doEvents();
  // Unless a handler run meanwhile rebuilt the list, the figures follow.
  if (listGeneration_ == generation) startStatistics(uncached);
}

void ExtensionList::startStatistics(PendingRows rows) {
  statistics_.stop();
  pending_.clear();
  for (const auto& row : rows)
    if (row.second) pending_.append(row);  // rows shown already are left out
  if (pending_.isEmpty()) return;
  QStringList extensions;
  for (const auto& row : pending_) extensions << row.first;
  const QString filesDb = services_.databases().filesDb;
  statistics_.start(
      [this, filesDb, extensions](store::JobContext& job) {
        QVector<ExtStatistics> figures;
        job.onDatabase(filesDb, [&](store::DBConnection& c) {
          figures.clear();
          TypeStatistics statistics(c);
          for (qsizetype i = 0; i < extensions.size(); ++i) {
            job.throwIfStopped();
            const ExtStatistics s = statistics(extensions[i]);
            figures.append(s);
            job.post([this, i, s] {
              if (i >= pending_.size() || !pending_[i].second) return;
              showFigures(pending_[i].second, figureTexts(s.TotalFiles, s.TotalSize, s.TotalFilesNU));
              growColumns(pending_[i].second);
              pending_[i].second = nullptr;  // shown
            });
          }
        });
        job.throwIfStopped();
        // Storing the figures only spares counting them again: while the service holds the
        // write lock they are shown all the same and stored by a later fill.
        try {
          job.inTransaction(filesDb, [&](store::DBConnection& c) {
            for (qsizetype i = 0; i < extensions.size(); ++i) DBUpdateExts(c, extensions[i], figures[i]);
          });
        } catch (const store::DBError& e) {
          if (!e.isBusy()) throw;
        }
      },
      [this](std::exception_ptr) {
        // A failure leaves the rows as they are; the next fill counts again.
        pending_.clear();
        fitColumns();
        resortIfSorted();  // a list sorted by a figure stays in its order
      });
}

void ExtensionList::ShowSelectedExtensions() {
  {
    const QSignalBlocker block(c_.cbxSelected);
    c_.cbxSelected->setChecked(true);
  }
  cbxSelected_Click();
}

void ExtensionList::RefreshExtensionList() {
  c_.LstExtensions->viewport()->update();
  cbxSelected_Click();
}

int ExtensionList::SmallImageFilterSetting() {
  // A read that fails must not pass for "off": the tick would unmark every small image.
  const std::optional<store::SettingRow> row = store::readSettingRow(services_.databases().statusDb, kSmallImageSetting);
  if (!row) return 0;
  services_.settingDate() = row->date;
  return row->value == QStringLiteral("1") ? 1 : 0;
}

void ExtensionList::onItemChanged(QTreeWidgetItem* item, int column) {
  if (column != ColId || item == nullptr) return;
  const bool ticked = item->checkState(ColId) == Qt::Checked;
  if (item->data(ColId, kShownTickRole).toBool() == ticked) return;  // text change, not a tick
  LstExtensions_ItemCheck(item);
}

void ExtensionList::LstExtensions_ItemCheck(QTreeWidgetItem* item) {
  const QString extension = item->text(ColType);
  const QString description = item->text(ColDescription);
  const bool ticked = item->checkState(ColId) == Qt::Checked;
  const QString filesDb = services_.databases().filesDb;
  try {
    const std::optional<ExtRow> row = DBSelectExt(filesDb, extension);
    if (!row)
      DBInsertExtNew(filesDb, extension, description, ticked);
    else if (row->ExtBu != ticked)
      DBUpdateExt(filesDb, extension, description, ticked);
    setRowTick(item, ticked);
  } catch (const store::DBError& e) {
    // Show what is stored, not the tick that could not be saved.
    bool stored = !ticked;
    try {
      const std::optional<ExtRow> row = DBSelectExt(filesDb, extension);
      stored = row && row->ExtBu;
    } catch (const store::DBError&) {
    }
    setRowTick(item, stored);
    reportFailure(QStringLiteral("The tick of %1 could not be saved.").arg(extension), e.description());
  }
}

void ExtensionList::Text1_KeyUp() {
  if (c_.cbxSelected->isChecked()) {
    // Unticking lists all types; the filter below rebuilds the list at once anyway.
    const QSignalBlocker block(c_.cbxSelected);
    c_.cbxSelected->setChecked(false);
  }
  const QString text = c_.Text1->text();
  FillExtensionList(text == QStringLiteral(".") ? QString() : text);
}

void ExtensionList::CmdRsetList_Click() {
  {
    const QSignalBlocker block(c_.Text1);
    c_.Text1->clear();
  }
  FillExtensionList(QString());
  QTreeWidget* list = c_.LstExtensions;
  for (int i = 0; i < list->topLevelItemCount(); ++i) setRowTick(list->topLevelItem(i), false);
  for (FileTypeEntry& e : listedTypes_) e.Extension.clear();
}

void ExtensionList::btnAddExt_Click() {
  const QString text = c_.Text1->text();
  if (!text.startsWith(QLatin1Char('.'))) {
    platform::showMessage(QStringLiteral("Type a valid extension preceeded by a '.' in the 'Choose Extension' box."),
                          QString(), platform::MsgButtons::Ok, platform::MsgIcon::None);
    return;
  }
  const QString filesDb = services_.databases().filesDb;
  try {
    if (!DBSelectExt(filesDb, text)) DBInsertExtNew(filesDb, text, QString(), true);
  } catch (const store::DBError& e) {
    reportFailure(QStringLiteral("The extension %1 could not be added.").arg(text), e.description());
  }
}

void ExtensionList::LstExtensions_ColumnClick(int column) {
  if (column == sortColumn_) {
    sortAscending_ = !sortAscending_;
  } else {
    sortColumn_ = column;
    sortAscending_ = true;
  }
  c_.LstExtensions->header()->setSortIndicatorShown(true);
  fitColumns();
  resortIfSorted();
}

void ExtensionList::cbxSmallImageFileFilter_Click() {
  QCheckBox* box = c_.cbxSmallImageFileFilter;
  BusyControls busy{box};
  const bool on = box->isChecked();
  const QString value = on ? QStringLiteral("1") : QStringLiteral("0");
  const store::DatabasePaths& dbs = services_.databases();
  // Its reads would only hold the marking's write lock, and what it counts changes.
  stopStatistics();
  try {
    const std::optional<QString> before = store::readSetting(dbs.statusDb, kSmallImageSetting);
    // A missing row is added, so that the choice is kept.
    store::writeSettings(dbs.statusDb, {{kSmallImageSetting, value}}, services_.settingDate());
    try {
      // One UPDATE over the images of File: off the window's thread, which paints meanwhile
      // (a second or more on a large catalogue: the pointer says it is busy).
      const platform::BusyPointerWhileWaiting pointer;
      store::runWhilePainting([&](store::JobContext& job) {
        job.inTransaction(dbs.filesDb, [&](store::DBConnection& db) { DBUpdateSmallImageFiles(db, on ? 1 : 0); },
                          store::RetryPolicy{50, 3000});
      });
    } catch (const store::DBError&) {
      // The setting and the marks go together (the next folder tick marks the files as the
      // setting says): the setting goes back to what it was.
      store::swallowDbError([&] {
        store::writeSettings(dbs.statusDb, {{kSmallImageSetting, before.value_or(QStringLiteral("0"))}},
                             services_.settingDate());
      });
      throw;
    }
  } catch (const store::DBError& e) {
    {
      const QSignalBlocker block(box);
      box->setChecked(store::settingValue(dbs.statusDb, kSmallImageSetting) == QStringLiteral("1"));
    }
    busy.release();
    resumeStatistics();
    reportFailure(QStringLiteral("The small image file filter could not be saved."), e.description());
    return;
  }
  cbxSelected_Click();
}

}  // namespace corvane::selection
