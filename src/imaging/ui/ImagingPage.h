#pragma once
// The imaging setup page (tab 8 of the main window): presets, source and destination, copies,
// shadow-copy policy and the full and differential schedules, in a detail view of the controls
// or a summary view of a few lines. Nothing here starts an image: the schedules are stored for
// the background service. ImagingPage.cpp holds the page and its presets; DriveFrames.cpp,
// ScheduleFrames.cpp and PresetValues.cpp the frames of the detail view and the preset's values.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "imaging/ImageOperations.h"
#include "imaging/ImgPresets.h"
#include "imaging/ScheduleMath.h"
#include "shell/PageSeam.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace corvane::imaging {

class DirListBox;

class ImagingPage : public QWidget, public shell::ImagingPageHooks {
  Q_OBJECT
 public:
  // engine may be null: the engine panel and the activity indicator are then absent.
  explicit ImagingPage(shell::MainWindowServices& services, ImageOperations* engine = nullptr,
                       QWidget* parent = nullptr);

  // shell::ImagingPageHooks
  QWidget* widget() override { return this; }
  QWidget* oldWidget() override { return engine_ ? engine_->enginePanel() : nullptr; }
  void InitImagePage() override;
  void ImagePage() override { InitImagePage(); }
  void UpdateImagePage() override;
  void UpdateOldImagePage() override;
  void UIDisconnect() override;

  // Replaceable for tests: the new-preset dialog and the clock.
  std::function<std::optional<QString>(QWidget* owner)> askNewPresetName;
  std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

  bool presetEdited() const { return presetEdited_; }
  const ImgPresetStore& presets() const { return store_; }

  // Procedures of the page.
  void PopulatePresetList();
  void PopulateImgDriveList();
  void PopulateImgStartDay();
  void PopulateImgStartDayQtr();
  void PopulateImgStartMonth();
  void PopulateDiffInterval();
  void SetPreset(const QString& name);
  void RefreshImagePreset();
  void ComputeSummary();
  void CalcLastDiff();
  void CalcNextFull();
  // Loads the named preset into the controls; false when it could not be read.
  bool DBReplayImgPreset(const QString& name);
  // The page's values as a preset row.
  ImgPreset capturePreset(const QString& name, const QString& sourceDrives, const QString& index) const;

  // Event procedures.
  void cbxPreset_Click();
  void btnSave_Click();
  void btnSaveAs_Click();
  void btnErase_Click();
  void btnDetail_Click();
  void btnSchedule_Click();
  void btnRunNow_Click();
  void lstImgSourceDrives_Click();
  void dlbDestDrive_Change();
  void dirDest_Change();
  void btnNewDir_Click();
  void frequency_Click(QRadioButton* option);
  void keepCopies_Click(QLineEdit* box, int delta);
  void vss_Click();
  void fullTime_Click(QAbstractButton* button);
  void diffTime_Click(QAbstractButton* button);

 private:
  // Building and wiring, by frame (the drive frames and the schedule frames have files of
  // their own).
  void build();
  void buildDriveFrames();
  void buildScheduleFrames();
  void wire();
  void wireDriveFrames();
  void wireScheduleFrames();
  void chainTabOrder();
  // Runs a handler; a database failure it does not report itself ends it quietly.
  void guarded(const std::function<void()>& work);
  template <class Sender, class Signal>
  void handle(Sender* sender, Signal signal, std::function<void()> handler) {
    connect(sender, signal, this, [this, handler] { guarded(handler); });
  }
  void edited() { presetEdited_ = true; }
  void updateCurrentPreset(const QString& name);
  // Save of the named preset (the question, then replace); true when it was stored.
  bool savePreset(const QString& name);
  bool saveAs();
  bool replacePreset(const ImgPreset& preset);
  QStringList selectedDrives() const;
  FullSchedule fullSchedule() const;
  DiffSchedule diffSchedule() const;
  void setOption(QRadioButton* option, bool on);
  void setCheck(QCheckBox* box, bool on);
  void setListText(QComboBox* list, const QString& text);
  void setPageCaption(const QString& caption);
  void selectPresetItem(const QString& name);  // without running cbxPreset_Click
  void fillDestDrives();

  shell::MainWindowServices& services_;
  ImageOperations* engine_;
  ImgPresetStore store_;
  bool presetEdited_ = false;
  QList<PresetListEntry> presetList_;  // PresetNameList / PresetIdList

  QGroupBox* FrameImagingSetup = nullptr;
  QGroupBox* framePresets = nullptr;
  QComboBox* cbxPreset = nullptr;
  QPushButton *btnSave = nullptr, *btnSaveAs = nullptr, *btnErase = nullptr;
  QPushButton *btnDetail = nullptr, *btnSchedule = nullptr, *btnRunNow = nullptr;
  QGroupBox* frameSourceDrives = nullptr;
  QListWidget* lstImgSourceDrives = nullptr;
  QGroupBox* frameDestination = nullptr;
  QComboBox* dlbDestDrive = nullptr;
  DirListBox* dirDest = nullptr;
  QLineEdit *tbxDest = nullptr, *tbxPrefix = nullptr;
  QPushButton* btnNewDir = nullptr;
  QCheckBox* cbxIncludeCName = nullptr;
  QComboBox* cbxRemote = nullptr;
  QLabel* lblIndex = nullptr;
  QGroupBox* FrameCopies = nullptr;
  QLineEdit *tbxKeepLocal = nullptr, *tbxKeepRemote = nullptr;
  QGroupBox* FrameVSS = nullptr;
  QRadioButton *rbUseVSS = nullptr, *rbRequireVSS = nullptr, *rbForceVSS = nullptr, *rbDisableVSS = nullptr;
  QGroupBox *frameFullImage = nullptr, *frameBaseDays = nullptr, *frameWeekDay = nullptr, *FrameMonthDay = nullptr,
            *frameQuarterly = nullptr, *FrameStartTime = nullptr;
  QRadioButton *rbDaily = nullptr, *rbWeekly = nullptr, *rbMonthly = nullptr, *rbQuarterly = nullptr;
  std::array<QCheckBox*, 7> days_{};      // cbxSun ... cbxSat
  std::array<QCheckBox*, 7> diffDays_{};  // cbxDiffSun ... cbxDiffSat
  QComboBox *cbxStartDay = nullptr, *cbxStartDayQtr = nullptr, *cbxMonth = nullptr, *cbxDiffInterval = nullptr;
  QLineEdit *tbxHours = nullptr, *tbxMins = nullptr, *tbxAMPM = nullptr;
  QLineEdit *tbxDiffHours = nullptr, *tbxDiffMins = nullptr, *tbxDiffAMPM = nullptr, *tbxBUPerDay = nullptr;
  QLabel *lblNextFullBUON = nullptr, *lblLastDiffBU = nullptr;
  QGroupBox *frameDiff = nullptr, *frameDiffWeekDays = nullptr, *frameDiffsPerDay = nullptr;
  QGroupBox* FrameDetail = nullptr;
  QLabel* lblSummary = nullptr;
  QList<QToolButton*> fullTimeButtons_, diffTimeButtons_;
};

}  // namespace corvane::imaging
