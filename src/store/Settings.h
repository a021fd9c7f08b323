#pragma once
// The settings store: key/value rows of the Setting table in Status.db, the main channel to
// the background service. Names are not unique; reads and updates use the first row.
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

#include "store/Database.h"

namespace corvane::store {

// True when a row with that name exists (a database error reads as "no").
bool DBSettingExists(const QString& statusDb, const QString& settingName);

// setting := "" first; when a row exists, setting and date take its values. The date is left
// as passed when there is no row. A database error leaves setting "" and the date as passed.
void DBSelectSetting(const QString& statusDb, const QString& settingName, QString& setting, QDateTime& dateSetting);

// Adds one row (a second row for an existing name, too). Retries while the database is busy;
// throws DBError when that fails or on any other error.
void DBInsertSetting(const QString& statusDb, const QString& settingName, const QString& setting,
                     const QDateTime& dateSetting);

// Sets value and date of the first row with that name; no row, no change (never inserts).
// Retry and errors as DBInsertSetting; a caller that must not wait passes its own policy.
void DBUpdateSetting(const QString& statusDb, const QString& settingName, const QString& setting,
                     const QDateTime& dateSetting, RetryPolicy policy = {});

// Sets each (name, value) as DBUpdateSetting does, adding a row for a name that has none, all in
// one transaction: either every value is stored or none. Retry and errors as DBInsertSetting.
void writeSettings(const QString& statusDb, const QList<QPair<QString, QString>>& settings,
                   const QDateTime& dateSetting);

// The value of the first row with that name, nullopt when there is none. Unlike
// DBSelectSetting a failed read is not taken for a missing row: it waits while the database is
// busy (within the policy) and then throws DBError, as it does on any other error.
std::optional<QString> readSetting(const QString& statusDb, const QString& settingName, RetryPolicy policy = {});

// The same with the row's date, for callers that pass the date on as DBSelectSetting's do.
struct SettingRow {
  QString value;
  QDateTime date;  // invalid when the row has none
};
std::optional<SettingRow> readSettingRow(const QString& statusDb, const QString& settingName, RetryPolicy policy = {});

// Convenience: the value alone ("" when missing).
QString settingValue(const QString& statusDb, const QString& settingName);

}  // namespace corvane::store
