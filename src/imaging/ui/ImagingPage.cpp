#include "imaging/ui/ImagingPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "imaging/SetupPage.h"
#include "imaging/ui/DirListBox.h"
#include "imaging/ui/FrmNewPreset.h"
#include "platform/Drives.h"
#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "store/Settings.h"

namespace corvane::imaging {

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace {

const QString kSummaryView = QStringLiteral("Summary View");
const QString kDetailView = QStringLiteral("Detail View");
const QString kScheduled = QStringLiteral("Scheduled");
const QString kNotScheduled = QStringLiteral("Not Scheduled");
const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

QString boolText(bool on) { return on ? QStringLiteral("True") : QStringLiteral("False"); }
QString stateText(const QCheckBox* box) { return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }
bool stateOn(const QString& value) { return leadingNumber(value) != 0; }

// The label text of a summary: its carriage returns as line breaks.
QString displayed(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

template <class W>
W* named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

}  // namespace

ImagingPage::ImagingPage(shell::MainWindowServices& services, ImageOperations* engine, QWidget* parent)
    : QWidget(parent), services_(services), engine_(engine), store_(services.databases().statusDb) {
  setObjectName("ImagingPage");
  askNewPresetName = [](QWidget* owner) { return FrmNewPreset::ask(owner); };
  build();
  wire();
}

// ---------------------------------------------------------------- building

void ImagingPage::build() {
  FrameImagingSetup = named(new QGroupBox(QStringLiteral("Imaging Setup"), this), "FrameImagingSetup");
  auto* pageLayout = new QVBoxLayout(this);
  pageLayout->addWidget(FrameImagingSetup);

  auto button = [](QWidget* parent, const char* name, const QString& caption) {
    return named(new QPushButton(caption, parent), name);
  };
  auto group = [](QWidget* parent, const char* name, const QString& caption) {
    return named(new QGroupBox(caption, parent), name);
  };
  // A text box with its up and down buttons.
  auto spinner = [](QWidget* parent, QGridLayout* grid, int row, int col, const char* box, const char* up,
                    const char* down, QLineEdit*& edit, QList<QToolButton*>* buttons) {
    edit = named(new QLineEdit(parent), box);
    edit->setMaximumWidth(48);
    auto* upButton = named(new QToolButton(parent), up);
    upButton->setArrowType(Qt::UpArrow);
    auto* downButton = named(new QToolButton(parent), down);
    downButton->setArrowType(Qt::DownArrow);
    auto* cell = new QHBoxLayout;
    cell->setSpacing(1);
    cell->addWidget(edit);
    cell->addWidget(upButton);
    cell->addWidget(downButton);
    grid->addLayout(cell, row, col);
    if (buttons) *buttons << upButton << downButton;
  };

  // Presets.
  framePresets = group(FrameImagingSetup, "framePresets", QStringLiteral("Preset"));
  cbxPreset = named(new QComboBox(framePresets), "cbxPreset");
  cbxPreset->setToolTip(QStringLiteral("Select a preset from the list or use Help..."));
  cbxPreset->setMinimumWidth(180);
  btnSave = button(framePresets, "btnSave", QStringLiteral("Save"));
  btnSaveAs = button(framePresets, "btnSaveAs", QStringLiteral("Save As"));
  btnErase = button(framePresets, "btnErase", QStringLiteral("Erase"));
  auto* presetsLayout = new QHBoxLayout(framePresets);
  for (QWidget* w : {static_cast<QWidget*>(cbxPreset), static_cast<QWidget*>(btnSave),
                     static_cast<QWidget*>(btnSaveAs), static_cast<QWidget*>(btnErase)})
    presetsLayout->addWidget(w);

  btnDetail = button(FrameImagingSetup, "btnDetail", kSummaryView);
  btnDetail->setToolTip(QStringLiteral("Toggles the display between Summary and Detail View..."));
  btnSchedule = button(FrameImagingSetup, "btnSchedule", kScheduled);
  btnRunNow = button(FrameImagingSetup, "btnRunNow", QStringLiteral("Run Backup Now"));
  btnRunNow->setVisible(false);

  // Source drives.
  frameSourceDrives = group(FrameImagingSetup, "frameSourceDrives", QStringLiteral("Source"));
  lstImgSourceDrives = named(new QListWidget(frameSourceDrives), "lstImgSourceDrives");
  lstImgSourceDrives->setSelectionMode(QAbstractItemView::MultiSelection);
  (new QVBoxLayout(frameSourceDrives))->addWidget(lstImgSourceDrives);

  // Destination.
  frameDestination = group(FrameImagingSetup, "frameDestination", QStringLiteral("Destination"));
  dlbDestDrive = named(new QComboBox(frameDestination), "dlbDestDrive");
  dirDest = named(new DirListBox(frameDestination), "dirDest");
  tbxDest = named(new QLineEdit(frameDestination), "tbxDest");
  btnNewDir = button(frameDestination, "btnNewDir", QStringLiteral("New"));
  tbxPrefix = named(new QLineEdit(frameDestination), "tbxPrefix");
  cbxIncludeCName = named(new QCheckBox(QStringLiteral("Add Computer Name"), frameDestination), "cbxIncludeCName");
  cbxRemote = named(new QComboBox(frameDestination), "cbxRemote");
  cbxRemote->setEditable(true);
  cbxRemote->addItem(kBuiltInRemoteServer);
  lblIndex = named(new QLabel(QStringLiteral("BU Index is "), frameDestination), "lblIndex");
  auto* dest = new QGridLayout(frameDestination);
  dest->addWidget(dlbDestDrive, 0, 0, 1, 3);
  dest->addWidget(dirDest, 1, 0, 1, 3);
  dest->addWidget(tbxDest, 2, 0, 1, 2);
  dest->addWidget(btnNewDir, 2, 2);
  dest->addWidget(new QLabel(QStringLiteral("File Prefix:"), frameDestination), 3, 0);
  dest->addWidget(tbxPrefix, 3, 1, 1, 2);
  dest->addWidget(cbxIncludeCName, 4, 0, 1, 3);
  dest->addWidget(new QLabel(QStringLiteral("Remote Server:"), frameDestination), 5, 0);
  dest->addWidget(cbxRemote, 5, 1, 1, 2);
  dest->addWidget(lblIndex, 6, 0, 1, 3);

  // Copies to keep.
  FrameCopies = group(FrameImagingSetup, "FrameCopies", QStringLiteral("Keep Copies"));
  auto* copies = new QGridLayout(FrameCopies);
  copies->addWidget(new QLabel(QStringLiteral("Local:"), FrameCopies), 0, 0);
  spinner(FrameCopies, copies, 0, 1, "tbxKeepLocal", "btnLocalUp", "btnLocalDown", tbxKeepLocal, nullptr);
  copies->addWidget(new QLabel(QStringLiteral("Remote:"), FrameCopies), 1, 0);
  spinner(FrameCopies, copies, 1, 1, "tbxKeepRemote", "btnRemoteUp", "btnRemoteDown", tbxKeepRemote, nullptr);

  // Shadow copies.
  FrameVSS = group(FrameImagingSetup, "FrameVSS", QStringLiteral("VSS"));
  rbUseVSS = named(new QRadioButton(QStringLiteral("Use"), FrameVSS), "rbUseVSS");
  rbRequireVSS = named(new QRadioButton(QStringLiteral("Require"), FrameVSS), "rbRequireVSS");
  rbForceVSS = named(new QRadioButton(QStringLiteral("Force"), FrameVSS), "rbForceVSS");
  rbDisableVSS = named(new QRadioButton(QStringLiteral("Disable"), FrameVSS), "rbDisableVSS");
  auto* vss = new QVBoxLayout(FrameVSS);
  for (QRadioButton* rb : {rbUseVSS, rbRequireVSS, rbForceVSS, rbDisableVSS}) vss->addWidget(rb);

  // Full image schedule.
  frameFullImage = group(FrameImagingSetup, "frameFullImage", QStringLiteral("Full Image"));
  frameBaseDays = group(frameFullImage, "frameBaseDays", QStringLiteral("Image"));
  rbDaily = named(new QRadioButton(QStringLiteral("Daily"), frameBaseDays), "rbDaily");
  rbWeekly = named(new QRadioButton(QStringLiteral("Weekly"), frameBaseDays), "rbWeekly");
  rbMonthly = named(new QRadioButton(QStringLiteral("Monthly"), frameBaseDays), "rbMonthly");
  rbQuarterly = named(new QRadioButton(QStringLiteral("Quarterly"), frameBaseDays), "rbQuarterly");
  auto* base = new QHBoxLayout(frameBaseDays);
  for (QRadioButton* rb : {rbDaily, rbWeekly, rbMonthly, rbQuarterly}) base->addWidget(rb);

  frameWeekDay = group(frameFullImage, "frameWeekDay", QStringLiteral("Weekly"));
  auto* week = new QHBoxLayout(frameWeekDay);
  for (int d = 0; d < 7; ++d) {
    days_[d] = new QCheckBox(QString::fromLatin1(kDayNames[d]), frameWeekDay);
    days_[d]->setObjectName(QStringLiteral("cbx") + QLatin1String(kDayNames[d]));
    week->addWidget(days_[d]);
  }
  FrameMonthDay = group(frameFullImage, "FrameMonthDay", QStringLiteral("Monthly"));
  cbxStartDay = named(new QComboBox(FrameMonthDay), "cbxStartDay");
  cbxStartDay->setEditable(true);
  auto* month = new QHBoxLayout(FrameMonthDay);
  month->addWidget(new QLabel(QStringLiteral("Start on"), FrameMonthDay));
  month->addWidget(cbxStartDay);
  month->addWidget(new QLabel(QStringLiteral("Day of Month"), FrameMonthDay));
  frameQuarterly = group(frameFullImage, "frameQuarterly", QStringLiteral("Quarterly"));
  cbxStartDayQtr = named(new QComboBox(frameQuarterly), "cbxStartDayQtr");
  cbxStartDayQtr->setEditable(true);
  cbxMonth = named(new QComboBox(frameQuarterly), "cbxMonth");
  cbxMonth->setEditable(true);
  auto* quarter = new QHBoxLayout(frameQuarterly);
  quarter->addWidget(new QLabel(QStringLiteral("Start on"), frameQuarterly));
  quarter->addWidget(cbxStartDayQtr);
  quarter->addWidget(new QLabel(QStringLiteral("Day of"), frameQuarterly));
  quarter->addWidget(cbxMonth);

  FrameStartTime = group(frameFullImage, "FrameStartTime", QStringLiteral("Start Time"));
  auto* start = new QGridLayout(FrameStartTime);
  spinner(FrameStartTime, start, 0, 0, "tbxHours", "btnHoursUp", "btnHoursDown", tbxHours, &fullTimeButtons_);
  spinner(FrameStartTime, start, 0, 1, "tbxMins", "btnMinsUp", "btnMinsDown", tbxMins, &fullTimeButtons_);
  spinner(FrameStartTime, start, 0, 2, "tbxAMPM", "btnAMUp", "btnAMDown", tbxAMPM, &fullTimeButtons_);
  lblNextFullBUON = named(new QLabel(FrameStartTime), "lblNextFullBUON");
  start->addWidget(lblNextFullBUON, 1, 0, 1, 3);

  auto* full = new QVBoxLayout(frameFullImage);
  for (QGroupBox* g : {frameBaseDays, frameWeekDay, FrameMonthDay, frameQuarterly, FrameStartTime}) full->addWidget(g);
  full->addStretch();

  // Differential schedule.
  frameDiff = group(FrameImagingSetup, "frameDiff", QStringLiteral("Differential Image"));
  frameDiffWeekDays = group(frameDiff, "frameDiffWeekDays", QString());
  auto* diffWeek = new QHBoxLayout(frameDiffWeekDays);
  for (int d = 0; d < 7; ++d) {
    diffDays_[d] = new QCheckBox(QString::fromLatin1(kDayNames[d]), frameDiffWeekDays);
    diffDays_[d]->setObjectName(QStringLiteral("cbxDiff") + QLatin1String(kDayNames[d]));
    diffWeek->addWidget(diffDays_[d]);
  }
  frameDiffsPerDay = group(frameDiff, "frameDiffsPerDay", QStringLiteral("Backups per Day"));
  auto* perDay = new QGridLayout(frameDiffsPerDay);
  spinner(frameDiffsPerDay, perDay, 0, 0, "tbxBUPerDay", "btnBUPerDayUp", "btnBUPerDayDown", tbxBUPerDay,
          &diffTimeButtons_);
  perDay->addWidget(new QLabel(QStringLiteral("backups/day"), frameDiffsPerDay), 0, 1);
  cbxDiffInterval = named(new QComboBox(frameDiff), "cbxDiffInterval");
  cbxDiffInterval->setEditable(true);
  auto* diffTime = new QGridLayout;
  spinner(frameDiff, diffTime, 0, 0, "tbxDiffHours", "btnDiffHoursUp", "btnDiffHoursDown", tbxDiffHours,
          &diffTimeButtons_);
  spinner(frameDiff, diffTime, 0, 1, "tbxDiffMins", "btnDiffMinsUp", "btnDiffMinsDown", tbxDiffMins,
          &diffTimeButtons_);
  spinner(frameDiff, diffTime, 0, 2, "tbxDiffAMPM", "btnDiffAMUp", "btnDiffAMDown", tbxDiffAMPM, &diffTimeButtons_);
  lblLastDiffBU = named(new QLabel(frameDiff), "lblLastDiffBU");
  auto* diff = new QGridLayout(frameDiff);
  diff->addWidget(frameDiffWeekDays, 0, 0, 1, 2);
  diff->addWidget(frameDiffsPerDay, 1, 0, 1, 2);
  diff->addWidget(new QLabel(QStringLiteral("Backup Every"), frameDiff), 2, 0);
  diff->addWidget(cbxDiffInterval, 2, 1);
  diff->addWidget(new QLabel(QStringLiteral("Start at"), frameDiff), 3, 0);
  diff->addLayout(diffTime, 3, 1);
  diff->addWidget(lblLastDiffBU, 4, 0, 1, 2);
  diff->setRowStretch(5, 1);

  // Summary.
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

  fillDestDrives();
}

void ImagingPage::wire() {
  auto on = [this](auto* sender, auto signal, std::function<void()> handler) {
    connect(sender, signal, this, [this, handler] { guarded(handler); });
  };
  on(cbxPreset, &QComboBox::activated, [this] { cbxPreset_Click(); });
  on(btnSave, &QPushButton::clicked, [this] { btnSave_Click(); });
  on(btnSaveAs, &QPushButton::clicked, [this] { btnSaveAs_Click(); });
  on(btnErase, &QPushButton::clicked, [this] { btnErase_Click(); });
  on(btnDetail, &QPushButton::clicked, [this] { btnDetail_Click(); });
  on(btnSchedule, &QPushButton::clicked, [this] { btnSchedule_Click(); });
  on(btnRunNow, &QPushButton::clicked, [this] { btnRunNow_Click(); });
  on(lstImgSourceDrives, &QListWidget::itemClicked, [this] { lstImgSourceDrives_Click(); });
  on(dlbDestDrive, &QComboBox::activated, [this] { dlbDestDrive_Change(); });
  on(dirDest, &DirListBox::pathChanged, [this] { dirDest_Change(); });
  on(btnNewDir, &QPushButton::clicked, [this] { btnNewDir_Click(); });

  for (QRadioButton* rb : {rbDaily, rbWeekly, rbMonthly, rbQuarterly})
    on(rb, &QRadioButton::clicked, [this, rb] { frequency_Click(rb); });
  for (QRadioButton* rb : {rbUseVSS, rbRequireVSS, rbForceVSS, rbDisableVSS})
    on(rb, &QRadioButton::clicked, [this] { vss_Click(); });
  for (QCheckBox* box : days_)
    on(box, &QCheckBox::clicked, [this] {
      FrameStartTime->setVisible(true);
      CalcNextFull();
      edited();
    });
  for (QCheckBox* box : diffDays_)
    on(box, &QCheckBox::clicked, [this] {
      frameDiffsPerDay->setVisible(true);
      edited();
    });
  auto startDayChange = [this] {
    FrameStartTime->setVisible(true);
    CalcNextFull();
    edited();
  };
  on(cbxStartDay, &QComboBox::activated, startDayChange);
  on(cbxStartDay, &QComboBox::editTextChanged, startDayChange);
  auto quarterChange = [this] {
    CalcNextFull();
    edited();
  };
  for (QComboBox* list : {cbxStartDayQtr, cbxMonth}) {
    on(list, &QComboBox::activated, quarterChange);
    on(list, &QComboBox::editTextChanged, quarterChange);
  }
  auto intervalChange = [this] {
    CalcLastDiff();
    edited();
  };
  on(cbxDiffInterval, &QComboBox::activated, intervalChange);
  on(cbxDiffInterval, &QComboBox::editTextChanged, intervalChange);

  for (QToolButton* b : fullTimeButtons_) on(b, &QToolButton::clicked, [this, b] { fullTime_Click(b); });
  for (QToolButton* b : diffTimeButtons_) on(b, &QToolButton::clicked, [this, b] { diffTime_Click(b); });
  for (auto [box, delta] : {std::pair{"btnLocalUp", 1}, {"btnLocalDown", -1}, {"btnRemoteUp", 1}, {"btnRemoteDown", -1}}) {
    auto* b = findChild<QToolButton*>(QString::fromLatin1(box));
    QLineEdit* edit = QByteArray(box).contains("Local") ? tbxKeepLocal : tbxKeepRemote;
    on(b, &QToolButton::clicked, [this, edit, delta] { keepCopies_Click(edit, delta); });
  }

  // Typed values and the remaining boxes are edits of the preset too.
  for (QLineEdit* e : {tbxDest, tbxPrefix, tbxKeepLocal, tbxKeepRemote, tbxHours, tbxMins, tbxAMPM, tbxDiffHours,
                       tbxDiffMins, tbxDiffAMPM, tbxBUPerDay})
    on(e, &QLineEdit::textEdited, [this] { edited(); });
  on(cbxIncludeCName, &QCheckBox::clicked, [this] { edited(); });
  on(cbxRemote, &QComboBox::activated, [this] { edited(); });
  on(cbxRemote, &QComboBox::editTextChanged, [this] { edited(); });
}

void ImagingPage::guarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const store::DBError&) {
    // A database step that reports nothing of its own ends the handler quietly.
  }
}

