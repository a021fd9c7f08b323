#pragma once
// The "Status" page: the mirror folder tree of what the service has uploaded (tvDrivesStatus)
// and, for a clicked folder, the real folder's sub-folders and logged files (lvwIcons).
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QWidget>

#include "handoff/ClsUtils.h"
#include "shell/PageSeam.h"
#include "status/LogSearch.h"
#include "status/ui/IconCache.h"

class QCheckBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvane::status {

class IconListView;

class StatusPage : public QWidget, public shell::StatusPageHooks {
  Q_OBJECT
 public:
  // Node images: the root and the drives, a folder, the folder expanded last.
  enum NodeImage { ImageDrive = 1, ImageFolder = 2, ImageOpenFolder = 3 };

  explicit StatusPage(shell::MainWindowServices& services, QWidget* parent = nullptr);
  StatusPage(shell::MainWindowServices& services, IconCache icons, QWidget* parent = nullptr);

  // shell::StatusPageHooks
  QWidget* widget() override { return this; }
  void InitStatusPage() override;

  void AddDriveNodes();
  void AddFolderNodes(const QString& path, QTreeWidgetItem* parent);
  void tvDrivesStatus_Expand(QTreeWidgetItem* node);
  void tvDrivesStatus_NodeClick(QTreeWidgetItem* node);
  void ListFolderFiles(const QString& folder);
  // Lets the window's events run after a row whose icons were new: the page may be rebuilt or
  // gone on return.
  void AddFileItem(const QString& path, bool isFolder, const QString& uploadTime);
  void chkDetails_Click();
  void lvwIcons_ColumnClick(int column);  // 1-based

  QTreeWidgetItem* nodeByKey(const QString& key) const { return nodes_.value(key); }
  static QString keyOf(const QTreeWidgetItem* node);
  static int imageOf(const QTreeWidgetItem* node);
  IconListView* iconList() const { return lvwIcons; }
  const IconCache& iconCache() const { return icons_; }

 private:
  void build();
  QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& key, const QString& text, int image);
  void setImage(QTreeWidgetItem* node, int image);

  shell::MainWindowServices& services_;
  handoff::ClsUtils* utils();
  std::unique_ptr<handoff::ClsUtils> utils_;
  QTreeWidget* tvDrivesStatus = nullptr;
  IconListView* lvwIcons = nullptr;
  QCheckBox* chkDetails = nullptr;
  IconCache icons_;
  QList<QIcon> nodeIcons_;  // drive, folder, folder expanded last
  QHash<QString, QTreeWidgetItem*> nodes_;
  QString lastExpanded_;  // key of the node expanded last
  ListSort sort_;
  int listing_ = 0;  // counts fills of the list, so a fill overtaken while events run stops
  bool initializing_ = false;  // InitStatusPage is reading the log
  bool initAgain_ = false;     // and was asked again meanwhile
};

}  // namespace corvane::status
