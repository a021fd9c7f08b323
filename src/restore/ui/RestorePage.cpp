#include "restore/ui/RestorePage.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "keys/ui/DialogPlacement.h"
#include "keys/ui/FrmAddComputer.h"
#include "keys/ui/FrmDownloadList.h"
#include "keys/ui/FrmRemoveComputer.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "restore/CatalogueFetch.h"
#include "restore/Unzip.h"
#include "restore/ui/CatalogueTree.h"
#include "restore/ui/FileList.h"
#include "restore/ui/FrmFileChooser.h"
#include "restore/ui/FrmFolderChooser.h"
#include "restore/ui/FrmSourceFolderChooser.h"
#include "store/Database.h"
#include "store/DatabaseTrouble.h"
#include "store/FileTables.h"
#include "store/Settings.h"

namespace corvane::restore::ui {

namespace {

const char* const kRestoreButtons[] = {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"};

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& tip = QString()) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  if (!tip.isEmpty()) b->setToolTip(tip);
  return b;
}

}  // namespace

RestorePage::RestorePage(shell::MainWindowServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName(QStringLiteral("RestorePage"));
  buildWidgets();
  connectRestoreButtons();
  // An archive with a password asks for it (once per unzip; an empty answer gives up).
  CGUnzipFiles::setPasswordQuestion([]() -> std::optional<QString> {
    bool ok = false;
    const QString pw = QInputDialog::getText(nullptr, QString(), QStringLiteral("Please Enter The Password!"),
                                             QLineEdit::Password, QString(), &ok);
    if (!ok) return std::nullopt;
    return pw;
  });
}

RestorePage::~RestorePage() = default;

