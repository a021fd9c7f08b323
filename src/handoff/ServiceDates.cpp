#include "handoff/ServiceDates.h"

#include <QLocale>

namespace corvane::handoff {

QDateTime parseServiceDate(const QString& text) {
  const QString t = text.simplified();
  if (t.isEmpty()) return {};
  static const char* const kDateTimeForms[] = {
      "M/d/yyyy h:mm:ss AP", "M/d/yyyy h:mm AP", "M/d/yyyy H:mm:ss", "M/d/yyyy H:mm",
      "M-d-yyyy h:mm:ss AP", "M-d-yyyy H:mm:ss", "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss",
  };
  const QLocale c = QLocale::c();
  const QString upper = t.toUpper();  // "pm" as well as "PM"
  for (const char* form : kDateTimeForms) {
    const QDateTime d = c.toDateTime(upper, QString::fromLatin1(form));
    if (d.isValid()) return d;
  }
  for (const char* form : {"M/d/yyyy", "M-d-yyyy", "yyyy-MM-dd"}) {
    const QDate d = c.toDate(t, QString::fromLatin1(form));
    if (d.isValid()) return QDateTime(d, QTime(0, 0));
  }
  return {};
}

}  // namespace corvane::handoff
