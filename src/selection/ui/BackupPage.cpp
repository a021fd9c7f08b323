#include "selection/ui/BackupPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "handoff/CutTextTips.h"
#include "handoff/SharedIcons.h"
#include "platform/Wait.h"
#include "selection/BackupDrives.h"
#include "selection/FolderExclusions.h"
#include "selection/FolderScan.h"
#include "selection/FolderTick.h"
#include "selection/ui/BusyControls.h"
#include "selection/ui/ExtensionList.h"
#include "selection/ui/Failure.h"
#include "shell/Twips.h"
#include "store/Database.h"
#include "store/DatabaseJob.h"
#include "store/DatabaseTrouble.h"
#include "store/Settings.h"

namespace corvane::selection {

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kTickRole = Qt::UserRole + 1;  // the tick last set or recorded
const QString kRootKey = QStringLiteral("Drives");
constexpr int kPopulateAttempts = 3;
constexpr int kPopulateWaitMs = 1000;

// Layout lengths are in twips.
int px(int twips) { return shell::pixelsFromTwips(twips); }

const QString kFrameCaptionFolderFile =
    QStringLiteral("Folders and Files - backup only the selected extensions in these folders");
const QString kFrameCaptionFull = QStringLiteral("Full Folder Backup - backup all files in these folders");

// The three option boxes under the tree stand at fixed places 2200 twips apart; a caption too
// long for its box at the window's font is drawn smaller rather than cut off.
void fitCaption(QCheckBox* box) {
  QFont f = box->font();
  while (box->sizeHint().width() > box->width() && f.pointSizeF() > 7.0) {
    f.setPointSizeF(f.pointSizeF() - 0.5);
    box->setFont(f);
  }
  if (box->sizeHint().width() > box->width()) box->setToolTip(box->toolTip().isEmpty() ? box->text() : box->toolTip());
}

// The frame's status tick calls the page and must never wait on a lock the service holds: it
// keeps what it shows and calls again a second later. So the tick's calls first look, without
// waiting, whether Files.db can be read now and give the busy error back at once when not.
void throwIfBusy(const QString& filesDb) {
  try {
    store::onDatabase(
        filesDb, [](store::DBConnection& c) { c.Query(QStringLiteral("SELECT count(*) FROM sqlite_master")); },
        store::kNoWait);
  } catch (const store::DBError& e) {
    if (e.isBusy()) throw;  // any other failure is met and told by the work itself
  }
}

}  // namespace

BackupPage::BackupPage(shell::MainWindowServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  setObjectName(QStringLiteral("BackupPage"));
  buildWidgets();
  extensions_ = new ExtensionList(ExtensionControls{LstExtensions, Text1, lblExtension, cbxSelected, btnAddExt,
                                                    CmdRsetList, cbxSmallImageFileFilter},
                                  services_, this);
  for (QCheckBox* box : {cbxSmallImageFileFilter, cbxDefaultFolderFilter, cbxImageSwitch}) fitCaption(box);

  connect(tvFolders, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* n) { tvFolders_Expand(n); });
  connect(tvFolders, &QTreeWidget::itemChanged, this, &BackupPage::onItemChanged);
  connect(btnBackupMode, &QPushButton::clicked, this, [this] { btnBackupMode_Click(); });
  connect(btnScanForNewFolders, &QPushButton::clicked, this, [this] { btnScanForNewFolders_Click(); });
  connect(cbxDefaultFolderFilter, &QCheckBox::clicked, this, [this] { cbxDefaultFolderFilter_Click(); });
}

BackupPage::~BackupPage() = default;

