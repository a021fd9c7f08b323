#include "restore/CatalogueDownload.h"

#include <curl/curl.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <atomic>
#include <cmath>
#include <optional>

#include "keys/EncryptionSession.h"
#include "keys/HttpSetup.h"
#include "keys/SoapClient.h"
#include "platform/AppFolder.h"
#include "platform/Messages.h"
#include "platform/Wait.h"
#include "platform/WholeFile.h"

namespace corvane::restore {

namespace {

DownloadLimits g_limits;

std::atomic<quint64> g_stops{0};

constexpr qsizetype kHeaderBuffer = 1024;
// How long one wait for the network lasts before the window gets its events again.
constexpr int kPollMs = 50;

qint64 monotonicMs() {
  static QElapsedTimer clock;
  if (!clock.isValid()) clock.start();
  return clock.elapsed();
}

struct Transfer {
  CURL* curl = nullptr;
  DownloadCopy copy;
  QString fileName;
  QString path;
  const CaptionFn* caption = nullptr;
  QByteArray header;
  bool headerDone = false;
  qint64 expected = 0;
  qint64 total = 0;     // body bytes
  qint64 received = 0;  // every byte, header included
  // The body goes into a file that takes its name only once the whole body is in it and on the
  // disk: a full disk, a failed transfer or a killed program leave no part of it.
  std::optional<platform::WholeFileWriter> out;
  QString failure;  // reason when the transfer was stopped from here
};

// Why the body could not be written, named as the fetch's other steps name it.
QString cannotWrite(const Transfer& t) {
  if (t.out->diskFull()) return DiskFullText(t.path);
  return QStringLiteral("cannot write ") + QDir::toNativeSeparators(t.path) + QStringLiteral(": ") + t.out->reason();
}

bool openTarget(Transfer& t) {
  if (t.out) return true;
  t.out.emplace(t.path);
  if (!t.out->open()) {
    t.failure = cannotWrite(t);
    return false;
  }
  return true;
}

bool takeBody(Transfer& t, const char* data, qsizetype n) {
  if (t.total + n > t.expected) {
    t.failure = QStringLiteral("the reply is longer than its length header states");
    return false;
  }
  long status = 0;
  curl_easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) {
    t.failure = QStringLiteral("the server answered with status %1").arg(status);
    return false;
  }
  if (!openTarget(t)) return false;
  if (!t.out->write(data, n)) {
    t.failure = cannotWrite(t);
    return false;
  }
  t.total += n;
  if (t.copy == DownloadCopy::ToNamedFile && *t.caption) (*t.caption)(DownloadCaption(t.fileName, t.total, t.expected));
  return true;
}

size_t receive(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const qsizetype n = qsizetype(size * count);
  t.received += n;
  qsizetype pos = 0;
  while (!t.headerDone && pos < n) {
    const char c = data[pos++];
    if (c == '#') {
      t.headerDone = true;
      if (t.header.isEmpty()) return 0;  // nothing to download: stop at once
      bool ok = false;
      t.expected = QString::fromLatin1(t.header).trimmed().toLongLong(&ok);
      if (!ok || t.expected <= 0) {
        t.failure = QStringLiteral("the reply's length header is not a number above 0");
        return 0;
      }
      // A length the disk cannot take is refused before a byte is written.
      const QString folder = QFileInfo(t.path).absolutePath();
      const qint64 free = QStorageInfo(folder).bytesAvailable();
      if (free >= 0 && t.expected > free) {
        t.failure = QStringLiteral("the reply states %1 bytes, but only %2 bytes are free in %3")
                        .arg(t.expected)
                        .arg(free)
                        .arg(QDir::toNativeSeparators(folder));
        return 0;
      }
    } else {
      if (t.header.size() >= kHeaderBuffer) {
        t.failure = QStringLiteral("the reply has no length header");
        return 0;
      }
      t.header.append(c);
    }
  }
  if (pos < n && !takeBody(t, data + pos, n - pos)) return 0;
  return size * count;
}

enum class Cut { None, Stalled, Stopped };

// Runs the transfer, letting the window process its events between short waits for the
// network. Gives the transfer's result, or nullopt when it was cut: stopped (stopDownloads), or
// stalled, that is the transfer went slower than the floor for the whole stall time: a server
// that stops sending and one that drips a little now and then (1,100 bytes every 25 s of a
// 10 MB file would take 63 hours) alike. stalledBytes says how many bytes came in that time.
std::optional<CURLcode> perform(CURL* curl, const Transfer& t, qint64& stalledBytes, Cut& cut) {
  const auto now = [] { return g_limits.nowMs ? g_limits.nowMs() : monotonicMs(); };
  const quint64 stops = g_stops;
  const qint64 stallMs = qint64(g_limits.stallSeconds) * 1000;
  const qint64 floorBytes = std::max<qint64>(1, g_limits.floorBytesPerSecond * g_limits.stallSeconds);
  qint64 markAt = now();  // when the transfer last moved floorBytes
  qint64 mark = t.received;
  qint64 anyAt = markAt;  // when the last byte came
  qint64 any = t.received;
  return keys::PerformInSteps(curl, kPollMs, [&] {
    platform::doEvents();
    if (g_stops != stops) {
      cut = Cut::Stopped;
      return false;
    }
    const qint64 at = now();
    if (t.received != any) {
      any = t.received;
      anyAt = at;
    }
    if (t.received - mark >= floorBytes) {
      mark = t.received;
      markAt = at;
      return true;
    }
    if (at - markAt < stallMs) return true;
    stalledBytes = at - anyAt >= stallMs ? 0 : t.received - mark;
    cut = Cut::Stalled;
    return false;
  });
}

}  // namespace

