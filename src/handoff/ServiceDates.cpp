#include "handoff/ServiceDates.h"

#include <QDate>
#include <string>

namespace corvane::handoff {

namespace {

// Whitespace as the text simplification of the old reader knew it, within ASCII.
bool isSpace(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A cursor over one simplified ASCII text (single spaces, none at either end).
struct Cursor {
  std::string_view s;
  size_t i = 0;

  bool done() const { return i == s.size(); }
  bool eat(char c) {
    if (i < s.size() && s[i] == c) return ++i, true;
    return false;
  }
  bool eatUpper(char c) {  // a letter in either case
    if (i < s.size() && (s[i] == c || s[i] == c + ('a' - 'A'))) return ++i, true;
    return false;
  }
  // min to max digits; fails on more digits than max (no digit may follow).
  bool number(int minDigits, int maxDigits, int* out) {
    int n = 0, v = 0;
    while (i < s.size() && isDigit(s[i])) {
      if (++n > maxDigits) return false;
      v = v * 10 + (s[i++] - '0');
    }
    *out = v;
    return n >= minDigits;
  }
};

bool validDate(int y, int m, int d) { return y >= 1 && QDate::isValid(y, m, d); }

enum class Clock { Twelve, TwentyFour };

// "h:mm[:ss] AP" or "H:mm[:ss]". The service's own forms have minutes and seconds of two
// digits; in its looser forms (`looseFields`) every field may have one, as its date reader
// allows ("3:5:9 PM"), and the marker may follow without a space ("3:05 PM", "3:05PM").
bool readTime(Cursor& c, Clock clock, bool secondsRequired, bool looseFields, ServiceDateTime* out) {
  int h = 0, m = 0, s = 0;
  const int least = looseFields ? 1 : 2;
  if (!c.number(looseFields ? 1 : 2, 2, &h) || !c.eat(':') || !c.number(least, 2, &m) || m > 59) return false;
  if (c.eat(':')) {
    if (!c.number(least, 2, &s) || s > 59) return false;
  } else if (secondsRequired) {
    return false;
  }
  if (clock == Clock::Twelve) {
    c.eat(' ');
    if (h > 12) return false;
    bool pm = false;
    if (c.eatUpper('P')) pm = true;
    else if (!c.eatUpper('A')) return false;
    if (!c.eatUpper('M')) return false;
    if (h == 12) h = 0;
    if (pm) h += 12;
  } else if (h > 23) {
    return false;
  }
  if (!c.done()) return false;
  out->hour = h, out->minute = m, out->second = s;
  return true;
}

// Month-first date "M/d/yyyy" (sep "/" or "-"), then nothing or one of the times its separator
// allows. `first`/`second` are returned for the day-first retry.
bool readMonthFirst(std::string_view s, char sep, bool allTimes, bool swap, ServiceDateTime* out) {
  Cursor c{s};
  int a = 0, b = 0, y = 0;
  if (!c.number(1, 2, &a) || !c.eat(sep) || !c.number(1, 2, &b) || !c.eat(sep) || !c.number(4, 4, &y)) return false;
  const int month = swap ? b : a, day = swap ? a : b;
  if (!validDate(y, month, day)) return false;
  *out = ServiceDateTime{y, month, day, 0, 0, 0};
  if (c.done()) return true;
  if (!c.eat(' ')) return false;
  const size_t timeStart = c.i;
  // "/" knows h:mm:ss AP, h:mm AP, H:mm:ss, H:mm; "-" only the two with seconds.
  if (readTime(c, Clock::Twelve, !allTimes, true, out)) return true;
  c.i = timeStart;
  return readTime(c, Clock::TwentyFour, !allTimes, true, out);
}

// "yyyy-MM-dd", optionally followed by " HH:mm:ss" or "THH:mm:ss".
bool readStored(std::string_view s, ServiceDateTime* out) {
  Cursor c{s};
  int y = 0, m = 0, d = 0;
  if (!c.number(4, 4, &y) || !c.eat('-') || !c.number(2, 2, &m) || !c.eat('-') || !c.number(2, 2, &d)) return false;
  if (!validDate(y, m, d)) return false;
  *out = ServiceDateTime{y, m, d, 0, 0, 0};
  if (c.done()) return true;
  if (!c.eat(' ') && !c.eatUpper('T')) return false;
  return readTime(c, Clock::TwentyFour, true, false, out);
}

std::optional<ServiceDateTime> readSimplified(std::string_view s, DateForms forms) {
  ServiceDateTime d;
  if (s.empty()) return std::nullopt;
  const bool log = forms == DateForms::Log;
  if (readMonthFirst(s, '/', true, false, &d)) return d;
  if (readMonthFirst(s, '-', log, false, &d)) return d;
  if (readStored(s, &d)) return d;
  if (log) {
    // Day first, only when the first number cannot be a month.
    int first = 0;
    Cursor c{s};
    if (c.number(1, 2, &first) && first > 12 && c.i < s.size() && (s[c.i] == '/' || s[c.i] == '-') &&
        readMonthFirst(s, s[c.i], true, true, &d))
      return d;
  }
  return std::nullopt;
}

// Trims and folds runs of whitespace into one space; false when a byte outside ASCII remains
// (no form has one).
bool simplifyAscii(std::string_view in, std::string* out) {
  out->clear();
  bool pendingSpace = false;
  for (const char ch : in) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80) return false;
    if (isSpace(c)) {
      pendingSpace = !out->empty();
      continue;
    }
    if (pendingSpace) out->push_back(' ');
    pendingSpace = false;
    out->push_back(ch);
  }
  return true;
}

}  // namespace

qint64 ServiceDateTime::packed() const {
  return ((((qint64(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
}

qint64 ServiceDateTime::wallSeconds() const {
  return QDate(year, month, day).toJulianDay() * 86400 + hour * 3600 + minute * 60 + second;
}

QDateTime ServiceDateTime::toDateTime() const { return QDateTime(QDate(year, month, day), QTime(hour, minute, second)); }

QString ServiceDateTime::text() const {
  return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
}

ServiceDateTime ServiceDateTime::fromDateTime(const QDateTime& d) {
  const QDate date = d.date();
  const QTime time = d.time();
  return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
}

ServiceDateTime ServiceDateTime::fromWallSeconds(qint64 seconds) {
  qint64 days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  const QDate date = QDate::fromJulianDay(days);
  return {date.year(), date.month(), date.day(), int(rest / 3600), int(rest / 60 % 60), int(rest % 60)};
}

std::optional<ServiceDateTime> readServiceDate(std::string_view utf8, DateForms forms) {
  thread_local std::string simplified;
  if (simplifyAscii(utf8, &simplified)) return readSimplified(simplified, forms);
  // Other whitespace (no-break spaces and the like) still separates; anything else fails.
  return readServiceDate(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())), forms);
}

std::optional<ServiceDateTime> readServiceDate(QStringView text, DateForms forms) {
  const QString simplified = text.toString().simplified();
  std::string ascii;
  ascii.reserve(size_t(simplified.size()));
  for (const QChar ch : simplified) {
    if (ch.unicode() >= 0x80) return std::nullopt;
    ascii.push_back(char(ch.unicode()));
  }
  return readSimplified(ascii, forms);
}

QDateTime parseServiceDate(const QString& text) {
  const auto d = readServiceDate(QStringView(text), DateForms::Service);
  return d ? d->toDateTime() : QDateTime();
}

}  // namespace corvane::handoff
