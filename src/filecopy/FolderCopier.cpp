#include "filecopy/FolderCopier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStorageInfo>

#include "platform/Messages.h"
#include "platform/PathMap.h"
#include "platform/Wait.h"

namespace corvane::filecopy {

namespace {

const QString kWindowTitle = QStringLiteral("File Copy Utility");

// Canonical form of a path that may not exist yet: the nearest existing ancestor is resolved
// (links included) and the missing rest appended.
QString resolvedPath(const QString& path) {
  QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  QStringList missing;
  while (!QFileInfo::exists(existing)) {
    const QFileInfo info(existing);
    const QString parent = info.path();
    if (parent == existing) break;
    missing.prepend(info.fileName());
    existing = parent;
  }
  QString resolved = QFileInfo(existing).canonicalFilePath();
  if (resolved.isEmpty()) resolved = existing;
  for (const QString& piece : missing) resolved = withTrailingSlash(resolved) + piece;
  return QDir::cleanPath(resolved);
}

bool isSameOrInside(const QString& path, const QString& folder) {
  return path == folder || path.startsWith(withTrailingSlash(folder));
}

// Runs a step's end on every way out, exceptions included.
template <typename F>
struct ScopeExit {
  F f;
  ~ScopeExit() { f(); }
};
template <typename F>
ScopeExit(F) -> ScopeExit<F>;

}  // namespace

QString withTrailingSlash(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QString scannedCaption(qint64 count, const QString& folder) {
  QString drive;
  if (const auto windows = platform::pathMap().toWindows(folder)) {
    drive = windows->left(3);
    if (drive.size() == 2) drive += QLatin1Char('\\');
  } else {
    drive = QStorageInfo(folder).rootPath();
    if (drive.isEmpty()) drive = folder.left(3);
  }
  return QStringLiteral("Corvane Scanned ") + QLocale(QLocale::English, QLocale::UnitedStates).toString(count) +
         QStringLiteral(" Files on drive ") + drive;
}

bool isNewerByMoreThanOneSecond(const QDateTime& sourceTime, const QDateTime& copyTime) {
  return sourceTime.toMSecsSinceEpoch() > copyTime.toMSecsSinceEpoch() + 1000;
}

bool copyFileKeepingTime(const QString& from, const QString& to, QString* error) {
  auto failed = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  const QFileInfo source(from);
  if (!source.exists()) return failed(QStringLiteral("The file does not exist"));
  // Pipes, sockets and devices would block or never end; they are not opened at all.
  if (!source.isFile()) return failed(QStringLiteral("Not a regular file"));
  const QDateTime modified = source.lastModified();

  QFile in(from);
  if (!in.open(QIODevice::ReadOnly)) return failed(in.errorString());
  // The new copy is written beside the target and replaces it only when complete, so a
  // failed copy never leaves a damaged file behind.
  QSaveFile out(to);
  out.setDirectWriteFallback(false);
  if (!out.open(QIODevice::WriteOnly)) return failed(out.errorString());

  QByteArray buffer(256 * 1024, Qt::Uninitialized);
  for (;;) {
    const qint64 n = in.read(buffer.data(), buffer.size());
    if (n < 0) {
      out.cancelWriting();
      return failed(in.errorString());
    }
    if (n == 0) break;
    if (out.write(buffer.constData(), n) != n) {
      const QString why = out.errorString();
      out.cancelWriting();
      return failed(why);
    }
  }
  // All data must be written before the time is set, or the last write would move it again.
  if (!out.flush()) {
    const QString why = out.errorString();
    out.cancelWriting();
    return failed(why);
  }
  if (!out.setFileTime(modified, QFileDevice::FileModificationTime)) {
    const QString why = out.errorString();
    out.cancelWriting();
    return failed(why.isEmpty() ? QStringLiteral("Cannot set the modification time") : why);
  }
  if (!out.commit()) return failed(out.errorString());
  QFile::setPermissions(to, source.permissions());
  return true;
}

FolderCopier::FolderCopier(CopyObserver observer) : observer_(std::move(observer)) {}

QString FolderCopier::refusalReason(const QString& sourceText, const QString& destinationText) {
  const QString source = sourceText.trimmed();
  const QString destination = destinationText.trimmed();
  if (source.isEmpty()) return QStringLiteral("Please enter the source folder.");
  if (destination.isEmpty()) return QStringLiteral("Please enter the destination folder.");
  const QFileInfo sourceInfo(source);
  if (!sourceInfo.isDir()) return QStringLiteral("The source folder does not exist: ") + source;
  if (isSameOrInside(resolvedPath(destination), resolvedPath(source)))
    return QStringLiteral("The destination folder must not be the source folder or lie inside it.");
  return {};
}

CopyOutcome FolderCopier::run(const QString& sourceText, const QString& destinationText) {
  if (running_) return CopyOutcome::Busy;
  const QString reason = refusalReason(sourceText, destinationText);
  if (!reason.isEmpty()) {
    platform::showMessage(reason, kWindowTitle, platform::MsgButtons::Ok, platform::MsgIcon::Warning);
    return CopyOutcome::Refused;
  }
  source_ = withTrailingSlash(QDir::cleanPath(QFileInfo(sourceText.trimmed()).absoluteFilePath()));
  destination_ = withTrailingSlash(QDir::cleanPath(QFileInfo(destinationText.trimmed()).absoluteFilePath()));
  stopRequested_ = false;
  aborted_ = false;
  stoppedEarly_ = false;
  filesSeen_ = filesCopied_ = filesFailed_ = 0;

  running_ = true;
  ScopeExit done{[this] { running_ = false; }};
  QDir().mkpath(destination_);  // a failure shows up as failed copies
  copyFolderTree(source_);
  return stoppedEarly_ ? CopyOutcome::Stopped : CopyOutcome::Finished;
}

void FolderCopier::copyFolderTree(const QString& folder) {
  const QDir dir(folder);
  if (!dir.isReadable()) {
    fail(folder);
    return;
  }
  const QFileInfoList entries =
      dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  QStringList files;
  QStringList folders;
  for (const QFileInfo& entry : entries) {
    if (entry.isDir()) {
      // Hidden folders and links to folders are never entered.
      if (!entry.fileName().startsWith(QLatin1Char('.')) && !entry.isSymLink()) folders << entry.fileName();
    } else {
      files << entry.fileName();
    }
  }

  copyFolderFiles(folder, files);
  for (const QString& name : folders) {
    if (stopRequested_) {
      stoppedEarly_ = true;
      return;
    }
    copyFolderTree(folder + name + QLatin1Char('/'));
  }
}

void FolderCopier::copyFolderFiles(const QString& folder, const QStringList& fileNames) {
  for (const QString& name : fileNames) {
    if (aborted_) {
      stoppedEarly_ = true;
      return;
    }
    copyOneFile(folder, name);
  }
}

void FolderCopier::copyOneFile(const QString& folder, const QString& name) {
  ++filesSeen_;
  const QString sourcePath = folder + name;
  // Every folder of the walk starts with the source folder: drop it once.
  const QString targetFolder = destination_ + folder.mid(source_.size());
  const QString target = targetFolder + name;

  const QFileInfo sourceInfo(sourcePath);
  const QFileInfo targetInfo(target);
  bool copied = false;
  if (!sourceInfo.isFile()) {
    fail(sourcePath);
  } else if (targetInfo.exists()) {
    const QDateTime sourceTime = sourceInfo.lastModified();
    const QDateTime targetTime = targetInfo.lastModified();
    if (!targetInfo.isFile() || !sourceTime.isValid() || !targetTime.isValid()) {
      fail(sourcePath);
    } else if (isNewerByMoreThanOneSecond(sourceTime, targetTime)) {
      if (copyFileKeepingTime(sourcePath, target))
        copied = true;
      else
        fail(sourcePath);
    }
    report(observer_.fileChecked, sourcePath);
  } else {
    QDir().mkpath(targetFolder);
    if (copyFileKeepingTime(sourcePath, target))
      copied = true;
    else
      fail(sourcePath);
  }
  if (copied) {
    ++filesCopied_;
    report(observer_.fileCopied, sourcePath);
  }
  platform::doEvents();

  if (filesSeen_ % 1000 == 0) {
    report(observer_.progress, scannedCaption(filesSeen_, folder));
    platform::doEvents();
  }
}

void FolderCopier::report(const std::function<void(const QString&)>& callback, const QString& text) const {
  if (callback) callback(text);
}

void FolderCopier::fail(const QString& path) {
  ++filesFailed_;
  report(observer_.fileFailed, path);
}

}  // namespace corvane::filecopy
