#include "handoff/LoggedUploads.h"

#include <QByteArray>
#include <functional>

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
  texts_.clear();
  entries_.clear();
  slots_.clear();
  records_ = 0;
}

qint64 LoggedUploads::find(std::string_view name, size_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const quint32 s = slots_[i];
    if (s == 0 || nameOf(entries_[s - 1]) == name) return qint64(i);
  }
}

void LoggedUploads::grow() {
  std::vector<quint32> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
  for (const quint32 s : old)
    if (s != 0) slots_[size_t(find(nameOf(entries_[s - 1]), std::hash<std::string_view>()(nameOf(entries_[s - 1]))))] = s;
}

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
  if ((entries_.size() + 1) * 10 > slots_.size() * 7) grow();
  const size_t slot = size_t(find(fileName, std::hash<std::string_view>()(fileName)));
  if (slots_[slot] != 0) return;  // the first record of a name counts
  entries_.push_back({texts_.append({fileName, uploadTime}), quint32(fileName.size()), quint32(uploadTime.size())});
  slots_[slot] = quint32(entries_.size());
}

std::optional<QString> LoggedUploads::uploadTimeOf(const QString& fileName) const {
  if (slots_.empty()) return std::nullopt;
  const QByteArray utf8 = fileName.toUtf8();
  const std::string_view name(utf8.constData(), size_t(utf8.size()));
  const quint32 s = slots_[size_t(find(name, std::hash<std::string_view>()(name)))];
  if (s == 0) return std::nullopt;
  const Entry& e = entries_[s - 1];
  const std::string_view time = texts_.view(e.at + e.nameLength, e.timeLength);
  return QString::fromUtf8(time.data(), qsizetype(time.size()));
}

}  // namespace corvane::handoff
