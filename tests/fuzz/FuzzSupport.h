#pragma once
// What every fuzz target shares: a scratch application folder laid out from share/ once per
// process (it becomes the process-wide application folder), message boxes and waits that do
// nothing, and the check that turns a broken promise of a reader into a finding.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTarget.h"
#include "platform/AppFolder.h"

namespace corvane::fuzz {

// The names of the registered targets (the replay test's), in order.
QStringList targetNames();

// The scratch application folder (Files.db, Status.db, Config, Logs, Extensions, Dir).
// Message boxes are answered without showing anything (Ok, or No to a question), waits return
// at once and Qt's own warnings are dropped. Made on first use.
const platform::AppPaths& scratchApp();

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Writes the file anew; a failure is a finding of the harness, not of the reader.
void writeFile(const QString& path, const QByteArray& content);
QByteArray readFile(const QString& path);

// A reader broke one of its promises: prints what and aborts, which the fuzzer (and the
// replay test) report as a finding.
[[noreturn]] void broken(const char* what);
inline void expect(bool condition, const char* what) {
  if (!condition) broken(what);
}

}  // namespace corvane::fuzz
