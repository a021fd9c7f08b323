#pragma once
// Search of the service's upload log (SuccessLog.xml): the filters of the "Log" page, the rows
// it shows with their hidden sort keys, the totals, and the time of the last upload read from
// SchInfo.xml.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "handoff/ServiceDates.h"
#include "platform/AppFolder.h"
#include "status/LogTable.h"

namespace corvane::status {

// The time of the last upload: the first attribute of SchedulerInfo (whatever its name) when it
// holds a date, else the last UploadedTime element's date and hour (hour 12 is noon, 24 is read
// as 23:00), else 1 January 1975. A wall-clock time as the service writes it, so an hour that
// summer time skips is still that hour.
handoff::ServiceDateTime GetLastUploadTime(const QString& schInfoFile);

QString successLogPath(const platform::AppPaths& paths);

struct LogCriteria {
  bool lastUploadOnly = false;  // Check1
  QString days;                 // TxtDays
  QString fileTypes;            // TxtFileExtension, comma-separated
  QString fileNames;            // TxtFileName, comma-separated parts of names
  int action = 0;               // OptAction: 0 all, 1 uploaded ("Y"), 2 failed ("N")
};

struct LogResult {
  enum class Outcome {
    Done,        // every record was read
    NoLog,       // the log is missing, not well-formed or has no root element
    BadDays,     // the days box holds no number: nothing is searched
    Cancelled,   // the progress callback asked to stop
  };
  Outcome outcome = Outcome::Done;
  std::unique_ptr<LogTable> table = std::make_unique<LogTable>();
  double totalBytes = 0;
};

class LogSearch {
 public:
  // Called every `progressEvery` records with the bytes of the log read so far and its size;
  // returning false stops the search.
  using Progress = std::function<bool(qint64 done, qint64 total)>;

  LogSearch(QString logFile, QString schInfoFile) : logFile_(std::move(logFile)), schInfoFile_(std::move(schInfoFile)) {}

  // `now` is the moment the days are counted back from.
  LogResult run(const LogCriteria& criteria, const QDateTime& now, const Progress& progress = {},
                int progressEvery = 1000) const;

 private:
  QString logFile_;
  QString schInfoFile_;
};

// The sort state of a list view: the clicked column's sort key, toggled on a second click.
// Columns are numbered from 1 as the list reports them; keys from 0. `hiddenKeys` maps a
// visible key to the hidden column that sorts it.
class ListSort {
 public:
  explicit ListSort(QList<QPair<int, int>> hiddenKeys = {}) : hidden_(std::move(hiddenKeys)) {}
  // Returns the column to mark (the visible one).
  int click(int column);
  int key() const { return key_; }
  bool descending() const { return descending_; }
  bool sorted() const { return sorted_; }

 private:
  QList<QPair<int, int>> hidden_;
  int key_ = 0;
  bool descending_ = false;
  bool sorted_ = false;
};

}  // namespace corvane::status
