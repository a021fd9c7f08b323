#include "shell/IdentityStep.h"

#include <optional>

#include "shell/PageSeam.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::shell {

namespace {

const char* const kIdentityKeys[] = {"Identity", "UIdentity", "DIdentity"};

// The value of the first row with that name, nullopt when there is none. Unlike
// DBSelectSetting a failed read is not taken for a missing row: a database that stays busy
// (or any other error) throws, so the step writes no first-start rows over real ones.
std::optional<QString> readSetting(const QString& statusDb, const QString& name) {
  return store::onDatabase(statusDb, [&](store::DBConnection& c) -> std::optional<QString> {
    store::DBRecordset rs = c.Query("Select * From Setting WHERE SettingName = ? ORDER BY rowid LIMIT 1", {name});
    if (rs.RowCount() < 1) return std::nullopt;
    return rs.Text("Setting");
  });
}

}  // namespace

qint64 parseIdentity(const QString& text) {
  bool ok = false;
  const qint64 v = text.trimmed().toLongLong(&ok);
  return ok ? v : 0;
}

IdentityResult resolveIdentity(const QString& statusDb, IdentityHooks* hooks, const QDateTime& now) {
  IdentityResult result;
  const QString identity = readSetting(statusDb, QStringLiteral("Identity")).value_or(QString());

  if (identity.isEmpty()) {
    for (const char* key : kIdentityKeys) {
      const QString name = QString::fromLatin1(key);
      const std::optional<QString> value = readSetting(statusDb, name);
      if (!value) {
        store::DBInsertSetting(statusDb, name, QStringLiteral("0"), now);
      } else if (value->isEmpty()) {
        store::DBUpdateSetting(statusDb, name, QStringLiteral("0"), now);
      }
    }
    return result;
  }

  result.identityValue = identity;
  if (!hooks) return result;
  result.machineName = hooks->DBSelectMachineNameByKeyID(parseIdentity(identity));
  if (!result.machineName.isEmpty()) return result;

  hooks->ImportOriginalKeyFile();
  result.identityValue = QString::number(hooks->DBSelectLastKeyID());
  for (const char* key : kIdentityKeys)
    store::DBUpdateSetting(statusDb, QString::fromLatin1(key), result.identityValue, now);
  result.machineName = hooks->DBSelectMachineNameByKeyID(parseIdentity(result.identityValue));
  return result;
}

}  // namespace corvane::shell
