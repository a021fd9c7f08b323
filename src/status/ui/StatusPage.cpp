#include "status/ui/StatusPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPointer>
#include <QSet>
#include <QStyle>
#include <QTreeWidget>

#include "handoff/SharedLists.h"
#include "platform/RunAside.h"
#include "platform/Wait.h"
#include "status/StatusFolders.h"
#include "status/ui/IconListView.h"

namespace corvane::status {

namespace {
constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
// Rows between two passes of the window's events while a big folder is listed.
constexpr int kRowsPerPass = 200;
}  // namespace

StatusPage::StatusPage(shell::MainWindowServices& services, QWidget* parent)
    : StatusPage(services, IconCache(), parent) {}

StatusPage::StatusPage(shell::MainWindowServices& services, IconCache icons, QWidget* parent)
    : QWidget(parent), services_(services), icons_(std::move(icons)) {
  build();
}

void StatusPage::build() {
  setObjectName("StatusPage");
  // Design places in pixels inside Frame4, which fills the tab at the window's load size; the
  // main window's layout rules size the icon list from Frame4 and put it and chkDetails beside
  // the tree.
  auto* Frame4 = new QGroupBox(this);
  Frame4->setObjectName("Frame4");
  Frame4->setGeometry(4, 4, 978, 634);
  tvDrivesStatus = new QTreeWidget(Frame4);
  tvDrivesStatus->setGeometry(8, 28, 300, 594);
  tvDrivesStatus->setObjectName("tvDrivesStatus");
  tvDrivesStatus->setHeaderHidden(true);
  tvDrivesStatus->setColumnCount(1);
  lvwIcons = new IconListView(Frame4);
  lvwIcons->setObjectName("lvwIcons");
  lvwIcons->setGeometry(311, 28, 624, 594);
  chkDetails = new QCheckBox("&Details", Frame4);
  chkDetails->setObjectName("chkDetails");
  chkDetails->setGeometry(315, 4, chkDetails->sizeHint().width(), 22);

  connect(tvDrivesStatus, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* n) { tvDrivesStatus_Expand(n); });
  connect(tvDrivesStatus, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* n, int) { tvDrivesStatus_NodeClick(n); });
  connect(chkDetails, &QCheckBox::toggled, this, [this] { chkDetails_Click(); });
  connect(lvwIcons, &IconListView::columnClicked, this, [this](int c) { lvwIcons_ColumnClick(c); });

  lvwIcons->setReportView(false);
}

handoff::ClsUtils* StatusPage::utils() {
  if (!utils_) utils_ = std::make_unique<handoff::ClsUtils>();
  return utils_.get();
}

QString StatusPage::keyOf(const QTreeWidgetItem* node) { return node ? node->data(0, kKeyRole).toString() : QString(); }
int StatusPage::imageOf(const QTreeWidgetItem* node) { return node ? node->data(0, kImageRole).toInt() : 0; }

void StatusPage::setImage(QTreeWidgetItem* node, int image) {
  node->setData(0, kImageRole, image);
  // Made once: every node of a kind shows the same icon.
  if (nodeIcons_.isEmpty())
    nodeIcons_ = {style()->standardIcon(QStyle::SP_DriveHDIcon), style()->standardIcon(QStyle::SP_DirClosedIcon),
                  style()->standardIcon(QStyle::SP_DirOpenIcon)};
  node->setIcon(0, nodeIcons_[image == ImageDrive ? 0 : image == ImageFolder ? 1 : 2]);
}

QTreeWidgetItem* StatusPage::addNode(QTreeWidgetItem* parent, const QString& key, const QString& text, int image) {
  if (nodes_.contains(key)) return nullptr;  // keys are unique: a node loaded before stays single
  auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvDrivesStatus);
  node->setText(0, text);
  node->setData(0, kKeyRole, key);
  setImage(node, image);
  nodes_.insert(key, node);
  return node;
}

void StatusPage::InitStatusPage() {
  // The log is read with the window's events running: a second selection of the tab meanwhile
  // starts the rebuild over once this pass has let go, instead of running inside it.
  if (initializing_) {
    initAgain_ = true;
    return;
  }
  initializing_ = true;
  QPointer<StatusPage> alive(this);
  const QString caption = services_.caption();
  bool built = false;
  do {
    initAgain_ = false;
    ++listing_;  // a fill of the list still running ends
    built = utils()->CreateFolderList([&](qint64 done, qint64 total) {
      if (done < total) services_.setCaption(QStringLiteral("Corvane Reading the upload log... %1%").arg(done * 100 / total));
      platform::doEvents();
      return alive && !initAgain_;
    });
    if (!alive) return;
  } while (!built || initAgain_);
  initializing_ = false;
  if (services_.caption() != caption) services_.setCaption(caption);

  tvDrivesStatus->clear();
  nodes_.clear();
  lastExpanded_.clear();
  addNode(nullptr, platform::appPaths().mirrorRootPath, "Selected Folders", ImageDrive);
  AddDriveNodes();
  lvwIcons->clearRows();
  lvwIcons->clearColumns();
  lvwIcons->addColumn("FILENAME", "File Name", 2000);
  lvwIcons->addColumn("FILETYPE", "File Type", 1250);
  lvwIcons->addColumn("FILEDATE", "Modified On", 1500);
  lvwIcons->addColumn("LASTDATETIME", "Corvaneed On", 2000);
}

