#include "status/LogSearch.h"

#include "handoff/ClsUtils.h"

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <pugixml.hpp>

#include "handoff/ServiceDates.h"
#include "handoff/SuccessLogReader.h"

namespace corvane::status {

namespace {

const handoff::ServiceDateTime kNoUpload{1975, 1, 1, 0, 0, 0};

QString childText(const pugi::xml_node& e, const char* name) { return QString::fromUtf8(e.child_value(name)); }

// Entries of a comma-separated box; none when the box is blank.
QStringList listEntries(const QString& text) {
  if (text.trimmed().isEmpty()) return {};
  return text.split(',');
}

// Whether a file type is one of the box's entries: letter case aside, the entry untrimmed.
// The log holds few distinct types, so each is decided once per search.
class TypeFilter {
 public:
  explicit TypeFilter(const QStringList& entries) {
    for (const QString& entry : entries)
      if (!entry.trimmed().isEmpty()) wanted_ << entry.toUpper();
  }
  bool matches(std::string_view fileType) {
    const auto it = decided_.find(fileType);
    if (it != decided_.end()) return it->second;
    const bool ok = wanted_.contains(QString::fromUtf8(fileType.data(), qsizetype(fileType.size())).toUpper());
    decided_.emplace(std::string(fileType), ok);
    return ok;
  }

