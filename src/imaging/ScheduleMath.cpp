#include "imaging/ScheduleMath.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <functional>

namespace corvane::imaging {

namespace {

constexpr int kMinutesPerDay = 24 * 60;
// Larger numbers in the boxes are not schedules; capping them keeps the arithmetic in range.
constexpr double kNumberCap = 1e6;
// The images-per-day box holds 0 to 23.
constexpr int kMaxImagesPerDay = 23;

int wholeNumber(const QString& text) {
  const double v = leadingNumber(text);
  return int(std::lround(std::clamp(v, -kNumberCap, kNumberCap)));
}

// Day of the month from a list text: "1st" ... "31st" give 1 to 31, "Last" gives 31 (cut to the
// month's length where it is used); nullopt for anything else.
std::optional<int> dayOfMonth(const QString& text) {
  if (text.trimmed().compare(QLatin1String("Last"), Qt::CaseInsensitive) == 0) return 31;
  const double v = leadingNumber(text);
  if (v < 1 || v > 31 || v != std::floor(v)) return std::nullopt;
  return int(v);
}

std::optional<int> monthNumber(const QString& text) {
  const QString t = text.trimmed();
  const qsizetype i = monthItems().indexOf(t);
  if (i >= 0) return int(i) + 1;
  for (qsizetype m = 0; m < monthItems().size(); ++m)
    if (t.compare(monthItems()[m], Qt::CaseInsensitive) == 0) return int(m) + 1;
  const double v = leadingNumber(t);
  if (v < 1 || v > 12 || v != std::floor(v)) return std::nullopt;
  return int(v);
}

int weekdayIndex(const QDate& d) { return d.dayOfWeek() % 7; }  // Sunday 0 ... Saturday 6

bool onDayOfMonth(const QDate& d, int day) { return d.day() == std::min(day, d.daysInMonth()); }

QString systemTimeText(const QTime& t) {
  // The long time format without its time zone part.
  QString format = QLocale::system().timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
  return QLocale::system().toString(t, format.trimmed());
}

}  // namespace

const QStringList& startDayItems() {
  static const QStringList items = [] {
    QStringList l;
    for (int d = 1; d <= 31; ++d) {
      const char* suffix = d == 1 || d == 31 ? "st" : d == 2 ? "nd" : d == 3 ? "rd" : "th";
      l << QString::number(d) + QLatin1String(suffix);
    }
    l << QStringLiteral("Last");
    return l;
  }();
  return items;
}

const QStringList& monthItems() {
  static const QStringList items = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return items;
}

const QStringList& diffIntervalItems() {
  static const QStringList items = {"15 mins", "30 mins", "45 mins", "hour",     "2 hours",
                                    "3 hours", "4 hours", "5 hours", "6 hours",  "7 hours",
                                    "8 hours", "9 hours", "10 hours", "11 hours", "12 hours"};
  return items;
}

double leadingNumber(const QString& text) {
  static const QRegularExpression number(QStringLiteral("^\\s*([+-]?(\\d+(\\.\\d*)?|\\.\\d+))"));
  const QRegularExpressionMatch m = number.match(text);
  return m.hasMatch() ? m.captured(1).toDouble() : 0.0;
}

QString flipAmPm(const QString& ampm) { return ampm == QLatin1String("AM") ? QStringLiteral("PM") : QStringLiteral("AM"); }

ClockHour stepHour(const QString& hours, const QString& ampm, int delta) {
  int h = wholeNumber(hours);
  ClockHour r{QString(), ampm};
  if (delta > 0) {
    h += 1;
    if (h == 12) r.ampm = flipAmPm(ampm);
    if (h >= 13 || h < 1) h = 1;
  } else {
    h -= 1;
    if (h == 11) r.ampm = flipAmPm(ampm);
    if (h <= 0 || h > 12) h = 12;
  }
  r.hours = QString::number(h);
  return r;
}

QString stepHourOnly(const QString& hours, int delta) {
  int h = wholeNumber(hours) + (delta > 0 ? 1 : -1);
  if (h > 12 || h < 1) h = delta > 0 ? 1 : 12;
  return QString::number(h);
}

QString stepMinutes(const QString& minutes, int delta, bool twoDigits) {
  int m = wholeNumber(minutes) + (delta > 0 ? 1 : -1);
  if (m < 0) m = 59;
  if (m > 59) m = 0;
  return twoDigits ? QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')) : QString::number(m);
}

QString stepImagesPerDay(const QString& perDay, int delta) {
  const int n = std::clamp(wholeNumber(perDay) + (delta > 0 ? 1 : -1), 0, 23);
  return QString::number(n);
}

QString stepKeepCopies(const QString& copies, int delta) {
  int n = wholeNumber(copies) + (delta > 0 ? 1 : -1);
  if (delta < 0 && n < 1) n = 99;
  if (delta > 0 && n >= 99) n = 0;
  return QString::number(n);
}

std::optional<int> startMinutes(const QString& hours, const QString& minutes, const QString& ampm) {
  const double h = leadingNumber(hours);
  const long m = std::lround(std::clamp(leadingNumber(minutes), -1.0, 60.0));
  if (h < 1 || h > 12 || h != std::floor(h) || m < 0 || m > 59) return std::nullopt;
  const QString ap = ampm.trimmed().toUpper();
  if (ap != QLatin1String("AM") && ap != QLatin1String("PM")) return std::nullopt;
  const int hour24 = int(h) % 12 + (ap == QLatin1String("PM") ? 12 : 0);
  return hour24 * 60 + int(m);
}

int intervalMinutes(const QString& interval) {
  if (interval == QLatin1String("15 mins")) return 15;
  if (interval == QLatin1String("30 mins")) return 30;
  if (interval == QLatin1String("45 mins")) return 45;
  if (interval == QLatin1String("hour")) return 60;
  if (interval.isEmpty()) return 0;
  return std::max(0, wholeNumber(interval)) * 60;
}

std::optional<qint64> lastDifferentialMinutes(int count, const QString& interval, const QString& hours,
                                              const QString& minutes, const QString& ampm) {
  const std::optional<int> start = startMinutes(hours, minutes, ampm);
  if (count < 1 || !start) return std::nullopt;
  return qint64(*start) + qint64(count - 1) * intervalMinutes(interval);
}

QString lastDifferentialLabel(const QString& perDay, const QString& interval, const QString& hours,
                              const QString& minutes, const QString& ampm) {
  const std::optional<qint64> total = lastDifferentialMinutes(wholeNumber(perDay), interval, hours, minutes, ampm);
  if (!total) return QString();
  const qint64 days = *total / kMinutesPerDay;
  const int ofDay = int(*total % kMinutesPerDay);
  const int hour24 = ofDay / 60;
  const int hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
  QString suffix;
  if (days == 1) suffix = QStringLiteral("    Next Day");
  else if (days > 1) suffix = QStringLiteral("    %1 Days Later").arg(days);
  return QStringLiteral("Last backup at %1:%2%3 %4")
      .arg(hour12)
      .arg(ofDay % 60, 2, 10, QLatin1Char('0'))
      .arg(hour24 < 12 ? QStringLiteral("AM") : QStringLiteral("PM"), suffix);
}

std::optional<QDateTime> nextFullImage(const FullSchedule& s, const QDateTime& now) {
  const std::optional<int> start = startMinutes(s.hours, s.minutes, s.ampm);
  if (!start) return std::nullopt;
  const QTime at(*start / 60, *start % 60);

  std::function<bool(const QDate&)> matches;
  if (s.daily) {
    const bool any = std::find(s.days.begin(), s.days.end(), true) != s.days.end();
    matches = [&s, any](const QDate& d) { return !any || s.days[weekdayIndex(d)]; };
  } else if (s.weekly) {
    const auto first = std::find(s.days.begin(), s.days.end(), true);  // the week's day: the first ticked
    if (first == s.days.end()) return std::nullopt;
    const int day = int(first - s.days.begin());
    matches = [day](const QDate& d) { return weekdayIndex(d) == day; };
  } else if (s.monthly) {
    const std::optional<int> day = dayOfMonth(s.startDay);
    if (!day) return std::nullopt;
    matches = [day](const QDate& d) { return onDayOfMonth(d, *day); };
  } else if (s.quarterly) {
    const std::optional<int> day = dayOfMonth(s.startDayQtr);
    const std::optional<int> month = monthNumber(s.month);
    if (!day || !month) return std::nullopt;
    matches = [day, month](const QDate& d) { return (d.month() - *month + 12) % 3 == 0 && onDayOfMonth(d, *day); };
  } else {
    return std::nullopt;
  }
  // Every kind repeats within a quarter year, so a little over three months always finds it.
  for (int i = 0; i <= 100; ++i) {
    const QDate d = now.date().addDays(i);
    if (!matches(d)) continue;
    const QDateTime when(d, at, now.timeZone());
    if (when > now) return when;
  }
  return std::nullopt;
}

std::optional<QDateTime> nextDifferentialImage(const DiffSchedule& s, const QDateTime& now) {
  const int count = wholeNumber(s.perDay);
  const std::optional<int> start = startMinutes(s.hours, s.minutes, s.ampm);
  if (count < 1 || count > kMaxImagesPerDay || !start) return std::nullopt;
  const qint64 step = intervalMinutes(s.interval);
  // Wall-clock minutes after today's midnight. A day's images may run on for days past their own
  // day, so every ticked day from the earliest whose last image can still come is looked at; each
  // day's first image after now is found by arithmetic, not by walking its images.
  const qint64 nowMinutes = now.time().hour() * 60 + now.time().minute();
  const qint64 spanDays = (qint64(*start) + (count - 1) * step) / kMinutesPerDay;
  const int today = weekdayIndex(now.date());
  std::optional<qint64> best;
  for (qint64 offset = -spanDays; offset <= 7; ++offset) {
    if (!s.days[((today + offset) % 7 + 7) % 7]) continue;
    const qint64 first = offset * kMinutesPerDay + *start;
    qint64 k = 0;
    if (first <= nowMinutes) {
      if (step == 0) continue;
      k = (nowMinutes - first) / step + 1;
    }
    if (k >= count) continue;
    const qint64 when = first + k * step;
    if (!best || when < *best) best = when;
  }
  if (!best) return std::nullopt;
  const qint64 minuteOfDay = *best % kMinutesPerDay;
  return QDateTime(now.date().addDays(*best / kMinutesPerDay), QTime(int(minuteOfDay / 60), int(minuteOfDay % 60)),
                   now.timeZone());
}

QString dateTimeLabel(const std::optional<QDateTime>& when) {
  if (!when) return QString();
  return QLocale::system().toString(when->date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         systemTimeText(when->time());
}

QString nextFullLabel(const FullSchedule& s, const QDateTime& now) {
  if (const std::optional<QDateTime> when = nextFullImage(s, now)) return dateTimeLabel(when);
  const std::optional<int> start = startMinutes(s.hours, s.minutes, s.ampm);
  if (!start) return QString();
  return systemTimeText(QTime(*start / 60, *start % 60));
}

}  // namespace corvane::imaging