void ImagingPage::fillDestDrives() {
  const QSignalBlocker block(dlbDestDrive);
  const QString current = dlbDestDrive->currentData().toString();
  dlbDestDrive->clear();
  for (const platform::DriveInfo& d : platform::listDrives()) dlbDestDrive->addItem(d.drive, d.rootPath);
  const int i = dlbDestDrive->findData(current);
  if (i >= 0) dlbDestDrive->setCurrentIndex(i);
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
    std::optional<QString> current = store::readSetting(statusDb, kCurrentImagePreset);
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
    const QString shown = store::readSetting(statusDb, kCurrentImagePreset).value_or(QString());
    DBReplayImgPreset(shown);

    btnDetail->setText(kSummaryView);
    presetEdited_ = false;
    SetPreset(shown);
  } catch (const store::DBError&) {
    // What was done stays.
  }
}

void ImagingPage::PopulatePresetList() {
  presetList_ = store_.DBSelectAllImgPresets();
  const QSignalBlocker block(cbxPreset);
  cbxPreset->clear();
  cbxPreset->addItems(presetListItems(presetList_));
  cbxPreset->setCurrentIndex(-1);
}

void ImagingPage::PopulateImgDriveList() {
  const QStringList driveSlots = imageDriveSlots();
  for (int i = 0; i < kListedDriveSlots && i < driveSlots.size(); ++i)
    if (!driveSlots[i].isEmpty()) lstImgSourceDrives->addItem(driveSlots[i]);
}

