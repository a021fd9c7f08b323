#include "imaging/SetupPage.h"

#include "platform/Drives.h"

namespace corvane::imaging {

QStringList imageDriveSlots(const platform::PathMap& map) {
  QStringList driveSlots;
  for (int i = 0; i < kDriveSlots; ++i) driveSlots << QString();
  const QList<platform::DriveInfo> drives = platform::listDrives(map);
  for (qsizetype i = 0; i < drives.size() && i < kDriveSlots; ++i)
    if (drives[i].kind == platform::DriveKind::Fixed) driveSlots[i] = drives[i].rootPath;
  return driveSlots;
}

QStringList presetListItems(const QList<PresetListEntry>& stored) {
  QStringList items{kHelpPage, kWizardSetup};
  for (qsizetype i = 0; i < stored.size() && i < kPresetListSlots; ++i) {
    if (stored[i].name.isEmpty()) break;
    if (stored[i].name != kWizardSetup) items << stored[i].name;
  }
  return items;
}

QList<bool> selectedSourceDrives(const QStringList& items, const QString& imgSource) {
  QList<bool> selected;
  qsizetype pos = 0;
  for (const QString& item : items) {
    const bool match = !item.isEmpty() && imgSource.mid(pos, 3) == item;
    if (match) pos += 3;
    selected << match;
  }
  return selected;
}

QString sourceRoots(const QStringList& selectedItems) {
  QString roots;
  for (const QString& item : selectedItems) roots += item.left(3);
  return roots;
}

QString computeSummary(const SummaryValues& v) {
  const QString cr = QStringLiteral("\r");
  QString text = QStringLiteral("PRESET NAME: ") + v.presetName + cr + cr;
  if (!v.scheduled) {
    return text + QStringLiteral("THIS PRESET IS NOT SCHEDULED.") + cr +
           QStringLiteral("TO SCHEDULE, SWITCH TO DETAIL VIEW AND PRESS SCHEDULE BUTTON.") + cr;
  }
  static const char* const dayNames[] = {"Sunday, ",   "Monday, ", "Tuesday, ", "Wednesday, ",
                                         "Thursday, ", "Friday, ", "Saturday, "};
  QString freq, days;
  if (v.daily) {
    freq = QStringLiteral("Daily");
    for (int d = 0; d < 7; ++d)
      if (v.days[d]) days += QLatin1String(dayNames[d]);
  } else if (v.weekly) {
    freq = QStringLiteral("Weekly");
    for (int d = 0; d < 7; ++d) {
      if (!v.days[d]) continue;
      days = d == 0 ? QStringLiteral(" every Sunday, ") : QString::fromLatin1(dayNames[d]);
      break;
    }
  } else if (v.monthly) {
    freq = QStringLiteral("Monthly");
    days = v.startDay + QStringLiteral(" day of the month, ");
  } else if (v.quarterly) {
    freq = QStringLiteral("Quarterly");
    days = v.startDayQtr + QStringLiteral(" day of ") + v.month;
  }
  QString src;
  for (const QString& drive : v.selectedDrives) src += drive.left(1) + QStringLiteral(" ,");
  src.chop(1);
  const QString dest = v.destDrive + QLatin1Char(' ') + (v.dest.size() >= 3 ? v.dest.mid(2) : QString());

  text += QStringLiteral("FULL IMAGE BACKUP: ") + freq + QStringLiteral(" - from ") + src + QStringLiteral(" drives at ") +
          v.hours + ':' + v.minutes + ' ' + v.ampm + QStringLiteral(" on ") + days + QStringLiteral(" to ") + dest +
          cr + cr;
  text += QStringLiteral("DIFFERENTIAL IMAGE BACKUP: ") + v.perDay + QStringLiteral(" times a day, starting at ") +
          v.diffHours + ':' + v.diffMinutes + ' ' + v.diffAmpm + QStringLiteral(" - ") + v.lastDiffLabel + cr + cr;
  text += QStringLiteral("REMOTE SERVER: ") + v.remote + cr + cr;
  text += QStringLiteral("NEXT FULL BACKUP: ") + v.nextFullLabel + cr + cr;
  text += QStringLiteral("NEXT DIFFERENTIAL BACKUP:") + cr + cr + v.nextDiffLabel;
  return text;
}

QString helpPageText() {
  return QStringLiteral(
      "You can use this page to set up your computer backup images just how you like them.\r\n\r\n"
      "For a quick setup, try one of the presets in the drop down at the upper right of the page.");
}

}  // namespace corvane::imaging
