#pragma once
// The identity step of the main window's load: this computer's name from the key table
// through the settings "Identity", "UIdentity" and "DIdentity".
#include <QDateTime>
#include <QString>

#include "store/Database.h"

namespace corvane::shell {

class IdentityHooks;

struct IdentityResult {
  QString identityValue;  // IdentityValue as the step leaves it
  QString machineName;    // "" when no name was found
};

// "Identity" parses as a 64-bit number (unparsable text counts as 0).
qint64 parseIdentity(const QString& text);

// Empty "Identity": each of the three settings becomes "0" (an existing row with an empty
// value is updated, a missing row inserted; a row with a value is left alone).
// Otherwise the name is looked up; when it is empty, the original key file is imported, the
// last key id becomes the three settings, and the name is looked up once more (never a
// loop). Without hooks (no key table in this program) only the empty case is handled.
// A read of Status.db that fails (busy past the policy's wait, or any other error) throws
// before anything is written.
IdentityResult resolveIdentity(const QString& statusDb, IdentityHooks* hooks, const QDateTime& now,
                               store::RetryPolicy policy = {});

}  // namespace corvane::shell
