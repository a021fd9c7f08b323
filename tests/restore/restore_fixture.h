#pragma once
// Shared pieces of the restore tests: an application folder with settings, catalogue
// databases filled with rows, zip archives, and a main window with the restore buttons.
#include <zip.h>

#include <QDateTime>
#include <QFile>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "store/Database.h"
#include "store/FileTables.h"
#include "store/Settings.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

namespace corvane::test {

struct CatalogueRow {
  QString folder, name, ext;
  qint64 size = 0;
  QString modified = "2010-09-27 14:05:09";
  bool uploaded = true;
};

// Rows go in in their stored form (quotes doubled), as the service writes them.
inline void addRows(const QString& db, const QList<CatalogueRow>& rows) {
  store::DBConnection c;
  c.Open(db);
  for (const auto& r : rows)
    c.Execute("Insert Into File (Folder, FileName, Extension, Filesize, DateCreated, DateLastModified, DateUploaded, "
              "Uploaded, Filtered) Values(?,?,?,?,?,?,?,?,0)",
              {store::toStoredText(r.folder), store::toStoredText(r.name), store::toStoredText(r.ext), r.size,
               "2009-01-02 03:04:05", r.modified, "2011-05-06 07:08:09", r.uploaded ? 1 : 0});
}

// Uploaded rows whose texts are the given bytes exactly (they need not be UTF-8), as another
// program may have written them: folder, name, extension, size.
struct ByteRow {
  QByteArray folder, name, ext;
  qint64 size = 0;
};
inline void addByteRows(const QString& db, const QList<ByteRow>& rows) {
  store::DBConnection c;
  c.Open(db);
  store::DBCommand cmd = c.Prepare("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)");
  for (const auto& r : rows) {
    cmd.BindUtf8(2, r.folder);
    cmd.BindUtf8(3, r.name);
    cmd.BindUtf8(4, r.ext);
    cmd.BindLong(5, r.size);
    cmd.BindUtf8(6, "2009-01-02 03:04:05");
    cmd.BindUtf8(7, "2010-09-27 14:05:09");
    cmd.BindUtf8(8, "2011-05-06 07:08:09");
    cmd.BindBoolean(9, true);
    cmd.BindBoolean(10, false);
    cmd.Execute();
  }
}

// The queue's rows as their stored bytes in hexadecimal, "folder|name|extension", in order.
inline QStringList queuedBytes(const QString& filesDb) {
  store::DBConnection c;
  c.Open(filesDb);
  QStringList out;
  for (auto rs = c.Query("Select hex(Folder) AS f, hex(FileName) AS n, hex(Extension) AS e From tempDFile "
                         "ORDER BY tempDFileID");
       !rs.AtEnd(); rs.MoveNext())
    out << rs.Text("f") + "|" + rs.Text("n") + "|" + rs.Text("e");
  return out;
}
inline QString hexRow(const QByteArray& folder, const QByteArray& name, const QByteArray& ext) {
  return QString::fromLatin1(folder.toHex().toUpper() + "|" + name.toHex().toUpper() + "|" + ext.toHex().toUpper());
}

// Many uploaded rows in one transaction: C:\Bulk\f<i>.txt, newest first by i.
inline void addBulkRows(const QString& db, int count) {
  store::DBConnection c;
  c.Open(db);
  c.BeginTransaction();
  store::DBCommand cmd = c.Prepare("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)");
  const QDateTime base(QDate(2010, 1, 1), QTime(0, 0));
  for (int i = 0; i < count; ++i) {
    cmd.BindText(2, "C:\\Bulk");
    cmd.BindText(3, QString("f%1.").arg(i));
    cmd.BindText(4, "txt");
    cmd.BindLong(5, i);
    cmd.BindDate(6, base);
    cmd.BindDate(7, base.addSecs(i));
    cmd.BindDate(8, base);
    cmd.BindBoolean(9, true);
    cmd.BindBoolean(10, false);
    cmd.Execute();
  }
  c.Commit();
}

inline QString makeCatalogue(const QString& path, const QList<CatalogueRow>& rows) {
  QFile::remove(path);
  {
    store::DBConnection c;
    c.Create(path);
    c.Execute(store::fileTableCreateStatement());
  }
  addRows(path, rows);
  return path;
}

// The entry named link, when given, is marked as a symbolic link (its data is the target).
inline QByteArray zipOf(const QList<QPair<QString, QByteArray>>& entries, const QString& link = {}) {
  QTemporaryDir dir;
  const QString path = dir.filePath("a.zip");
  int err = 0;
  zip_t* z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  for (const auto& e : entries) {
    zip_source_t* s = zip_source_buffer(z, e.second.constData(), zip_uint64_t(e.second.size()), 0);
    const zip_int64_t i = zip_file_add(z, e.first.toUtf8().constData(), s, ZIP_FL_OVERWRITE);
    if (!link.isEmpty() && e.first == link)
      zip_file_set_external_attributes(z, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, (0120777u) << 16);
  }
  zip_close(z);
  QFile f(path);
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

// One stored entry written by hand, declaring declaredSize as its size in the central
// directory (in a zip64 field when it does not fit 32 bits), whatever data holds.
inline QByteArray storedZipDeclaring(const QByteArray& name, const QByteArray& data, quint64 declaredSize) {
  quint32 crc = 0xFFFFFFFFu;
  for (const char ch : data) {
    crc ^= quint8(ch);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  QByteArray z;
  auto u16 = [&](quint32 v) { z.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
  auto u32 = [&](quint32 v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  const bool zip64 = declaredSize >= 0xFFFFFFFFu;
  // One header record per line.
  // clang-format off
  u32(0x04034b50); u16(20); u16(0); u16(0); u16(0); u16(0x21);
  u32(crc); u32(quint32(data.size())); u32(quint32(data.size())); u16(quint32(name.size())); u16(0);
  z.append(name).append(data);
  const quint32 cdOffset = quint32(z.size());
  u32(0x02014b50); u16(45); u16(zip64 ? 45 : 20); u16(0); u16(0); u16(0); u16(0x21);
  u32(crc); u32(quint32(data.size())); u32(zip64 ? 0xFFFFFFFFu : quint32(declaredSize));
  u16(quint32(name.size())); u16(zip64 ? 12 : 0); u16(0); u16(0); u16(0); u32(0); u32(0);
  z.append(name);
  if (zip64) {
    u16(0x0001); u16(8); u32(quint32(declaredSize & 0xFFFFFFFFu)); u32(quint32(declaredSize >> 32));
  }
  const quint32 cdSize = quint32(z.size()) - cdOffset;
  u32(0x06054b50); u16(0); u16(0); u16(1); u16(1); u32(cdSize); u32(cdOffset); u16(0);
  // clang-format on
  return z;
}

inline int rowCount(const QString& db, const QString& sql, const QVariantList& params = {}) {
  store::DBConnection c;
  c.Open(db);
  return int(c.Query(sql, params).RowCount());
}

// The main window as the restore page sees it: the common fake plus a window that holds the
// restore buttons of tab 5.
class RestoreWindow : public FakeMainWindow {
 public:
  explicit RestoreWindow(store::DatabasePaths p) : FakeMainWindow(std::move(p)), host(std::make_unique<QWidget>()) {
    for (const char* n : {"btnQuickSync", "btnRestoreAll", "btnRestoreFolders", "btnRestoreFiles"}) {
      auto* b = new QPushButton(host.get());
      b->setObjectName(n);
    }
  }
  QWidget* window() override { return host.get(); }
  QPushButton* button(const char* name) const { return host->findChild<QPushButton*>(name); }

  std::unique_ptr<QWidget> host;
};

}  // namespace corvane::test