void ImagingPage::PopulateImgStartDay() {
  const QSignalBlocker block(cbxStartDay);
  cbxStartDay->clear();
  cbxStartDay->addItems(startDayItems());
}

void ImagingPage::PopulateImgStartDayQtr() {
  const QSignalBlocker block(cbxStartDayQtr);
  cbxStartDayQtr->clear();
  cbxStartDayQtr->addItems(startDayItems());
}

void ImagingPage::PopulateImgStartMonth() {
  const QSignalBlocker block(cbxMonth);
  cbxMonth->clear();
  cbxMonth->addItems(monthItems());
}

void ImagingPage::PopulateDiffInterval() {
  const QSignalBlocker block(cbxDiffInterval);
  cbxDiffInterval->clear();
  cbxDiffInterval->addItems(diffIntervalItems());
}

// ---------------------------------------------------------------- replay and capture

void ImagingPage::setOption(QRadioButton* option, bool on) {
  const QSignalBlocker block(option);
  option->setAutoExclusive(false);
  option->setChecked(on);
  option->setAutoExclusive(true);
  if (on) {
    if (option == rbDaily || option == rbWeekly || option == rbMonthly || option == rbQuarterly) frequency_Click(option);
    else vss_Click();
  }
}

void ImagingPage::setCheck(QCheckBox* box, bool on) {
  if (box->isChecked() == on) return;
  {
    const QSignalBlocker block(box);
    box->setChecked(on);
  }
  emit box->clicked(on);  // the box's own handler, as a click would run it
}

