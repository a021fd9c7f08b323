#pragma once
// One GET of the backup server's download page: the reply is a length header of ASCII digits
// ended by "#", then the body (an enciphered catalogue file).
#include <QString>
#include <functional>

namespace corvane::keys {
class EncryptionSession;
}

namespace corvane::restore {

// "http://" + server + "/download.aspx?Message=" + E(machineId) + "?" + E(fullPath) + "?" + session id,
// each E being the text's hex enciphered with the session key (not URL-escaped).
QString BuildDownloadUrl(const keys::EncryptionSession& session, const QString& machineId, const QString& fullPath);

enum class DownloadCopy {
  // The add-computer window's copy: the body is written to the named file of the application
  // folder as it arrives, with the progress in the main window's caption.
  ToNamedFile,
  // The keys window's copy: the body is gathered whole and written to "temp.tmp".
  ToTempFile,
};

using CaptionFn = std::function<void(const QString&)>;

// Downloads the reply of url. True when a non-empty numeric header and the body (possibly
// empty) arrived and were written. A reply that starts with "#", one without "#", a header
// that is not a number, a body shorter than the header states, a transfer error or a file
// that cannot be written: a message
// "Error in DownloadFile - " + reason (not for the empty header), no file left behind, false.
// errNo is the transfer's error code (0 when none).
bool DownloadFile(const QString& url, const QString& fileName, DownloadCopy copy, const CaptionFn& mainCaption,
                  int& errNo);

// Limits of a transfer: the connection must be made within connectMs, and a transfer that
// moves no byte for stallSeconds is given up. The window blocks while a transfer runs.
struct DownloadLimits {
  int connectMs = 15000;
  int stallSeconds = 60;
};
DownloadLimits downloadLimits();
void setDownloadLimits(const DownloadLimits& limits);

// The progress caption of the named-file copy: "Corvane Downloading " & name & " " & percent & "% done...".
// The percent is rounded to a whole number and shows nothing for zero (or when the header stated 0).
QString DownloadCaption(const QString& fileName, qint64 received, qint64 expected);

}  // namespace corvane::restore
