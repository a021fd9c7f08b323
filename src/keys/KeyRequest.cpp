#include "keys/KeyRequest.h"

#include "keys/EncryptionSession.h"
#include "keys/KeysTable.h"
#include "keys/RestorePageSeam.h"
#include "keys/SoapClient.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "platform/Windows1252.h"

namespace corvane::keys {

namespace {
const QString kCreatingSession = QStringLiteral("Corvane Creating new encryption session...");
const QString kNoConnection = QStringLiteral("Corvane No server connection...");
const QString kRetrieving = QStringLiteral("Corvane Retrieving Key...");
const QString kNoKey = QStringLiteral("Corvane No key retrieved...");
const QString kRetrieved = QStringLiteral("Corvane Key retrieved successfully...");
}  // namespace

QStringList KeyRequestCaptions() { return {kCreatingSession, kNoConnection, kRetrieving, kNoKey, kRetrieved}; }

std::optional<KeyReply> ParseKeyReply(const QString& reply, const QString& sessionKey) {
  const QStringList parts = reply.split(QStringLiteral("cutmehere"));
  if (parts.size() < 3) return std::nullopt;
  KeyReply k{DecryptField(parts[0], sessionKey), DecryptField(parts[1], sessionKey),
             DecryptField(parts[2], sessionKey)};
  if (k.machineId.isEmpty() || k.fileKeyE.isEmpty() || k.fileKeyKey.isEmpty()) return std::nullopt;
  return k;
}

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

  caption(kCreatingSession);
  EncryptionSession session(ctx.clock);  // identifier 0: always a new session
  if (BeginEncryptionSession(session) != QLatin1String("OK")) {
    caption(kNoConnection);
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
  caption(kRetrieving);
  platform::doEvents();
  outcome.reply = PostWebservice(ServiceUrl(true), SoapAction(op), envelope);

  // A key is three encrypted parts; anything else (a server message, a fault, nothing after a
  // failed post, parts that do not decrypt) is shown to the user and nothing is stored.
  const std::optional<KeyReply> keyReply = ParseKeyReply(outcome.reply, key);
  if (!keyReply) {
    platform::showMessage(outcome.reply);
    caption(kNoKey);
    outcome.result = KeyRequestResult::Refused;
    return outcome;
  }

  caption(kRetrieved);
  const auto keyId =
      DBInsertKey(ctx.statusDb, userName, password, keyReply->machineId, machineName, QStringLiteral("Y"),
                  keyReply->fileKeyE, keyReply->fileKeyKey, DefaultDateTimeText(now()));
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
