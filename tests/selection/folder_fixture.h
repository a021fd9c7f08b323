#pragma once
// Shared set-up of the folder tree and scan tests: a fresh application folder, drives mapped to
// temporary folders, a waiter that never sleeps and a message recorder.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include "store/Database.h"
#include "support/TestSupport.h"

namespace corvane::test {

// Sets CORVANE_DRIVES (so the mapped folders count as fixed drives) and the process map.
class ScopedDrives {
 public:
  explicit ScopedDrives(const QString& spec)
      : hadOld_(qEnvironmentVariableIsSet("CORVANE_DRIVES")), old_(qgetenv("CORVANE_DRIVES")) {
    qputenv("CORVANE_DRIVES", spec.toUtf8());
    map_ = std::make_unique<ScopedPathMap>(platform::PathMap::parse(spec));
  }
  ~ScopedDrives() {
    map_.reset();
    if (hadOld_)
      qputenv("CORVANE_DRIVES", old_);
    else
      qunsetenv("CORVANE_DRIVES");
  }

 private:
  bool hadOld_;
  QByteArray old_;
  std::unique_ptr<ScopedPathMap> map_;
};

struct FolderRow {
  QString folder;  // plain form
  bool bu = false;
  bool buAll = false;
};

class FolderFixture : public ::testing::Test {
 protected:
  FolderFixture() {
    c_ = drives_.path() + "/c";
    d_ = drives_.path() + "/d";
    QDir().mkpath(c_);
    QDir().mkpath(d_);
    scoped_ = std::make_unique<ScopedDrives>("C:=" + c_ + ";D:=" + d_);
  }

  QString filesDb() const { return app_.filesDb(); }
  QString statusDb() const { return app_.statusDb(); }

  // Inserts rows the way the program stores them (apostrophes doubled).
  void addFolders(const QList<FolderRow>& rows) {
    store::DBConnection db;
    db.Open(filesDb());
    for (const FolderRow& r : rows)
      db.Execute("INSERT INTO Folder (Folders, Bu, BuAll) VALUES (?,?,?)",
                 {store::toStoredText(r.folder), r.bu, r.buAll});
  }

  // Plain path -> {Bu, BuAll}; ADD_FAILURE on a duplicate row.
  QMap<QString, QPair<bool, bool>> folderTable(const QString& table = "Folder") {
    store::DBConnection db;
    db.Open(filesDb());
    store::DBRecordset rs = db.Query("SELECT Folders, Bu, BuAll FROM " + table);
    QMap<QString, QPair<bool, bool>> out;
    for (; !rs.AtEnd(); rs.MoveNext()) {
      const QString f = store::fromStoredText(rs.Text("Folders"));
      if (out.contains(f)) ADD_FAILURE() << "duplicate row " << f.toStdString() << " in " << table.toStdString();
      out.insert(f, {rs.Boolean("Bu"), rs.Boolean("BuAll")});
    }
    return out;
  }

  QString storedFolder(const QString& plain) {
    store::DBConnection db;
    db.Open(filesDb());
    store::DBRecordset rs = db.Query("SELECT Folders FROM Folder WHERE Folders = ?", {store::toStoredText(plain)});
    return rs.RowCount() ? rs.Text("Folders") : QString();
  }

  void addExclude(const QString& piece) {
    store::DBConnection db;
    db.Open(filesDb());
    db.Execute("INSERT INTO Exclude (Folders) VALUES (?)", {piece});
  }

  // Makes folders below a drive's native root ("a/b/c").
  static void mk(const QString& root, const QStringList& rels) {
    for (const QString& r : rels) ASSERT_TRUE(QDir().mkpath(root + "/" + r)) << r.toStdString();
  }

  TempAppFolder app_;
  FakeWaiter waiter_;
  RecordingMessages messages_;
  QTemporaryDir drives_;
  QString c_, d_;
  std::unique_ptr<ScopedDrives> scoped_;
};

}  // namespace corvane::test
