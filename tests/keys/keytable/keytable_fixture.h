#pragma once
// Shared helpers of the key table tests: a fresh application folder, recorded message boxes,
// a waiter that never sleeps, and a restore page that records what the key windows ask of it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "keys/RestorePageSeam.h"
#include "store/Database.h"
#include "support/TestSupport.h"

namespace corvane::keys::testing {

class RecordingRestorePage : public RestorePageSeam {
 public:
  void DBSelectAllMachineNames() override { calls << "DBSelectAllMachineNames"; }
  void InitRestorePage() override { calls << "InitRestorePage"; }
  void DownloadDirectoryFile(const QString& machineName, qint64 keyId) override {
    calls << QStringLiteral("DownloadDirectoryFile %1 %2").arg(machineName).arg(keyId);
  }
  bool RemoveSourceEntry(qint64 keyId) override {
    calls << QStringLiteral("RemoveSourceEntry %1").arg(keyId);
    return sources.removeOne(keyId);
  }
  QStringList calls;
  QList<qint64> sources;  // item data of cbxSources' entries
};

// The raw rows of the Keys table, in KeyID order.
inline QList<QMap<QString, QString>> keyRows(const QString& statusDb) {
  QList<QMap<QString, QString>> rows;
  store::DBConnection c;
  c.Open(statusDb);
  store::DBRecordset rs = c.Query("SELECT * FROM Keys ORDER BY KeyID");
  for (int i = 0; i < rs.RowCount(); ++i, rs.MoveNext()) {
    QMap<QString, QString> row;
    for (const QString& col : rs.Columns()) row.insert(col, rs.Text(col));
    rows.append(row);
  }
  return rows;
}

}  // namespace corvane::keys::testing
