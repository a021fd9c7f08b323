#pragma once
// This computer's name from the Keys table, for the main window's identity step.
#include <QString>

#include "shell/PageSeam.h"

namespace corvane::keys {

class KeyIdentity : public shell::IdentityHooks {
 public:
  // Both default to the process-wide application folder and its Status.db.
  explicit KeyIdentity(QString statusDb = QString(), QString appFolder = QString());

  QString DBSelectMachineNameByKeyID(qint64 keyId) override;
  qint64 DBSelectLastKeyID() override;
  void ImportOriginalKeyFile() override;

 private:
  QString statusDb_;
  QString appFolder_;
};

}  // namespace corvane::keys