void ImagingPage::setListText(QComboBox* list, const QString& text) {
  if (list->currentText() == text) return;
  {
    const QSignalBlocker block(list);
    list->setCurrentText(text);
  }
  emit list->editTextChanged(text);
}

bool ImagingPage::DBReplayImgPreset(const QString& name) {
  std::optional<ImgPreset> row;
  try {
    row = store_.DBSelectImgPreset(name);
  } catch (const store::DBError&) {
    return false;
  }
  if (row) {
    const ImgPreset& p = *row;
    lblIndex->setText(QStringLiteral("BU Index is ") + p[Col::ImgIndex]);
    btnSchedule->setText(p[Col::ImgScheduled]);
    setOption(rbDaily, p.flag(Col::ImgDaily));
    setOption(rbWeekly, p.flag(Col::ImgWeekly));
    setOption(rbMonthly, p.flag(Col::ImgMonthly));
    setOption(rbQuarterly, p.flag(Col::ImgQuarterly));
    setListText(cbxMonth, p[Col::ImgMonth]);
    for (int d = 0; d < 7; ++d) setCheck(days_[d], stateOn(p[Col::ImgSun + d]));
    tbxHours->setText(p[Col::ImgHours]);
    tbxMins->setText(p[Col::ImgMins]);
    tbxAMPM->setText(p[Col::ImgAMPM]);
    setListText(cbxStartDay, p[Col::ImgStartDay]);
    setListText(cbxStartDayQtr, p[Col::ImgStartDayQtr]);
    for (int d = 0; d < 7; ++d) setCheck(diffDays_[d], stateOn(p[Col::ImgDiffSun + d]));
    tbxDiffHours->setText(p[Col::ImgDiffHours]);
    tbxDiffMins->setText(p[Col::ImgDiffMins]);
    tbxDiffAMPM->setText(p[Col::ImgDiffAMPM]);
    setListText(cbxDiffInterval, p[Col::ImgDiffInterval]);
    tbxBUPerDay->setText(p[Col::ImgBUPerDay]);
    const QString source = p[Col::ImgSource];
    const QString dest = p[Col::ImgDest];
    tbxPrefix->setText(p[Col::ImgPrefix]);
    {
      const QSignalBlocker block(cbxIncludeCName);
      cbxIncludeCName->setChecked(stateOn(p[Col::ImgDefault]));
    }
    {
      const QSignalBlocker block(cbxRemote);
      cbxRemote->setCurrentText(p[Col::ImgRemote]);
    }
    tbxKeepLocal->setText(p[Col::ImgKeepLocal]);
    tbxKeepRemote->setText(p[Col::ImgKeepRemote]);
    setOption(rbUseVSS, p.flag(Col::ImgUseVSS));
    setOption(rbForceVSS, p.flag(Col::ImgForceVSS));
    setOption(rbDisableVSS, p.flag(Col::ImgDisableVSS));
    setOption(rbRequireVSS, p.flag(Col::ImgRequireVSS));

    // Source drives: the stored roots in list order.
    QStringList items;
    for (int i = 0; i < lstImgSourceDrives->count(); ++i) items << lstImgSourceDrives->item(i)->text();
    const QList<bool> selected = selectedSourceDrives(items, source);
    bool changed = false;
    {
      const QSignalBlocker block(lstImgSourceDrives);
      for (int i = 0; i < lstImgSourceDrives->count(); ++i) {
        QListWidgetItem* item = lstImgSourceDrives->item(i);
        if (item->text().isEmpty() || item->isSelected() == selected[i]) continue;
        item->setSelected(selected[i]);
        changed = true;
      }
    }
    if (changed) lstImgSourceDrives_Click();

    if (!dest.isEmpty()) {
      const int drive = dlbDestDrive->findText(dest.left(2), Qt::MatchFixedString);
      if (drive >= 0 && drive != dlbDestDrive->currentIndex()) {
        {
          const QSignalBlocker block(dlbDestDrive);
          dlbDestDrive->setCurrentIndex(drive);
        }
        dirDest->setPath(dlbDestDrive->currentData().toString());
      }
      dirDest->setNearestPath(dest);
      // The stored destination stays as it was written, also where the folder is missing here.
      tbxDest->setText(dest);
    }
  }
  presetEdited_ = false;
  return true;
}

