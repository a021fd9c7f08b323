#pragma once
// Recording pages for the frame's tests: each counts the calls the frame makes.
#include <QCheckBox>
#include <QHash>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <stdexcept>

#include "shell/PageSeam.h"

namespace corvane::test {

class FakeBackupPage : public shell::BackupPageHooks {
 public:
  FakeBackupPage() {
    page = new QWidget;
    // Placed by hand (no layout), so the frame's layout rules reach them.
    for (const char* name : {"cbxImageSwitch", "cbxSmallImageFileFilter", "cbxDefaultFolderFilter"}) {
      auto* box = new QCheckBox(QString::fromLatin1(name), page);
      box->setObjectName(QString::fromLatin1(name));
      QObject::connect(box, &QCheckBox::toggled, [this] { ++clickHandlers; });
    }
  }
  QWidget* widget() override { return page; }
  void LoadRegisteredExtensions() override {
    ++loadRegistered;
    if (calls) *calls << "LoadRegisteredExtensions";
    if (onLoadRegistered) onLoadRegistered();
  }
  void LoadFileTypeList() override {
    ++loadTypeList;
    if (calls) *calls << "LoadFileTypeList";
  }
  void PopulateDriveNodes() override {
    ++populate;
    if (calls) *calls << "PopulateDriveNodes";
    if (throwOnPopulate) throw std::runtime_error("drive walk failed");
  }
  void ShowSelectedExtensions() override {
    ++showSelected;
    if (calls) *calls << "ShowSelectedExtensions";
  }
  void RefreshExtensionList() override { ++refresh; }

  QWidget* page;
  int loadRegistered = 0, loadTypeList = 0, populate = 0, showSelected = 0, refresh = 0, clickHandlers = 0;
  bool throwOnPopulate = false;
  QStringList* calls = nullptr;  // the order of the calls, when set
  std::function<void()> onLoadRegistered;  // stands for a handler run while it lets events in
};

class FakeSchedulerPage : public shell::SchedulerPageHooks {
 public:
  QWidget* widget() override { return nullptr; }
  void CaptionScheduleHours() override {
    ++captions;
    throw std::runtime_error("no SchInfo.xml");
  }
  void CmdScheduler_Click() override {
    ++clicks;
    throw std::runtime_error("scheduler refused");
  }
  int captions = 0, clicks = 0;
};

class FakeOtherPages : public shell::LogPageHooks, public shell::StatusPageHooks, public shell::ImagingPageHooks,
                       public shell::RestorePageHooks, public shell::DialogHooks {
 public:
  QWidget* widget() override { return nullptr; }
  QWidget* oldWidget() override { return nullptr; }
  void WriteLog(bool firstTime) override { writeLog += firstTime ? 1 : 100; }
  void InitStatusPage() override { ++initStatus; }
  void InitImagePage() override {
    ++initImage;
    if (calls) *calls << "InitImagePage";
  }
  void ImagePage() override { ++imagePage; }
  void UpdateImagePage() override {
    ++updateImage;
    if (onUpdate) onUpdate();
    if (throwOnUpdate) throw std::runtime_error("engine gone");
  }
  void UpdateOldImagePage() override { ++updateOldImage; }
  void UIDisconnect() override { ++disconnects; }
  void InitRestorePage() override {
    ++initRestore;
    if (onInitRestore) onInitRestore();
  }
  void showAdvancedSettings() override { ++advanced; }
  void showFileCopy() override { ++fileCopy; }
  void stopWork() override { ++stops; }
  int writeLog = 0, initStatus = 0, initImage = 0, imagePage = 0, updateImage = 0, updateOldImage = 0,
      disconnects = 0, initRestore = 0, advanced = 0, fileCopy = 0, stops = 0;
  bool throwOnUpdate = false;
  QStringList* calls = nullptr;
  std::function<void()> onUpdate, onInitRestore;
};

class FakeIdentity : public shell::IdentityHooks {
 public:
  QString DBSelectMachineNameByKeyID(qint64 keyId) override {
    lookedUp << keyId;
    return names.value(keyId);
  }
  qint64 DBSelectLastKeyID() override { return lastKeyId; }
  void ImportOriginalKeyFile() override {
    ++imports;
    names.insert(lastKeyId, nameAfterImport);
  }
  QHash<qint64, QString> names;
  qint64 lastKeyId = 0;
  QString nameAfterImport;
  QList<qint64> lookedUp;
  int imports = 0;
};

}  // namespace corvane::test
