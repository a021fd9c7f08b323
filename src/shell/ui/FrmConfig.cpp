#include "shell/ui/FrmConfig.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "handoff/ClsUtils.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "shell/FrameRules.h"
#include "shell/IdentityStep.h"
#include "shell/Layout.h"
#include "shell/ui/FrmAbout.h"
#include "shell/ui/FrameTabs.h"
#include "store/Database.h"
#include "store/DatabaseTrouble.h"
#include "store/FileTables.h"
#include "store/Settings.h"

namespace corvane::shell {

namespace {

constexpr int kDesignWidth = 1000;   // pixels; the window's size when it loads
constexpr int kDesignHeight = 700;
constexpr int kLoadErrorWaitMs = 200;
// The look through both databases when the window first shows is given up after this long (a
// cold disk under a very large Files.db); the window answers throughout.
constexpr int kDatabaseCheckMs = 30000;

// The check boxes the load sets from settings: ticked when the value is `value`, or (for the
// image switch) unless it is.
struct CheckBoxSetting {
  const char* setting;
  const char* name;
  const char* value;
  bool tickedUnless;
};
const CheckBoxSetting kCheckBoxSettings[] = {
    {"ImageSwitch", "cbxImageSwitch", "N", true},
    {"SmallImageFileFilter", "cbxSmallImageFileFilter", "1", false},
    {"DefaultFolderFilter", "cbxDefaultFolderFilter", "1", false},
};


// Every control a layout rule reads or sets.
const char* const kLayoutControls[] = {
    "SSTab1", "Frame2", "Frame5", "Frame13", "Label3", "Frame7", "LstExtensions", "tvFolders", "lblExtension",
    "Text1", "cbxSelected", "cbxSmallImageFileFilter", "cbxDefaultFolderFilter", "cbxImageSwitch", "btnAddExt",
    "Select_Item", "Frame8", "Frame9", "Frame3", "Frame1", "Frame11", "lvwIcons", "Frame4", "tvDrivesStatus",
    "chkDetails", "Frame16", "btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles",
    "tbxQuickSync", "tbxRestoreAll", "tbxRestoreFolders", "tbxRestoreFiles", "frameImaging", "frameRestore",
    "lstFileChooser", "tvDLFolders", "frameFilter", "FrameSource"};

bool layoutHolds(const QLayout* layout, const QWidget* w) {
  if (!layout) return false;
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (item->widget() == w) return true;
    if (item->layout() && layoutHolds(item->layout(), w)) return true;
  }
  return false;
}

QString errorText(const std::exception_ptr& ep) {
  try {
    std::rethrow_exception(ep);
  } catch (const store::DBError& e) {
    return e.description();
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
    return QStringLiteral("unknown error");
  }
}

}  // namespace

FrmConfig::FrmConfig(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmConfig");
  setWindowTitle(QStringLiteral("Corvane Backup"));
  databases_ = store::DatabasePaths::forAppFolder(platform::appPaths().appFolder);
  settingDate_ = QDateTime::currentDateTime();

  Timer_Status_ = new QTimer(this);
  Timer_Status_->setObjectName("Timer_Status");
  Timer_Status_->setInterval(kStatusIntervalMs);
  connect(Timer_Status_, &QTimer::timeout, this, [this] { Timer_Status_Timer(); });

  buildMenus();
  buildTabs();
  resize(kDesignWidth, kDesignHeight);
}

FrmConfig::~FrmConfig() = default;

