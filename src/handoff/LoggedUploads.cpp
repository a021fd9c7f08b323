#include "handoff/LoggedUploads.h"

#include <QByteArray>
#include <algorithm>

namespace corvane::handoff {

namespace {

// Texts that are not valid UTF-8 are held as the program shows them (bad bytes replaced), so a
// name compares as it did when names were kept as display texts.
QByteArray asShown(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toUtf8();
}

bool validUtf8(std::string_view s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size())).toUtf8() == QByteArray(s.data(), qsizetype(s.size()));
}

bool ascii(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

void LoggedUploads::clear() {
  names_.clear();
  records_ = 0;
}

void LoggedUploads::reserve(qint64 names) { names_.reserve(size_t(std::max<qint64>(names, 0))); }

void LoggedUploads::add(std::string_view fileName, std::string_view uploadTime) {
  ++records_;
  QByteArray nameShown, timeShown;
  if (!ascii(fileName) && !validUtf8(fileName)) {
    nameShown = asShown(fileName);
    fileName = std::string_view(nameShown.constData(), size_t(nameShown.size()));
  }
  if (!ascii(uploadTime) && !validUtf8(uploadTime)) {
    timeShown = asShown(uploadTime);
    uploadTime = std::string_view(timeShown.constData(), size_t(timeShown.size()));
  }
  names_.insert(fileName, uploadTime);  // the first record of a name counts
}

std::optional<QString> LoggedUploads::uploadTimeOf(const QString& fileName) const {
  const QByteArray utf8 = fileName.toUtf8();
  const auto time = names_.payloadOf(std::string_view(utf8.constData(), size_t(utf8.size())));
  if (!time) return std::nullopt;
  return QString::fromUtf8(time->data(), qsizetype(time->size()));
}

}  // namespace corvane::handoff