void RestorePage::buildWidgets() {
  // Design places in pixels on the page (the tab strip lies above it) for the window's load size.
  // The main window's layout rules size and move frameRestore, FrameSource, frameFilter, the file
  // list and the folder tree from there; the folder tree lies over the filter frame and the list
  // when it is shown.
  auto* frameRestore = new QFrame(this);
  frameRestore->setObjectName(QStringLiteral("frameRestore"));
  frameRestore->setGeometry(14, 29, 939, 616);

  auto* sourceLabel = new QLabel(QStringLiteral("Download Source"), this);
  sourceLabel->setGeometry(14, 4, 106, 40);
  auto* Frame1 = new QGroupBox(this);
  Frame1->setObjectName(QStringLiteral("FrameSource"));
  Frame1->setGeometry(122, 4, 799, 40);
  cbxSources = new QComboBox(Frame1);
  cbxSources->setObjectName(QStringLiteral("cbxSources"));
  cbxSources->setMinimumWidth(220);
  btnSync = makeButton(Frame1, "btnSync", QStringLiteral("Sync"));
  btnAddSource = makeButton(Frame1, "btnAddSource", QStringLiteral("+"), QStringLiteral("Add a computer to available sources..."));
  btnRemoveSource =
      makeButton(Frame1, "btnRemoveSource", QStringLiteral("-"), QStringLiteral("Remove computer from sources..."));
  auto* sourceRow = new QHBoxLayout(Frame1);
  sourceRow->setContentsMargins(6, 4, 6, 4);
  sourceRow->addWidget(cbxSources, 1);
  sourceRow->addWidget(btnSync);
  sourceRow->addWidget(btnAddSource);
  sourceRow->addWidget(btnRemoveSource);

  auto* FrameFilter = new QGroupBox(QStringLiteral("Filter - use header tabs to sort columns..."), this);
  FrameFilter->setObjectName(QStringLiteral("frameFilter"));
  FrameFilter->setGeometry(14, 47, 907, 62);
  tbxFileName = new QLineEdit(FrameFilter);
  tbxFileName->setObjectName(QStringLiteral("tbxFileName"));
  tbxExtension = new QLineEdit(FrameFilter);
  tbxExtension->setObjectName(QStringLiteral("tbxExtension"));
  lblStats = new QLabel(FrameFilter);
  lblStats->setObjectName(QStringLiteral("lblStats"));
  auto* filterRow = new QHBoxLayout(FrameFilter);
  filterRow->setContentsMargins(6, 2, 6, 4);
  filterRow->addWidget(new QLabel(QStringLiteral(" Filename:"), FrameFilter));
  filterRow->addWidget(tbxFileName, 1);
  filterRow->addWidget(new QLabel(QStringLiteral("Extension:"), FrameFilter));
  filterRow->addWidget(tbxExtension);
  filterRow->addWidget(lblStats, 1);

  fileList_ = std::make_unique<FileList>(this, FileList::DateOrder::CreatedFirst);
  filterBoxes_ = std::make_unique<FilterBoxes>(tbxFileName, tbxExtension);
  fileList_->widget()->setGeometry(14, 113, 907, 460);
  tvDLFolders = new QTreeWidget(this);
  tvDLFolders->setObjectName(QStringLiteral("tvDLFolders"));
  tvDLFolders->setGeometry(14, 47, 907, 526);
  tvDLFolders->hide();
  tree_ = std::make_unique<CatalogueTree>(tvDLFolders, nodes_);

  // The tick buttons and the download row sit at the foot of frameRestore, as wide as the list
  // (frameRestore is 480 twips wider), whatever its size.
  btnCheckAll = makeButton(frameRestore, "btnCheckAll", QStringLiteral("Check All"));
  btnUncheckAll = makeButton(frameRestore, "btnUncheckAll", QStringLiteral("Uncheck All"));
  btnMode = makeButton(frameRestore, "btnMode", QStringLiteral("Folder View"));
  btnStartDownloads = makeButton(frameRestore, "btnStartDownloads", QStringLiteral("Start Download"),
                                 QStringLiteral("Starts a download of the selected files..."));
  btnClearDownloads = makeButton(frameRestore, "btnClearDownloads", QStringLiteral("Stop Download"));
  btnVerifyDownloads =
      makeButton(frameRestore, "btnVerifyDownloads", QStringLiteral("Verify File(s)"),
                 QStringLiteral("Sets selected files to not uploaded - resulting in a verify operation..."));
  btnDeleteFiles = makeButton(frameRestore, "btnDeleteFiles", QStringLiteral("Delete File(s)"),
                              QStringLiteral("Sends a message to delete selected files on the server..."));
  auto* checkRow = new QHBoxLayout;
  checkRow->addWidget(btnCheckAll);
  checkRow->addWidget(btnUncheckAll);
  checkRow->addStretch();
  auto* actionRow = new QHBoxLayout;
  for (QPushButton* b : {btnMode, btnStartDownloads, btnClearDownloads, btnVerifyDownloads, btnDeleteFiles})
    actionRow->addWidget(b);
  auto* foot = new QVBoxLayout(frameRestore);
  foot->setContentsMargins(0, 0, 32, 4);
  foot->setSpacing(6);
  foot->addStretch(1);
  foot->addLayout(checkRow);
  foot->addLayout(actionRow);
  for (QWidget* w : std::initializer_list<QWidget*>{Frame1, FrameFilter, fileList_->widget(), tvDLFolders}) w->raise();

  // Tab goes through the page as it reads: the source row, the filter boxes, the list or the
  // tree, the tick buttons, then the download row.
  QWidget* previous = nullptr;
  for (QWidget* w :
       std::initializer_list<QWidget*>{cbxSources, btnSync, btnAddSource, btnRemoveSource, tbxFileName, tbxExtension,
                                       fileList_->widget(), tvDLFolders, btnCheckAll, btnUncheckAll, btnMode,
                                       btnStartDownloads, btnClearDownloads, btnVerifyDownloads, btnDeleteFiles}) {
    if (previous) setTabOrder(previous, w);
    previous = w;
  }

  connect(cbxSources, &QComboBox::activated, this, [this] { cbxSources_Click(); });
  connect(btnSync, &QPushButton::clicked, this, [this] { btnSync_Click(); });
  connect(btnAddSource, &QPushButton::clicked, this, [this] { btnAddSource_Click(); });
  connect(btnRemoveSource, &QPushButton::clicked, this, [this] { btnRemoveSource_Click(); });
  connect(tbxFileName, &QLineEdit::textChanged, this, [this] { FilterFileChooserByFilename(); });
  connect(tbxExtension, &QLineEdit::textChanged, this, [this] { FilterFileChooserByExtension(); });
  connect(btnCheckAll, &QPushButton::clicked, this, [this] { btnCheckAll_Click(); });
  connect(btnUncheckAll, &QPushButton::clicked, this, [this] { btnUncheckAll_Click(); });
  connect(btnMode, &QPushButton::clicked, this, [this] { btnMode_Click(); });
  connect(btnStartDownloads, &QPushButton::clicked, this, [this] { btnStartDownloads_Click(); });
  connect(btnClearDownloads, &QPushButton::clicked, this, [this] { btnClearDownloads_Click(); });
  connect(btnVerifyDownloads, &QPushButton::clicked, this, [this] { btnVerifyDownloads_Click(); });
  connect(btnDeleteFiles, &QPushButton::clicked, this, [this] { btnDeleteFiles_Click(); });
}

