#pragma once
// Controller of the extension list beside the folder tree: the file types offered for backup,
// their ticks in the Ext table and the statistics of the ticked types. The page creates and
// lays out the widgets; this controller attaches to them, sets their captions, columns and
// tooltips, and connects their signals itself.
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>
#include <optional>

#include "selection/ExtensionTypes.h"
#include "selection/ui/BusyControls.h"
#include "store/DatabaseJob.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvane::shell {
class MainWindowServices;
}

namespace corvane::selection {

struct ExtensionControls {
  QTreeWidget* LstExtensions = nullptr;
  QLineEdit* Text1 = nullptr;
  QLabel* lblExtension = nullptr;
  QCheckBox* cbxSelected = nullptr;
  QPushButton* btnAddExt = nullptr;
  QPushButton* CmdRsetList = nullptr;
  QCheckBox* cbxSmallImageFileFilter = nullptr;
};

class ExtensionList : public QObject {
  Q_OBJECT
 public:
  ExtensionList(const ExtensionControls& controls, shell::MainWindowServices& services, QObject* parent = nullptr);
  ~ExtensionList() override;

  // Window start-up.
  void LoadRegisteredExtensions();  // FileTypes from the system's file types
  void LoadRegisteredExtensions(const QVector<RegisteredType>& registered);  // from a given list
  void LoadFileTypeList();          // rows for the types named in TypeLst.xml

  // Ticked types with statistics, or all types filtered by Text1 (cbxSelected's state). The
  // ticked types are listed at once with the figures cached in Ext; the figures of the others
  // are computed by a job off the window's thread and shown row by row as they come, then
  // stored in one transaction. A new fill, leaving the page and closing the window stop it.
  void cbxSelected_Click();
  // Ticks cbxSelected without running its handler, then cbxSelected_Click.
  void ShowSelectedExtensions();
  // The periodic refresh of the status timer: the list again, with the cached figures (a
  // type's figures are computed when none are cached).
  void RefreshExtensionList();
  // 1 when the setting "SmallImageFileFilter" is "1", else 0: what the folder tree passes to
  // the small image filter after a tick. The setting is read with the window's shared settings
  // date (services.settingDate()), which the tree then writes with "UploadsWaiting". Waits a
  // bounded while on a busy Status.db, then throws store::DBError.
  int SmallImageFilterSetting();

  // Handlers, connected to the widgets' signals; public so that callers and tests can run them.
  void FillExtensionList(const QString& filter);
  void LstExtensions_ItemCheck(QTreeWidgetItem* item);
  void Text1_KeyUp();
  void CmdRsetList_Click();
  void btnAddExt_Click();
  void LstExtensions_ColumnClick(int column);
  void cbxSmallImageFileFilter_Click();

  // The job computing the figures of the types listed without cached ones.
  store::DatabaseJob& statisticsJob() { return statistics_; }
  // Stops the statistics job (an action is about to change what it counts); the rows keep what
  // they show until the next fill.
  void stopStatistics();
  // Counts again the rows a stop left without figures, for an action that ended without a fill
  // of the list (its write failed or was refused).
  void resumeStatistics();

  const QVector<FileTypeEntry>& FileTypes() const { return fileTypes_; }
  const QVector<FileTypeEntry>& ListedTypes() const { return listedTypes_; }

 private:
  void AddToList(const QString& extension, const QString& description, qint64 totalFiles, double totalSize,
                 qint64 notUploaded, int fileId, bool ticked);
  void clearList();
  void setBusy(bool busy);
  void resortIfSorted();
  void onItemChanged(QTreeWidgetItem* item, int column);
  void setRowTick(QTreeWidgetItem* item, bool ticked);
  void fitColumns();
  using PendingRows = QVector<QPair<QString, QTreeWidgetItem*>>;
  // Starts the job for the rows listed without cached figures.
  void startStatistics(PendingRows rows);
  void showFigures(QTreeWidgetItem* item, const QStringList& figures, bool counting = false);
  void growColumns(QTreeWidgetItem* item);
  bool eventFilter(QObject* watched, QEvent* event) override;

  ExtensionControls c_;
  shell::MainWindowServices& services_;
  QVector<FileTypeEntry> fileTypes_;
  QVector<FileTypeEntry> listedTypes_;
  int sortColumn_ = -1;
  bool sortAscending_ = true;
  quint64 listGeneration_ = 0;  // bumped whenever the rows are thrown away
  int busyDepth_ = 0;
  std::optional<BusyControls> busy_;
  // Rows whose figures the job has not shown yet; when hiding the list stopped the job, it is
  // started again for them when the list shows again.
  PendingRows pending_;
  bool resumeOnShow_ = false;
  store::DatabaseJob statistics_;  // last: stopped before anything it hands back could be gone
};

}  // namespace corvane::selection
