#include "shell/Composition.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPointer>

#include "filecopy/ui/FrmFileCopy.h"
#include "imaging/ui/EnginePanel.h"
#include "imaging/ui/ImagingPage.h"
#include "keys/KeyIdentity.h"
#include "platform/AppFolder.h"
#include "platform/Wait.h"
#include "restore/CatalogueDownload.h"
#include "restore/ui/RestorePage.h"
#include "selection/ui/BackupPage.h"
#include "selection/ui/FrmAdvanced.h"
#include "shell/ui/FrmConfig.h"
#include "snapshot/EngineProcess.h"
#include "status/ui/LogPage.h"
#include "status/ui/SchedulerPage.h"
#include "status/ui/StatusPage.h"

namespace corvane::shell {

namespace {

void showBusyPointer(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
}

// The windows opened from the main window's menus: each made on first use, then kept (owned
// by the main window, so they live as long as it does) and shown again.
class MenuDialogs final : public DialogHooks {
 public:
  explicit MenuDialogs(MainWindowServices& services) : services_(services) {}

  void showAdvancedSettings() override {
    if (!advanced_) advanced_ = new selection::FrmAdvanced(services_, services_.window());
    advanced_->showModeless();
  }

  void showFileCopy() override {
    if (!fileCopy_) fileCopy_ = new filecopy::FrmFileCopy(services_.window());
    fileCopy_->show();
    fileCopy_->raise();
    fileCopy_->activateWindow();
  }

  void stopWork() override {
    if (fileCopy_) fileCopy_->stop();
    // A catalogue download under way (a slow server) would keep the ended program running.
    restore::stopDownloads();
  }

 private:
  MainWindowServices& services_;
  QPointer<selection::FrmAdvanced> advanced_;
  QPointer<filecopy::FrmFileCopy> fileCopy_;
};

// The engine panel on the engine of the application folder.
std::shared_ptr<imaging::EnginePanel> makeEnginePanel(MainWindowServices& services) {
  const QString appFolder = platform::appPaths().appFolder;
  imaging::EngineHooks hooks;
  hooks.launcher = std::make_shared<imaging::DetachedEngineLauncher>(appFolder);
  hooks.endEngine = [appFolder] { return snapshot::endEngineProcesses(QFile::encodeName(appFolder).toStdString()); };
  return std::make_shared<imaging::EnginePanel>(
      services, imaging::EngineLibrary::load(imaging::engineLibraryPath(appFolder)), std::move(hooks));
}

}  // namespace

Composition::Composition(MainWindowServices& services) {
  auto backup = std::make_shared<selection::BackupPage>(services);
  pages_.backup = keep(backup);
  pages_.scheduler = keep(std::make_shared<status::SchedulerPage>());
  pages_.log = keep(std::make_shared<status::LogPage>(services));
  pages_.status = keep(std::make_shared<status::StatusPage>(services));
  imaging::EnginePanel* engine = keep(makeEnginePanel(services));
  pages_.imaging = keep(std::make_shared<imaging::ImagingPage>(services, engine));
  // The check box stands among the backup page's filters; what it stores belongs to imaging.
  if (auto* imageSwitch = backup->findChild<QCheckBox*>(QStringLiteral("cbxImageSwitch")))
    QObject::connect(imageSwitch, &QCheckBox::clicked, engine,
                     [engine](bool ticked) { engine->frontEnd().cbxImageSwitch_Click(ticked); });
  pages_.restore = keep(std::make_shared<restore::ui::RestorePage>(services));
  pages_.dialogs = keep(std::make_shared<MenuDialogs>(services));
  pages_.identity = keep(std::make_shared<keys::KeyIdentity>(services.databases().statusDb));
}

ComposedMainWindow::ComposedMainWindow()
    : frame_(std::make_unique<FrmConfig>()), composition_(std::make_unique<Composition>(*frame_)) {
  frame_->setPages(composition_->pages());
  platform::setBusyPointerHook(&showBusyPointer);
}

ComposedMainWindow::~ComposedMainWindow() { platform::setBusyPointerHook(nullptr); }

}  // namespace corvane::shell
