#include "restore/CatalogueFetch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <unistd.h>

#include "keys/Blowfish.h"
#include "keys/EncryptionSession.h"
#include "keys/KeysTable.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "platform/WholeFile.h"
#include "platform/Windows1252.h"
#include "restore/RestoreCatalogue.h"
#include "restore/Unzip.h"
#include "store/Database.h"
#include "store/FileTables.h"
#include "store/Settings.h"

namespace corvane::restore {

namespace {

void say(const CaptionFn& f, const QString& text) {
  if (f) f(text);
}

QString inApp(const FetchContext& ctx, const QString& name) { return platform::joinPath(ctx.appFolder, name); }

void removeIfPresent(const QString& path) {
  if (QFile::exists(path)) QFile::remove(path);
}

QDateTime nowOf(const FetchContext& ctx) { return ctx.clock ? ctx.clock() : QDateTime::currentDateTime(); }

// Session step shared by both chains: "OK" or the failure already shown in caption.
bool beginSession(const FetchContext& ctx, const CaptionFn& progress, const CaptionFn& failure) {
  say(progress, QStringLiteral("Corvane Creating a new encryption session..."));
  if (!ctx.session || keys::BeginEncryptionSession(*ctx.session) != QLatin1String("OK")) {
    say(failure, QStringLiteral("Corvane No server connection..."));
    return false;
  }
  return true;
}

bool codeIsZeroNumber(const QString& code) {
  bool ok = false;
  const long long v = code.trimmed().toLongLong(&ok);
  return ok && v == 0;
}

// A layer whose output could not be written is not a decryption that failed: the failure says
// that the disk is full, and where, or which file could not be written.
QString writeFailure(const QString& code, const QString& output) {
  if (code == QString::number(keys::BlfDiskFull))
    return QStringLiteral("Download Failed - ") + DiskFullText(output) + QStringLiteral("...");
  return QStringLiteral("Download Failed - cannot write ") + QDir::toNativeSeparators(output) + QStringLiteral("...");
}

// Takes the session layer off the downloaded file (any code that reads as the number 0 is
// success). The downloaded file goes either way; a failure is shown. code gets the result.
bool sessionLayerOff(const FetchContext& ctx, const QString& downloaded, const QString& out, QString& code) {
  code = keys::BlowfishDecryptFileHex(out, downloaded, ctx.session->sessionKey());
  removeIfPresent(downloaded);
  if (codeIsZeroNumber(code)) return true;
  if (keys::IsWriteFailureCode(code)) {
    const QString text = writeFailure(code, out);
    say(ctx.ownCaption, text);
    platform::showMessage(text);
    return false;
  }
  say(ctx.ownCaption, QStringLiteral("Session Decrypt failure - error code ") + code);
  platform::showMessage(QStringLiteral("Download Failed - decrypt failure..."));
  return false;
}

// The file-key layer's failure, in caption and message box.
void fileLayerFailed(const CaptionFn& caption, const QString& code, const QString& output) {
  if (keys::IsWriteFailureCode(code)) {
    const QString text = writeFailure(code, output);
    say(caption, text);
    platform::showMessage(text);
    return;
  }
  say(caption, QStringLiteral("Decrypt Failure - error code ") + code);
  platform::showMessage(QStringLiteral("Download Failed - Decrypt Failure - error code ") + code);
}

}  // namespace

QString DownloadDatabaseCatalogue(const FetchContext& ctx, const QString& fileKey, const QString& machineId,
                                  const QString& machineName, const QString& fullPath) {
  if (!keys::IsSafeMachineName(machineName)) return QString();
  if (!beginSession(ctx, ctx.mainCaption, ctx.ownCaption)) return QString();

  const QString url = BuildDownloadUrl(*ctx.session, machineId, fullPath);
  say(ctx.mainCaption, QStringLiteral("Corvane Downloading File List..."));
  const QString downloaded = inApp(ctx, kDownloadedDbFile);
  removeIfPresent(downloaded);
  int errNo = 0;
  if (!DownloadFile(url, kDownloadedDbFile, DownloadCopy::ToNamedFile, ctx.mainCaption, errNo)) {
    platform::showMessage(QStringLiteral("File Download Unsuccessfull..."));
    return QString();
  }

  const QString zip = inApp(ctx, catalogueZipName(machineName));
  removeIfPresent(zip);
  say(ctx.mainCaption, QStringLiteral("Corvane - Decrypting file..."));
  platform::doEvents();
  QString sessionCode;
  if (!sessionLayerOff(ctx, downloaded, zip, sessionCode)) return sessionCode;

  say(ctx.mainCaption, QStringLiteral("Corvane - expanding file..."));
  platform::doEvents();
  const QString inner = inApp(ctx, kInnerDbFile);
  removeIfPresent(inner);
  const int unzipCode = UnzipFile(zip, ctx.appFolder);
  removeIfPresent(zip);
  if (unzipCode != 0) return QStringLiteral("unzip ") + QString::number(unzipCode);

  // The new copy is made beside the old one, which it replaces only once it is complete.
  say(ctx.mainCaption, QStringLiteral("Corvane - Decrypting file..."));
  const QString copy = inApp(ctx, catalogueCopyName(machineName));
  const QString fresh = copy + QStringLiteral(".new");
  removeIfPresent(fresh);
  QString fileCode = keys::BlowfishDecryptFileHex(fresh, inner, fileKey);
  // About one wrong key in 256 leaves a last block whose padding happens to check; what it
  // gives is no catalogue, and must not replace the copy the computer has.
  if (fileCode == QLatin1String("0") && !IsCatalogueDatabase(fresh)) fileCode = QString::number(keys::BlfBadPadding);
  if (fileCode != QLatin1String("0")) {
    removeIfPresent(fresh);
    // On a full disk the encrypted catalogue goes too: it is of no use without room for its
    // decryption, and it would keep the disk full.
    if (keys::IsWriteFailureCode(fileCode)) removeIfPresent(inner);
    fileLayerFailed(ctx.mainCaption, fileCode, copy);
    return fileCode;
  }
  // One rename over the old copy: there is no moment without a catalogue copy.
  if (!platform::replaceFile(fresh, copy)) {
    removeIfPresent(fresh);
    platform::showMessage(QStringLiteral("Download Failed - cannot write ") + copy);
    return QStringLiteral("rename");
  }
  removeIfPresent(inner);
  return QStringLiteral("OK");
}

bool IsCatalogueDatabase(const QString& path) {
  try {
    store::DBConnection c;
    c.Open(path);
    if (!c.TableExists(QStringLiteral("File"))) return false;
    // The catalogue comes from the server. A File that computes a column as it is read (or a
    // virtual table behind it) could make every read of the restore page fill the memory; a
    // catalogue only ever stores its values.
    const store::DBRecordset schema = c.Query(
        QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'File' COLLATE NOCASE"));
    if (schema.Text(QStringLiteral("sql")).trimmed().startsWith(QLatin1String("CREATE VIRTUAL"), Qt::CaseInsensitive))
      return false;
    for (store::DBRecordset columns = c.Query(QStringLiteral("PRAGMA table_xinfo(File)")); !columns.AtEnd();
         columns.MoveNext())
      if (columns.Long(QStringLiteral("hidden")) != 0) return false;
    // Compiles only when the table has every column the restore reads.
    c.Query(QStringLiteral("Select Folder, FileName, Extension, Filesize, DateCreated, DateLastModified, DateUploaded, "
                           "Uploaded From File LIMIT 0"));
    return true;
  } catch (const store::DBError&) {
    return false;
  }
}

QString DownloadTextCatalogue(const FetchContext& ctx, const QString& fileKey, const QString& machineId,
                              const QString& fullPath) {
  if (!beginSession(ctx, ctx.ownCaption, ctx.ownCaption)) return QString();
  const QString url = BuildDownloadUrl(*ctx.session, machineId, fullPath);
  say(ctx.ownCaption, QStringLiteral("Corvane Downloading File List..."));
  int errNo = 0;
  if (!DownloadFile(url, QStringLiteral("FilesEE.txt"), DownloadCopy::ToTempFile, CaptionFn(), errNo)) {
    platform::showMessage(QStringLiteral("File Download Unsuccessfull..."));
    return QString();
  }
  const QString temp = inApp(ctx, kTempTextFile);
  const QString inner = inApp(ctx, kInnerTextFile);
  QString sessionCode;
  if (!sessionLayerOff(ctx, temp, inner, sessionCode)) return sessionCode;
  const QString plain = inApp(ctx, kTextCatalogueFile);
  removeIfPresent(plain);
  const QString fileCode = keys::BlowfishDecryptFileHex(plain, inner, fileKey);
  removeIfPresent(inner);
  if (fileCode != QLatin1String("0")) {
    fileLayerFailed(ctx.ownCaption, fileCode, plain);
    return fileCode;
  }
  return QStringLiteral("OK");
}

std::optional<QString> DownloadDirectoryFile(const FetchContext& ctx, const QString& machineName, qint64 keyId) {
  keys::KeyRecord key;
  key.MachineName = machineName;
  const bool found = keys::DBSelectKey(ctx.statusDb, keyId, key);
  say(ctx.ownCaption, QStringLiteral("Updating..."));
  const QString result =
      found ? DownloadDatabaseCatalogue(ctx, key.FileKey, key.MachineID, key.MachineName) : QString();
  if (result != QLatin1String("OK")) {
    platform::showMessage(QStringLiteral("Directory Download Failed..."));
    return std::nullopt;
  }
  try {
    store::DBUpdateSetting(ctx.statusDb, QStringLiteral("DIdentity"), QString::number(keyId), nowOf(ctx));
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
    return std::nullopt;
  }
  return key.MachineName;
}

namespace {

// A run killed while it unzipped leaves its staging folder behind: exactly "UnzipFile-" and
// QTemporaryDir's six letters or digits, a real folder of this user's, never one through a link.
// Only one copy of the program runs per application folder, so none of them is still in use.
void removeEarlierStagingFolders(const QString& folder) {
  static const QRegularExpression ours(QStringLiteral("^UnzipFile-[A-Za-z0-9]{6}$"));
  const QFileInfoList found =
      QDir(folder).entryInfoList({QStringLiteral("UnzipFile-*")}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
  for (const QFileInfo& info : found) {
    if (!ours.match(info.fileName()).hasMatch() || info.isSymLink() || info.ownerId() != ::getuid()) continue;
    QDir(info.filePath()).removeRecursively();
  }
}

}  // namespace

int UnzipFile(const QString& archive, const QString& folder) {
  removeEarlierStagingFolders(folder);
  // The archive is expanded apart first, so that no entry can replace a file of the folder
  // other than the catalogue it is meant to deliver.
  QTemporaryDir staging(platform::joinPath(folder, QStringLiteral("UnzipFile-XXXXXX")));
  if (!staging.isValid()) {
    // The unzip did not run: its messages would be those of an earlier one.
    platform::showMessage(QStringLiteral("Cannot make a folder to expand the catalogue in ") + folder);
    return UnzNoTarget;
  }
  CGUnzipFiles unzip;
  unzip.setZipFileName(archive);
  unzip.setExtractDir(staging.path());
  unzip.setHonorDirectories(false);
  int result = unzip.Unzip();
  QString moveError;
  if (result == 0) {
    const QString from = platform::joinPath(staging.path(), kInnerDbFile);
    const QString to = platform::joinPath(folder, kInnerDbFile);
    if (QFile::exists(from)) {
      if (!platform::replaceFile(from, to, &moveError)) result = UnzNoTarget;
    } else {
      result = UnzBadArchive;
    }
  }
  if (result != 0) {
    QString text = moveError.isEmpty() ? CGUnzipFiles::GetLastMessage() : moveError;
    if (text.isEmpty()) text = QStringLiteral("The catalogue archive holds no ") + kInnerDbFile;
    platform::showMessage(text);
  }
  return result;
}

std::optional<QString> DBCreateDatabaseDownload(const QString& appFolder, const QString& machineName) {
  if (!keys::IsSafeMachineName(machineName)) return std::nullopt;
  const QString path = platform::joinPath(appFolder, downloadDatabaseName(machineName));
  QFile::remove(path);
  try {
    store::DBConnection c;
    c.Create(path);
    c.Execute(store::fileTableCreateStatement());
    for (const QString& s : store::fileTableIndexStatements()) c.Execute(s);
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
    return std::nullopt;
  }
  return path;
}

QPair<QString, QString> SplitFileName(const QString& name) {
  const qsizetype dot = name.lastIndexOf('.');
  if (dot < 0) return {QString(), name};
  return {name.left(dot + 1), name.mid(dot + 1)};
}

std::optional<CatalogueFile> ParseCatalogueFileLine(const QString& line) {
  const qsizetype slash = line.lastIndexOf('\\');
  if (slash < 2) return std::nullopt;
  CatalogueFile f;
  f.folder = line.left(slash);
  const QString name = line.mid(slash + 1);
  if (name.isEmpty() || !IsSafeCataloguePath(f.folder) || !IsSafeNamePart(name)) return std::nullopt;
  const auto split = SplitFileName(name);
  f.fileName = split.first;
  f.extension = split.second;
  return f;
}

namespace {

// The lines of a file without their line ends, read in large blocks.
class LineReader {
 public:
  explicit LineReader(QFile& file) : file_(file) {}
  // A line longer than this names no file (a Windows path has at most 32,767 characters): it is
  // given back empty, without ever being held whole, however long the server made it.
  static constexpr qsizetype kLongestLine = 1 << 16;

  bool next(QByteArray& line) {
    for (;;) {
      const qsizetype nl = buffer_.indexOf('\n', pos_);
      if (nl >= 0 || atEnd_) {
        const qsizetype end = nl >= 0 ? nl : buffer_.size();
        if (nl < 0 && pos_ >= end && !skipping_) return false;
        qsizetype cut = end;
        while (cut > pos_ && buffer_[cut - 1] == '\r') --cut;
        line = skipping_ ? QByteArray() : buffer_.mid(pos_, cut - pos_);
        skipping_ = false;
        pos_ = nl >= 0 ? nl + 1 : end;
        return true;
      }
      buffer_.remove(0, pos_);
      pos_ = 0;
      if (buffer_.size() > kLongestLine) {
        buffer_.clear();
        skipping_ = true;
      }
      const QByteArray more = file_.read(1 << 20);
      if (more.isEmpty()) atEnd_ = true;
      buffer_ += more;
    }
  }

 private:
  QFile& file_;
  QByteArray buffer_;
  qsizetype pos_ = 0;
  bool atEnd_ = false;
  bool skipping_ = false;
};

}  // namespace

std::optional<int> ImportFileToFileDB(const QString& appFolder, const QString& dbdName, const CaptionFn& caption,
                                      const QDateTime& now) {
  say(caption, QStringLiteral("Inserting Files - "));
  QFile in(platform::joinPath(appFolder, kTextCatalogueFile));
  if (!in.open(QIODevice::ReadOnly)) {
    platform::showMessage(QStringLiteral("Cannot read ") + in.fileName());
    return std::nullopt;
  }
  // Dates as every row binds them: created and modified now, uploaded the fixed date the
  // download insert always stores.
  const QString nowText = store::dateToText(now);
  const QString uploadedText = store::dateToText(QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0)));
  int inserted = 0;
  try {
    // The download catalogue is this program's own: the whole import is one transaction.
    store::DBConnection c;
    c.Open(dbdName);
    store::DBCommand cmd = c.Prepare(QStringLiteral("Insert Into File Values(?,?,?,?,?,?,?,?,?,?)"));
    c.BeginTransaction();
    LineReader lines(in);
    QByteArray raw;
    QString folder;
    qint64 count = 0;
    while (lines.next(raw)) {
      if (count % 100 == 0) {
        say(caption, QStringLiteral("Inserting Files into Database - ") + QString::number(count));
        if (count % 5000 == 0) platform::doEvents();
      }
      ++count;
      if (raw.size() < 4) continue;
      // The service writes the catalogue in the Windows code page of its computer.
      const QString line = platform::fromWindows1252(raw);
      const QString code = line.right(3);
      const QString head = line.left(line.size() - 4);
      if (code == QLatin1String("000")) {
        folder = head;
        continue;
      }
      bool numeric = false;
      const double codeValue = code.toDouble(&numeric);
      if (numeric && codeValue > 0 && head == folder) continue;
      const std::optional<CatalogueFile> f = ParseCatalogueFileLine(line);
      if (!f) continue;
      cmd.BindText(2, store::toStoredText(f->folder));
      cmd.BindText(3, store::toStoredText(f->fileName));
      cmd.BindText(4, store::toStoredText(f->extension));
      cmd.BindFixed(5, -1);
      cmd.BindText(6, nowText);
      cmd.BindText(7, nowText);
      cmd.BindText(8, uploadedText);
      cmd.BindBoolean(9, true);
      cmd.BindBoolean(10, false);
      cmd.Execute();
      ++inserted;
    }
    c.Commit();
    say(caption, QStringLiteral("Inserting Files into Database - ") + QString::number(count));
  } catch (const store::DBError& e) {
    platform::showMessage(e.description());
    return std::nullopt;
  }
  return inserted;
}

}  // namespace corvane::restore
