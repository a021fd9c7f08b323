#include "keys/PrivateFile.h"

#include "platform/WholeFile.h"

namespace corvane::keys {

bool WritePrivateFile(const QString& path, const QByteArray& data, QString* error) {
  return platform::writeWholeFile(path, data, platform::WholeFileOptions{.mode = 0600, .earlierTemporaries = true},
                                  error);
}

bool WritePublicFile(const QString& path, const QByteArray& data, QString* error) {
  return platform::writeWholeFile(path, data, platform::WholeFileOptions{.mode = 0644, .earlierTemporaries = true},
                                  error);
}

}  // namespace corvane::keys
