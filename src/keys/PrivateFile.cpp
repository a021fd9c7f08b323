#include "keys/PrivateFile.h"

#include "platform/WholeFile.h"

namespace corvane::keys {

bool WritePrivateFile(const QString& path, const QByteArray& data, QString* error) {
  return platform::writeWholeFile(path, data, platform::WholeFileOptions{.mode = 0600}, error);
}

bool WritePublicFile(const QString& path, const QByteArray& data, QString* error) {
  return platform::writeWholeFile(path, data, platform::WholeFileOptions{.mode = 0644}, error);
}

}  // namespace corvane::keys
