#include "imaging/ui/ImagingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "imaging/SetupPage.h"
#include "imaging/ui/DirListBox.h"
#include "imaging/ui/FrmNewPreset.h"
#include "imaging/ui/PageWidgets.h"
#include "platform/Messages.h"
#include "store/Settings.h"

namespace corvane::imaging {

using namespace page;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

const QString kSummaryView = QStringLiteral("Summary View");
const QString kDetailView = QStringLiteral("Detail View");
const QString kScheduled = QStringLiteral("Scheduled");
const QString kNotScheduled = QStringLiteral("Not Scheduled");

// The label text of a summary: its carriage returns as line breaks.
QString displayed(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace

ImagingPage::ImagingPage(shell::MainWindowServices& services, ImageOperations* engine, QWidget* parent)
    : QWidget(parent), services_(services), engine_(engine), store_(services.databases().statusDb) {
  setObjectName("ImagingPage");
  askNewPresetName = [](QWidget* owner) { return FrmNewPreset::ask(owner); };
  build();
  wire();
  chainTabOrder();
}

// ---------------------------------------------------------------- building

void ImagingPage::build() {
  FrameImagingSetup = group(this, "FrameImagingSetup", QStringLiteral("Imaging Setup"));
  auto* pageLayout = new QVBoxLayout(this);
  pageLayout->addWidget(FrameImagingSetup);

  framePresets = group(FrameImagingSetup, "framePresets", QStringLiteral("Preset"));
  cbxPreset = named(new QComboBox(framePresets), "cbxPreset");
  cbxPreset->setToolTip(QStringLiteral("Select a preset from the list or use Help..."));
  cbxPreset->setMinimumWidth(150);
  btnSave = button(framePresets, "btnSave", QStringLiteral("Save"));
  btnSaveAs = button(framePresets, "btnSaveAs", QStringLiteral("Save As"));
  btnErase = button(framePresets, "btnErase", QStringLiteral("Erase"));
  auto* presetsLayout = new QHBoxLayout(framePresets);
  for (QWidget* w : std::initializer_list<QWidget*>{cbxPreset, btnSave, btnSaveAs, btnErase}) presetsLayout->addWidget(w);

  btnDetail = button(FrameImagingSetup, "btnDetail", kSummaryView);
  btnDetail->setToolTip(QStringLiteral("Toggles the display between Summary and Detail View..."));
  btnSchedule = button(FrameImagingSetup, "btnSchedule", kScheduled);
  // Wide enough for either caption, so the button does not change its size with its caption.
  for (QPushButton* b : {btnDetail, btnSchedule}) {
    const QString other = b == btnDetail ? kDetailView : kNotScheduled;
    b->setMinimumWidth(qMax(b->sizeHint().width(), b->fontMetrics().horizontalAdvance(other) + 24));
  }
  btnRunNow = button(FrameImagingSetup, "btnRunNow", QStringLiteral("Run Backup Now"));
  btnRunNow->setVisible(false);

  buildDriveFrames();
  buildScheduleFrames();

  FrameDetail = group(FrameImagingSetup, "FrameDetail", QStringLiteral("Summary View"));
  lblSummary = named(new QLabel(FrameDetail), "lblSummary");
  lblSummary->setWordWrap(true);
  lblSummary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  (new QVBoxLayout(FrameDetail))->addWidget(lblSummary);

  auto* top = new QHBoxLayout;
  top->addWidget(framePresets);
  top->addWidget(btnDetail);
  top->addWidget(btnSchedule);
  top->addWidget(btnRunNow);
  top->addStretch();
  if (engine_ && engine_->activityIndicator()) top->addWidget(engine_->activityIndicator());
  auto* grid = new QGridLayout(FrameImagingSetup);
  grid->addLayout(top, 0, 0, 1, 3);
  grid->addWidget(frameSourceDrives, 1, 0);
  grid->addWidget(frameDestination, 2, 0, 2, 1);
  grid->addWidget(frameFullImage, 1, 1, 2, 1);
  grid->addWidget(frameDiff, 1, 2, 2, 1);
  grid->addWidget(FrameCopies, 3, 1);
  grid->addWidget(FrameVSS, 3, 2);
  grid->addWidget(FrameDetail, 4, 0, 1, 3);
  grid->setRowStretch(4, 1);
  // The design state is the summary view, empty until a preset is chosen.
  for (QWidget* w : std::initializer_list<QWidget*>{frameSourceDrives, frameFullImage, frameDiff, frameDestination,
                                                     FrameCopies, FrameVSS, btnSchedule})
    w->setVisible(false);

  fillDestDrives();
}

void ImagingPage::wire() {
  handle(cbxPreset, &QComboBox::activated, [this] { cbxPreset_Click(); });
  handle(btnSave, &QPushButton::clicked, [this] { btnSave_Click(); });
  handle(btnSaveAs, &QPushButton::clicked, [this] { btnSaveAs_Click(); });
  handle(btnErase, &QPushButton::clicked, [this] { btnErase_Click(); });
  handle(btnDetail, &QPushButton::clicked, [this] { btnDetail_Click(); });
  handle(btnSchedule, &QPushButton::clicked, [this] { btnSchedule_Click(); });
  handle(btnRunNow, &QPushButton::clicked, [this] { btnRunNow_Click(); });
  wireDriveFrames();
  wireScheduleFrames();

  // Typed values and the remaining boxes are edits of the preset too.
  for (QLineEdit* e : {tbxDest, tbxPrefix, tbxKeepLocal, tbxKeepRemote, tbxHours, tbxMins, tbxAMPM, tbxDiffHours,
                       tbxDiffMins, tbxDiffAMPM, tbxBUPerDay})
    handle(e, &QLineEdit::textEdited, [this] { edited(); });
  handle(cbxIncludeCName, &QCheckBox::clicked, [this] { edited(); });
  handle(cbxRemote, &QComboBox::activated, [this] { edited(); });
  handle(cbxRemote, &QComboBox::editTextChanged, [this] { edited(); });
}

// Tab follows the page as it reads: the presets row, then column by column (source and
// destination; full image and copies; differential image and shadow copies). Each frame's
// layout is filled in reading order, so its order is the order of its controls.
void ImagingPage::chainTabOrder() {
  QList<QWidget*> order{cbxPreset, btnSave, btnSaveAs, btnErase, btnDetail, btnSchedule, btnRunNow};
  std::function<void(QLayout*)> collect = [&](QLayout* layout) {
    for (int i = 0; i < layout->count(); ++i) {
      QLayoutItem* item = layout->itemAt(i);
      if (QWidget* w = item->widget()) {
        if (w->focusPolicy() & Qt::TabFocus) order << w;
        if (w->layout()) collect(w->layout());
      } else if (item->layout()) {
        collect(item->layout());
      }
    }
  };
  for (QGroupBox* frame : {frameSourceDrives, frameDestination, frameFullImage, FrameCopies, frameDiff, FrameVSS})
    collect(frame->layout());
  for (qsizetype i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void ImagingPage::guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const store::DBError&) {
    // A database step that reports nothing of its own ends the handler quietly.
  }
}

// ---------------------------------------------------------------- engine

void ImagingPage::UpdateImagePage() {
  if (engine_) engine_->UpdateImagePage();
}

void ImagingPage::UpdateOldImagePage() {
  if (engine_) engine_->UpdateOldImagePage();
}

void ImagingPage::UIDisconnect() {
  if (engine_) engine_->UIDisconnect();
}

// The button only closes the wizard's steps; images are started from the engine panel.
void ImagingPage::btnRunNow_Click() {}

// ---------------------------------------------------------------- page start

void ImagingPage::InitImagePage() {
  try {
    const QString statusDb = services_.databases().statusDb;
    // The row comes with the settings table; where it is missing it is made, so that the
    // built-in presets are seeded once and not again at every start.
    // While the window loads after a spent wait for the service, this gives up at once.
    std::optional<QString> current = store::readSetting(statusDb, kCurrentImagePreset, services_.databasePolicy());
    if (!current) {
      store::DBInsertSetting(statusDb, kCurrentImagePreset, QString(), now());
      current = QString();
    }

    cbxPreset->clear();
    PopulatePresetList();
    lstImgSourceDrives->clear();
    PopulateImgDriveList();
    fillDestDrives();
    PopulateImgStartDay();
    PopulateImgStartDayQtr();
    PopulateImgStartMonth();
    PopulateDiffInterval();

    if (current->isEmpty()) {
      store_.DBCreateTableImgPresets();
      store_.InsertImgPresets();
    }
    if (!store_.DBDoesImgPresetExist(kWizardSetup)) {
      store_.DBInsertImgPresetFull(capturePreset(kWizardSetup, QString(), QStringLiteral("000")));
      store::DBUpdateSetting(statusDb, kCurrentImagePreset, kWizardSetup, now());
    }
    DBReplayImgPreset(store::readSetting(statusDb, kCurrentImagePreset).value_or(QString()));

    btnDetail->setText(kSummaryView);
    presetEdited_ = false;
    // The name read before the seeding: on the first start (no name yet) nothing is chosen.
    SetPreset(*current);
  } catch (const store::DBError&) {
    // What was done stays.
  }
}

void ImagingPage::PopulatePresetList() {
  presetList_ = store_.DBSelectAllImgPresets();
  refill(cbxPreset, presetListItems(presetList_));
  const QSignalBlocker block(cbxPreset);
  cbxPreset->setCurrentIndex(-1);
}

// ---------------------------------------------------------------- choosing a preset

void ImagingPage::selectPresetItem(const QString& name) {
  const QSignalBlocker block(cbxPreset);
  cbxPreset->setCurrentIndex(cbxPreset->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void ImagingPage::SetPreset(const QString& name) {
  const int i = cbxPreset->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (i < 0) return;
  selectPresetItem(name);
  cbxPreset_Click();
}

void ImagingPage::setPageCaption(const QString& caption) { FrameImagingSetup->setTitle(caption); }

void ImagingPage::updateCurrentPreset(const QString& name) {
  store::DBUpdateSetting(services_.databases().statusDb, kCurrentImagePreset, name, now());
}

void ImagingPage::cbxPreset_Click() {
  const QString name = cbxPreset->currentText();
  if (presetEdited_) {
    // Whatever the answer, the chosen preset is not loaded now: choosing it again loads it.
    const MsgResult answer =
        platform::showMessage(QStringLiteral("You have changes you have not saved. Save this preset?"),
                              QStringLiteral("Save Preset ") + name + QStringLiteral("?"), MsgButtons::YesNoCancel,
                              MsgIcon::Question);
    if (answer == MsgResult::Yes) {
      // The help page is no preset: a row of its name could never be loaded again.
      if (name == kHelpPage) saveAs();
      else btnSave_Click();
    } else if (answer == MsgResult::No) {
      presetEdited_ = false;
    }
    return;
  }

  DBReplayImgPreset(name);
  if (name == kWizardSetup) {
    btnDetail->setText(kDetailView);
    btnSchedule->setText(kNotScheduled);
    RefreshImagePreset();
    for (QWidget* w : std::initializer_list<QWidget*>{frameFullImage, frameWeekDay, frameDiff, frameDestination,
                                                       FrameCopies, FrameVSS, FrameMonthDay, frameQuarterly,
                                                       FrameStartTime})
      w->setVisible(false);
    frameSourceDrives->setVisible(true);
    btnSave->setEnabled(false);
    btnSaveAs->setEnabled(true);
    btnErase->setEnabled(false);
    setPageCaption(QStringLiteral("Imaging Setup - choose one or more drives for a full backup..."));
  } else if (name == kHelpPage) {
    setPageCaption(QStringLiteral("Imaging Help Page"));
    btnDetail->setText(kSummaryView);
    btnSave->setEnabled(false);
    btnErase->setEnabled(false);
    btnSaveAs->setEnabled(false);
    lblSummary->setText(displayed(helpPageText()));
    RefreshImagePreset();
    return;
  } else {
    CalcLastDiff();
    CalcNextFull();
    btnSave->setEnabled(true);
    btnSaveAs->setEnabled(true);
    btnErase->setEnabled(true);
    setPageCaption(QStringLiteral("Preset - ") + name);
    RefreshImagePreset();
  }
  updateCurrentPreset(name);
}

// ---------------------------------------------------------------- views

void ImagingPage::RefreshImagePreset() {
  const QString name = cbxPreset->currentText();
  if (btnDetail->text() == kSummaryView) {
    for (QWidget* w : std::initializer_list<QWidget*>{frameSourceDrives, frameFullImage, frameDiff, frameDestination,
                                                       FrameCopies, FrameVSS, btnSchedule})
      w->setVisible(false);
    FrameDetail->setVisible(true);
    if (name != kHelpPage && name != kWizardSetup) ComputeSummary();
    return;
  }
  if (btnSchedule->text() == kScheduled) {
    if (rbDaily->isChecked() || rbWeekly->isChecked()) {
      frameWeekDay->setVisible(true);
      FrameMonthDay->setVisible(false);
      frameQuarterly->setVisible(false);
    } else if (rbMonthly->isChecked()) {
      FrameMonthDay->setVisible(true);
      frameQuarterly->setVisible(false);
      frameWeekDay->setVisible(false);
    } else if (rbQuarterly->isChecked()) {
      frameQuarterly->setVisible(true);
      FrameMonthDay->setVisible(false);
      frameWeekDay->setVisible(false);
    }
    frameFullImage->setVisible(true);
    frameDiff->setVisible(true);
  } else {
    frameFullImage->setVisible(false);
    frameDiff->setVisible(false);
  }
  FrameDetail->setVisible(false);
  frameSourceDrives->setVisible(true);
  framePresets->setVisible(true);
  setPageCaption(QStringLiteral("Preset - ") + name);
  for (QWidget* w : std::initializer_list<QWidget*>{frameDestination, FrameCopies, FrameVSS, btnSchedule})
    w->setVisible(true);
}

void ImagingPage::ComputeSummary() {
  SummaryValues v;
  v.presetName = cbxPreset->currentText();
  v.scheduled = btnSchedule->text() != kNotScheduled;
  const FullSchedule full = fullSchedule();
  v.daily = full.daily;
  v.weekly = full.weekly;
  v.monthly = full.monthly;
  v.quarterly = full.quarterly;
  v.days = full.days;
  v.startDay = full.startDay;
  v.startDayQtr = full.startDayQtr;
  v.month = full.month;
  v.selectedDrives = selectedDrives();
  v.hours = full.hours;
  v.minutes = full.minutes;
  v.ampm = full.ampm;
  v.destDrive = dlbDestDrive->currentText();
  v.dest = tbxDest->text();
  v.diffHours = tbxDiffHours->text();
  v.diffMinutes = tbxDiffMins->text();
  v.diffAmpm = tbxDiffAMPM->text();
  v.perDay = tbxBUPerDay->text();
  v.lastDiffLabel = lblLastDiffBU->text();
  v.remote = cbxRemote->currentText();
  v.nextFullLabel = lblNextFullBUON->text();
  v.nextDiffLabel = dateTimeLabel(nextDifferentialImage(diffSchedule(), now()));
  lblSummary->setText(displayed(computeSummary(v)));
}

void ImagingPage::btnDetail_Click() {
  btnDetail->setText(btnDetail->text() == kSummaryView ? kDetailView : kSummaryView);
  RefreshImagePreset();
}

// ---------------------------------------------------------------- save, save as, erase

bool ImagingPage::replacePreset(const ImgPreset& preset) {
  try {
    store_.DBReplaceImgPreset(preset);
    return true;
  } catch (const store::DBError& e) {
    platform::showMessage(QStringLiteral("Could not save preset...") + e.description(), QStringLiteral("Corvane"),
                          MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
}

bool ImagingPage::savePreset(const QString& name) {
  const MsgResult answer =
      platform::showMessage(QStringLiteral("Save Preset. This will over-write the current preset..."),
                            QStringLiteral("Save Preset as ") + name, MsgButtons::YesNoCancel, MsgIcon::Question);
  if (answer == MsgResult::Yes) {
    const QString index = store_.DBSelectImgIndex(name).value_or(QString());
    if (!replacePreset(capturePreset(name, sourceRoots(selectedDrives()), index))) return false;
    presetEdited_ = false;
    return true;
  }
  if (answer == MsgResult::No) return saveAs();
  return false;
}

void ImagingPage::btnSave_Click() { savePreset(cbxPreset->currentText()); }

void ImagingPage::btnSaveAs_Click() { saveAs(); }

bool ImagingPage::saveAs() {
  const std::optional<QString> typed = askNewPresetName ? askNewPresetName(services_.window()) : std::nullopt;
  if (!typed || typed->isEmpty()) return false;
  const QString name = *typed;
  QString index;
  if (store_.DBSelectPresetID(name)) {
    const MsgResult answer =
        platform::showMessage(QStringLiteral("A preset with that name exists already. Over-write the preset?"),
                              QStringLiteral("Save Preset as ") + cbxPreset->currentText(), MsgButtons::YesNoCancel,
                              MsgIcon::Question);
    if (answer != MsgResult::Yes) return false;
    index = store_.DBSelectImgIndex(name).value_or(QString());
  }
  if (!replacePreset(capturePreset(name, sourceRoots(selectedDrives()), index))) return false;
  updateCurrentPreset(name);
  PopulatePresetList();
  presetEdited_ = false;
  SetPreset(name);
  RefreshImagePreset();
  return true;
}

void ImagingPage::btnErase_Click() {
  const QString name = cbxPreset->currentText();
  try {
    store_.DBDeleteImgPreset(name);
  } catch (const store::DBError& e) {
    platform::showMessage(QStringLiteral("Could not delete preset...") + e.description(), QStringLiteral("Corvane"),
                          MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  updateCurrentPreset(kWizardSetup);
  PopulatePresetList();
  SetPreset(kWizardSetup);
  RefreshImagePreset();
}

// ---------------------------------------------------------------- schedule button

void ImagingPage::btnSchedule_Click() {
  if (btnSchedule->text() == kScheduled) {
    frameFullImage->setVisible(false);
    frameDiff->setVisible(false);
    btnSchedule->setText(kNotScheduled);
  } else {
    frameFullImage->setVisible(true);
    frameDiff->setVisible(true);
    btnSchedule->setText(kScheduled);
  }
  edited();
}

}  // namespace corvane::imaging