// The restore buttons live on the main window's tab 5 ("Restore Options").
void RestorePage::connectRestoreButtons() {
  if (restoreButtonsConnected_ || !services_.window()) return;
  QWidget* w = services_.window();
  auto hook = [&](const char* name, void (RestorePage::*handler)()) {
    if (auto* b = w->findChild<QPushButton*>(QString::fromLatin1(name)))
      connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  };
  hook("btnQuickSync", &RestorePage::btnQuickSync_Click);
  hook("btnRestoreAll", &RestorePage::btnRestoreAll_Click);
  hook("btnRestoreFiles", &RestorePage::btnRestoreFiles_Click);
  hook("btnRestoreFolders", &RestorePage::btnRestoreFolders_Click);
  restoreButtonsConnected_ = w->findChild<QPushButton*>(QStringLiteral("btnQuickSync")) != nullptr;
}

void RestorePage::setRestoreButtonsEnabled(bool enabled) {
  if (!services_.window()) return;
  for (const char* name : kRestoreButtons)
    if (auto* b = services_.window()->findChild<QWidget*>(QString::fromLatin1(name))) b->setEnabled(enabled);
}

void RestorePage::enableRestoreButtons() { setRestoreButtonsEnabled(true); }

void RestorePage::setClock(std::function<QDateTime()> clock) {
  clock_ = clock;
  session_.setClock(clock);
}

QString RestorePage::appFolder() const { return platform::appPaths().appFolder; }

// The computer "DIdentity" names: the keys window's "Change Identity" sets it without touching
// cbxSources, and the dialogs must read that computer's catalogue.
QString RestorePage::chosenComputerName() const {
  bool ok = false;
  const qint64 keyId = store::settingValue(databases().statusDb, QStringLiteral("DIdentity")).trimmed().toLongLong(&ok);
  if (ok) {
    for (const keys::MachineEntry& m : machines_)
      if (m.keyId == keyId) return m.machineName;
    keys::KeyRecord key;
    if (keys::DBSelectKey(databases().statusDb, keyId, key) && !key.MachineName.isEmpty()) return key.MachineName;
  }
  return cbxSources->currentText();
}

bool RestorePage::fileView() const { return btnMode->text() == QLatin1String("Folder View"); }

QString RestorePage::readSetting(const QString& name) {
  QString value;
  store::DBSelectSetting(databases().statusDb, name, value, services_.settingDate());
  return value;
}

bool RestorePage::updateSetting(const QString& name, const QString& value, const QDateTime& date) {
  try {
    store::DBUpdateSetting(databases().statusDb, name, value, date);
    return true;
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
    return false;
  }
}

QString RestorePage::shownCatalogue() const {
  try {
    return CatalogueDatabase(databases().statusDb, databases().filesDb, appFolder(), cbxSources->currentText(),
                             QStringLiteral("Files.db"))
        .value_or(QString());
  } catch (const store::DBError&) {
    return QString();  // nothing acts on a catalogue nobody can name
  }
}

// ---- Source side -------------------------------------------------------------------------

void RestorePage::DBSelectAllMachineNames() {
  const auto entries = keys::DBSelectAllMachineNames(databases().statusDb, keys::MachineListEnd::AtEmptyName,
                                                     services_.databasePolicy());
  if (!entries) return;  // the table cannot be read: the list keeps its entries
  machines_ = *entries;
  const QSignalBlocker block(cbxSources);
  cbxSources->clear();
  for (const keys::MachineEntry& m : machines_) cbxSources->addItem(m.machineName, QVariant::fromValue(m.keyId));
  cbxSources->setCurrentIndex(-1);
  platform::doEvents();
}

