#pragma once
// A scratch world for the imaging engine: an application folder, a source drive C: and a
// destination drive E: with its image folder, all in one temporary folder and mapped through
// CORVANE_DRIVES; the real engine program run against them; images read back with libarchive.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "snapshot/StatusBlock.h"

namespace corvane::test {

struct ImageItem {
  char type = 'f';  // f file, d folder, l link, h hard link, p fifo
  unsigned mode = 0;
  long long size = 0;
  long long mtime = 0;
  std::string content;  // files only
  std::string link;     // link target or hard link's first name
  std::map<std::string, std::string> xattrs;
};

// Every entry of an image by its path; an image that cannot be read whole fails the test.
// Entries larger than contentLimit keep their content empty (they are skipped unread).
std::map<std::string, ImageItem> readImage(const QString& path, std::uint64_t contentLimit = UINT64_MAX);

class EngineWorld {
 public:
  EngineWorld();
  ~EngineWorld();

  QString app() const { return root_ + "/app"; }
  QString c(const QString& relative = {}) const;  // native path on drive C:
  QString e(const QString& relative = {}) const;  // native path on drive E:
  QString imageFolder() const { return e("CorvaneImage"); }
  QString imageFile(const QString& name) const { return imageFolder() + "/" + name; }

  // The window's two command lines.
  static QStringList fullLine();
  static QStringList diffLine();

  // The engine's environment: the world's drive map and application folder, then the extra
  // entries ("NAME=value", replacing any of the same name).
  QProcessEnvironment environment(const QStringList& extraEnv = {}) const;
  // Starts the engine with the world's drive map and application folder; extra environment
  // as "NAME=value".
  QProcess* start(const QStringList& args, const QStringList& extraEnv = {},
                  const std::function<void()>& childSetup = {});
  // Starts and waits for the end; returns the exit code (-1 when it did not end normally).
  int run(const QStringList& args, const QStringList& extraEnv = {}, const std::function<void()>& childSetup = {});
  // The engine's own status block, read directly.
  snapshot::StatusBlock status() const;

 private:
  QTemporaryDir dir_;
  QString root_;
  QByteArray previousAppDir_;
  std::vector<QProcess*> processes_;
};

// Polls until the condition holds or the deadline passes (a generous bound, not a timing).
bool waitUntil(const std::function<bool()>& condition, int deadlineMs = 20000);

}  // namespace corvane::test