void FrmConfig::buildMenus() {
  QMenu* tools = menuBar()->addMenu(QStringLiteral("Tools"));
  tools->setObjectName("mnuTools");
  auto add = [this](QMenu* menu, const char* name, const QString& text, void (FrmConfig::*handler)()) {
    QAction* a = menu->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return a;
  };
  mStart_ = add(tools, "mStart", QStringLiteral("Resume Corvane"), &FrmConfig::mStart_Click);
  mStop_ = add(tools, "mStop", QStringLiteral("Pause Corvane"), &FrmConfig::mStop_Click);
  tools->addSeparator();
  add(tools, "mSetupWizard", QStringLiteral("Setup Wizard"), &FrmConfig::mSetupWizard_Click);
  mAdvancedSettings_ = add(tools, "mAdvancedSettings", QStringLiteral("Advanced Settings"), &FrmConfig::mAdvancedSettings_Click);
  mFileCopy_ = add(tools, "mFileCopy", QStringLiteral("File Copy Utility"), &FrmConfig::mFileCopy_Click);
  tools->addSeparator();
  add(tools, "mExit", QStringLiteral("Exit"), &FrmConfig::mExit_Click);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  help->setObjectName("mnuHelp");
  add(help, "mHelp", QStringLiteral("Help"), &FrmConfig::mHelp_Click);
  add(help, "mAbout", QStringLiteral("About..."), &FrmConfig::mAbout_Click);

  // Windows that are not part of this program yet cannot be opened.
  mAdvancedSettings_->setEnabled(false);
  mFileCopy_->setEnabled(false);
}

void FrmConfig::buildTabs() {
  auto* central = new QWidget(this);  // no layout: SSTab1 is placed by the layout rules
  central->setObjectName("frmConfigClient");
  setCentralWidget(central);
  SSTab1_ = new QTabWidget(central);
  SSTab1_->setObjectName("SSTab1");
  SSTab1_->setGeometry(4, 4, kDesignWidth - 8, kDesignHeight - 40);

  for (int tab = 0; tab < TabCount; ++tab) {
    auto* container = new QWidget;
    container->setObjectName(QStringLiteral("SSTab1Tab%1").arg(tab));
    tabContainers_[tab] = container;
    SSTab1_->addTab(container, tabCaption(tab));
  }

  buildFileExtensionTab(tabContainers_[TabFileExtension]);
  buildRestoreOptionsTab(tabContainers_[TabRestoreFiles]);

  // The other tabs show their frame until their page is part of the program.
  for (int tab : {TabBackup, TabScheduler, TabLog, TabStatus, TabOldImaging, TabRestore, TabImaging}) {
    auto* layout = new QVBoxLayout(tabContainers_[tab]);
    auto* frame = new QGroupBox(tab == TabOldImaging ? QStringLiteral("Image Functions") : tabCaption(tab));
    frame->setObjectName(QStringLiteral("framePlaceholder%1").arg(tab));
    layout->addWidget(frame);
  }

  connect(SSTab1_, &QTabWidget::currentChanged, this, [this](int tab) { SSTab1_Click(tab); });
}

void FrmConfig::setPages(const Pages& pages) {
  pages_ = pages;
  auto place = [this](int tab, QWidget* page) {
    if (!page) return;
    QWidget* container = tabContainers_[tab];
    if (QWidget* placeholder = container->findChild<QWidget*>(QStringLiteral("framePlaceholder%1").arg(tab)))
      delete placeholder;
    QLayout* layout = container->layout();
    if (!layout) layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
  };
  if (pages_.backup) place(TabBackup, pages_.backup->widget());
  if (pages_.scheduler) place(TabScheduler, pages_.scheduler->widget());
  if (pages_.log) place(TabLog, pages_.log->widget());
  if (pages_.status) place(TabStatus, pages_.status->widget());
  if (pages_.restore) place(TabRestore, pages_.restore->widget());
  if (pages_.imaging) {
    place(TabImaging, pages_.imaging->widget());
    place(TabOldImaging, pages_.imaging->oldWidget());
  }
  mAdvancedSettings_->setEnabled(pages_.dialogs != nullptr);
  mFileCopy_->setEnabled(pages_.dialogs != nullptr);
  ensureOwnControls();
}

void FrmConfig::ensureOwnControls() {
  // This computer's name, unless a page shows it: beside the tabs.
  if (!findChild<QLabel*>(QStringLiteral("lblIdentity"))) {
    auto* label = new QLabel(SSTab1_);
    label->setObjectName("lblIdentity");
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(240);
    label->setContentsMargins(0, 0, 8, 0);
    SSTab1_->setCornerWidget(label, Qt::TopRightCorner);
  }
}

