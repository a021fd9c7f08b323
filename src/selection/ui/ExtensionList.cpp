#include "selection/ui/ExtensionList.h"

#include <QCheckBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
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
  const QSignalBlocker block(c_.LstExtensions);
  c_.LstExtensions->clear();
  ++listGeneration_;
}

void ExtensionList::setRowTick(QTreeWidgetItem* item, bool ticked) {
  const QSignalBlocker block(c_.LstExtensions);
  item->setCheckState(ColId, ticked ? Qt::Checked : Qt::Unchecked);
  item->setData(ColId, kShownTickRole, ticked);
}

void ExtensionList::setBusy(bool busy) {
  if (busy) {
    if (busyDepth_++ > 0) return;
  } else {
    if (busyDepth_ == 0 || --busyDepth_ > 0) return;
  }
  c_.lblExtension->setEnabled(!busy);
  c_.Text1->setEnabled(!busy);
  c_.cbxSelected->setEnabled(!busy);
  c_.LstExtensions->setEnabled(!busy);
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
  const auto giveUp = [&](const store::DBError& e) {
    if (e.isBusy() && policy.waitMs <= 0) throw e;
  };
  const QString filesDb = services_.databases().filesDb;
  QVector<ExtRow> rows;
  try {
    rows = DBSelectAllCheckedExt(filesDb, policy);
  } catch (const store::DBError& e) {
    giveUp(e);
    return;
  }
  // The figures shown so far stay on their rows until new ones are read, so a fill that ends
  // early leaves no row with figures it never had.
  QHash<QString, QStringList> shownFigures;
  QTreeWidget* list = c_.LstExtensions;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    shownFigures.insert(item->text(ColType),
                        {item->text(ColTotalFiles), item->text(ColTotalSize), item->text(ColRemaining)});
  }
  const auto showFigures = [&](QTreeWidgetItem* item, const QStringList& figures) {
    const QSignalBlocker block(list);
    item->setText(ColTotalFiles, figures.value(0));
    item->setText(ColTotalSize, figures.value(1));
    item->setText(ColRemaining, figures.value(2));
  };

  clearList();
  const quint64 generation = listGeneration_;
  QVector<QPair<QString, QTreeWidgetItem*>> shown;
  for (const ExtRow& r : rows) {
    if (r.Extension.isEmpty()) continue;
    AddToList(r.Extension, r.ExtName, 0, 0, 0, 0, true);
    QTreeWidgetItem* item = list->topLevelItem(list->topLevelItemCount() - 1);
    if (shownFigures.contains(r.Extension)) showFigures(item, shownFigures.value(r.Extension));
    shown.append({r.Extension, item});
  }
  fitColumns();
  resortIfSorted();
  list->viewport()->update();
  platform::doEvents();
  // The columns take the figures' widths once they are all in (or as far as they came).
  const auto fit = qScopeGuard([&] {
    if (listGeneration_ == generation) fitColumns();
  });

  // Storing computed figures only spares computing them again: while the service holds the
  // write lock (its reads still go) they are shown all the same and stored at a later pass. The
  // status tick never waits for it, anything else waits once per pass.
  std::optional<store::RetryPolicy> storeFigures = policy;
  // The figures follow row by row; the rows are gone when a handler run meanwhile rebuilt the list.
  for (const auto& [extension, item] : shown) {
    if (listGeneration_ != generation) return;
    try {
      const std::optional<ExtRow> row = DBSelectExt(filesDb, extension, policy);
      if (!row) continue;
      qint64 totalFiles = row->TotalFiles;
      double totalSize = row->TotalSize;
      qint64 notUploaded = row->TotalFilesNU;
      if (!row->statisticsCached()) {
        const ExtStatistics s = DBExtensionStatistics(filesDb, extension, policy);
        totalFiles = s.TotalFiles;
        totalSize = s.TotalSize;
        notUploaded = s.TotalFilesNU;
        try {
          if (storeFigures) DBUpdateExts(filesDb, extension, totalFiles, totalSize, notUploaded, *storeFigures);
        } catch (const store::DBError& e) {
          if (!e.isBusy()) throw;
          storeFigures.reset();
        }
      }
      showFigures(item, {QString::number(totalFiles), sizeText(totalSize), QString::number(notUploaded)});
    } catch (const store::DBError& e) {
      giveUp(e);
      return;
    }
    platform::doEvents();
  }
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
  box->setEnabled(false);
  const bool on = box->isChecked();
  const QString value = on ? QStringLiteral("1") : QStringLiteral("0");
  const store::DatabasePaths& dbs = services_.databases();
  try {
    const std::optional<QString> before = store::readSetting(dbs.statusDb, kSmallImageSetting);
    // A missing row is added, so that the choice is kept.
    store::writeSettings(dbs.statusDb, {{kSmallImageSetting, value}}, services_.settingDate());
    try {
      DBUpdateSmallImageFiles(dbs.filesDb, on ? 1 : 0);
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
    box->setEnabled(true);
    reportFailure(QStringLiteral("The small image file filter could not be saved."), e.description());
    return;
  }
  cbxSelected_Click();
  box->setEnabled(true);
}

}  // namespace corvane::selection