QString BuildDownloadUrl(const keys::EncryptionSession& session, const QString& machineId, const QString& fullPath) {
  return QStringLiteral("http://") + keys::ServerHost() + QStringLiteral("/download.aspx?Message=") +
         keys::EncryptField(machineId, session.sessionKey()) + '?' + keys::EncryptField(fullPath, session.sessionKey()) +
         '?' + QString::number(session.sessionId());
}

DownloadLimits downloadLimits() { return g_limits; }
void stopDownloads() { ++g_stops; }
void setDownloadLimits(const DownloadLimits& limits) { g_limits = limits; }

QString DiskFullText(const QString& path) {
  return QStringLiteral("disk full, no room in ") + QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

QString DownloadCaption(const QString& fileName, qint64 received, qint64 expected) {
  QString percent;
  if (expected > 0) {
    const qint64 p = qint64(std::llround(double(received) / double(expected) * 100.0));
    if (p != 0) percent = QString::number(p);
  }
  return QStringLiteral("Corvane Downloading ") + fileName + ' ' + percent + QStringLiteral("% done...");
}

bool DownloadFile(const QString& url, const QString& fileName, DownloadCopy copy, const CaptionFn& mainCaption,
                  int& errNo) {
  errNo = 0;
  Transfer t;
  t.copy = copy;
  t.fileName = fileName;
  t.path = platform::joinPath(platform::appPaths().appFolder,
                              copy == DownloadCopy::ToNamedFile ? fileName : QStringLiteral("temp.tmp"));
  t.caption = &mainCaption;

  auto fail = [&](const QString& reason) {
    if (t.out) t.out->discard();
    // A file of this name from an earlier download is no part of this one.
    QFile::remove(t.path);
    if (!reason.isEmpty()) platform::showMessage(QStringLiteral("Error in DownloadFile - ") + reason);
    return false;
  };

  keys::EnsureCurlInitialised();
  CURL* curl = curl_easy_init();
  if (!curl) return fail(QStringLiteral("the transfer could not be started"));
  t.curl = curl;
  const QByteArray u = url.toUtf8();
  const QByteArray noProxy = keys::NoProxyList();
  curl_easy_setopt(curl, CURLOPT_URL, u.constData());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "VB OpenUrl");
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);  // always from the server, never a reused answer
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(g_limits.connectMs));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, noProxy.constData());
  qint64 stalledBytes = 0;
  Cut cut = Cut::None;
  const std::optional<CURLcode> rc = perform(curl, t, stalledBytes, cut);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);

  if (t.headerDone && t.header.isEmpty()) return fail(QString());  // the reply began with "#"
  if (cut == Cut::Stopped) return fail(QString());                // the user asked for it
  if (!t.failure.isEmpty()) {
    errNo = rc ? int(*rc) : 0;
    return fail(t.failure);
  }
  if (!rc && stalledBytes == 0) return fail(QStringLiteral("no data arrived for %1 seconds").arg(g_limits.stallSeconds));
  if (!rc)
    return fail(QStringLiteral("only %1 bytes arrived in %2 seconds").arg(stalledBytes).arg(g_limits.stallSeconds));
  if (*rc != CURLE_OK) {
    errNo = int(*rc);
    return fail(QString::fromUtf8(curl_easy_strerror(*rc)));
  }
  if (status != 200) return fail(QStringLiteral("the server answered with status %1").arg(status));
  if (!t.headerDone) return fail(QStringLiteral("the reply ended before its length header"));
  if (t.total < t.expected) return fail(QStringLiteral("the reply ended before the whole file arrived"));
  // The header's length is above 0, so the body opened the file.
  if (!t.out->commit()) return fail(cannotWrite(t));
  return true;
}

}  // namespace corvane::restore
