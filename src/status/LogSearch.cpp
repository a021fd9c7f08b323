#include "status/LogSearch.h"

#include "handoff/ClsUtils.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <pugixml.hpp>

#include "handoff/ServiceDates.h"

namespace corvane::status {

namespace {

const QDateTime kNoUpload(QDate(1975, 1, 1), QTime(0, 0));

QString childText(const pugi::xml_node& e, const char* name) { return QString::fromUtf8(e.child_value(name)); }

QDateTime toSecond(QDateTime d) {
  if (d.isValid()) d.setTime(QTime(d.time().hour(), d.time().minute(), d.time().second()));
  return d;
}

// Entries of a comma-separated box; none when the box is blank.
QStringList listEntries(const QString& text) {
  if (text.trimmed().isEmpty()) return {};
  return text.split(',');
}

bool typeMatches(const QStringList& types, const QString& fileName, const QString& fileType) {
  if (!fileName.contains('.')) return false;
  const QString wanted = fileType.toUpper();
  for (const QString& entry : types)
    if (!entry.trimmed().isEmpty() && entry.toUpper() == wanted) return true;
  return false;
}

// The name is matched without its extension: the text up to and including the first ".".
bool nameMatches(const QStringList& parts, const QString& fileName) {
  const int dot = fileName.indexOf('.');
  const QString stem = dot < 0 ? QString() : fileName.left(dot + 1);
  for (const QString& entry : parts)
    if (!entry.trimmed().isEmpty() && stem.contains(entry, Qt::CaseInsensitive)) return true;
  return false;
}

QString sortKeyText(const QString& dateText) {
  const QDateTime d = readLogDateTime(dateText);
  return d.isValid() ? d.toString("yyyy-MM-dd HH:mm:ss") : QString();
}

}  // namespace

QDateTime readLogDateTime(const QString& text) {
  QString t = text.simplified();
  // The reader of the service's dates knows "M-d-yyyy" in fewer forms than "M/d/yyyy".
  static const QRegularExpression dashed("^(\\d{1,2})-(\\d{1,2})-(\\d{4})(.*)$");
  if (const auto m = dashed.match(t); m.hasMatch())
    t = m.captured(1) + '/' + m.captured(2) + '/' + m.captured(3) + m.captured(4);
  QDateTime d = handoff::parseServiceDate(t);
  if (d.isValid()) return d;
  static const QRegularExpression dayFirst("^(\\d{1,2})/(\\d{1,2})/(\\d{4})(.*)$");
  if (const auto m = dayFirst.match(t); m.hasMatch() && m.captured(1).toInt() > 12)
    d = handoff::parseServiceDate(m.captured(2) + '/' + m.captured(1) + '/' + m.captured(3) + m.captured(4));
  return d;
}

QDateTime GetLastUploadTime(const QString& schInfoFile) {
  pugi::xml_document doc;
  if (!doc.load_file(QFile::encodeName(schInfoFile).constData())) return kNoUpload;
  const pugi::xml_node root = doc.child("SchedulerInfo");
  if (!root) return kNoUpload;

  QDateTime last = kNoUpload;
  for (const pugi::xpath_node& n : root.select_nodes("UploadedTime")) {
    const QString dateText = childText(n.node(), "DateUploaded");
    if (dateText.isEmpty()) continue;
    bool ok = false;
    int hour = int(std::lround(childText(n.node(), "TimeUploaded").trimmed().toDouble(&ok)));
    if (!ok || hour < 0 || hour > 24) continue;  // not an hour of the scale: this element is skipped
    if (hour == 24) hour = 23;
    const QDateTime date = readLogDateTime(dateText);
    if (!date.isValid()) continue;
    last = QDateTime(date.date(), QTime(hour, 0));
  }

  const pugi::xml_attribute first = root.first_attribute();
  const QString value = first ? QString::fromUtf8(first.value()) : QString();
  if (!value.isEmpty()) {
    const QDateTime d = toSecond(readLogDateTime(value));
    if (d.isValid()) return d;
  }
  return last;
}

qint64 sizeInKb(double bytes) {
  const qint64 kb = qint64(std::nearbyint(bytes / 1024.0));  // default rounding: halves to even
  if (bytes != 0 && kb < 1) return 1;
  return kb;
}

QString totalSizeText(double totalBytes) {
  const double kb = totalBytes / 1024.0;
  if (kb < 1024.0) return QString::number(kb, 'f', 2) + " KB";
  return QString::number(totalBytes / 1048576.0, 'f', 2) + " MB";
}

QString successLogPath(const platform::AppPaths& paths) { return handoff::successLogPath(paths.logsFolderPath); }

LogRow LogSearch::makeRow(const Record& r, int position) {
  bool ok = false;
  double bytes = r.fileSize.trimmed().toDouble(&ok);
  if (!ok) bytes = 0;
  const qint64 kb = sizeInKb(bytes);
  LogRow row;
  row.key = r.folder + "\\" + r.fileName + QString::number(position);
  row.columns = {QString(),
                 r.fileName,
                 r.folder,
                 r.fileType,
                 QString::number(kb) + " KB",
                 r.modified,
                 r.uploaded,
                 QString::number(kb).rightJustified(10, '0'),
                 sortKeyText(r.modified),
                 sortKeyText(r.uploaded)};
  return row;
}

LogResult LogSearch::run(const LogCriteria& criteria, const QDateTime& now, const Progress& progress,
                         int progressEvery) const {
  LogResult result;

  // Cutoff A: the last upload; cutoff B: a number of days back.
  QDateTime lastUpload;
  if (criteria.lastUploadOnly) lastUpload = GetLastUploadTime(schInfoFile_);

  pugi::xml_document doc;
  if (!doc.load_file(QFile::encodeName(logFile_).constData()) || !doc.document_element()) {
    result.outcome = LogResult::Outcome::NoLog;
    return result;
  }

  QDateTime daysBack;
  if (!criteria.days.isEmpty() && !criteria.lastUploadOnly) {
    bool ok = false;
    const double days = QLocale::c().toDouble(criteria.days.trimmed(), &ok);
    if (!ok) {
      result.outcome = LogResult::Outcome::BadDays;
      return result;
    }
    daysBack = toSecond(now.addMSecs(qint64(std::llround(-days * 86400.0)) * 1000));
  }

  const QStringList types = listEntries(criteria.fileTypes);
  const QStringList names = listEntries(criteria.fileNames);

  const pugi::xpath_node_set records = doc.select_nodes("FileCollection/FileDetails");
  const int total = int(records.size());
  int position = 0;
  for (const pugi::xpath_node& n : records) {
    if (progress && position % progressEvery == 0 && !progress(position, total)) {
      result.outcome = LogResult::Outcome::Cancelled;
      return result;
    }
    const pugi::xml_node e = n.node();
    Record r{childText(e, "FileName"), childText(e, "FileFolderName"), childText(e, "FileType"),
             childText(e, "FileSize"),  childText(e, "FileModifiedDate"), childText(e, "UpDTime"),
             childText(e, "UpSuccess")};
    const int here = position++;

    if (!types.isEmpty() && !typeMatches(types, r.fileName, r.fileType)) continue;
    if (!names.isEmpty() && !nameMatches(names, r.fileName)) continue;
    if (daysBack.isValid() || lastUpload.isValid()) {
      // A record without a readable upload time was not uploaded within any time span.
      const QDateTime uploaded = toSecond(readLogDateTime(r.uploaded));
      if (!uploaded.isValid()) continue;
      if (daysBack.isValid() && uploaded < daysBack) continue;
      if (lastUpload.isValid() && uploaded < lastUpload) continue;
    }
    if (criteria.action == 1 && r.success != "Y") continue;
    if (criteria.action == 2 && r.success != "N") continue;

    result.rows << makeRow(r, here);
    bool ok = false;
    const double bytes = r.fileSize.trimmed().toDouble(&ok);
    if (ok) result.totalBytes += bytes;
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
