#pragma once
// What the key dialogs ask of the restore page. The restore page implements it; the dialogs
// take it as a nullable pointer and skip these calls when there is no restore page.
#include <QString>

namespace corvane::keys {

class RestorePageSeam {
 public:
  virtual ~RestorePageSeam() = default;
  // Refills the restore page's list of computers (cbxSources) from the Keys table.
  virtual void DBSelectAllMachineNames() = 0;
  // Re-initialises the restore page (selects the entry of "DIdentity", shows its catalogue).
  virtual void InitRestorePage() = 0;
  // Fetches and opens the catalogue of a newly stored computer.
  virtual void DownloadDirectoryFile(const QString& machineName, qint64 keyId) = 0;
  // Removes the first cbxSources entry whose item data is keyId; true when one was removed.
  virtual bool RemoveSourceEntry(qint64 keyId) = 0;
};

}  // namespace corvane::keys
