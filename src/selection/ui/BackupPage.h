#pragma once
// The "Backup" page of the main window: the folder tree of the file backup (tvFolders) with
// its two modes, the folder scan, the default folder filter, and the widgets of the
// extension list (driven by ExtensionList).
#include <QHash>
#include <QStringList>
#include <QWidget>
#include <optional>

#include "selection/FolderTable.h"
#include "shell/PageSeam.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvane::selection {

class ExtensionList;

class BackupPage : public QWidget, public shell::BackupPageHooks {
  Q_OBJECT
 public:
  explicit BackupPage(shell::MainWindowServices& services, QWidget* parent = nullptr);
  ~BackupPage() override;

  // shell::BackupPageHooks
  QWidget* widget() override { return this; }
  void LoadRegisteredExtensions() override;
  void LoadFileTypeList() override;
  // Rebuilds the tree down to the drives (and, one level ahead, their folders). Called by the
  // frame's status tick: when the service holds Files.db it throws the busy store::DBError at
  // once, so the tick keeps what it shows and calls again (RefreshExtensionList likewise).
  void PopulateDriveNodes() override;
  void ShowSelectedExtensions() override;
  void RefreshExtensionList() override;
  // The same rebuild for the page's own actions: a busy database is waited for (bounded, the
  // window painting meanwhile), a failure is told.
  void rebuildTree();

  // Handlers, connected to the widgets; public so that callers and tests can run them.
  void tvFolders_Expand(QTreeWidgetItem* node);
  void tvFolders_NodeCheck(QTreeWidgetItem* node);
  void btnBackupMode_Click();
  void btnScanForNewFolders_Click();
  void cbxDefaultFolderFilter_Click();

  // Adds the direct sub-folders of one node (each once) and ticks them from their rows, read
  // through the expansion's reader.
  void LoadChildNodes(QTreeWidgetItem* node, FolderChildren& rows);
  // Re-ticks the nodes on show (each parent expanded), of every drive, from the stored flags (a
  // node without a row: unticked). The drive is not looked at.
  void UpdateTreeNodes(const QString& drive);
  void ShowExtControls();
  void HideExtControls();

  // The node with that key ("Drives", "C:\", "C:\Data"), or nullptr.
  QTreeWidgetItem* nodeByKey(const QString& key) const;
  static QString keyOf(const QTreeWidgetItem* node);
  // The tree's drive slots from the last GetDrives (kept apart from any other page's list).
  const QStringList& DriveNames() const { return driveNames_; }
  ExtensionList* extensionList() const { return extensions_; }
  bool scanRunning() const { return scanning_; }

 private:
  QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& key, const QString& text, bool isFolder);
  QTreeWidgetItem* makeNode(const QString& key, const QString& text, bool isFolder, bool ticked);
  void setTick(QTreeWidgetItem* node, bool ticked);
  // Ticks the nodes from what is stored now.
  void retick(const QList<QTreeWidgetItem*>& nodes);
  void onItemChanged(QTreeWidgetItem* item, int column);
  void clearTree();
  // Root and drives afresh; false when a handler run meanwhile rebuilt the tree itself. Throws
  // store::DBError.
  bool buildDriveNodes();
  void rebuildTree(store::RetryPolicy policy);
  QString filesDb() const;
  QString statusDb() const;
  QString mode() const;
  void buildWidgets();

  shell::MainWindowServices& services_;
  QGroupBox* Frame7 = nullptr;
  QTreeWidget* tvFolders = nullptr;
  QPushButton* btnBackupMode = nullptr;
  QPushButton* btnScanForNewFolders = nullptr;
  QCheckBox* cbxSmallImageFileFilter = nullptr;
  QCheckBox* cbxDefaultFolderFilter = nullptr;
  QCheckBox* cbxImageSwitch = nullptr;
  QTreeWidget* LstExtensions = nullptr;
  QLineEdit* Text1 = nullptr;
  QLabel* lblExtension = nullptr;
  QCheckBox* cbxSelected = nullptr;
  QPushButton* btnAddExt = nullptr;
  QPushButton* CmdRsetList = nullptr;
  ExtensionList* extensions_ = nullptr;

  // How the tree's reads wait on a busy Files.db: the window's policy for the call under way
  // (no waiting at all inside the status tick).
  store::RetryPolicy policy_{};
  // The busy error that ended the last expansion early, if any.
  std::optional<store::DBError> expandBusy_;

  QStringList driveNames_;
  QHash<QString, QTreeWidgetItem*> nodes_;  // key -> node
  quint64 treeGeneration_ = 0;              // bumped whenever the nodes are thrown away
  bool scanning_ = false;
};

}  // namespace corvane::selection
