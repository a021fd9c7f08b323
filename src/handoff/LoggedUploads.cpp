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

quint32 hashOf(std::string_view s) { return quint32(std::hash<std::string_view>()(s)); }

}  // namespace

void LoggedUploads::clear() {
  texts_.clear();
  entries_.clear();
  slots_.clear();
  records_ = 0;
}

size_t LoggedUploads::find(std::string_view name, quint32 hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (s.entry == 0 || (s.hash == hash && nameOf(entries_[s.entry - 1]) == name)) return i;
  }
}

void LoggedUploads::rehash(size_t slotCount) {
  const std::vector<Slot> old = std::move(slots_);
  slots_.assign(slotCount, Slot{0, 0});
  for (const Slot& s : old)
    if (s.entry != 0) slots_[find(nameOf(entries_[s.entry - 1]), s.hash)] = s;
}

void LoggedUploads::reserve(qint64 names) {
  size_t slotCount = 1024;
  while (slotCount * 7 < size_t(names) * 10) slotCount *= 2;
  if (slotCount > slots_.size()) rehash(slotCount);
  entries_.reserve(size_t(names));
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
  if ((entries_.size() + 1) * 10 > slots_.size() * 7) rehash(slots_.empty() ? 1024 : slots_.size() * 2);
  const quint32 hash = hashOf(fileName);
  const size_t slot = find(fileName, hash);
  if (slots_[slot].entry != 0) return;  // the first record of a name counts
  entries_.push_back({texts_.append({fileName, uploadTime}), quint32(fileName.size()), quint32(uploadTime.size())});
  slots_[slot] = Slot{hash, quint32(entries_.size())};
}

std::optional<QString> LoggedUploads::uploadTimeOf(const QString& fileName) const {
  if (slots_.empty()) return std::nullopt;
  const QByteArray utf8 = fileName.toUtf8();
  const std::string_view name(utf8.constData(), size_t(utf8.size()));
  const Slot& s = slots_[find(name, hashOf(name))];
  if (s.entry == 0) return std::nullopt;
  const Entry& e = entries_[s.entry - 1];
  const std::string_view time = texts_.view(e.at + e.nameLength, e.timeLength);
  return QString::fromUtf8(time.data(), qsizetype(time.size()));
}

}  // namespace corvane::handoff
