#pragma once
// Asking the backup server for another computer's key (RequestKey) under a session of the
// request's own, and storing the answer as a Keys row.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace corvane::keys {

class RestorePageSeam;

enum class KeyRequestResult {
  InvalidName,   // the computer name cannot be used (nothing was sent)
  NoConnection,  // no session could be agreed
  Refused,       // the reply was not a key; its text was shown
  StoreFailed,   // the key came but could not be stored (the insert showed why)
  Stored,
};

struct KeyRequestOutcome {
  KeyRequestResult result = KeyRequestResult::NoConnection;
  qint64 keyId = 0;  // the stored row
  QString reply;     // the reduced reply of RequestKey
};

struct KeyRequestContext {
  QString statusDb;
  RestorePageSeam* restore = nullptr;              // may be null
  std::function<void(const QString&)> setCaption;  // the dialog's caption doubles as status line
  std::function<QDateTime()> clock;                // now; the system clock when empty
};

// The captions the request shows in turn while it runs (its window's caption is its status line).
QStringList KeyRequestCaptions();

// The three parts of a RequestKey reply that carries a key, decrypted under the session key.
struct KeyReply {
  QString machineId, fileKeyE, fileKeyKey;
};
// Nothing when the reply is not three "cutmehere"-separated parts that each decrypt to a text
// (a server message, a fault, the empty reply of a failed post).
std::optional<KeyReply> ParseKeyReply(const QString& reply, const QString& sessionKey);

// The whole request: session, RequestKey with the computer name in capitals, decryption of the
// three parts, DBInsertKey, then the restore page's refresh and the catalogue download of the
// new computer.
KeyRequestOutcome RequestKey(const KeyRequestContext& ctx, const QString& computerName, const QString& userName,
                             const QString& password);

}  // namespace corvane::keys
