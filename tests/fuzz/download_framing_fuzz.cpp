// The download page's reply: a length header of digits ended by "#", then the body. The reply
// comes from a local HTTP server, as the backup server's would, to both copies of the download
// (to the named file, and gathered whole into temp.tmp).
#include <httplib.h>

#include <QFile>
#include <mutex>
#include <thread>

#include "fuzz/FuzzSupport.h"
#include "platform/AppFolder.h"
#include "restore/CatalogueDownload.h"

using namespace corvane;

namespace {

// Serves the current reply to every GET; lives for the whole process.
class ReplyServer {
 public:
  ReplyServer() {
    http_.Get(".*", [this](const httplib::Request&, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex_);
      res.set_content(reply_, "application/octet-stream");
    });
    port_ = http_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) fuzz::broken("cannot start the local reply server");
    thread_ = std::thread([this] { http_.listen_after_bind(); });
    thread_.detach();
  }
  void setReply(const QByteArray& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    reply_.assign(reply.constData(), size_t(reply.size()));
  }
  QString url() const { return QStringLiteral("http://127.0.0.1:%1/download.aspx?Message=A").arg(port_); }

 private:
  httplib::Server http_;
  std::thread thread_;
  std::mutex mutex_;
  std::string reply_;
  int port_ = 0;
};

}  // namespace

CORVANE_FUZZ_TARGET(download_framing) {
  const platform::AppPaths& app = fuzz::scratchApp();
  static ReplyServer* server = new ReplyServer;  // never ends: its thread serves until exit

  const QByteArray reply = fuzz::bytesOf(data, size);
  server->setReply(reply);
  const qsizetype hash = reply.indexOf('#');

  struct Copy {
    restore::DownloadCopy copy;
    QString file;
  } copies[] = {{restore::DownloadCopy::ToNamedFile, QStringLiteral("FilesEE.db.ZIP")},
                {restore::DownloadCopy::ToTempFile, QStringLiteral("temp.tmp")}};
  for (const Copy& c : copies) {
    const QString path = platform::joinPath(app.appFolder, c.file);
    int errNo = 0;
    const bool ok = restore::DownloadFile(server->url(), QStringLiteral("FilesEE.db.ZIP"), c.copy,
                                          [](const QString&) {}, errNo);
    if (ok) {
      fuzz::expect(hash > 0, "a reply without a length header was taken");
      fuzz::expect(fuzz::readFile(path) == reply.mid(hash + 1), "the file written is not the reply's body");
    } else {
      fuzz::expect(!QFile::exists(path), "a failed download left its file behind");
    }
    QFile::remove(path);
  }
  return 0;
}
