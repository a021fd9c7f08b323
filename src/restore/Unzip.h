#pragma once
// CGUnzipFiles: the unzip object the catalogue fetch expands its archive with. Options are
// properties; Unzip() extracts (or tests, or lists) the archive with libzip, collects the
// messages into one text (GetLastMessage) and returns 0 on success, a non-zero code otherwise.
#include <QString>
#include <functional>
#include <optional>

namespace corvane::restore {

// Result codes of Unzip (the unzip library's numbering where one applies).
enum UnzipResult {
  UnzOk = 0,
  UnzWarning = 1,     // some entries were skipped (unsafe name, kept existing file, bad password)
  UnzBadArchive = 3,  // damaged archive or an entry that could not be read
  UnzNoArchive = 9,   // the archive cannot be found or opened
  UnzNoTarget = 50,   // the target folder cannot be made or a file cannot be written
  UnzUserAbort = 80,  // "replace none" answered to an overwrite question
};

// Answers of the overwrite question.
enum class ReplaceAnswer { Yes, No, Cancel };

class CGUnzipFiles {
 public:
  // Boolean options (a setter stores 1 for any true value, 0 otherwise).
  bool ExtractOnlyNewer() const { return extractOnlyNewer_ == 1; }   // freshen: existing files only, if newer
  void setExtractOnlyNewer(bool v) { extractOnlyNewer_ = v ? 1 : 0; }
  bool SpaceToUnderScore() const { return spaceToUnderScore_ == 1; }
  void setSpaceToUnderScore(bool v) { spaceToUnderScore_ = v ? 1 : 0; }
  bool PromptOverwrite() const { return promptOverwrite_ == 1; }
  void setPromptOverwrite(bool v) { promptOverwrite_ = v ? 1 : 0; }
  bool WriteToStdOut() const { return writeToStdOut_ == 1; }
  void setWriteToStdOut(bool v) { writeToStdOut_ = v ? 1 : 0; }
  bool TestZip() const { return testZip_ == 1; }
  void setTestZip(bool v) { testZip_ = v ? 1 : 0; }
  bool ExtractNewer() const { return extractNewer_ == 1; }  // update: new files, and existing ones if newer
  void setExtractNewer(bool v) { extractNewer_ = v ? 1 : 0; }
  bool DisplayComment() const { return displayComment_ == 1; }
  void setDisplayComment(bool v) { displayComment_ = v ? 1 : 0; }
  bool HonorDirectories() const { return honorDirectories_ == 1; }
  void setHonorDirectories(bool v) { honorDirectories_ = v ? 1 : 0; }
  bool OverWriteFiles() const { return overWriteFiles_ == 1; }
  void setOverWriteFiles(bool v) { overWriteFiles_ = v ? 1 : 0; }
  bool ConvertCRtoCRLF() const { return convertCRtoCRLF_ == 1; }
  void setConvertCRtoCRLF(bool v) { convertCRtoCRLF_ = v ? 1 : 0; }
  bool Verbose() const { return verbose_ == 1; }
  void setVerbose(bool v) { verbose_ = v ? 1 : 0; }
  bool CaseSensitive() const { return caseSensitive_ == 1; }
  void setCaseSensitive(bool v) { caseSensitive_ = v ? 1 : 0; }

  // Numeric options (16-bit values: they travel as 16-bit integers).
  qint32 MessageLevel() const { return messageLevel_; }  // 2 no messages, 1 fewer, 0 all
  void setMessageLevel(qint32 v) { messageLevel_ = v; }
  qint32 ExtractList() const { return extractList_; }  // 0 extract, 1 list
  void setExtractList(qint32 v) { extractList_ = v; }
  qint32 Privilege() const { return privilege_; }
  void setPrivilege(qint32 v) { privilege_ = v; }

  const QString& ZipFileName() const { return zipFileName_; }  // native path
  void setZipFileName(const QString& v) { zipFileName_ = v; }
  const QString& ExtractDir() const { return extractDir_; }  // native path
  void setExtractDir(const QString& v) { extractDir_ = v; }

  // Non-empty arguments replace ZipFileName and ExtractDir first. Returns 0 on success.
  qint32 Unzip(const QString& zipFileName = QString(), const QString& extractDir = QString());
  // The messages of the most recent unzip.
  static QString GetLastMessage();
  // The listing text of the most recent unzip in listing mode.
  static QString LastListing();
  // What the most recent unzip wrote to standard output (WriteToStdOut).
  static QByteArray LastStdOut();

  // Questions the unzip may ask. Unset, the overwrite question is a message box (Yes, No,
  // Cancel) and no password is given.
  static void setReplaceQuestion(std::function<ReplaceAnswer(const QString& fileName)> ask);
  static void setPasswordQuestion(std::function<std::optional<QString>()> ask);

 private:
  qint16 extractOnlyNewer_ = 0, spaceToUnderScore_ = 0, promptOverwrite_ = 0, writeToStdOut_ = 0, testZip_ = 0,
         extractNewer_ = 0, displayComment_ = 0, honorDirectories_ = 1, overWriteFiles_ = 1, convertCRtoCRLF_ = 0,
         verbose_ = 0, caseSensitive_ = 1;
  qint32 messageLevel_ = 2, extractList_ = 0, privilege_ = 0;
  QString zipFileName_;
  QString extractDir_;
};

// The options record handed to the extraction (one field per option, in the library's order).
struct UnzipOptions {
  qint32 ExtractOnlyNewer, SpaceToUnderscore, PromptToOverwrite, fQuiet, ncflag, ntflag, nvflag, nfflag, nzflag,
      ndflag, noflag, naflag, nZIflag, C_flag, fPrivilege;
  QString lpszZipFN;
  QString lpszExtractDir;
};

// The driver: resets the message state, extracts and returns the result code.
qint32 VBUnzip(const UnzipOptions& dcl);

// A relative entry name that stays inside the target folder ("a/b.txt"); nullopt for an
// absolute name, a drive letter or a ".." piece.
std::optional<QString> SafeEntryPath(const QString& entryName);

}  // namespace corvane::restore
