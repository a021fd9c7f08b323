#pragma once
// The upload hours of the background service: SchInfo.xml in the Config folder (written by the
// service, only read here) and the captions of the 24 hour boxes.
//
// Hour scale: 1 to 11 are 1 AM to 11 AM, 12 is noon ("12 PM"), 13 to 23 are 1 PM to 11 PM,
// 24 is midnight ("12 AM").
#include <QList>
#include <QString>
#include <QStringList>

#include "platform/AppFolder.h"

namespace corvane::status {

QString schInfoPath(const platform::AppPaths& paths);

// Captions of `count` boxes, starting at "9 AM" and going on hour by hour ("9 AM" ... "8 AM").
QStringList CaptionScheduleHours(int count = 24);

// The hour number of a box caption ("12 PM" -> 12, "12 AM" -> 24); 0 for any other text.
short HourLabelToNumber(const QString& caption);

// The TimeSet hours of SchedulerInfo/UploadTime, in document order. A missing or unreadable
// file gives none; a text that is not a whole number is skipped.
QList<int> scheduledHours(const QString& schInfoFile);

// For each hour, the first box whose caption stands for it (hours no box carries are dropped).
QList<int> boxesForHours(const QStringList& captions, const QList<int>& hours);

}  // namespace corvane::status