ImgPreset ImagingPage::capturePreset(const QString& name, const QString& sourceDrives, const QString& index) const {
  ImgPreset p;
  p[Col::ImgPresetName] = name;
  p[Col::ImgIndex] = index;
  p[Col::ImgScheduled] = btnSchedule->text();
  p[Col::ImgDaily] = boolText(rbDaily->isChecked());
  p[Col::ImgWeekly] = boolText(rbWeekly->isChecked());
  p[Col::ImgMonthly] = boolText(rbMonthly->isChecked());
  p[Col::ImgQuarterly] = boolText(rbQuarterly->isChecked());
  p[Col::ImgMonth] = cbxMonth->currentText();
  for (int d = 0; d < 7; ++d) p[Col::ImgSun + d] = stateText(days_[d]);
  p[Col::ImgHours] = tbxHours->text();
  p[Col::ImgMins] = tbxMins->text();
  p[Col::ImgAMPM] = tbxAMPM->text();
  p[Col::ImgStartDay] = cbxStartDay->currentText();
  p[Col::ImgStartDayQtr] = cbxStartDayQtr->currentText();
  for (int d = 0; d < 7; ++d) p[Col::ImgDiffSun + d] = stateText(diffDays_[d]);
  p[Col::ImgDiffHours] = tbxDiffHours->text();
  p[Col::ImgDiffMins] = tbxDiffMins->text();
  p[Col::ImgDiffAMPM] = tbxDiffAMPM->text();
  p[Col::ImgDiffInterval] = cbxDiffInterval->currentText();
  p[Col::ImgBUPerDay] = tbxBUPerDay->text();
  p[Col::ImgSource] = sourceDrives;
  p[Col::ImgDest] = tbxDest->text();
  p[Col::ImgPrefix] = tbxPrefix->text();
  p[Col::ImgDefault] = stateText(cbxIncludeCName);
  p[Col::ImgRemote] = cbxRemote->currentText();
  p[Col::ImgUseVSS] = boolText(rbUseVSS->isChecked());
  p[Col::ImgRequireVSS] = boolText(rbRequireVSS->isChecked());
  p[Col::ImgForceVSS] = boolText(rbForceVSS->isChecked());
  p[Col::ImgDisableVSS] = boolText(rbDisableVSS->isChecked());
  p[Col::ImgKeepLocal] = tbxKeepLocal->text();
  p[Col::ImgKeepRemote] = tbxKeepRemote->text();
  return p;
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
    // The question is about the preset whose values the page holds, which is saved under its
    // own name; the chosen one is loaded once the edits are saved or dropped.
    const MsgResult answer =
        platform::showMessage(QStringLiteral("You have changes you have not saved. Save this preset?"),
                              QStringLiteral("Save Preset ") + shownPreset_ + QStringLiteral("?"),
                              MsgButtons::YesNoCancel, MsgIcon::Question);
    if (answer == MsgResult::Yes) {
      const bool stored = shownPreset_.isEmpty() || shownPreset_ == kWizardSetup || shownPreset_ == kHelpPage
                              ? saveAs()
                              : savePreset(shownPreset_);
      if (!stored) {
        selectPresetItem(shownPreset_);
        return;
      }
      if (cbxPreset->currentText() != name) selectPresetItem(name);  // Save As may have refilled the list
      if (cbxPreset->currentText() != name) return;
    } else if (answer == MsgResult::No) {
      presetEdited_ = false;
    } else {
      selectPresetItem(shownPreset_);
      return;
    }
  }

  DBReplayImgPreset(name);
  shownPreset_ = name;
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