void RestorePage::InitRestorePage() {
  connectRestoreButtons();
  // From the status tick nothing here waits on a busy Status.db: this read throws before the
  // page changes, and the tick runs the whole again a second later.
  const store::RetryPolicy policy = services_.databasePolicy();
  try {
    store::readSetting(databases().statusDb, QStringLiteral("DIdentity"), policy);
  } catch (const store::DBError& e) {
    if (e.isBusy() && policy.budgetMs <= 0) throw;
  }
  DBSelectAllMachineNames();
  bool ok = false;
  const qint64 dIdentity = readSetting(QStringLiteral("DIdentity")).trimmed().toLongLong(&ok);
  if (!ok) return;
  for (int i = 0; i < cbxSources->count(); ++i) {
    if (cbxSources->itemData(i).toLongLong() != dIdentity) continue;
    {
      const QSignalBlocker block(cbxSources);
      cbxSources->setCurrentIndex(i);
    }
    // The status tick re-initialises the page while the first showing may still be reading
    // the same catalogue (most of a million rows): that read goes on rather than start over.
    const auto db = CatalogueDatabase(databases().statusDb, databases().filesDb, appFolder(), cbxSources->itemText(i),
                                      QStringLiteral("Files.db"), policy);  // busy from the tick: throws, as above
    if (db && !db->isEmpty() && (*db == readingCatalogue_ || *db == pendingCatalogue_)) continue;
    DFolderView(cbxSources->itemText(i));
  }
}

void RestorePage::selectSource(qint64 keyId) {
  const auto entryOf = [&] {
    for (int i = 0; i < cbxSources->count(); ++i)
      if (cbxSources->itemData(i).toLongLong() == keyId) return i;
    return -1;
  };
  int entry = entryOf();
  if (entry < 0) {
    DBSelectAllMachineNames();
    entry = entryOf();
  }
  const QSignalBlocker block(cbxSources);
  cbxSources->setCurrentIndex(entry);
}

bool RestorePage::RemoveSourceEntry(qint64 keyId) {
  for (int i = 0; i < cbxSources->count(); ++i) {
    if (cbxSources->itemData(i).toLongLong() != keyId) continue;
    const QSignalBlocker block(cbxSources);
    const bool shown = i == cbxSources->currentIndex();
    cbxSources->removeItem(i);
    // The box would move on to a computer whose files the list does not show.
    if (shown) cbxSources->setCurrentIndex(-1);
    return true;
  }
  return false;
}

void RestorePage::cbxSources_Click() {
  if (cbxSources->currentIndex() < 0) return;
  const QString keyId = QString::number(cbxSources->currentData().toLongLong());
  if (!updateSetting(QStringLiteral("DIdentity"), keyId, services_.settingDate())) return;
  DFolderView(cbxSources->currentText());
}

void RestorePage::DFolderView(const QString& machineName) {
  platform::doEvents();
  const store::RetryPolicy policy = services_.databasePolicy();
  std::optional<QString> db;
  bool busy = false;
  try {
    db = CatalogueDatabase(databases().statusDb, databases().filesDb, appFolder(), machineName,
                           QStringLiteral("Files.db"), policy);
  } catch (const store::DBError& e) {
    // The status tick leaves the view as it is and tries again a second later; a user's choice
    // learns that the catalogue could not be named, rather than seeing one without files.
    if (e.isBusy() && policy.budgetMs <= 0) throw;
    busy = e.isBusy();
  }
  ++loadGeneration_;  // a view still being read is given up
  records_ = freshRecords();
  catalogueBusy_ = busy;
  damagedCatalogue_.clear();
  pendingCatalogue_.clear();
  // This computer's catalogue can hold most of a million files: while nobody sees the page
  // (the main window's load runs before the window is shown), it is read when the page is
  // first shown instead.
  if (db && !isVisible()) {
    pendingCatalogue_ = *db;
    refillList();
    return;
  }
  if (db && !readCatalogue(*db)) return;
  refillList();
}

bool RestorePage::readCatalogue(const QString& db) {
  const QScopedValueRollback<QString> reading(readingCatalogue_, db);
  damagedCatalogue_.clear();
  fileList_->setNotice(QString());
  bool busy = false;
  const CatalogueRead read = readCatalogueForList(db, records_, *fileList_, lblStats, loadGeneration_, &busy);
  if (read == CatalogueRead::Superseded) return false;
  catalogueBusy_ = busy;
  if (read == CatalogueRead::Damaged) damagedCatalogue_ = db;
  return true;
}

void RestorePage::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  if (pendingCatalogue_.isEmpty()) return;
  // Read once the page has painted, in steps that keep the window answering.
  QTimer::singleShot(0, this, [this] {
    if (pendingCatalogue_.isEmpty() || !isVisible()) return;
    const QString db = std::exchange(pendingCatalogue_, QString());
    if (readCatalogue(db)) refillList();
  });
}

