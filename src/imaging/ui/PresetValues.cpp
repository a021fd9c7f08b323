// The preset's values on the page's controls: the replay of a stored preset and the capture of
// the page's values as a preset row.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "imaging/SetupPage.h"
#include "imaging/ui/DirListBox.h"
#include "imaging/ui/ImagingPage.h"

namespace corvane::imaging {

namespace {

QString boolText(bool on) { return on ? QStringLiteral("True") : QStringLiteral("False"); }
QString stateText(const QCheckBox* box) { return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }
bool stateOn(const QString& value) { return leadingNumber(value) != 0; }

}  // namespace

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

}  // namespace corvane::imaging
