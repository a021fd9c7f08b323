#include "restore/Unzip.h"

#include <sys/stat.h>
#include <zip.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <cstdio>

#include "platform/Messages.h"
#include "platform/Wait.h"
#include "platform/Windows1252.h"
#include "platform/WholeFile.h"

namespace corvane::restore {

namespace {

// Message state of the most recent unzip (only one unzip runs at a time: all on the window's thread).
struct UnzipState {
  QString UnzipMessage;
  QString printText;
  QString listingText;
  qint16 listingCount = 0;
  qint16 passwordDeclined = 0;
  QByteArray stdOut;
};
UnzipState g_state;
std::function<ReplaceAnswer(const QString&)> g_replace;
std::function<std::optional<QString>()> g_password;

// The print callback: collects every message into one text.
void print(const QString& text) {
  QString t = text;
  if (t.startsWith('\n')) t = QStringLiteral("\r\n") + t.mid(1);
  g_state.printText += t;
  g_state.UnzipMessage = g_state.printText;
}

void printLine(const QString& text) { print(text + QStringLiteral("\r\n")); }

// Unless the caller installed its own question, the user is asked in a message box.
ReplaceAnswer askUser(const QString& name) {
  switch (platform::showMessage(QStringLiteral("Overwrite ") + name + '?', QStringLiteral("VBUnZip32 - File Already Exists!"),
                                platform::MsgButtons::YesNoCancel, platform::MsgIcon::Warning)) {
    case platform::MsgResult::Yes:
    case platform::MsgResult::Ok: return ReplaceAnswer::Yes;
    case platform::MsgResult::No: return ReplaceAnswer::No;
    case platform::MsgResult::Cancel: return ReplaceAnswer::Cancel;
  }
  return ReplaceAnswer::No;
}

int replaceQuestion(const QString& name) {
  const ReplaceAnswer a = g_replace ? g_replace(name) : askUser(name);
  switch (a) {
    case ReplaceAnswer::Yes: return 102;
    case ReplaceAnswer::No: return 100;
    case ReplaceAnswer::Cancel: return 104;
  }
  return 100;
}

// Asks for the password once per unzip; an empty answer (or none) is not asked again.
std::optional<QString> passwordQuestion() {
  if (g_state.passwordDeclined == 1) return std::nullopt;
  std::optional<QString> answer = g_password ? g_password() : std::nullopt;
  if (!answer || answer->isEmpty()) {
    g_state.passwordDeclined = 1;
    return std::nullopt;
  }
  return answer;
}

QString padTo(const QString& s, int width) { return s.leftJustified(width, ' ', true); }

void addListingLine(const QString& name, quint64 size, const QDateTime& when) {
  if (g_state.listingCount == 0) {
    g_state.listingText += padTo(QStringLiteral("Filename:"), 52) + padTo(QStringLiteral("Size"), 9) +
                           padTo(QStringLiteral("Date"), 9) + padTo(QStringLiteral("Time"), 10) + QStringLiteral("\r\n");
  }
  g_state.listingText += padTo(name, 51) + ' ' + padTo(QString::number(size), 8) + ' ' +
                         padTo(when.toString(QStringLiteral("MM-dd-yy")), 8) + ' ' +
                         padTo(when.toString(QStringLiteral("HH:mm")), 9) + QStringLiteral("\r\n");
  ++g_state.listingCount;
}

// Line feeds without their carriage return get one, across the chunks of one entry. An entry
// whose first chunk holds a NUL byte is not text and passes unchanged.
class CrLf {
 public:
  QByteArray convert(const char* data, qsizetype n) {
    if (first_) {
      binary_ = QByteArrayView(data, n).contains('\0');
      first_ = false;
    }
    if (binary_) return QByteArray(data, n);
    QByteArray out;
    out.reserve(n + n / 16);
    for (qsizetype i = 0; i < n; ++i) {
      if (data[i] == '\n' && previous_ != '\r') out.append('\r');
      out.append(data[i]);
      previous_ = data[i];
    }
    return out;
  }

