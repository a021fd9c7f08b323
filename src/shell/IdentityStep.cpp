#include "shell/IdentityStep.h"

#include <optional>

#include "shell/PageSeam.h"
#include "store/Database.h"
#include "store/Settings.h"

namespace corvane::shell {

namespace {

const char* const kIdentityKeys[] = {"Identity", "UIdentity", "DIdentity"};

}  // namespace

qint64 parseIdentity(const QString& text) {
  bool ok = false;
  const qint64 v = text.trimmed().toLongLong(&ok);
  return ok ? v : 0;
}

IdentityResult resolveIdentity(const QString& statusDb, IdentityHooks* hooks, const QDateTime& now,
                               store::RetryPolicy policy) {
  IdentityResult result;
  const QString identity = store::readSetting(statusDb, QStringLiteral("Identity"), policy).value_or(QString());

  if (identity.isEmpty()) {
    for (const char* key : kIdentityKeys) {
      const QString name = QString::fromLatin1(key);
      const std::optional<QString> value = store::readSetting(statusDb, name, policy);
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