void BackupPage::buildWidgets() {
  // Design places in twips, inside Frame7 of 14000 x 7000; the main window's layout moves and
  // sizes the controls it names when the window changes size.
  const int fw = 14000, fh = 7000;
  Frame7 = new QGroupBox(kFrameCaptionFolderFile, this);
  Frame7->setObjectName(QStringLiteral("Frame7"));
  Frame7->setGeometry(px(100), px(100), px(fw), px(fh));

  btnBackupMode = new QPushButton(kFolderFileCaption, Frame7);
  btnBackupMode->setObjectName(QStringLiteral("btnBackupMode"));
  btnBackupMode->setGeometry(px(100), px(280), px(2000), px(400));

  btnScanForNewFolders = new QPushButton(QStringLiteral("Scan Folders/Files"), Frame7);
  btnScanForNewFolders->setObjectName(QStringLiteral("btnScanForNewFolders"));
  btnScanForNewFolders->setGeometry(px(2200), px(280), px(2000), px(400));

  CmdRsetList = new QPushButton(Frame7);
  CmdRsetList->setObjectName(QStringLiteral("CmdRsetList"));
  CmdRsetList->setGeometry(px(4300), px(280), px(1200), px(400));

  tvFolders = new QTreeWidget(Frame7);
  tvFolders->setObjectName(QStringLiteral("tvFolders"));
  tvFolders->setColumnCount(1);
  tvFolders->setHeaderHidden(true);
  handoff::showCutTextsAsTips(tvFolders);

  LstExtensions = new QTreeWidget(Frame7);
  LstExtensions->setObjectName(QStringLiteral("LstExtensions"));
  handoff::showCutTextsAsTips(LstExtensions);

  lblExtension = new QLabel(Frame7);
  lblExtension->setObjectName(QStringLiteral("lblExtension"));
  Text1 = new QLineEdit(Frame7);
  Text1->setObjectName(QStringLiteral("Text1"));
  cbxSelected = new QCheckBox(Frame7);
  cbxSelected->setObjectName(QStringLiteral("cbxSelected"));
  btnAddExt = new QPushButton(Frame7);
  btnAddExt->setObjectName(QStringLiteral("btnAddExt"));

  cbxSmallImageFileFilter = new QCheckBox(Frame7);
  cbxSmallImageFileFilter->setObjectName(QStringLiteral("cbxSmallImageFileFilter"));
  cbxDefaultFolderFilter = new QCheckBox(QStringLiteral("Apply Default Folder Filter"), Frame7);
  cbxDefaultFolderFilter->setObjectName(QStringLiteral("cbxDefaultFolderFilter"));
  cbxImageSwitch = new QCheckBox(QStringLiteral("Don't Unlock Busy Files"), Frame7);
  cbxImageSwitch->setObjectName(QStringLiteral("cbxImageSwitch"));

  // The places the window's layout gives at this frame size in "Folder/File Backup".
  const int lstW = fw / 2 - 220;
  const int tvW = fw - lstW - 440;
  const int lstL = tvW + 300;
  tvFolders->setGeometry(px(100), px(800), px(tvW), px(fh - 1400));
  LstExtensions->setGeometry(px(lstL), px(800), px(lstW), px(fh - 1400));
  lblExtension->setGeometry(px(lstL), px(330), px(1700), px(300));
  Text1->setGeometry(px(lstL + 1720), px(300), px(1000), px(360));
  cbxSelected->setGeometry(px(lstL + 2800), px(300), px(1900), px(360));
  btnAddExt->setGeometry(px(fw / 2 + 5000), px(280), px(1200), px(400));
  cbxSmallImageFileFilter->setGeometry(px(fw / 8 - 400), px(fh - 460), px(2100), px(360));
  cbxDefaultFolderFilter->setGeometry(px(fw / 8 + 1800), px(fh - 460), px(2300), px(360));
  cbxImageSwitch->setGeometry(px(fw / 8 + 4200), px(fh - 460), px(2300), px(360));
  setMinimumSize(px(fw + 200), px(fh + 200));

  // Tab goes as the eye does: the buttons and the extension filter along the top, the tree,
  // the list below the filter, then the option boxes at the foot.
  QWidget* const order[] = {btnBackupMode, btnScanForNewFolders, CmdRsetList, Text1, cbxSelected, btnAddExt,
                            tvFolders, LstExtensions, cbxSmallImageFileFilter, cbxDefaultFolderFilter, cbxImageSwitch};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

QString BackupPage::filesDb() const { return services_.databases().filesDb; }
QString BackupPage::statusDb() const { return services_.databases().statusDb; }
QString BackupPage::mode() const { return btnBackupMode->text(); }

QString BackupPage::keyOf(const QTreeWidgetItem* node) {
  return node ? node->data(0, kKeyRole).toString() : QString();
}

QTreeWidgetItem* BackupPage::nodeByKey(const QString& key) const { return nodes_.value(key, nullptr); }

// ---- Extension list (forwarded) -------------------------------------------------------------

void BackupPage::LoadRegisteredExtensions() { extensions_->LoadRegisteredExtensions(); }
void BackupPage::LoadFileTypeList() { extensions_->LoadFileTypeList(); }
void BackupPage::ShowSelectedExtensions() { extensions_->ShowSelectedExtensions(); }
void BackupPage::RefreshExtensionList() {
  throwIfBusy(filesDb());
  extensions_->RefreshExtensionList();
}

// ---- Tree -------------------------------------------------------------------------------------

QTreeWidgetItem* BackupPage::makeNode(const QString& key, const QString& text, bool isFolder, bool ticked) {
  auto* node = new QTreeWidgetItem;
  node->setText(0, text);
  node->setData(0, kKeyRole, key);
  node->setIcon(0, handoff::sharedIcon(isFolder ? handoff::SharedIcon::Folder : handoff::SharedIcon::Drive));
  node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
  node->setData(0, kTickRole, ticked);
  node->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
  nodes_.insert(key, node);
  return node;
}

QTreeWidgetItem* BackupPage::addNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                                     bool isFolder) {
  const QSignalBlocker block(tvFolders);
  if (!parent) {  // the root "Drives" has no box
    auto* root = new QTreeWidgetItem(tvFolders);
    root->setText(0, text);
    root->setData(0, kKeyRole, key);
    root->setIcon(0, handoff::sharedIcon(handoff::SharedIcon::Drive));
    nodes_.insert(key, root);
    return root;
  }
  QTreeWidgetItem* node = makeNode(key, text, isFolder, false);
  parent->addChild(node);
  return node;
}

