#pragma once
// The seam between the main window's frame (frmConfig) and the pages and dialogs that live on
// it. The frame calls a page only through these interfaces; a page that is not part of the
// program is absent (nullptr) and the frame skips its calls. Header only: page libraries
// include it without linking the shell.
#include <QDateTime>
#include <QString>

#include "store/Database.h"
#include "store/DatabasePaths.h"

class QWidget;

namespace corvane::shell {

// What the frame offers its pages.
class MainWindowServices {
 public:
  virtual ~MainWindowServices() = default;
  virtual const store::DatabasePaths& databases() const = 0;
  virtual QWidget* window() = 0;                    // frmConfig, parent for dialogs
  virtual void setCaption(const QString& text) = 0; // window caption (progress texts)
  virtual QString caption() const = 0;
  virtual void relayout() = 0;                      // Form_Resize
  // The date output shared by the window's DBSelectSetting calls (SettingDate).
  virtual QDateTime& settingDate() = 0;
  // The retry policy for a database call made now. While the status tick runs it is
  // store::kNoWait: the service may hold a lock for seconds and the tick must never hold the
  // window, so a busy database fails at once. Code reached from the tick passes this policy
  // (onDatabase, withBusyRetry, readSetting ...) and on a busy error keeps what it shows; the
  // next tick tries again. Outside the tick it is the normal bounded wait.
  virtual store::RetryPolicy databasePolicy() const { return {}; }
};

// Tab 1 "Backup": folder tree and extension list.
class BackupPageHooks {
 public:
  virtual ~BackupPageHooks() = default;
  virtual QWidget* widget() = 0;           // the page, placed on tab 1
  virtual void LoadRegisteredExtensions() = 0;
  virtual void LoadFileTypeList() = 0;
  // From the first status tick after the window is shown (databasePolicy() is kNoWait then).
  // A busy DBError thrown out of it makes the next tick call it again.
  virtual void PopulateDriveNodes() = 0;
  // Ticks cbxSelected (without running the click handler) and runs cbxSelected_Click.
  // Called from the first status tick too (no waiting: databasePolicy()).
  virtual void ShowSelectedExtensions() = 0;
  // The periodic refresh from the status tick: refresh LstExtensions, then cbxSelected_Click.
  // No waiting on a busy database (databasePolicy()): keep the figures shown.
  virtual void RefreshExtensionList() = 0;
};

// Tab 2 "Scheduler": upload hours.
class SchedulerPageHooks {
 public:
  virtual ~SchedulerPageHooks() = default;
  virtual QWidget* widget() = 0;
  virtual void CaptionScheduleHours() = 0;
  virtual void CmdScheduler_Click() = 0;
};

// Tab 3 "Log": upload-log search.
class LogPageHooks {
 public:
  virtual ~LogPageHooks() = default;
  virtual QWidget* widget() = 0;
  virtual void WriteLog(bool firstTime) = 0;
};

// Tab 4 "Status".
class StatusPageHooks {
 public:
  virtual ~StatusPageHooks() = default;
  virtual QWidget* widget() = 0;
  virtual void InitStatusPage() = 0;
};

// Tab 7 "Restore" (and the restore options of tab 5).
class RestorePageHooks {
 public:
  virtual ~RestorePageHooks() = default;
  virtual QWidget* widget() = 0;
  // Run by the load, and by the first status tick on tab 7 (no waiting then:
  // databasePolicy()); a busy DBError thrown out of the tick's call makes the next tick on the
  // tab run it again.
  virtual void InitRestorePage() = 0;
};

// Tabs 6 "Old Imaging" and 8 "Imaging".
class ImagingPageHooks {
 public:
  virtual ~ImagingPageHooks() = default;
  virtual QWidget* widget() = 0;     // tab 8
  virtual QWidget* oldWidget() = 0;  // tab 6
  virtual void InitImagePage() = 0;
  virtual void ImagePage() = 0;
  // Every status tick while tab 8 (6) is current: no waiting on a busy database
  // (databasePolicy() is kNoWait); keep what is shown, the next tick reads again.
  virtual void UpdateImagePage() = 0;
  virtual void UpdateOldImagePage() = 0;
  virtual void UIDisconnect() = 0;
};

// This computer's name from the key table (identity step of the load).
class IdentityHooks {
 public:
  virtual ~IdentityHooks() = default;
  virtual QString DBSelectMachineNameByKeyID(qint64 keyId) = 0;  // "" when none
  virtual qint64 DBSelectLastKeyID() = 0;                          // 0 when none
  virtual void ImportOriginalKeyFile() = 0;
};

// Windows opened from the menus.
class DialogHooks {
 public:
  virtual ~DialogHooks() = default;
  virtual void showAdvancedSettings() = 0;  // frmAdvanced
  virtual void showFileCopy() = 0;          // frmFileCopy
  virtual void stopWork() = 0;              // the program is ending: stop long walks
};

// Everything the frame is given; any member may be null.
struct Pages {
  BackupPageHooks* backup = nullptr;
  SchedulerPageHooks* scheduler = nullptr;
  LogPageHooks* log = nullptr;
  StatusPageHooks* status = nullptr;
  RestorePageHooks* restore = nullptr;
  ImagingPageHooks* imaging = nullptr;
  IdentityHooks* identity = nullptr;
  DialogHooks* dialogs = nullptr;
};

}  // namespace corvane::shell