 private:
  bool first_ = true;
  bool binary_ = false;
  char previous_ = 0;
};

enum class EntryRead { Ok, Damaged, BadPassword, TooLarge, SinkFailed };

// Reads an entry in chunks into sink, never past its declared size: an entry that expands
// beyond what the archive declares is damaged (or built to fill the disk) and is not read on.
EntryRead streamEntry(zip_t* za, zip_uint64_t index, const zip_stat_t& st, bool encrypted,
                      const std::function<bool(const char*, qsizetype)>& sink) {
  zip_file_t* zf = nullptr;
  if (encrypted) {
    const std::optional<QString> pw = passwordQuestion();
    if (!pw) return EntryRead::BadPassword;
    // The password's bytes are those of the ANSI code page the archives were made under.
    zf = zip_fopen_index_encrypted(za, index, 0, platform::toWindows1252(*pw).constData());
    if (!zf) return EntryRead::BadPassword;
  } else {
    zf = zip_fopen_index(za, index, 0);
  }
  if (!zf) return EntryRead::Damaged;
  const bool sized = st.valid & ZIP_STAT_SIZE;
  quint64 total = 0;
  char buf[32768];
  for (;;) {
    // An entry can expand to hundreds of megabytes: the window answers while it does.
    platform::keepResponsive();
    const zip_int64_t n = zip_fread(zf, buf, sizeof buf);
    if (n < 0) {
      const bool wrongPassword = zip_error_code_zip(zip_file_get_error(zf)) == ZIP_ER_WRONGPASSWD;
      zip_fclose(zf);
      return wrongPassword ? EntryRead::BadPassword : EntryRead::Damaged;
    }
    if (n == 0) break;
    total += quint64(n);
    if (sized && total > st.size) {
      zip_fclose(zf);
      return EntryRead::TooLarge;
    }
    if (!sink(buf, qsizetype(n))) {
      zip_fclose(zf);
      return EntryRead::SinkFailed;
    }
  }
  const int rc = zip_fclose(zf);
  if (rc == ZIP_ER_WRONGPASSWD) return EntryRead::BadPassword;
  if (rc == ZIP_ER_CRC || (sized && total != st.size)) return EntryRead::Damaged;
  return EntryRead::Ok;
}

// An entry that stands for a folder: its name ends in a separator.
bool isFolderEntry(const QString& name) { return name.endsWith('/') || name.endsWith('\\'); }

// The bytes the files of the archive declare, when they are to be written.
quint64 declaredBytes(zip_t* za) {
  quint64 sum = 0;
  const zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, zip_uint64_t(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) continue;
    const QString name = QString::fromUtf8(st.name);
    if (isFolderEntry(name) || !SafeEntryPath(name)) continue;
    sum = st.size > ~quint64(0) - sum ? ~quint64(0) : sum + st.size;
  }
  return sum;
}

}  // namespace

std::optional<QString> SafeEntryPath(const QString& entryName) {
  QString name = entryName;
  name.replace('\\', '/');
  if (name.startsWith('/')) return std::nullopt;
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;
  QStringList kept;
  for (const QString& piece : name.split('/', Qt::SkipEmptyParts)) {
    if (piece == QLatin1String("..")) return std::nullopt;
    if (piece == QLatin1String(".")) continue;
    kept << piece;
  }
  if (kept.isEmpty()) return std::nullopt;
  return kept.join('/');
}

qint32 CGUnzipFiles::Unzip(const QString& zipFileName, const QString& extractDir) {
  if (!zipFileName.isEmpty()) zipFileName_ = zipFileName;
  if (!extractDir.isEmpty()) extractDir_ = extractDir;
  UnzipOptions dcl{extractOnlyNewer_, spaceToUnderScore_, promptOverwrite_, qint16(messageLevel_), writeToStdOut_,
                   testZip_, qint16(extractList_), extractNewer_, displayComment_, honorDirectories_,
                   overWriteFiles_, convertCRtoCRLF_, verbose_, caseSensitive_, qint16(privilege_),
                   zipFileName_, extractDir_};
  return VBUnzip(dcl);
}