void BackupPage::setTick(QTreeWidgetItem* node, bool ticked) {
  if (!node || !(node->flags() & Qt::ItemIsUserCheckable)) return;
  const QSignalBlocker block(tvFolders);
  node->setData(0, kTickRole, ticked);
  node->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
}

void BackupPage::onItemChanged(QTreeWidgetItem* item, int column) {
  if (column != 0 || !(item->flags() & Qt::ItemIsUserCheckable)) return;
  const bool ticked = item->checkState(0) == Qt::Checked;
  if (ticked == item->data(0, kTickRole).toBool()) return;  // not a change of the tick
  item->setData(0, kTickRole, ticked);
  tvFolders_NodeCheck(item);
}

void BackupPage::clearTree() {
  const QSignalBlocker block(tvFolders);
  ++treeGeneration_;
  nodes_.clear();
  tvFolders->clear();
}

bool BackupPage::buildDriveNodes() {
  clearTree();
  const quint64 generation = treeGeneration_;
  QTreeWidgetItem* root = addNode(nullptr, kRootKey, kRootKey, false);
  driveNames_ = GetDrives();
  for (int slot = 0; slot < kShownDriveSlots; ++slot) {
    const QString rootPath = driveNames_.value(slot);
    if (rootPath.isEmpty()) continue;
    platform::doEvents();
    // A handler run meanwhile rebuilt the tree (and deleted this root): that build stands.
    if (treeGeneration_ != generation) return false;
    QTreeWidgetItem* drive = addNode(root, rootPath, rootPath, false);
    // A drive without a row starts unticked.
    const std::optional<FolderFlags> flags = DBSelectFolder(filesDb(), withoutTrailingBackslash(rootPath), policy_);
    setTick(drive, flags && modeFlag(mode(), *flags));
  }
  return true;
}

