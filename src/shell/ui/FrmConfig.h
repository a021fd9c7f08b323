#pragma once
// frmConfig: the main window's frame. It owns the tab control SSTab1 with its nine tabs, the
// menus, the status timer and the layout; the pages on the tabs are reached only through the
// hooks of PageSeam.h, and a call whose page is absent is skipped.
#include <QDateTime>
#include <QMainWindow>
#include <QStringList>
#include <functional>

#include "shell/PageSeam.h"
#include "shell/StepFailures.h"
#include "store/DatabasePaths.h"

class QAction;
class QTabWidget;
class QTimer;
class QWidget;

namespace corvane::shell {

class FrmAbout;

class FrmConfig : public QMainWindow, public MainWindowServices {
  Q_OBJECT

 public:
  explicit FrmConfig(QWidget* parent = nullptr);
  ~FrmConfig() override;

  // Places the pages' widgets on their tabs (replacing the empty frames) and keeps the
  // hooks. Call once, before Form_Load.
  void setPages(const Pages& pages);
  const Pages& pages() const { return pages_; }

  // Window events, callable directly (tests call the tick without waiting for the timer).
  void Form_Load();
  void Form_Activate();
  void Timer_Status_Timer();
  void SSTab1_Click(int tab);  // the tab control's tab change
  void Form_Resize();
  void Form_KeyDown(int keyCode);

  void mStart_Click();
  void mStop_Click();
  void mSetupWizard_Click();
  void mAdvancedSettings_Click();
  void mFileCopy_Click();
  void mExit_Click();
  void mHelp_Click();
  void mAbout_Click();

  // MainWindowServices
  const store::DatabasePaths& databases() const override { return databases_; }
  using QWidget::window;
  QWidget* window() override { return this; }
  void setCaption(const QString& text) override;
  QString caption() const override;
  void relayout() override { Form_Resize(); }
  QDateTime& settingDate() override { return settingDate_; }
  // kNoWait for the status tick's own work, the normal bounded wait otherwise, a click handled
  // while the tick lets events in included.
  store::RetryPolicy databasePolicy() const override;

  QTabWidget* tabs() const { return SSTab1_; }
  QTimer* statusTimer() const { return Timer_Status_; }
  FrmAbout* aboutBox() const { return about_; }

  // Fields of the frame, readable for the pages and for tests.
  QString identityValue() const { return identityValue_; }
  QString activityValue() const { return activityValue_; }
  int loadWidth() const { return loadWidth_; }
  int loadHeight() const { return loadHeight_; }
  bool restorePending() const { return restorePending_; }
  bool firstTickPending() const { return firstTickPending_; }
  bool wasActivated() const { return wasActivated_; }
  int tickCount() const { return tickCount_; }
  int tempDFileCount() const { return tempDFileCount_; }
  bool isUnloaded() const { return unloaded_; }
  // "step: description" of each load or tick step that failed, oldest first; a step that fails
  // again is not listed again.
  const QStringList& stepErrors() const { return failures_.texts(); }

 signals:
  void unloaded();  // Form_Unload: the program ends

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildMenus();
  void buildTabs();
  void ensureOwnControls();
  void applyActivity(const QString& activity);
  void enableRestoreButtons();
  void setCheckBox(const char* name, bool ticked);
  void updateSetting(const QString& name, const QString& value);
  enum class StepResult { Done, Busy, Failed };
  // A step of the load or of the tick. In the tick a busy database is no failure: what the
  // step would change keeps its value and the next tick tries again (Busy).
  StepResult runStep(const char* step, const std::function<void()>& work, bool inLoad);
  // Sets the check boxes the load sets from settings, each a step of the load (inLoad) or of the
  // tick; a box whose setting met a busy Status.db is left for the next tick (checkBoxesPending_).
  void readCheckBoxes(bool inLoad);
  void checkDatabases();
  void recordFailure(const char* step, const QString& description, bool inLoad);
  // The load's steps whose work is not on show when the window opens, run once (in the load's
  // order) when the window has been painted, or before the first tick or tab change after the
  // load, whichever comes first.
  void runShownSteps();
  // Writes the command file for the service's tray side; says so when it cannot.
  bool tellService(const QString& command);

  Pages pages_;
  store::DatabasePaths databases_;
  QDateTime settingDate_;
  QTabWidget* SSTab1_ = nullptr;
  QWidget* tabContainers_[9] = {};
  QTimer* Timer_Status_ = nullptr;
  FrmAbout* about_ = nullptr;
  QAction* mStart_ = nullptr;
  QAction* mStop_ = nullptr;
  QAction* mAdvancedSettings_ = nullptr;
  QAction* mFileCopy_ = nullptr;

  QString identityValue_;
  QString activityValue_;
  int loadWidth_ = 0;
  int loadHeight_ = 0;
  bool restorePending_ = false;
  bool firstTickPending_ = false;
  bool wasActivated_ = false;
  int tickCount_ = 0;
  int tempDFileCount_ = 0;
  bool unloaded_ = false;
  int tickNesting_ = -1;  // platform::eventNesting() where the running tick does its work; -1: none
  bool loading_ = false;
  enum class ShownSteps { Pending, Running, Done };
  ShownSteps shownSteps_ = ShownSteps::Done;  // Pending from the load on
  bool loadWaitSpent_ = false;        // the load has waited once for a busy database
  bool checkBoxesPending_ = false;    // the load could not read the check boxes' settings
  bool queueCheckPending_ = false;        // the last queue count met a busy database
  bool extensionRefreshPending_ = false;  // the same for the extension list refresh
  bool databaseCheckPending_ = false;     // the databases are looked through once the window shows
  bool databaseChecked_ = false;          // ... and again every 10th tick while one stayed busy
  StepFailures failures_;
};

}  // namespace corvane::shell