QString CGUnzipFiles::GetLastMessage() { return g_state.UnzipMessage; }
QString CGUnzipFiles::LastListing() { return g_state.listingText; }
QByteArray CGUnzipFiles::LastStdOut() { return g_state.stdOut; }

void CGUnzipFiles::setReplaceQuestion(std::function<ReplaceAnswer(const QString&)> ask) { g_replace = std::move(ask); }
void CGUnzipFiles::setPasswordQuestion(std::function<std::optional<QString>()> ask) { g_password = std::move(ask); }

namespace {
// Says why an entry could not be read; gives the result code that failure is worth.
qint32 reportUnread(const QString& entryName, EntryRead read) {
  if (read == EntryRead::BadPassword) {
    printLine(QStringLiteral("   skipping: %1  incorrect password").arg(entryName));
    return UnzWarning;
  }
  if (read == EntryRead::TooLarge)
    printLine(QStringLiteral("error:  %1 expands beyond the size the archive declares").arg(entryName));
  else
    printLine(QStringLiteral("error:  invalid compressed data in %1").arg(entryName));
  return UnzBadArchive;
}
}  // namespace

qint32 VBUnzip(const UnzipOptions& dcl) {
  g_state = UnzipState();
  const int quiet = dcl.fQuiet;  // 2 errors only, 1 fewer, 0 all
  auto info = [&](const QString& text, int level) {
    if (quiet <= level) printLine(text);
  };

  int err = 0;
  zip_t* za = zip_open(QFile::encodeName(dcl.lpszZipFN).constData(), ZIP_RDONLY, &err);
  if (!za) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, err);
    printLine(QStringLiteral("error: cannot open zipfile [ %1 ] %2").arg(dcl.lpszZipFN, QString::fromLocal8Bit(zip_error_strerror(&ze))));
    zip_error_fini(&ze);
    return err == ZIP_ER_NOENT || err == ZIP_ER_OPEN ? UnzNoArchive : UnzBadArchive;
  }
  info(QStringLiteral("Archive:  ") + dcl.lpszZipFN, 1);
  if (dcl.nzflag == 1) {
    int len = 0;
    const char* comment = zip_get_archive_comment(za, &len, ZIP_FL_ENC_GUESS);
    if (comment && len > 0) printLine(QString::fromUtf8(comment, len));
  }

  const bool listing = dcl.nvflag == 1;
  const bool testing = dcl.ntflag == 1;
  const bool toStdOut = dcl.ncflag == 1;
  const bool writing = !listing && !testing && !toStdOut;
  const QString target = dcl.lpszExtractDir.isEmpty() ? QDir::currentPath() : dcl.lpszExtractDir;
  if (writing && !QDir().mkpath(target)) {
    printLine(QStringLiteral("error: cannot create extraction directory: ") + target);
    zip_close(za);
    return UnzNoTarget;
  }
  const QString targetAbs = QDir(target).absolutePath();
  if (writing) {
    // An archive that declares more than the disk can take is refused before anything is written.
    const quint64 needed = declaredBytes(za);
    const qint64 free = QStorageInfo(targetAbs).bytesAvailable();
    if (free >= 0 && needed > quint64(free)) {
      printLine(QStringLiteral("error:  the archive's files need %1 bytes, but only %2 bytes are free in %3")
                    .arg(needed)
                    .arg(free)
                    .arg(targetAbs));
      zip_close(za);
      return UnzNoTarget;
    }
  }

  qint32 result = UnzOk;
  auto worse = [&](qint32 code) {
    if (code > result) result = code;
  };
  const zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, zip_uint64_t(i), 0, &st) != 0) {
      printLine(QStringLiteral("error: cannot read entry %1").arg(i));
      worse(UnzBadArchive);
      continue;
    }
    const QString entryName = QString::fromUtf8(st.name);
    const bool isDir = isFolderEntry(entryName);
    const QDateTime when = (st.valid & ZIP_STAT_MTIME) ? QDateTime::fromSecsSinceEpoch(st.mtime) : QDateTime();
    const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;

    if (listing) {
      if (!isDir) addListingLine(entryName, quint64(st.size), when);
      continue;
    }

    // Where the entry goes: its own folders only when directories are honoured.
    const std::optional<QString> safe = SafeEntryPath(entryName);
    if (!safe) {
      printLine(QStringLiteral("warning:  skipped \"%1\" (path outside the extraction folder)").arg(entryName));
      worse(UnzWarning);
      continue;
    }
    QString relative = *safe;
    if (dcl.ndflag != 1) relative = relative.section('/', -1);
    if (dcl.SpaceToUnderscore == 1) relative.replace(' ', '_');
    if (isDir) {
      if (writing && dcl.ndflag == 1) QDir().mkpath(targetAbs + '/' + relative);
      continue;
    }

    // Tested or sent to standard output: read through, nothing written.
    if (testing || toStdOut) {
      CrLf crlf;
      const EntryRead read = streamEntry(za, zip_uint64_t(i), st, encrypted, [&](const char* d, qsizetype n) {
        if (toStdOut) g_state.stdOut += dcl.naflag == 1 ? crlf.convert(d, n) : QByteArray(d, n);
        return true;
      });
      if (read != EntryRead::Ok)
        worse(reportUnread(entryName, read));
      else if (testing)
        info(QStringLiteral("    testing: %1   OK").arg(entryName), 0);
      continue;
    }

    const QString path = targetAbs + '/' + relative;
    const QFileInfo existing(path);
    if (existing.exists()) {
      const bool newer = !when.isValid() || when > existing.lastModified().addSecs(1);
      if ((dcl.ExtractOnlyNewer == 1 || dcl.nfflag == 1) && !newer) continue;
      if (dcl.noflag != 1) {
        const int answer = dcl.PromptToOverwrite == 1 ? replaceQuestion(path) : 100;
        if (answer == 104) {
          worse(UnzUserAbort);
          break;
        }
        if (answer == 100) continue;
      }
    } else if (dcl.ExtractOnlyNewer == 1) {
      continue;  // freshen touches existing files only
    }

    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
      printLine(QStringLiteral("checkdir error:  cannot create ") + QFileInfo(path).absolutePath());
      worse(UnzNoTarget);
      continue;
    }
    const auto cannotCreate = [&](const platform::WholeFileWriter& out) {
      printLine(out.diskFull() ? QStringLiteral("error:  write error (disk full) in ") + path
                               : QStringLiteral("error:  cannot create ") + path + QStringLiteral(" (") + out.reason() +
                                     QLatin1Char(')'));
      worse(UnzNoTarget);
    };
    // The file is replaced only once the whole entry has been read, checked and written.
    platform::WholeFileWriter out(path);
    if (!out.open()) {
      cannotCreate(out);
      continue;
    }
    CrLf crlf;
    const EntryRead read = streamEntry(za, zip_uint64_t(i), st, encrypted, [&](const char* d, qsizetype n) {
      const QByteArray chunk = dcl.naflag == 1 ? crlf.convert(d, n) : QByteArray::fromRawData(d, n);
      return out.write(chunk);
    });
    if (read != EntryRead::Ok) {
      if (read == EntryRead::SinkFailed)
        cannotCreate(out);
      else
        worse(reportUnread(entryName, read));
      continue;
    }
    if (when.isValid()) {
      const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(when.toSecsSinceEpoch()), 0}};
      ::futimens(out.handle(), times);
    }
    if (!out.commit()) {
      cannotCreate(out);
      continue;
    }
    info(QStringLiteral("  inflating: ") + path, 0);
  }
  if (testing && result == UnzOk) info(QStringLiteral("No errors detected in compressed data of %1.").arg(dcl.lpszZipFN), 1);
  zip_close(za);
  return result;
}

}  // namespace corvane::restore
