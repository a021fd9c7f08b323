#pragma once
#include <QByteArray>
#include <QString>

namespace corvane::keys {

// Writes a file that only its owner may read (key files hold passwords and keys in the clear):
// it is written whole before it takes its name (platform::WholeFileWriter), is never readable
// by others, not even for a moment, and replaces the old file in one step, which also takes
// away any wider access the old file had. False when anything fails, with *error saying why;
// the old file is then left as it was.
bool WritePrivateFile(const QString& path, const QByteArray& data, QString* error = nullptr);

// The same for a file that others may read but only its owner may change (a public key the
// program reads back and sends as its own): 0644 whatever the umask allows.
bool WritePublicFile(const QString& path, const QByteArray& data, QString* error = nullptr);

}  // namespace corvane::keys
