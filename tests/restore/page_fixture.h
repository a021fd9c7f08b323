#pragma once
// The restore page on a fresh application folder: two computers (PC1, this one, chosen for
// restore; PC2), recorded messages and waits, and readers of the page's list and the queue.
#include <gtest/gtest.h>

#include <QComboBox>
#include <memory>

#include "keys/Blowfish.h"
#include "keys/HexConvert.h"
#include "keys/KeysTable.h"
#include "restore/ui/FileList.h"
#include "restore/ui/RestorePage.h"
#include "restore_fixture.h"

namespace corvane::test {

using restore::UploadedFileRecord;
using restore::ui::RestorePage;

class PageTest : public ::testing::Test {
 protected:
  PageTest() : win(store::DatabasePaths::forAppFolder(app.path())) {}

  void SetUp() override {
    pc1 = *keys::DBInsertKey(app.statusDb(), "ann", "pw", "M-1", "PC1", "Y", fileKeyE(), "kk1", "");
    pc2 = *keys::DBInsertKey(app.statusDb(), "ann", "pw", "M-2", "PC2", "Y", fileKeyE(), "kk1", "");
    test::setSetting(app.statusDb(), "Identity", QString::number(pc1));
    test::setSetting(app.statusDb(), "DIdentity", QString::number(pc1));
    page = std::make_unique<RestorePage>(win);
    page->show();  // a page nobody sees reads its catalogue only when it is shown
  }

  static QString fileKeyE() { return keys::BlowfishEncryptHex(kFileKey, keys::StringToHex("kk1")); }
  QComboBox* sources() const { return page->findChild<QComboBox*>("cbxSources"); }
  QList<UploadedFileRecord> rows() const { return page->fileList().rows(); }
  QStringList names() const {
    QStringList out;
    for (const auto& r : rows()) out << r.FileName + r.Extension;
    return out;
  }
  void tickRow(const QString& fileName) {
    auto& fl = page->fileList();
    for (int i = 0; i < fl.rowCount(); ++i)
      if (fl.model().text(i, 2) == fileName) fl.setRowChecked(i, true);
  }
  QStringList queued() const {
    store::DBConnection c;
    c.Open(app.filesDb());
    QStringList out;
    for (auto rs = c.Query("Select * From tempDFile ORDER BY tempDFileID"); !rs.AtEnd(); rs.MoveNext())
      out << store::fromStoredText(rs.Text("Folder")) + "|" + rs.Text("FileName") + rs.Text("Extension") + "|" +
                 rs.Text("FileSize");
    return out;
  }
  // The three dates of a queued file as stored: created|last modified|uploaded.
  QString queuedDates(const QString& fileName) const {
    store::DBConnection c;
    c.Open(app.filesDb());
    auto rs = c.Query("Select * From tempDFile WHERE FileName = ?", {fileName});
    if (rs.AtEnd()) return "<none>";
    return rs.Text("DateCreated") + "|" + rs.Text("DateLastModified") + "|" + rs.Text("DateUploaded");
  }
  template <class T>
  static T* child(QWidget* w, const char* name) {
    return w->findChild<T*>(name);
  }

  static inline const QString kFileKey = "00112233445566778899AABBCCDDEEFF";
  test::TempAppFolder app;
  test::FakeWaiter waiter;
  test::RecordingMessages messages;
  test::RestoreWindow win;
  qint64 pc1 = 0, pc2 = 0;
  std::unique_ptr<RestorePage> page;
};

}  // namespace corvane::test
