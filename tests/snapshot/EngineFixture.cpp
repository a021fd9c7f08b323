#include "EngineFixture.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <cstring>

namespace corvane::test {

std::map<std::string, ImageItem> readImage(const QString& path, std::uint64_t contentLimit) {
  std::map<std::string, ImageItem> out;
  archive* a = archive_read_new();
  archive_read_support_filter_zstd(a);
  archive_read_support_format_tar(a);
  const QByteArray native = QFile::encodeName(path);
  if (archive_read_open_filename(a, native.constData(), 1 << 16) != ARCHIVE_OK) {
    ADD_FAILURE() << "cannot open " << native.constData() << ": " << archive_error_string(a);
    archive_read_free(a);
    return out;
  }
  archive_entry* e = nullptr;
  int r;
  while ((r = archive_read_next_header(a, &e)) == ARCHIVE_OK) {
    ImageItem item;
    const mode_t m = archive_entry_filetype(e);
    item.type = archive_entry_hardlink(e) ? 'h' : S_ISDIR(m) ? 'd' : S_ISLNK(m) ? 'l' : S_ISFIFO(m) ? 'p' : 'f';
    item.mode = archive_entry_perm(e);
    item.size = archive_entry_size(e);
    item.mtime = archive_entry_mtime(e);
    if (archive_entry_hardlink(e)) item.link = archive_entry_hardlink(e);
    if (archive_entry_symlink(e)) item.link = archive_entry_symlink(e);
    archive_entry_xattr_reset(e);
    const char* xname;
    const void* xvalue;
    size_t xsize;
    while (archive_entry_xattr_next(e, &xname, &xvalue, &xsize) == ARCHIVE_OK)
      item.xattrs[xname] = std::string(static_cast<const char*>(xvalue), xsize);
    char buf[8192];
    la_ssize_t n = 0;
    if (static_cast<std::uint64_t>(item.size) > contentLimit)
      n = archive_read_data_skip(a) == ARCHIVE_OK ? 0 : -1;
    else
      while ((n = archive_read_data(a, buf, sizeof buf)) > 0) item.content.append(buf, static_cast<size_t>(n));
    if (n < 0) ADD_FAILURE() << "cannot read " << archive_entry_pathname(e) << ": " << archive_error_string(a);
    std::string name = archive_entry_pathname(e);
    if (name.size() > 1 && name.back() == '/') name.pop_back();
    out[name] = item;
  }
  if (r != ARCHIVE_EOF) ADD_FAILURE() << native.constData() << " is cut short: " << archive_error_string(a);
  archive_read_free(a);
  return out;
}

EngineWorld::EngineWorld() {
  root_ = dir_.path();
  for (const char* sub : {"app", "c", "e/CorvaneImage"}) QDir().mkpath(root_ + "/" + sub);
  previousAppDir_ = qgetenv("CORVANE_APPDIR");
  // The library in this process reads the engine's status from the same folder.
  qputenv("CORVANE_APPDIR", app().toLocal8Bit());
}

EngineWorld::~EngineWorld() {
  for (QProcess* p : processes_) {
    if (p->state() != QProcess::NotRunning) {
      p->kill();
      p->waitForFinished(10000);
    }
    delete p;
  }
  if (previousAppDir_.isEmpty()) qunsetenv("CORVANE_APPDIR");
  else qputenv("CORVANE_APPDIR", previousAppDir_);
}

QString EngineWorld::c(const QString& relative) const { return relative.isEmpty() ? root_ + "/c" : root_ + "/c/" + relative; }
QString EngineWorld::e(const QString& relative) const { return relative.isEmpty() ? root_ + "/e" : root_ + "/e/" + relative; }

QStringList EngineWorld::fullLine() { return {"C:", "E:\\CorvaneImage\\$DISK.sna", "-L4", "-W"}; }

QStringList EngineWorld::diffLine() {
  return {"C:", "E:\\CorvaneImage\\$DISK_Diff.sna", "-h", "E:\\CorvaneImage\\$DISK.hsh", "--exclude:\\CorvaneImage\\*", "-L4", "-W"};
}

QProcessEnvironment EngineWorld::environment(const QStringList& extraEnv) const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("CORVANE_APPDIR", app());
  env.insert("CORVANE_DRIVES", "C:=" + c() + ";E:=" + e());
  for (const QString& kv : extraEnv) env.insert(kv.section('=', 0, 0), kv.section('=', 1));
  return env;
}

QProcess* EngineWorld::start(const QStringList& args, const QStringList& extraEnv, const std::function<void()>& childSetup) {
  auto* p = new QProcess;
  processes_.push_back(p);
  p->setProcessEnvironment(environment(extraEnv));
  p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  if (childSetup) p->setChildProcessModifier(childSetup);
  p->start(QStringLiteral(CORVANE_ENGINE_PROGRAM), args);
  if (!p->waitForStarted(10000)) ADD_FAILURE() << "the engine did not start";
  return p;
}

int EngineWorld::run(const QStringList& args, const QStringList& extraEnv, const std::function<void()>& childSetup) {
  QProcess* p = start(args, extraEnv, childSetup);
  if (!p->waitForFinished(60000)) {
    ADD_FAILURE() << "the engine did not end";
    return -1;
  }
  return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
}

snapshot::StatusBlock EngineWorld::status() const {
  snapshot::StatusBlock b{};
  QFile f(app() + "/" + snapshot::kStatusFileName);
  if (f.open(QIODevice::ReadOnly)) f.read(reinterpret_cast<char*>(&b), sizeof b);
  return b;
}

bool waitUntil(const std::function<bool()>& condition, int deadlineMs) {
  QDeadlineTimer deadline(deadlineMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(2);
  }
  return true;
}

}  // namespace corvane::test