void BackupPage::PopulateDriveNodes() {
  throwIfBusy(filesDb());
  rebuildTree(services_.databasePolicy());
}

void BackupPage::rebuildTree() { rebuildTree(store::RetryPolicy{}); }

void BackupPage::rebuildTree(store::RetryPolicy policy) {
  const QScopedValueRollback<store::RetryPolicy> during(policy_, policy);
  const bool waits = policy.waitMs > 0;
  const BusyControls disabled{tvFolders};
  std::optional<store::DBError> error;
  bool built = false;
  bool expand = true;
  for (int attempt = 0; attempt < kPopulateAttempts && !built; ++attempt) {
    // The window keeps painting while it waits for the next attempt.
    if (attempt > 0) platform::waitPaintingMs(kPopulateWaitMs);
    error.reset();
    try {
      expand = buildDriveNodes();
      built = true;
    } catch (const store::DBError& e) {
      if (e.isBusy() && !waits) throw;  // the status tick calls again a second later
      error = e;
      expand = false;
    }
  }
  expandBusy_.reset();
  if (QTreeWidgetItem* root = nodeByKey(kRootKey); root && expand)
    tvFolders->expandItem(root);  // loads the drives' folders
  tvFolders->update();
  if (!built && error->isDamaged() && !error->path().isEmpty() && !waits) {
    // The tree the window fills by itself: a damaged Files.db is told once, in plain words and
    // naming the file (the load told it already, as a rule), not again in SQLite's.
    store::tellDatabaseTrouble(QFileInfo(error->path()).absolutePath());
  } else if (!built) {
    reportFailure(QStringLiteral("The folder selection could not be read."), error->description());
  } else if (expandBusy_ && !waits)
    throw *expandBusy_;  // the drives' folders are read again at the next tick
}

void BackupPage::tvFolders_Expand(QTreeWidgetItem* node) {
  if (!node) return;
  expandBusy_.reset();
  const BusyControls disabled{tvFolders};
  // The service holding Files.db ends the expansion at once: every further read would wait out
  // the whole retry budget again, one child after the other. Expanding again reads them.
  const auto busy = [&](const store::DBError& e) {
    expandBusy_ = e;
    if (policy_.waitMs > 0)
      reportFailure(QStringLiteral("The folders below %1 could not be read. Expand it again to retry.").arg(node->text(0)),
                    e.description());
  };
  // The children now shown get their ticks from what is stored now: a tick elsewhere re-reads
  // only the nodes on show.
  QList<QTreeWidgetItem*> shown;
  for (int i = 0; i < node->childCount(); ++i) shown << node->child(i);
  try {
    retick(shown);
  } catch (const store::DBError& e) {
    if (e.isBusy()) return busy(e);
    // the ticks stay as they were read last
  }
  FolderChildren rows(filesDb(), policy_);
  for (int i = 0; i < node->childCount(); ++i) {
    try {
      LoadChildNodes(node->child(i), rows);
    } catch (const store::DBError& e) {
      if (e.isBusy()) return busy(e);
      // This child's folders are left out; the others still load.
    }
  }
}

void BackupPage::LoadChildNodes(QTreeWidgetItem* node, FolderChildren& rows) {
  const QVector<ChildNode> children = rows.SelectChildNodes(keyOf(node));
  const QString m = mode();
  // New nodes are made whole and added in one go: one insertion for the tree to lay out, not
  // one per folder.
  QList<QTreeWidgetItem*> added;
  for (const ChildNode& c : children) {
    const bool ticked = modeFlag(m, c.flags);
    if (QTreeWidgetItem* child = nodeByKey(c.key))
      setTick(child, ticked);  // expanded before: not added again, its tick read again
    else
      added.push_back(makeNode(c.key, c.text, true, ticked));
  }
  if (!added.isEmpty()) {
    const QSignalBlocker block(tvFolders);
    node->addChildren(added);
  }
}