 private:
  QStringList wanted_;
  std::map<std::string, bool, std::less<>> decided_;
};

// The name is matched without its extension: the text up to and including the first ".".
bool nameMatches(const QStringList& parts, const QString& fileName) {
  const int dot = fileName.indexOf('.');
  const QString stem = dot < 0 ? QString() : fileName.left(dot + 1);
  for (const QString& entry : parts)
    if (!entry.trimmed().isEmpty() && stem.contains(entry, Qt::CaseInsensitive)) return true;
  return false;
}

}  // namespace

handoff::ServiceDateTime GetLastUploadTime(const QString& schInfoFile) {
  using handoff::DateForms;
  using handoff::readServiceDate;
  pugi::xml_document doc;
  if (!doc.load_file(QFile::encodeName(schInfoFile).constData())) return kNoUpload;
  const pugi::xml_node root = doc.child("SchedulerInfo");
  if (!root) return kNoUpload;

  handoff::ServiceDateTime last = kNoUpload;
  for (const pugi::xpath_node& n : root.select_nodes("UploadedTime")) {
    const QString dateText = childText(n.node(), "DateUploaded");
    if (dateText.isEmpty()) continue;
    bool ok = false;
    const double number = childText(n.node(), "TimeUploaded").trimmed().toDouble(&ok);
    // Not an hour of the scale once rounded: this element is skipped (checked before rounding,
    // which a number far beyond the scale would not survive).
    if (!ok || !(number > -0.5 && number < 24.5)) continue;
    int hour = int(std::lround(number));
    if (hour == 24) hour = 23;
    const auto date = readServiceDate(QStringView(dateText), DateForms::Log);
    if (!date) continue;
    last = {date->year, date->month, date->day, hour, 0, 0};
  }

  const pugi::xml_attribute first = root.first_attribute();
  const QString value = first ? QString::fromUtf8(first.value()) : QString();
  if (!value.isEmpty()) {
    if (const auto d = readServiceDate(QStringView(value), DateForms::Log)) return *d;
  }
  return last;
}

QString successLogPath(const platform::AppPaths& paths) { return handoff::successLogPath(paths.logsFolderPath); }

LogResult LogSearch::run(const LogCriteria& criteria, const QDateTime& now, const Progress& progress,
                         int progressEvery) const {
  using handoff::LogField;
  using handoff::ServiceDateTime;
  LogResult result;

  // Cutoff A: the last upload; cutoff B: a number of days back. Both are wall-clock times, as
  // the service writes its dates.
  std::optional<qint64> lastUpload;
  if (criteria.lastUploadOnly) lastUpload = GetLastUploadTime(schInfoFile_).wallSeconds();
  std::optional<qint64> daysBack;
  if (!criteria.days.isEmpty() && !criteria.lastUploadOnly) {
    bool ok = false;
    double days = QLocale::c().toDouble(criteria.days.trimmed(), &ok);
    if (!ok || std::isnan(days)) {
      result.outcome = LogResult::Outcome::BadDays;
      return result;
    }
    // Beyond some eight thousand years every dated record is inside the span (or, counted
    // forward, outside it); the bound keeps the arithmetic whole.
    constexpr double kEveryDate = 3.0e6;
    days = std::clamp(days, -kEveryDate, kEveryDate);
    daysBack = ServiceDateTime::fromDateTime(now).wallSeconds() - std::llround(days * 86400.0);
  }

  const QStringList names = listEntries(criteria.fileNames);
  const QStringList typeEntries = listEntries(criteria.fileTypes);
  TypeFilter types(typeEntries);
  const bool byType = !typeEntries.isEmpty();

  LogTable& table = *result.table;
  qint64 total = 0;
  int sinceProgress = 0;
  bool stop = false;
  const auto onRecord = [&](const handoff::LogRecord& rec) {
    if (stop) return;
    if (progress && ++sinceProgress >= progressEvery) {
      sinceProgress = 0;
      if (!progress(rec.offset, total)) {
        stop = true;
        return;
      }
    }
    const std::string_view fileName = rec[LogField::FileName];
    if (byType && (fileName.find('.') == std::string_view::npos || !types.matches(rec[LogField::FileType]))) return;
    if (!names.isEmpty() && !nameMatches(names, QString::fromUtf8(fileName.data(), qsizetype(fileName.size())))) return;
    if (daysBack || lastUpload) {
      // A record without a readable upload time was not uploaded within any time span.
      const auto uploaded = handoff::readServiceDate(rec[LogField::UpDTime], handoff::DateForms::Log);
      if (!uploaded) return;
      const qint64 when = uploaded->wallSeconds();
      if (daysBack && when < *daysBack) return;
      if (lastUpload && when < *lastUpload) return;
    }
    const std::string_view success = rec[LogField::UpSuccess];
    if (criteria.action == 1 && success != "Y") return;
    if (criteria.action == 2 && success != "N") return;

    result.totalBytes += table.add({fileName, rec[LogField::FileFolderName], rec[LogField::FileType],
                                    rec[LogField::FileSize], rec[LogField::FileModifiedDate], rec[LogField::UpDTime]},
                                   rec.position);
  };
  // Between records, and while a long stretch without records is read (one huge text, a file
  // that is no log), the caller hears of the bytes read at each piece of the file.
  const auto outcome = handoff::SuccessLogReader::readWhileWritten(
      logFile_, onRecord,
      [&](qint64 done, qint64 t) {
        total = t;
        if (!stop && progress && done < total && !progress(done, total)) stop = true;
        return !stop;
      },
      [&] {  // the service was writing the log: it is read again
        table = LogTable();
        result.totalBytes = 0;
      });
  if (stop || outcome == handoff::SuccessLogReader::Outcome::Stopped) {
    result.outcome = LogResult::Outcome::Cancelled;
    return result;
  }
  if (outcome == handoff::SuccessLogReader::Outcome::NoDocument) {
    result.outcome = LogResult::Outcome::NoLog;
    result.table = std::make_unique<LogTable>();
    result.totalBytes = 0;
    return result;
  }
  if (progress) progress(total, total);
  return result;
}

int ListSort::click(int column) {
  int key = column - 1;
  for (const auto& [visible, hidden] : hidden_)
    if (key == visible) key = hidden;
  descending_ = key_ == key ? !descending_ : false;
  key_ = key;
  sorted_ = true;
  for (const auto& [visible, hidden] : hidden_)
    if (key == hidden) return visible;
  return key;
}

}  // namespace corvane::status
