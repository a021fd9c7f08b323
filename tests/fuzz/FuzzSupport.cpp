#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "platform/Messages.h"
#include "platform/Wait.h"
#include "store/AppFolderLayout.h"

namespace corvane::fuzz {

namespace {

class SilentBoxes final : public platform::MessageBoxes {
 public:
  // CORVANE_FUZZ_VERBOSE prints the messages, for looking into what a target does with an input.
  const bool verbose = !qgetenv("CORVANE_FUZZ_VERBOSE").isEmpty();
  platform::MsgResult show(const QString& text, const QString&, platform::MsgButtons buttons, platform::MsgIcon) override {
    if (verbose) std::fprintf(stderr, "message: %s\n", qPrintable(text));
    // A question is answered No: nothing is overwritten or confirmed behind the fuzzer's back.
    return (buttons == platform::MsgButtons::YesNo || buttons == platform::MsgButtons::YesNoCancel)
               ? platform::MsgResult::No
               : platform::MsgResult::Ok;
  }
};

class NoWaits final : public platform::Waiter {
 public:
  void sleep(int) override {}
  void processEvents() override {}
};

void dropQtMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

QMap<QString, TargetFn>& registry() {
  static QMap<QString, TargetFn> targets;
  return targets;
}

struct Scratch {
  QTemporaryDir dir;
  platform::AppPaths paths;
  SilentBoxes boxes;
  NoWaits waits;

  Scratch() {
    if (!dir.isValid()) broken("cannot make a temporary folder for the scratch application folder");
    const QString app = QDir(dir.path()).filePath("app");
    QString share = QString::fromLocal8Bit(qgetenv("CORVANE_SHARE_DIR"));
    if (share.isEmpty()) share = QStringLiteral(CORVANE_SOURCE_SHARE_DIR);
    QString error;
    if (!store::layOutAppFolder(app, share, &error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      broken("cannot lay out the scratch application folder");
    }
    paths = platform::AppPaths::forFolder(app);
    platform::setAppPaths(paths);
    platform::setMessageBoxes(&boxes);
    platform::setWaiter(&waits);
    qInstallMessageHandler(dropQtMessages);
  }
};

}  // namespace

bool registerTarget(const char* name, TargetFn fn) {
  registry().insert(QString::fromLatin1(name), fn);
  return true;
}

TargetFn findTarget(const char* name) { return registry().value(QString::fromLatin1(name), nullptr); }

QStringList targetNames() { return registry().keys(); }

const platform::AppPaths& scratchApp() {
  static Scratch scratch;
  return scratch.paths;
}

void writeFile(const QString& path, const QByteArray& content) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
    broken("cannot write a scratch file");
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void broken(const char* what) {
  std::fprintf(stderr, "fuzz target: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace corvane::fuzz
