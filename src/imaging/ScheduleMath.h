#pragma once
// Time arithmetic of the image schedules: the up/down steps of the schedule boxes, the time of
// the last differential image of a day, and the next full and differential image after a moment.
// Plain functions over the boxes' texts, so the page stays thin.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace corvane::imaging {

// The items of the schedule lists, in list order.
const QStringList& startDayItems();      // "1st" ... "31st", "Last"
const QStringList& monthItems();         // "Jan" ... "Dec"
const QStringList& diffIntervalItems();  // "15 mins" ... "12 hours"

// The leading number of a box's text: leading blanks skipped, an optional sign, digits with an
// optional fraction; 0 when the text does not begin with a number.
double leadingNumber(const QString& text);

// "AM" becomes "PM", anything else "AM".
QString flipAmPm(const QString& ampm);

struct ClockHour {
  QString hours;
  QString ampm;
};
// One hour up (delta +1) or down (-1) on a 12-hour clock: 11 up gives 12 and 12 down gives 11,
// each changing AM and PM; 12 up gives 1 and 1 down gives 12 with AM/PM kept. Written without
// a leading zero.
ClockHour stepHour(const QString& hours, const QString& ampm, int delta);
// One hour up or down in the hour box alone (the differential start): 12 up gives 1, 1 down
// gives 12; AM/PM has buttons of its own.
QString stepHourOnly(const QString& hours, int delta);
// One minute up or down, 59 and 0 wrapping round; "00" form when twoDigits, else "0".
QString stepMinutes(const QString& minutes, int delta, bool twoDigits);
// Images per day one up or down, kept within 0 to 23.
QString stepImagesPerDay(const QString& perDay, int delta);
// Copies to keep one up or down: down from 1 (or from 0) gives 99, up from 98 (or more) gives 0.
QString stepKeepCopies(const QString& copies, int delta);

// Minutes after midnight of a start time given as hour "1".."12", minutes "0".."59" and "AM"/"PM"
// (12 AM is midnight, 12 PM noon); nullopt when the texts do not form a time of day.
std::optional<int> startMinutes(const QString& hours, const QString& minutes, const QString& ampm);
// Minutes between two differential images: "15 mins", "30 mins", "45 mins", "hour"; any other
// text is a number of hours ("2 hours", "16"); an empty or unreadable text gives 0.
int intervalMinutes(const QString& interval);

// Minutes after the start day's midnight at which the last of `count` differential images starts
// (count images, one interval apart, from the start time); nullopt for no image or a bad time.
std::optional<qint64> lastDifferentialMinutes(int count, const QString& interval, const QString& hours,
                                              const QString& minutes, const QString& ampm);
// The "Last backup at ..." label: empty for no image per day or a start time that is not a time
// of day.
QString lastDifferentialLabel(const QString& perDay, const QString& interval, const QString& hours,
                              const QString& minutes, const QString& ampm);

struct FullSchedule {
  bool daily = false, weekly = false, monthly = false, quarterly = false;
  std::array<bool, 7> days{};  // Sunday to Saturday
  QString hours, minutes, ampm;
  QString startDay;     // monthly: "1st" ... "31st", "Last"
  QString startDayQtr;  // quarterly: the same forms
  QString month;        // quarterly: first month, "Jan" ... "Dec" or 1 to 12
};

struct DiffSchedule {
  std::array<bool, 7> days{};  // Sunday to Saturday
  QString perDay, interval, hours, minutes, ampm;
};

// The first start of a full image after `now`; nullopt when the schedule does not fix a date
// (no frequency, no week day for a weekly image, an unreadable day or month, a bad time).
std::optional<QDateTime> nextFullImage(const FullSchedule& s, const QDateTime& now);
// The first differential image after `now`: images start on the ticked days (a day's images may
// run on past midnight), at wall-clock times; nullopt when none is scheduled, also for a count
// beyond the box's 23.
std::optional<QDateTime> nextDifferentialImage(const DiffSchedule& s, const QDateTime& now);

// Texts in the system's formats: a date and a time of day, or the time of day alone when no date
// is known; empty when the start time is not a time of day.
QString nextFullLabel(const FullSchedule& s, const QDateTime& now);
QString dateTimeLabel(const std::optional<QDateTime>& when);

}  // namespace corvane::imaging