std::optional<QString> RestorePage::fetchDirectory(const QString& machineName, qint64 keyId) {
  FetchContext ctx;
  ctx.appFolder = appFolder();
  ctx.statusDb = databases().statusDb;
  ctx.session = &session_;
  ctx.mainCaption = [this](const QString& t) { services_.setCaption(t); };
  ctx.ownCaption = [this](const QString& t) {
    if (addComputer_) addComputer_->setWindowTitle(t);
  };
  ctx.clock = clock_;
  const auto name = restore::DownloadDirectoryFile(ctx, machineName, keyId);
  if (!name) return std::nullopt;
  // The copy was fetched anew: what was found about the one it replaced does not hold for it.
  store::forgetDatabaseTrouble(platform::joinPath(appFolder(), catalogueCopyName(*name)));
  // The list is about to show that computer's files ("DIdentity" names it now), also when the
  // box showed another one (a key request refreshes the box before the new catalogue arrives).
  selectSource(keyId);
  DFolderView(*name);
  if (addComputer_) addComputer_->hide();
  return name;
}

void RestorePage::DownloadDirectoryFile(const QString& machineName, qint64 keyId) {
  if (busy_) return;
  BusyScope busy(busy_);
  fetchDirectory(machineName, keyId);
}

void RestorePage::btnSync_Click() {
  if (busy_) return;
  BusyScope busy(busy_);
  const QString name = cbxSources->currentText();
  if (name.isEmpty()) return;
  const bool thisComputer = IsThisComputer(databases().statusDb);
  const qint64 keyId = readSetting(QStringLiteral("DIdentity")).trimmed().toLongLong();
  const auto fetched = fetchDirectory(name, keyId);
  QString show;
  if (thisComputer) {
    // Files.db is written back only from a catalogue that was fetched just now: a failed fetch
    // leaves the upload state of this computer's files as it was.
    if (fetched) {
      const QString copy = platform::joinPath(appFolder(), catalogueCopyName(*fetched));
      if (soundForWriteBack(copy))
        DBWriteBackCatalogue(copy, databases().filesDb, [this](const QString& t) { services_.setCaption(t); });
    }
    show = databases().filesDb;
  } else {
    show = shownCatalogue();
  }
  if (!show.isEmpty() && !readCatalogue(show)) return;
  refillList();
}

bool RestorePage::soundForWriteBack(const QString& copy) {
  // The write-back changes most of Files.db: into a damaged file it would spread the damage
  // (SQLite checks no page it does not read), from a damaged copy it would write what the copy
  // garbled. Both are looked through first, Files.db again (the service writes into it all the
  // while), with the window answering.
  // A file that stays locked past the store's usual bound of waiting is not written into
  // unchecked: the user is told, and the next Sync tries again.
  const bool lookedThrough = store::checkDatabasesAside({copy, databases().filesDb}, [] {
    platform::doEvents();
    return true;
  }, true, store::RetryPolicy{}.budgetMs);
  try {
    store::refuseIfDamaged(databases().filesDb);
    store::refuseIfDamaged(copy);
    if (lookedThrough) return true;
    platform::showMessage(QStringLiteral("Corvane could not look %1 through for damage: the backup service keeps it "
                                         "busy. Nothing was written back into it; press Sync again later.")
                              .arg(QFileInfo(databases().filesDb).fileName()));
    return false;
  } catch (const store::DBError& e) {
    store::showDatabaseError(e);
    return false;
  }
}

void RestorePage::btnQuickSync_Click() {
  if (platform::showMessage(QStringLiteral("This will download ANY missing files to their original folders..."),
                            QStringLiteral("QuickSync"), platform::MsgButtons::OkCancel,
                            platform::MsgIcon::Question) != platform::MsgResult::Ok)
    return;
  updateSetting(QStringLiteral("Activity"), QStringLiteral("QuickSync"), services_.settingDate());
}

void RestorePage::btnAddSource_Click() {
  if (!addComputer_) addComputer_ = std::make_unique<keys::ui::FrmAddComputer>(this, nullptr, databases().statusDb);
  if (clock_) addComputer_->setClock(clock_);
  keys::ui::showCentredOver(addComputer_.get(), this);
}

