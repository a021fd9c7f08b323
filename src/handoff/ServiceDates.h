#pragma once
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <optional>
#include <string_view>

namespace corvane::handoff {

// A date and time as the service writes it: wall-clock fields with no time zone, which is what
// the service means by them (a time in the hour skipped by summer time is still that time).
struct ServiceDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

  // yyyyMMddHHmmss as one number: orders exactly as the text "yyyy-MM-dd HH:mm:ss" does.
  qint64 packed() const;
  // Seconds on a uniform wall clock (no time zone): differences are whole days and seconds.
  qint64 wallSeconds() const;
  QDateTime toDateTime() const;  // local time
  QString text() const;          // "yyyy-MM-dd HH:mm:ss"

  static ServiceDateTime fromDateTime(const QDateTime& d);
  static ServiceDateTime fromWallSeconds(qint64 seconds);
  bool operator==(const ServiceDateTime&) const = default;
};

enum class DateForms {
  // Month first with "/" ("12/8/2026 10:45:12 PM", "12/08/2026 22:45", "12/8/2026"), with "-"
  // in fewer forms ("12-8-2026 22:45:12"), and the stored form "yyyy-MM-dd HH:mm:ss".
  Service,
  // As Service, and "-" in every form of "/"; a first number above 12 is taken as the day.
  Log,
};

// Reads a date text that the background service writes into its XML files; nullopt when no
// form fits. The UTF-8 overload is the fast one for reading whole logs.
std::optional<ServiceDateTime> readServiceDate(std::string_view utf8, DateForms forms);
std::optional<ServiceDateTime> readServiceDate(QStringView text, DateForms forms);

// The Service forms as a local date-time; invalid when no form fits.
QDateTime parseServiceDate(const QString& text);

}  // namespace corvane::handoff