FrmConfig::StepResult FrmConfig::runStep(const char* step, const std::function<void()>& work, bool inLoad) {
  try {
    work();
    return StepResult::Done;
  } catch (const store::DBError& e) {
    if (!inLoad && e.isBusy()) return StepResult::Busy;
    if (e.isBusy()) loadWaitSpent_ = true;
    recordFailure(step, e.description(), inLoad);
    if (e.isBusy()) return StepResult::Busy;
  } catch (...) {
    recordFailure(step, errorText(std::current_exception()), inLoad);
  }
  return StepResult::Failed;
}

void FrmConfig::recordFailure(const char* step, const QString& description, bool inLoad) {
  const QString text = QString::fromLatin1(step) + ": " + description;
  if (failures_.record(QString::fromLatin1(inLoad ? "load " : "tick ") + QString::fromLatin1(step), text))
    qWarning("frmConfig: %s", qPrintable(text));
  if (inLoad) platform::waitMs(kLoadErrorWaitMs);
  failures_.tellAboutDatabases(databases_);
}

void FrmConfig::setCheckBox(const char* name, bool ticked) {
  if (auto* box = findChild<QAbstractButton*>(QString::fromLatin1(name))) {
    const QSignalBlocker block(box);
    box->setChecked(ticked);
  }
}

void FrmConfig::applyActivity(const QString& activity) {
  if (const auto menus = menusForActivity(activity)) {
    mStart_->setEnabled(menus->startEnabled);
    mStop_->setEnabled(menus->stopEnabled);
  }
}

void FrmConfig::enableRestoreButtons() {
  for (const char* name : kRestoreButtonNames)
    if (auto* b = findChild<QAbstractButton*>(QString::fromLatin1(name))) b->setEnabled(true);
}