void BackupPage::UpdateTreeNodes(const QString&) {
  // The nodes on show, of every drive (the exclusions a tick applies reach any drive): those
  // below a collapsed node are read again when it is expanded, so a tick costs what the user
  // sees, not every folder loaded so far.
  QList<QTreeWidgetItem*> shown;
  for (auto it = nodes_.cbegin(); it != nodes_.cend(); ++it) {
    if (it.key() == kRootKey) continue;
    bool onShow = true;
    for (const QTreeWidgetItem* p = it.value()->parent(); p && onShow; p = p->parent()) onShow = p->isExpanded();
    if (onShow) shown.push_back(it.value());
  }
  retick(shown);
}

void BackupPage::retick(const QList<QTreeWidgetItem*>& shown) {
  QStringList folders;
  for (const QTreeWidgetItem* n : shown) folders << withoutTrailingBackslash(keyOf(n));
  const QHash<QString, FolderFlags> stored = DBSelectFolderFlags(filesDb(), folders, policy_);
  const QString m = mode();
  for (qsizetype i = 0; i < shown.size(); ++i) {
    const auto it = stored.constFind(folders[i]);
    setTick(shown[i], it != stored.constEnd() && modeFlag(m, *it));
  }
}

void BackupPage::tvFolders_NodeCheck(QTreeWidgetItem* node) {
  if (!node) return;
  BusyControls busy{tvFolders};
  const bool ticked = node->checkState(0) == Qt::Checked;
  const FolderFlags flags = flagsForTick(mode(), ticked);
  const QString key = keyOf(node);
  const QString folder = withoutTrailingBackslash(key);
  // What the statistics count changes, and their reads would only hold the tick's write lock.
  extensions_->stopStatistics();
  QString error;
  bool stored = false;
  try {
    const int smallImages = extensions_->SmallImageFilterSetting();
    // The small image marks are an UPDATE over the images of File: the tick is stored off the
    // window's thread, which paints meanwhile.
    const QString db = filesDb();
    stored = store::runWhilePainting([&](store::JobContext& job) {
      return job.inTransaction(db, [&](store::DBConnection& c) { return DBStoreFolderTick(c, folder, flags, smallImages); });
    });
  } catch (const store::DBError& e) {
    error = e.description();
  }
  // Show what is stored, exclusions included. Nothing was stored for a folder without a row of
  // its own, or when the tick failed: its box goes back. The node is found again, as a rebuild
  // may have run while the window painted.
  if (stored) {
    try {
      UpdateTreeNodes(key.left(2));
    } catch (const store::DBError& e) {
      error = e.description();
    }
  } else {
    setTick(nodeByKey(key), !ticked);
  }
  platform::doEvents();
  tvFolders->update();
  busy.release();
  if (!stored) {
    extensions_->resumeStatistics();  // no fill of the list follows to count them
  } else {
    extensions_->cbxSelected_Click();
    try {
      store::DBUpdateSetting(statusDb(), QStringLiteral("UploadsWaiting"), QStringLiteral("Yes"),
                             services_.settingDate());
    } catch (const store::DBError& e) {
      if (error.isEmpty()) error = e.description();
    }
  }
  if (!error.isEmpty())
    reportFailure(QStringLiteral("The folder selection could not be saved."), error);
  else if (ticked && !stored)
    // Only folders the scan has stored can be ticked; nothing was written.
    platform::showMessage(key + QStringLiteral(" is not in the list of folders yet. Click \"Scan Folders/Files\" "
                                               "first, then tick it again."),
                          QStringLiteral("Corvane"), platform::MsgButtons::Ok, platform::MsgIcon::Information);
}

