#include "keys/KeyRequest.h"

#include "keys/EncryptionSession.h"
#include "keys/KeysTable.h"
#include "keys/RestorePageSeam.h"
#include "keys/SoapClient.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "platform/Windows1252.h"

namespace corvane::keys {

KeyRequestOutcome RequestKey(const KeyRequestContext& ctx, const QString& computerName, const QString& userName,
                             const QString& password) {
  auto caption = [&](const QString& text) {
    if (ctx.setCaption) ctx.setCaption(text);
  };
  const auto now = [&] { return ctx.clock ? ctx.clock() : QDateTime::currentDateTime(); };
  KeyRequestOutcome outcome;

  const QString machineName = platform::upperKeepingLength(computerName);
  if (!IsSafeMachineName(machineName)) {
    platform::showMessage("Please enter a computer name without \"..\", \"/\", \"\\\" or \":\"...");
    outcome.result = KeyRequestResult::InvalidName;
    return outcome;
  }

  caption("Corvane Creating new encryption session...");
  EncryptionSession session(ctx.clock);  // identifier 0: always a new session
  if (BeginEncryptionSession(session) != QLatin1String("OK")) {
    caption("Corvane No server connection...");
    platform::doEvents();
    outcome.result = KeyRequestResult::NoConnection;
    return outcome;
  }

  const QString& key = session.sessionKey();
  const QString op = QStringLiteral("RequestKey");
  const QString envelope = BuildSoapEnvelope(op, {
                                                     {"MachineNameE", EncryptField(machineName, key)},
                                                     {"UserNameE", EncryptField(userName, key)},
                                                     {"PasswordE", EncryptField(password, key)},
                                                     {"SessionID", QString::number(session.sessionId())},
                                                 });
  caption("Corvane Retrieving Key...");
  platform::doEvents();
  outcome.reply = PostWebservice(ServiceUrl(true), SoapAction(op), envelope);

  // A key is three encrypted parts; anything else (a server message, a fault, nothing after a
  // failed post, parts that do not decrypt) is shown to the user and nothing is stored.
  const QStringList parts = outcome.reply.split(QStringLiteral("cutmehere"));
  QString machineId, fileKeyE, fileKeyKey;
  if (parts.size() >= 3) {
    machineId = DecryptField(parts[0], key);
    fileKeyE = DecryptField(parts[1], key);
    fileKeyKey = DecryptField(parts[2], key);
  }
  if (machineId.isEmpty() || fileKeyE.isEmpty() || fileKeyKey.isEmpty()) {
    platform::showMessage(outcome.reply);
    caption("Corvane No key retrieved...");
    outcome.result = KeyRequestResult::Refused;
    return outcome;
  }

  caption("Corvane Key retrieved successfully...");
  const auto keyId = DBInsertKey(ctx.statusDb, userName, password, machineId, machineName, QStringLiteral("Y"),
                                 fileKeyE, fileKeyKey, DefaultDateTimeText(now()));
  if (!keyId) {
    outcome.result = KeyRequestResult::StoreFailed;
    return outcome;
  }
  outcome.keyId = *keyId;
  outcome.result = KeyRequestResult::Stored;

  if (ctx.restore) {
    ctx.restore->DBSelectAllMachineNames();
    ctx.restore->InitRestorePage();
    ctx.restore->DownloadDirectoryFile(machineName, outcome.keyId);
  }
  platform::doEvents();
  return outcome;
}

}  // namespace corvane::keys