void FrmConfig::Form_Load() {
  auto step = [this](const char* name, const std::function<void()>& work) { runStep(name, work, true); };
  const QString& statusDb = databases_.statusDb;

  platform::doEvents();
  step("CaptionScheduleHours", [&] { if (pages_.scheduler) pages_.scheduler->CaptionScheduleHours(); });
  platform::doEvents();
  step("database paths", [&] { databases_ = store::DatabasePaths::forAppFolder(platform::appPaths().appFolder); });
  platform::doEvents();
  // While it loads the window is not on screen. A service that holds a database longer than
  // one bounded wait would make every step wait again, one after the other; once that wait is
  // spent, the rest of the load (the pages' parts included) reads without waiting, and the
  // ticks catch up once the database is free.
  const QScopedValueRollback<bool> loading(loading_, true);
  loadWaitSpent_ = false;
  // Status.db is small: it is looked through before the load writes into it (Files.db, which can
  // hold a million rows, once the window shows).
  step("database check", [&] {
    store::checkDatabasesAside(
        {databases_.statusDb},
        [] {
          platform::doEvents();
          return true;
        },
        false, 0);
  });
  for (const QString& db : {databases_.statusDb, databases_.filesDb}) {
    try {
      store::onDatabase(db, [](store::DBConnection& c) { c.Query(QStringLiteral("SELECT count(*) FROM sqlite_master")); },
                        databasePolicy());
    } catch (const store::DBError& e) {
      if (e.isBusy()) loadWaitSpent_ = true;  // other failures are met and told by the steps
    }
  }

  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The known file types (the system's, read through the MIME database, then TypeLst.xml's
  // rows in the list) and the imaging page are not on show when the window opens, and reading
  // them took longer than the rest of the load: they are read once the window has painted.
  shownSteps_ = ShownSteps::Pending;
  step("status timer", [&] {
    Timer_Status_->setInterval(kStatusIntervalMs);
    Timer_Status_->start();
  });
  platform::doEvents();
  Timer_Status_Timer();
  QApplication::restoreOverrideCursor();

  step("tabs", [&] {
    for (int tab : {TabFileExtension, TabRestoreFiles, TabStatus, TabScheduler, TabOldImaging})
      SSTab1_->setTabVisible(tab, false);
    for (int tab : {TabBackup, TabRestore, TabImaging}) SSTab1_->setTabVisible(tab, true);
    SSTab1_->setTabEnabled(TabOldImaging, false);
  });
  step("load size", [&] {
    loadHeight_ = height();
    loadWidth_ = width();
    restorePending_ = true;
    // The layout never goes below the load size; neither may the window, or pages end up
    // outside it.
    setMinimumSize(loadWidth_, loadHeight_);
  });
  step("InitRestorePage", [&] { if (pages_.restore) pages_.restore->InitRestorePage(); });
  step("CmdScheduler_Click", [&] { if (pages_.scheduler) pages_.scheduler->CmdScheduler_Click(); });

  // A box whose setting could not be read for a busy Status.db keeps its design state until a
  // tick reads it.
  readCheckBoxes(true);

  step("Identity", [&] {
    identityValue_.clear();
    const IdentityResult r =
        resolveIdentity(statusDb, pages_.identity, QDateTime::currentDateTime(), databasePolicy());
    identityValue_ = r.identityValue;
    if (!r.machineName.isEmpty())
      if (auto* label = findChild<QLabel*>(QStringLiteral("lblIdentity")))
        label->setText(QStringLiteral("This Computer:- ") + r.machineName);
  });

  step("Activity", [&] {
    store::DBSelectSetting(statusDb, "Activity", activityValue_, settingDate_);
    applyActivity(activityValue_);
  });
  step("UIDisconnect", [&] { if (pages_.imaging) pages_.imaging->UIDisconnect(); });
  step("Form_Resize", [&] { Form_Resize(); });
}

void FrmConfig::runShownSteps() {
  if (shownSteps_ != ShownSteps::Pending) return;
  shownSteps_ = ShownSteps::Running;
  auto step = [this](const char* name, const std::function<void()>& work) { runStep(name, work, true); };
  // In the load's order: the list file names types of the registered ones.
  step("LoadRegisteredExtensions", [&] { if (pages_.backup) pages_.backup->LoadRegisteredExtensions(); });
  step("LoadFileTypeList", [&] { if (pages_.backup) pages_.backup->LoadFileTypeList(); });
  step("InitImagePage", [&] { if (pages_.imaging) pages_.imaging->InitImagePage(); });
  step("Form_Resize", [&] { Form_Resize(); });
  shownSteps_ = ShownSteps::Done;
}

store::RetryPolicy FrmConfig::databasePolicy() const {
  // A handler that runs while the tick lets events in (a click) is the user's action, not the
  // tick's: it waits as user actions do.
  const bool tickWork = tickNesting_ >= 0 && platform::eventNesting() == tickNesting_;
  return tickWork || (loading_ && loadWaitSpent_) ? store::kNoWait : store::RetryPolicy{};
}

void FrmConfig::readCheckBoxes(bool inLoad) {
  checkBoxesPending_ = false;
  for (const CheckBoxSetting& box : kCheckBoxSettings) {
    const auto read = [&] {
      // The load's policy is taken per box: once a busy read has spent its wait, the rest do not wait.
      const store::RetryPolicy policy = inLoad ? databasePolicy() : store::kNoWait;
      const QString value =
          store::readSetting(databases_.statusDb, QString::fromLatin1(box.setting), policy).value_or(QString());
      setCheckBox(box.name, box.tickedUnless ? value != QLatin1String(box.value) : value == QLatin1String(box.value));
    };
    if (runStep(box.setting, read, inLoad) == StepResult::Busy) checkBoxesPending_ = true;
  }
}

void FrmConfig::Form_Activate() {
  if (wasActivated_) return;
  firstTickPending_ = true;
  databaseCheckPending_ = true;
  wasActivated_ = true;
}

void FrmConfig::checkDatabases() {
  // SQLite meets a damaged page only when a statement reads it, so a window could start on a
  // damaged Files.db without a word and write the user's choices into it. Both files are looked
  // through once the window shows, on a thread of their own: the window answers meanwhile, and
  // closing it ends the look.
  // A file the service holds locked is looked through at a later tick; the tick does not wait.
  QElapsedTimer spent;
  spent.start();
  const bool done = store::checkDatabasesAside(
      {databases_.statusDb, databases_.filesDb},
      [this, &spent] {
        platform::doEvents();
        return !unloaded_ && spent.elapsed() < kDatabaseCheckMs;
      },
      false, 0);
  databaseCheckPending_ = !done && spent.elapsed() < kDatabaseCheckMs;
}

void FrmConfig::Timer_Status_Timer() {
  auto step = [this](const char* name, const std::function<void()>& work) { return runStep(name, work, false); };
  Timer_Status_->stop();
  // The steps left for after the load come first: the first tick's fill replaces the rows the
  // list file gave. Not in the load's own tick (the window is not on show yet). A tick run
  // while they let events in leaves the list for a tick after them.
  if (!loading_) runShownSteps();
  const bool listReady = shownSteps_ != ShownSteps::Running;
  // Every database call of the tick, the pages' included, runs without waiting on a lock.
  const QScopedValueRollback<int> inTick(tickNesting_, platform::eventNesting());
  const QString statusDb = databases_.statusDb;

  step("image pages", [&] {
    const int tab = SSTab1_->currentIndex();
    if (!pages_.imaging) return;
    if (tab == TabOldImaging) pages_.imaging->UpdateOldImagePage();
    if (tab == TabImaging) pages_.imaging->UpdateImagePage();
  });
  if (SSTab1_->currentIndex() != TabRestore || !pages_.restore) {
    restorePending_ = false;
  } else if (restorePending_) {
    // One attempt per load, even when it fails; only a busy database leaves it for the next tick.
    restorePending_ = step("InitRestorePage", [&] { pages_.restore->InitRestorePage(); }) == StepResult::Busy;
  }
  step("caption", [&] { setWindowTitle(handoff::ClsUtils().GetStatusForCaption(statusDb, store::kNoWait)); });
  step("Activity", [&] {
    activityValue_ = store::readSetting(statusDb, QStringLiteral("Activity"), store::kNoWait).value_or(QString());
    applyActivity(activityValue_);
  });
  if (checkBoxesPending_) readCheckBoxes(false);
  bool listMetBusy = false;
  if (firstTickPending_ && listReady) {
    const StepResult filled = step("PopulateDriveNodes", [&] { if (pages_.backup) pages_.backup->PopulateDriveNodes(); });
    if (filled != StepResult::Busy) {
      // A list that met a busy Files.db is filled at the next tick, as a periodic refresh is.
      listMetBusy = step("cbxSelected_Click", [&] { if (pages_.backup) pages_.backup->ShowSelectedExtensions(); }) ==
                    StepResult::Busy;
      firstTickPending_ = false;
      tickCount_ = 0;
    }
  }
  if (databaseCheckPending_ && !firstTickPending_ && (!databaseChecked_ || tickCount_ % kQueueCheckEvery == 0)) {
    databaseChecked_ = true;
    databaseCheckPending_ = false;
    step("database check", [&] { checkDatabases(); });
  }
  if (tickCount_ % kQueueCheckEvery == 0 || queueCheckPending_) {
    queueCheckPending_ = step("DBCountTempDFiles", [&] {
                           tempDFileCount_ = store::DBCountTempDFiles(databases_.filesDb, store::kNoWait);
                           if (tempDFileCount_ == 0) enableRestoreButtons();
                         }) == StepResult::Busy;
  }
  platform::doEvents();
  if (tickCount_ >= kTickWrap) {
    extensionRefreshPending_ = true;
    tickCount_ = 0;
  } else {
    ++tickCount_;
  }
  if (extensionRefreshPending_ && listReady) {
    extensionRefreshPending_ = SSTab1_->currentIndex() == TabBackup && pages_.backup &&
                               step("extension list", [&] { pages_.backup->RefreshExtensionList(); }) == StepResult::Busy;
  }
  if (listMetBusy) extensionRefreshPending_ = true;
  // What any part of the window met since the last tick (a read of a damaged catalogue on a
  // worker, an error a page kept to itself) reaches the user here, once per file.
  failures_.tellAboutTrouble(databases_);
  if (!unloaded_) Timer_Status_->start();
}

void FrmConfig::SSTab1_Click(int tab) {
  if (!loading_) runShownSteps();  // before a page they set up is served
  switch (tab) {
    case TabFileExtension:
      if (auto* first = findChild<QLineEdit*>(QStringLiteral("TxtFirstTime")); first && first->text() == "0") {
        first->setText(QStringLiteral("1"));
        if (pages_.backup) pages_.backup->ShowSelectedExtensions();
      }
      break;
    case TabStatus:
      if (pages_.status) pages_.status->InitStatusPage();
      break;
    case TabLog:
      if (pages_.log) pages_.log->WriteLog(true);
      break;
    case TabImaging:
      if (pages_.imaging) pages_.imaging->ImagePage();
      break;
    default:
      break;
  }
}

void FrmConfig::Form_Resize() {
  // Rectangles in twips: controls placed directly on a tab count from the tab control's corner
  // (the tab strip included); all others from their container.
  auto tabOffset = [this](const QWidget* w) -> QPoint {
    const QWidget* parent = w->parentWidget();
    for (QWidget* container : tabContainers_) {
      if (parent == container || (parent && parent->parentWidget() == container && parent->pos() == QPoint(0, 0)))
        return parent->mapTo(SSTab1_, QPoint(0, 0));
    }
    return {};
  };

  QHash<QString, QWidget*> widgets;
  ControlRects rects;
  for (const char* name : kLayoutControls) {
    const QString n = QString::fromLatin1(name);
    QWidget* w = findChild<QWidget*>(n);
    if (!w) continue;
    if (w->parentWidget() && layoutHolds(w->parentWidget()->layout(), w)) continue;  // its layout places it
    const QPoint off = tabOffset(w);
    const QRect g = w->geometry();
    widgets.insert(n, w);
    rects.insert(n, TwipsRect{double(g.x() + off.x()) * kTwipsPerPixel, double(g.y() + off.y()) * kTwipsPerPixel,
                              double(g.width()) * kTwipsPerPixel, double(g.height()) * kTwipsPerPixel});
  }

  LayoutInput in;
  in.windowWidth = double(width()) * kTwipsPerPixel;
  in.windowHeight = double(height()) * kTwipsPerPixel;
  in.loadWidth = double(loadWidth_) * kTwipsPerPixel;
  in.loadHeight = double(loadHeight_) * kTwipsPerPixel;
  in.innerWidth = double(centralWidget()->width()) * kTwipsPerPixel;
  in.innerHeight = double(centralWidget()->height()) * kTwipsPerPixel;
  if (auto* mode = findChild<QAbstractButton*>(QStringLiteral("btnBackupMode"))) in.backupModeCaption = mode->text();
  if (!layOutMainWindow(in, rects)) return;

  // The tab control first, so the tab offsets of the other controls are its new ones.
  QStringList order = widgets.keys();
  order.removeAll(QStringLiteral("SSTab1"));
  order.prepend(QStringLiteral("SSTab1"));
  for (const QString& n : order) {
    QWidget* w = widgets.value(n);
    if (!w) continue;
    const TwipsRect r = rects.value(n);
    const QPoint off = tabOffset(w);
    const QRect g(pixelsFromTwips(r.left) - off.x(), pixelsFromTwips(r.top) - off.y(), pixelsFromTwips(r.width),
                  pixelsFromTwips(r.height));
    if (g != w->geometry()) w->setGeometry(g);
  }
}

void FrmConfig::Form_KeyDown(int keyCode) {
  if (keyCode == 27) close();
}

void FrmConfig::updateSetting(const QString& name, const QString& value) {
  try {
    store::DBUpdateSetting(databases_.statusDb, name, value, QDateTime::currentDateTime());
  } catch (const store::DBError& e) {
    store::showDatabaseError(e);
    throw;
  }
}

void FrmConfig::mStart_Click() {
  try {
    updateSetting("Activity", "Start");
  } catch (const store::DBError&) {
    return;
  }
  mStart_->setEnabled(false);
  mStop_->setEnabled(true);
}

void FrmConfig::mStop_Click() {
  try {
    updateSetting("Activity", "Pause");
  } catch (const store::DBError&) {
    return;
  }
  mStart_->setEnabled(true);
  mStop_->setEnabled(false);
}

bool FrmConfig::tellService(const QString& command) {
  QString error;
  if (handoff::ClsUtils().WriteConfig(command, &error)) return true;
  platform::showMessage(QStringLiteral("Corvane could not pass \"%1\" on to the backup service.\n\n").arg(command) + error,
                        QStringLiteral("Corvane"), platform::MsgButtons::Ok, platform::MsgIcon::Critical);
  return false;
}

void FrmConfig::mSetupWizard_Click() {
  // Without the command file the wizard never starts: the window stays, so the user is not left
  // with neither.
  if (!tellService(QStringLiteral("Setup"))) return;
  try {
    updateSetting("Activity", "Setup");
  } catch (const store::DBError&) {
  }
  close();
}

void FrmConfig::mAdvancedSettings_Click() {
  if (pages_.dialogs) pages_.dialogs->showAdvancedSettings();
}

void FrmConfig::mFileCopy_Click() {
  if (pages_.dialogs) pages_.dialogs->showFileCopy();
}

void FrmConfig::mExit_Click() { close(); }

void FrmConfig::mHelp_Click() { tellService(QStringLiteral("Help")); }

void FrmConfig::mAbout_Click() {
  if (!about_) about_ = new FrmAbout(this);
  about_->show();
  about_->raise();
  // With the focus, Escape closes the box instead of reaching the main window (which it ends).
  about_->activateWindow();
}

void FrmConfig::setCaption(const QString& text) { setWindowTitle(text); }
QString FrmConfig::caption() const { return windowTitle(); }

void FrmConfig::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  Form_Resize();
}