void RestorePage::btnRemoveSource_Click() {
  if (!removeComputer_)
    removeComputer_ = std::make_unique<keys::ui::FrmRemoveComputer>(this, nullptr, databases().statusDb);
  else
    removeComputer_->Form_Load();
  keys::ui::showCentredOver(removeComputer_.get(), this);
}

void RestorePage::ensureDownloadList() {
  if (downloadList_) return;
  downloadList_ = std::make_unique<keys::ui::FrmDownloadList>(nullptr, databases().statusDb);
  downloadList_->setShowAddComputer([this] { btnAddSource_Click(); });
  if (clock_) downloadList_->setClock(clock_);
  auto* btnIdentity = new QPushButton(QStringLiteral("Change Identity"));
  btnIdentity->setObjectName(QStringLiteral("btnIdentity"));
  downloadList_->addButton(btnIdentity);
  connect(btnIdentity, &QPushButton::clicked, this, [this] { btnIdentity_Click(); });
}

void RestorePage::showDownloadList() {
  ensureDownloadList();
  downloadList_->show();
  downloadList_->raise();
  downloadList_->activateWindow();
}

void RestorePage::btnIdentity_Click() {
  if (busy_ || !downloadList_) return;
  BusyScope busy(busy_);
  QTreeWidget* list = downloadList_->lstComputerKeys();
  QTreeWidgetItem* chosen = nullptr;
  for (int i = 0; i < list->topLevelItemCount() && !chosen; ++i)
    if (list->topLevelItem(i)->checkState(0) == Qt::Checked) chosen = list->topLevelItem(i);
  if (!chosen) return;
  const QString keyText = chosen->text(0);

  keys::KeyRecord key;
  const bool found = keys::DBSelectKey(databases().statusDb, keyText.trimmed().toLongLong(), key);
  downloadList_->lblIdentity()->setText(QStringLiteral("Updating..."));
  FetchContext ctx;
  ctx.appFolder = appFolder();
  ctx.statusDb = databases().statusDb;
  ctx.session = &session_;
  ctx.mainCaption = [this](const QString& t) { services_.setCaption(t); };
  ctx.ownCaption = [this](const QString& t) { downloadList_->setWindowTitle(t); };
  ctx.clock = clock_;
  const QString result = found && keys::IsSafeMachineName(key.MachineName)
                             ? DownloadTextCatalogue(ctx, key.FileKey, key.MachineID)
                             : QString();
  if (result != QLatin1String("OK")) {
    platform::showMessage(QStringLiteral("Download Failed..."));
    return;
  }
  if (!updateSetting(QStringLiteral("DIdentity"), keyText, now())) return;
  for (int i = 0; i < list->topLevelItemCount(); ++i) list->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
  ImportDownloadCatalogue(appFolder(), key.MachineName, ctx.ownCaption, now());
  downloadList_->lblIdentity()->setText(QStringLiteral("Downloading from:- ") + key.MachineName);
}

// ---- File list -----------------------------------------------------------------------------

// A busy or damaged catalogue is said where its files would be listed, in place of the figures
// (an empty list would read as a computer without files); the line beside the filter boxes has
// room for the figures only.
void RestorePage::showStats(double count, double bytes) {
  const QString notice = !damagedCatalogue_.isEmpty() ? damagedCatalogueText(damagedCatalogue_)
                         : catalogueBusy_             ? busyCatalogueText()
                                                      : QString();
  fileList_->setNotice(notice);
  lblStats->setText(notice.isEmpty() ? StatsLine(count, bytes) : QString());
}

// A refill that a newer one took over while it waited for its order leaves the line to that one.
void RestorePage::AddToFileChooser() {
  if (const auto t = fileList_->show(records_)) showStats(t->count, t->bytes);
}

void RestorePage::refillList() {
  if (const auto t = fileList_->show(records_, filterBoxes_->filter())) showStats(t->count, t->bytes);
}

void RestorePage::FilterFileChooserByFilename() {
  filterBoxes_->changed(FilterBoxes::Box::FileName);
  refillList();
}

void RestorePage::FilterFileChooserByExtension() {
  filterBoxes_->changed(FilterBoxes::Box::Extension);
  refillList();
}

void RestorePage::btnCheckAll_Click() { fileList_->setAllChecked(true); }
void RestorePage::btnUncheckAll_Click() { fileList_->setAllChecked(false); }

}  // namespace corvane::restore::ui