QStringList ImagingPage::selectedDrives() const {
  QStringList selected;
  for (int i = 0; i < lstImgSourceDrives->count(); ++i)
    if (lstImgSourceDrives->item(i)->isSelected()) selected << lstImgSourceDrives->item(i)->text();
  return selected;
}

FullSchedule ImagingPage::fullSchedule() const {
  FullSchedule s;
  s.daily = rbDaily->isChecked();
  s.weekly = rbWeekly->isChecked();
  s.monthly = rbMonthly->isChecked();
  s.quarterly = rbQuarterly->isChecked();
  for (int d = 0; d < 7; ++d) s.days[d] = days_[d]->isChecked();
  s.hours = tbxHours->text();
  s.minutes = tbxMins->text();
  s.ampm = tbxAMPM->text();
  s.startDay = cbxStartDay->currentText();
  s.startDayQtr = cbxStartDayQtr->currentText();
  s.month = cbxMonth->currentText();
  return s;
}

DiffSchedule ImagingPage::diffSchedule() const {
  DiffSchedule s;
  for (int d = 0; d < 7; ++d) s.days[d] = diffDays_[d]->isChecked();
  s.perDay = tbxBUPerDay->text();
  s.interval = cbxDiffInterval->currentText();
  s.hours = tbxDiffHours->text();
  s.minutes = tbxDiffMins->text();
  s.ampm = tbxDiffAMPM->text();
  return s;
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

void ImagingPage::CalcLastDiff() {
  lblLastDiffBU->setText(lastDifferentialLabel(tbxBUPerDay->text(), cbxDiffInterval->currentText(),
                                               tbxDiffHours->text(), tbxDiffMins->text(), tbxDiffAMPM->text()));
}

void ImagingPage::CalcNextFull() { lblNextFullBUON->setText(nextFullLabel(fullSchedule(), now())); }

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

// ---------------------------------------------------------------- other handlers

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

void ImagingPage::lstImgSourceDrives_Click() {
  frameDestination->setVisible(true);
  setPageCaption(QStringLiteral("Imaging Setup - choose full backup destination..."));
  edited();
}

void ImagingPage::dlbDestDrive_Change() {
  edited();
  const QString root = dlbDestDrive->currentData().toString();
  if (!dirDest->setPath(root)) {
    platform::showMessage(QStringLiteral("This device is not currently available. ") + QLatin1Char('\r') +
                              QStringLiteral("If this is a network share, please ensure you are connected..."),
                          QStringLiteral("Corvane"), MsgButtons::Ok, MsgIcon::Warning);
    return;
  }
  dirDest->refresh();
}

void ImagingPage::dirDest_Change() {
  tbxDest->setText(dirDest->path());
  FrameCopies->setVisible(true);
  edited();
}

void ImagingPage::btnNewDir_Click() {
  const QString folder = DirListBox::normalise(tbxDest->text());
  const std::optional<QString> native = platform::pathMap().toNative(folder);
  if (!native) return;
  const QFileInfo info(*native);
  if (!QDir().mkdir(*native)) {
    const QFileInfo parent(info.absolutePath());
    if (!info.exists() && parent.isDir() && !parent.isWritable())
      tbxDest->setText(QStringLiteral("Please enter a valid path..."));
    return;
  }
  dirDest->setPath(folder);
}

void ImagingPage::keepCopies_Click(QLineEdit* box, int delta) {
  box->setText(stepKeepCopies(box->text(), delta));
  FrameVSS->setVisible(true);
  edited();
}

void ImagingPage::vss_Click() {
  btnRunNow->setVisible(true);
  btnSchedule->setVisible(true);
  edited();
}

void ImagingPage::frequency_Click(QRadioButton* option) {
  if (option == rbDaily || option == rbWeekly) {
    frameWeekDay->setTitle(option == rbDaily ? QStringLiteral("Daily") : QStringLiteral("Weekly"));
    frameWeekDay->setVisible(true);
    FrameMonthDay->setVisible(false);
    frameQuarterly->setVisible(false);
  } else if (option == rbMonthly) {
    FrameMonthDay->setTitle(QStringLiteral("Monthly"));
    FrameMonthDay->setVisible(true);
    frameQuarterly->setVisible(false);
    frameWeekDay->setVisible(false);
  } else {
    frameQuarterly->setTitle(QStringLiteral("Quarterly"));
    frameQuarterly->setVisible(true);
    FrameMonthDay->setVisible(false);
    frameWeekDay->setVisible(false);
  }
  CalcNextFull();
  edited();
}

void ImagingPage::fullTime_Click(QAbstractButton* button) {
  const QString name = button->objectName();
  if (name == QLatin1String("btnHoursUp") || name == QLatin1String("btnHoursDown")) {
    frameDiff->setVisible(true);
    const ClockHour h = stepHour(tbxHours->text(), tbxAMPM->text(), name.endsWith("Up") ? 1 : -1);
    tbxHours->setText(h.hours);
    tbxAMPM->setText(h.ampm);
  } else if (name == QLatin1String("btnMinsUp") || name == QLatin1String("btnMinsDown")) {
    tbxMins->setText(stepMinutes(tbxMins->text(), name.endsWith("Up") ? 1 : -1, true));
  } else {
    tbxAMPM->setText(flipAmPm(tbxAMPM->text()));
  }
  FrameStartTime->setVisible(true);
  FrameCopies->setVisible(true);
  CalcNextFull();
  edited();
}

void ImagingPage::diffTime_Click(QAbstractButton* button) {
  const QString name = button->objectName();
  const int delta = name.endsWith("Up") ? 1 : -1;
  if (name.startsWith(QLatin1String("btnDiffHours"))) {
    const ClockHour h = stepHour(tbxDiffHours->text(), tbxDiffAMPM->text(), delta);
    tbxDiffHours->setText(h.hours);
    tbxDiffAMPM->setText(h.ampm);
  } else if (name.startsWith(QLatin1String("btnDiffMins"))) {
    tbxDiffMins->setText(stepMinutes(tbxDiffMins->text(), delta, false));
  } else if (name.startsWith(QLatin1String("btnDiffAM"))) {
    tbxDiffAMPM->setText(flipAmPm(tbxDiffAMPM->text()));
  } else {
    tbxBUPerDay->setText(stepImagesPerDay(tbxBUPerDay->text(), delta));
  }
  CalcLastDiff();
  edited();
}

}  // namespace corvane::imaging