void FrmConfig::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // Before the first show the tab control has not placed its pages yet, so the places that
  // count from its corner were taken from a corner without the tab strip: lay out again.
  Form_Resize();
  Form_Activate();
  // The steps left for after the load run once the window is on the screen and painted (its
  // first expose paints it at once), not before its first paint.
  if (shownSteps_ == ShownSteps::Pending && windowHandle()) windowHandle()->installEventFilter(this);
}

bool FrmConfig::eventFilter(QObject* watched, QEvent* e) {
  if (watched == windowHandle() && e->type() == QEvent::Expose && windowHandle()->isExposed()) {
    windowHandle()->removeEventFilter(this);
    QTimer::singleShot(0, this, [this] { runShownSteps(); });
  }
  return QMainWindow::eventFilter(watched, e);
}

bool FrmConfig::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Form_Activate();
  return QMainWindow::event(e);
}

void FrmConfig::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) {
    Form_KeyDown(27);
    return;
  }
  QMainWindow::keyPressEvent(e);
}

void FrmConfig::closeEvent(QCloseEvent* e) {
  // Form_Unload: the program ends with its main window.
  QMainWindow::closeEvent(e);
  if (unloaded_) return;
  unloaded_ = true;
  Timer_Status_->stop();
  if (pages_.dialogs) runStep("stopWork", [&] { pages_.dialogs->stopWork(); }, false);
  emit unloaded();
}

}  // namespace corvane::shell