void StatusPage::AddDriveNodes() {
  const int count = tvDrivesStatus->topLevelItemCount();
  for (int i = 0; i < count; ++i) {
    QTreeWidgetItem* node = tvDrivesStatus->topLevelItem(i);
    const QString key = keyOf(node);
    for (const QString& entry : subFolderPaths(key)) {
      const QString leaf = leafName(entry, key);
      if (leaf.endsWith("Drive")) addNode(node, entry, leaf, ImageDrive);
    }
  }
}

void StatusPage::AddFolderNodes(const QString& path, QTreeWidgetItem* parent) {
  if (!parent) return;
  for (const QString& entry : subFolderPaths(path)) addNode(parent, entry, leafName(entry, path), ImageFolder);
}

void StatusPage::tvDrivesStatus_Expand(QTreeWidgetItem* node) {
  if (!node || node->childCount() == 0) return;
  if (QTreeWidgetItem* last = nodes_.value(lastExpanded_); last && imageOf(last) == ImageOpenFolder)
    setImage(last, ImageFolder);
  if (imageOf(node) == ImageFolder) setImage(node, ImageOpenFolder);
  lastExpanded_ = keyOf(node);
  // A folder may hold thousands of sub-folders, each of them read for its own: the reading runs
  // on a thread of its own while the window paints (clicks and keys wait, so nothing changes
  // the tree meanwhile), then the nodes are added.
  QStringList children;
  for (int i = 0; i < node->childCount(); ++i) children << keyOf(node->child(i));
  std::vector<QStringList> below(size_t(children.size()));
  platform::runAsidePainting([&](const std::atomic<bool>&) {
    for (qsizetype i = 0; i < children.size(); ++i) below[size_t(i)] = subFolderPaths(children[i]);
  });
  for (qsizetype i = 0; i < children.size(); ++i) {
    QTreeWidgetItem* child = nodes_.value(children[i]);
    if (!child) continue;
    for (const QString& entry : below[size_t(i)]) addNode(child, entry, leafName(entry, children[i]), ImageFolder);
  }
}

void StatusPage::tvDrivesStatus_NodeClick(QTreeWidgetItem* node) {
  ++listing_;
  lvwIcons->clearRows();
  if (!node) return;
  // The root "Selected Folders" stands for no real folder and lists nothing.
  const auto real = realFolderOf(platform::appPaths().mirrorRootPath, keyOf(node));
  if (real && utils()->IsValidPath(*real)) ListFolderFiles(*real);
}

void StatusPage::ListFolderFiles(const QString& folder) {
  const int listing = ++listing_;
  const handoff::SharedLists& lists = handoff::sharedLists();
  const QSet<QString> excluded(lists.excludedFolders.begin(), lists.excludedFolders.end());
  const QList<FolderEntry> entries = listFolderEntries(folder, excluded, lists.loggedUploads);

  // The rows come into the list together at the end (the list is hidden while it is filled),
  // in the order of the last column click.
  lvwIcons->beginRows();
  const QString caption = services_.caption();
  QPointer<StatusPage> alive(this);
  for (int i = 0; i < entries.size(); ++i) {
    AddFileItem(entries[i].path, entries[i].isFolder, entries[i].uploadTime);
    if ((i + 1) % kRowsPerPass == 0) {
      services_.setCaption(QStringLiteral("Corvane Listing folder... %1 of %2").arg(i + 1).arg(entries.size()));
      platform::doEvents();
    }
    if (!alive) return;
    if (listing_ != listing) break;  // another folder was clicked or the page was rebuilt
  }
  if (entries.size() >= kRowsPerPass) services_.setCaption(caption);
  lvwIcons->endRows();
}

void StatusPage::AddFileItem(const QString& path, bool isFolder, const QString& uploadTime) {
  bool fetched = false;
  const int index = icons_.indexFor(path, isFolder, &fetched);
  const QString name = path.mid(path.lastIndexOf('\\') + 1);
  lvwIcons->addRow({name, icons_.typeName(index), modifiedText(path), isFolder ? QString() : uploadTime},
                   icons_.icon(index));
  // Fetching a new icon is slow: the window gets its events, but only once the row is in, so a
  // click handled meanwhile never finds this row added to the list it starts.
  if (fetched) platform::doEvents();
}

void StatusPage::chkDetails_Click() { lvwIcons->setReportView(chkDetails->isChecked()); }

void StatusPage::lvwIcons_ColumnClick(int column) {
  sort_.click(column);
  lvwIcons->sortRows(sort_.key(), sort_.descending());
}

}  // namespace corvane::status
