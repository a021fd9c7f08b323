// The schedule frames of the imaging setup page: the full image (frequency, days, start time)
// and the differential image (days, images per day, interval, start time).
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "imaging/ui/ImagingPage.h"
#include "imaging/ui/PageWidgets.h"

namespace corvane::imaging {

using namespace page;

namespace {

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Seven day boxes in two rows (Sun to Wed, Thu to Sat), so that each shows its whole name.
void dayBoxes(QGroupBox* frame, const char* prefix, std::array<QCheckBox*, 7>& boxes) {
  auto* grid = new QGridLayout(frame);
  for (int d = 0; d < 7; ++d) {
    boxes[d] = new QCheckBox(QString::fromLatin1(kDayNames[d]), frame);
    boxes[d]->setObjectName(QLatin1String(prefix) + QLatin1String(kDayNames[d]));
    grid->addWidget(boxes[d], d / 4, d % 4);
  }
}

QComboBox* scheduleList(QWidget* parent, const char* name, const QStringList& items) {
  auto* list = named(new QComboBox(parent), name);
  list->setEditable(true);
  int widest = 0;
  for (const QString& item : items) widest = qMax(widest, list->fontMetrics().horizontalAdvance(item));
  list->setMinimumContentsLength(1);
  list->setMinimumWidth(widest + 44);
  return list;
}

}  // namespace

void ImagingPage::buildScheduleFrames() {
  frameFullImage = group(FrameImagingSetup, "frameFullImage", QStringLiteral("Full Image"));
  frameBaseDays = group(frameFullImage, "frameBaseDays", QStringLiteral("Image"));
  rbDaily = named(new QRadioButton(QStringLiteral("Daily"), frameBaseDays), "rbDaily");
  rbWeekly = named(new QRadioButton(QStringLiteral("Weekly"), frameBaseDays), "rbWeekly");
  rbMonthly = named(new QRadioButton(QStringLiteral("Monthly"), frameBaseDays), "rbMonthly");
  rbQuarterly = named(new QRadioButton(QStringLiteral("Quarterly"), frameBaseDays), "rbQuarterly");
  auto* base = new QGridLayout(frameBaseDays);
  base->addWidget(rbDaily, 0, 0);
  base->addWidget(rbWeekly, 0, 1);
  base->addWidget(rbMonthly, 1, 0);
  base->addWidget(rbQuarterly, 1, 1);

  frameWeekDay = group(frameFullImage, "frameWeekDay", QStringLiteral("Weekly"));
  dayBoxes(frameWeekDay, "cbx", days_);

  FrameMonthDay = group(frameFullImage, "FrameMonthDay", QStringLiteral("Monthly"));
  cbxStartDay = scheduleList(FrameMonthDay, "cbxStartDay", startDayItems());
  auto* month = new QHBoxLayout(FrameMonthDay);
  month->addWidget(new QLabel(QStringLiteral("Start on"), FrameMonthDay));
  month->addWidget(cbxStartDay);
  month->addWidget(new QLabel(QStringLiteral("Day of Month"), FrameMonthDay));
  month->addStretch();

  frameQuarterly = group(frameFullImage, "frameQuarterly", QStringLiteral("Quarterly"));
  cbxStartDayQtr = scheduleList(frameQuarterly, "cbxStartDayQtr", startDayItems());
  cbxMonth = scheduleList(frameQuarterly, "cbxMonth", monthItems());
  auto* quarter = new QHBoxLayout(frameQuarterly);
  quarter->addWidget(new QLabel(QStringLiteral("Start on"), frameQuarterly));
  quarter->addWidget(cbxStartDayQtr);
  quarter->addWidget(new QLabel(QStringLiteral("Day of"), frameQuarterly));
  quarter->addWidget(cbxMonth);
  quarter->addStretch();

  FrameStartTime = group(frameFullImage, "FrameStartTime", QStringLiteral("Start Time"));
  auto* start = new QGridLayout(FrameStartTime);
  tbxHours = spinner(FrameStartTime, start, 0, 0, "tbxHours", "btnHoursUp", "btnHoursDown", "12", &fullTimeButtons_);
  tbxMins = spinner(FrameStartTime, start, 0, 1, "tbxMins", "btnMinsUp", "btnMinsDown", "00", &fullTimeButtons_);
  tbxAMPM = spinner(FrameStartTime, start, 0, 2, "tbxAMPM", "btnAMUp", "btnAMDown", "PM", &fullTimeButtons_);
  lblNextFullBUON = named(new QLabel(FrameStartTime), "lblNextFullBUON");
  start->addWidget(lblNextFullBUON, 1, 0, 1, 3);

  auto* full = new QVBoxLayout(frameFullImage);
  for (QGroupBox* g : {frameBaseDays, frameWeekDay, FrameMonthDay, frameQuarterly, FrameStartTime}) full->addWidget(g);
  full->addStretch();

  frameDiff = group(FrameImagingSetup, "frameDiff", QStringLiteral("Differential Image"));
  frameDiffWeekDays = group(frameDiff, "frameDiffWeekDays", QString());
  dayBoxes(frameDiffWeekDays, "cbxDiff", diffDays_);
  frameDiffsPerDay = group(frameDiff, "frameDiffsPerDay", QStringLiteral("Backups per Day"));
  auto* perDay = new QGridLayout(frameDiffsPerDay);
  tbxBUPerDay = spinner(frameDiffsPerDay, perDay, 0, 0, "tbxBUPerDay", "btnBUPerDayUp", "btnBUPerDayDown", "23",
                        &diffTimeButtons_);
  perDay->addWidget(new QLabel(QStringLiteral("backups/day"), frameDiffsPerDay), 0, 1);
  perDay->setColumnStretch(2, 1);
  cbxDiffInterval = scheduleList(frameDiff, "cbxDiffInterval", diffIntervalItems());
  auto* diffTime = new QGridLayout;
  tbxDiffHours = spinner(frameDiff, diffTime, 0, 0, "tbxDiffHours", "btnDiffHoursUp", "btnDiffHoursDown", "12",
                         &diffTimeButtons_);
  tbxDiffMins = spinner(frameDiff, diffTime, 0, 1, "tbxDiffMins", "btnDiffMinsUp", "btnDiffMinsDown", "00",
                        &diffTimeButtons_);
  tbxDiffAMPM = spinner(frameDiff, diffTime, 0, 2, "tbxDiffAMPM", "btnDiffAMUp", "btnDiffAMDown", "PM", &diffTimeButtons_);
  lblLastDiffBU = named(new QLabel(frameDiff), "lblLastDiffBU");
  auto* diff = new QGridLayout(frameDiff);
  diff->addWidget(frameDiffWeekDays, 0, 0, 1, 2);
  diff->addWidget(frameDiffsPerDay, 1, 0, 1, 2);
  diff->addWidget(new QLabel(QStringLiteral("Backup Every"), frameDiff), 2, 0);
  diff->addWidget(cbxDiffInterval, 2, 1);
  diff->addWidget(new QLabel(QStringLiteral("Start at"), frameDiff), 3, 0, 1, 2);
  diff->addLayout(diffTime, 4, 0, 1, 2);
  diff->addWidget(lblLastDiffBU, 5, 0, 1, 2);
  diff->setRowStretch(6, 1);
}

void ImagingPage::wireScheduleFrames() {
  for (QRadioButton* rb : {rbDaily, rbWeekly, rbMonthly, rbQuarterly})
    handle(rb, &QRadioButton::clicked, [this, rb] { frequency_Click(rb); });
  for (QCheckBox* box : days_)
    handle(box, &QCheckBox::clicked, [this] {
      FrameStartTime->setVisible(true);
      CalcNextFull();
      edited();
    });
  for (QCheckBox* box : diffDays_)
    handle(box, &QCheckBox::clicked, [this] {
      frameDiffsPerDay->setVisible(true);
      edited();
    });
  auto startDayChange = [this] {
    FrameStartTime->setVisible(true);
    CalcNextFull();
    edited();
  };
  handle(cbxStartDay, &QComboBox::activated, startDayChange);
  handle(cbxStartDay, &QComboBox::editTextChanged, startDayChange);
  auto quarterChange = [this] {
    CalcNextFull();
    edited();
  };
  for (QComboBox* list : {cbxStartDayQtr, cbxMonth}) {
    handle(list, &QComboBox::activated, quarterChange);
    handle(list, &QComboBox::editTextChanged, quarterChange);
  }
  auto intervalChange = [this] {
    CalcLastDiff();
    edited();
  };
  handle(cbxDiffInterval, &QComboBox::activated, intervalChange);
  handle(cbxDiffInterval, &QComboBox::editTextChanged, intervalChange);
  for (QToolButton* b : fullTimeButtons_) handle(b, &QToolButton::clicked, [this, b] { fullTime_Click(b); });
  for (QToolButton* b : diffTimeButtons_) handle(b, &QToolButton::clicked, [this, b] { diffTime_Click(b); });
}

void ImagingPage::PopulateImgStartDay() { refill(cbxStartDay, startDayItems()); }

void ImagingPage::PopulateImgStartDayQtr() { refill(cbxStartDayQtr, startDayItems()); }

void ImagingPage::PopulateImgStartMonth() { refill(cbxMonth, monthItems()); }

void ImagingPage::PopulateDiffInterval() { refill(cbxDiffInterval, diffIntervalItems()); }

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

void ImagingPage::CalcLastDiff() {
  lblLastDiffBU->setText(lastDifferentialLabel(tbxBUPerDay->text(), cbxDiffInterval->currentText(),
                                               tbxDiffHours->text(), tbxDiffMins->text(), tbxDiffAMPM->text()));
}

void ImagingPage::CalcNextFull() { lblNextFullBUON->setText(nextFullLabel(fullSchedule(), now())); }

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
    tbxDiffHours->setText(stepHourOnly(tbxDiffHours->text(), delta));
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
