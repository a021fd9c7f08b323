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
  // The add-computer window's copy: the body goes to the named file of the application folder,
  // with the progress in the main window's caption.
  ToNamedFile,
  // The keys window's copy: the body goes to "temp.tmp", without captions.
  ToTempFile,
};

using CaptionFn = std::function<void(const QString&)>;

// Downloads the reply of url, writing the body to its file as it arrives; the file takes its
// name only once the whole body is written and on the disk. The window keeps answering while
// the transfer runs. True when a non-empty numeric header above 0 and exactly that many body
// bytes arrived with status 200 and were written. A reply that starts with "#" gives false
// without a message and leaves no file. Any other failure (a reply without "#", a header that is
// not a number above 0 or states more than the disk has free, a body shorter or longer than the
// header states, a status other than 200, a transfer slower than the floor for the whole stall
// time, a transfer error, a file that cannot be written: DiskFullText on a full disk) shows
// "Error in DownloadFile - " + reason, leaves no file and gives false. A transfer ended by stopDownloads
// gives false without a message and leaves no file. errNo is the transfer's error code (0 when
// none).
bool DownloadFile(const QString& url, const QString& fileName, DownloadCopy copy, const CaptionFn& mainCaption,
                  int& errNo);

// Limits of a transfer: the connection must be made within connectMs, and a transfer that
// moves less than floorBytesPerSecond on average over stallSeconds (a rate no real link is
// slower than) is given up. nowMs is the clock the stall is measured with (milliseconds,
// steadily rising; a monotonic clock when empty).
struct DownloadLimits {
  int connectMs = 15000;
  int stallSeconds = 30;
  qint64 floorBytesPerSecond = 4096;
  std::function<qint64()> nowMs;
};
DownloadLimits downloadLimits();
void setDownloadLimits(const DownloadLimits& limits);
// Ends every transfer under way at once (the program is ending); later ones run as usual.
void stopDownloads();

// "disk full, no room in <the folder of path>": how each step of a catalogue fetch names a full
// disk.
QString DiskFullText(const QString& path);

// The progress caption of the named-file copy: "Corvane Downloading " & name & " " & percent & "% done...".
// The percent is rounded to a whole number and shows nothing for zero (or when the header stated 0).
QString DownloadCaption(const QString& fileName, qint64 received, qint64 expected);

}  // namespace corvane::restore
