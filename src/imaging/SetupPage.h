#pragma once
// Texts and lists of the imaging setup page, built from the page's values without the page.
#include <QList>
#include <QString>
#include <QStringList>
#include <array>

#include "imaging/ImgPresets.h"
#include "platform/PathMap.h"

namespace corvane::imaging {

inline constexpr int kDriveSlots = 21;       // slots 0 to 20
inline constexpr int kListedDriveSlots = 20;  // the source list shows slots 0 to 19

// The root path ("C:\") of each fixed drive at its place in the drive list, every other slot
// empty; always kDriveSlots entries.
QStringList imageDriveSlots(const platform::PathMap& map = platform::pathMap());

// The preset list: "Help Page", "Wizard Setup", then the stored names in order, without a
// stored "Wizard Setup".
QStringList presetListItems(const QList<PresetListEntry>& stored);

// Which source-list items a stored ImgSource selects: its 3-character roots are matched in list
// order, so "C:\E:\" against C:\, D:\, E:\ selects the first and the last.
QList<bool> selectedSourceDrives(const QStringList& items, const QString& imgSource);
// The stored form of the selected items: their first three characters run together.
QString sourceRoots(const QStringList& selectedItems);

// The page's values that the summary reads.
struct SummaryValues {
  QString presetName;
  bool scheduled = false;
  bool daily = false, weekly = false, monthly = false, quarterly = false;
  std::array<bool, 7> days{};  // Sunday to Saturday
  QString startDay, startDayQtr, month;
  QStringList selectedDrives;  // selected items of the source list, in list order
  QString hours, minutes, ampm;
  QString destDrive, dest;
  QString diffHours, diffMinutes, diffAmpm, perDay, lastDiffLabel;
  QString remote;
  QString nextFullLabel, nextDiffLabel;
};
QString computeSummary(const SummaryValues& v);

// The help page's text.
QString helpPageText();

}  // namespace corvane::imaging