// ---- Modes ------------------------------------------------------------------------------------

void BackupPage::btnBackupMode_Click() {
  BusyControls busy{btnBackupMode, btnScanForNewFolders, cbxDefaultFolderFilter, cbxSmallImageFileFilter};
  tvFolders->hide();
  const auto restore = qScopeGuard([&] {
    tvFolders->show();
    busy.release();
    if (scanning_) btnScanForNewFolders->setEnabled(false);
  });
  if (mode() == kFolderFileCaption) {
    btnBackupMode->setText(kFullFolderCaption);
    HideExtControls();
    rebuildTree();
    services_.relayout();
  } else {
    btnBackupMode->setText(kFolderFileCaption);
    rebuildTree();
    ShowExtControls();
    services_.relayout();
  }
}

void BackupPage::ShowExtControls() {
  for (QWidget* w : {static_cast<QWidget*>(LstExtensions), static_cast<QWidget*>(Text1),
                     static_cast<QWidget*>(lblExtension), static_cast<QWidget*>(cbxSelected),
                     static_cast<QWidget*>(btnAddExt)})
    w->show();
  tvFolders->resize(qMax(0, Frame7->width() / 2 - px(200)), tvFolders->height());
  Frame7->setTitle(kFrameCaptionFolderFile);
}

void BackupPage::HideExtControls() {
  for (QWidget* w : {static_cast<QWidget*>(LstExtensions), static_cast<QWidget*>(Text1),
                     static_cast<QWidget*>(lblExtension), static_cast<QWidget*>(cbxSelected),
                     static_cast<QWidget*>(btnAddExt)})
    w->hide();
  tvFolders->resize(qMax(0, Frame7->width() - px(400)), tvFolders->height());
  Frame7->setTitle(kFrameCaptionFull);
}

// ---- Scan and filter --------------------------------------------------------------------------

void BackupPage::btnScanForNewFolders_Click() {
  if (scanning_) return;
  scanning_ = true;
  {
    BusyControls busy{btnScanForNewFolders};
    const auto done = qScopeGuard([&] {
      scanning_ = false;
      busy.release();
    });
    FolderScan scan(filesDb(), [this](const QString& text) { services_.setCaption(text); });
    try {
      WriteScanSettings(statusDb());
      driveNames_ = GetDrives();
      scan.Run(driveNames_);
    } catch (const store::DBError& e) {
      reportFailure(QStringLiteral("The folder scan could not be completed."), e.description());
    }
    if (scan.namesSkipped() > 0)
      platform::showMessage(
          QStringLiteral("%1 folder(s) were left out of the scan, with the folders inside them: their names are "
                         "not valid UTF-8 text or hold a \"\\\", so they cannot be stored.")
              .arg(scan.namesSkipped()),
          QStringLiteral("Corvane"), platform::MsgButtons::Ok, platform::MsgIcon::Warning);
  }
  rebuildTree();  // new folders and their inherited ticks show at once
}

void BackupPage::cbxDefaultFolderFilter_Click() {
  BusyControls busy{cbxDefaultFolderFilter};
  const bool ticked = cbxDefaultFolderFilter->isChecked();
  try {
    // One pass over every folder of Folder per hundred excluded names: off the window's thread.
    if (ticked) {
      const QString db = filesDb();
      store::runWhilePainting([&](store::JobContext& job) {
        job.inTransaction(db, [](store::DBConnection& c) { ExcludeFolders(c); });
      });
    }
    store::DBUpdateSetting(statusDb(), QStringLiteral("DefaultFolderFilter"), ticked ? QStringLiteral("1") : QStringLiteral("0"),
                           QDateTime::currentDateTime());
  } catch (const store::DBError& e) {
    reportFailure(QStringLiteral("The folder filter could not be applied."), e.description());
  }
  busy.release();
  rebuildTree();
}

}  // namespace corvane::selection
