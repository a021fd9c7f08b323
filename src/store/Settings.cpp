#include "store/Settings.h"

#include "store/Database.h"

namespace corvane::store {

namespace {
const QString kSelect = QStringLiteral("Select * From Setting WHERE SettingName = ? ORDER BY rowid LIMIT 1");

void insertRow(DBConnection& c, const QString& settingName, const QString& setting, const QDateTime& dateSetting) {
  DBCommand cmd = c.Prepare("Insert Into Setting Values(?,?,?,?)");
  cmd.BindText(2, settingName);
  cmd.BindText(3, setting);
  cmd.BindDate(4, dateSetting);
  cmd.Execute();
}

// Sets value and date of the first row with that name; false when there is none.
bool updateFirstRow(DBConnection& c, const QString& settingName, const QString& setting,
                    const QDateTime& dateSetting) {
  DBRecordset rs = c.QueryForUpdate("Setting", "WHERE SettingName = ? ORDER BY rowid LIMIT 1", {settingName});
  if (rs.RowCount() < 1) return false;
  rs.SetField("Setting", setting);
  rs.SetField("DateSetting", dateSetting);
  rs.Update();
  return true;
}
}  // namespace

bool DBSettingExists(const QString& statusDb, const QString& settingName) {
  bool exists = false;
  swallowDbError([&] {
    DBConnection c;
    c.Open(statusDb);
    exists = c.Query(kSelect, {settingName}).RowCount() >= 1;
  });
  return exists;
}

void DBSelectSetting(const QString& statusDb, const QString& settingName, QString& setting, QDateTime& dateSetting) {
  setting = "";
  swallowDbError([&] {
    DBConnection c;
    c.Open(statusDb);
    DBRecordset rs = c.Query(kSelect, {settingName});
    if (rs.RowCount() >= 1) {
      setting = rs.Text("Setting");
      dateSetting = rs.Date("DateSetting");
    }
  });
}

void DBInsertSetting(const QString& statusDb, const QString& settingName, const QString& setting,
                     const QDateTime& dateSetting) {
  inTransaction(statusDb, [&](DBConnection& c) { insertRow(c, settingName, setting, dateSetting); });
}

void DBUpdateSetting(const QString& statusDb, const QString& settingName, const QString& setting,
                     const QDateTime& dateSetting, RetryPolicy policy) {
  inTransaction(statusDb, [&](DBConnection& c) { updateFirstRow(c, settingName, setting, dateSetting); }, policy);
}

void writeSettings(const QString& statusDb, const QList<QPair<QString, QString>>& settings,
                   const QDateTime& dateSetting) {
  inTransaction(statusDb, [&](DBConnection& c) {
    for (const auto& [name, value] : settings)
      if (!updateFirstRow(c, name, value, dateSetting)) insertRow(c, name, value, dateSetting);
  });
}

std::optional<QString> readSetting(const QString& statusDb, const QString& settingName, RetryPolicy policy) {
  const std::optional<SettingRow> row = readSettingRow(statusDb, settingName, policy);
  if (!row) return std::nullopt;
  return row->value;
}

std::optional<SettingRow> readSettingRow(const QString& statusDb, const QString& settingName, RetryPolicy policy) {
  return onDatabase(
      statusDb,
      [&](DBConnection& c) -> std::optional<SettingRow> {
        DBRecordset rs = c.Query(kSelect, {settingName});
        if (rs.RowCount() < 1) return std::nullopt;
        return SettingRow{rs.Text("Setting"), rs.Date("DateSetting")};
      },
      policy);
}

QString settingValue(const QString& statusDb, const QString& settingName) {
  QString value;
  QDateTime date;
  DBSelectSetting(statusDb, settingName, value, date);
  return value;
}

}  // namespace corvane::store
