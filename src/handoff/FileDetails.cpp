#include "handoff/FileDetails.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <pugixml.hpp>

#include "handoff/ServiceDates.h"

namespace corvane::handoff {

QString decimalText(double value) {
  if (!std::isfinite(value)) return QStringLiteral("0");
  if (value == 0) value = 0;  // no "-0"
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (r.ec != std::errc()) return QStringLiteral("0");
  return QString::fromLatin1(buf, int(r.ptr - buf));
}

pugi::xml_node ClsFileAttributes::ReturnFileNode(pugi::xml_node parent) const {
  pugi::xml_node e = parent.append_child("FileDetails");
  auto add = [&](const char* name, const QString& text) {
    e.append_child(name).text().set(text.toUtf8().constData());
  };
  add("FileName", FileName);
  add("FileFolderName", FileFolder);
  add("FileModifiedDate", FileModifiedDate);
  add("FileSize", decimalText(FileSize));
  add("FileType", FileType);
  add("FilePriority", decimalText(FilePriority));
  add("UpSuccess", IsUpSuccess);
  add("UpDTime", LastUpDateTime.isEmpty() ? QStringLiteral(" ") : LastUpDateTime);
  return e;
}

namespace {

// The value a record is ordered by; an unreadable date orders before every readable one.
long double sortValue(const ClsFileAttributes& r, short sortOnWhat) {
  // On the service's wall clock: a time that summer time skips or repeats keeps its place.
  auto dateValue = [](const QString& text) -> long double {
    const auto d = readServiceDate(QStringView(text), DateForms::Service);
    return d ? (long double)d->wallSeconds() : (long double)LLONG_MIN;
  };
  switch (sortOnWhat) {
    case ColsFiles::BySize: return r.FileSize;
    case ColsFiles::ByModifiedDate: return dateValue(r.FileModifiedDate);
    case ColsFiles::ByUploadTime: return dateValue(r.LastUpDateTime);
    default: return 0;
  }
}

bool usableKey(const QString& sKey) {
  bool ok = false;
  const double v = sKey.trimmed().toDouble(&ok);
  return !sKey.isEmpty() && ok && v != 0;
}

}  // namespace

ClsFileAttributes& ColsFiles::Add(short sortOnWhat, const QString& fileName, const QString& lastUpDateTime,
                                  const QString& isUpSuccess, double filePriority, const QString& fileType,
                                  double fileSize, const QString& fileModifiedDate, const QString& fileFolder,
                                  const QString& sKey) {
  auto record = std::make_unique<ClsFileAttributes>();
  record->FileName = fileName;
  record->LastUpDateTime = lastUpDateTime;
  record->IsUpSuccess = isUpSuccess;
  record->FilePriority = filePriority;
  record->FileType = fileType;
  record->FileSize = fileSize;
  record->FileModifiedDate = fileModifiedDate;
  record->FileFolder = fileFolder;

  const QString key = usableKey(sKey) ? sKey : QString();
  if (!key.isEmpty() && Item(key)) throw std::invalid_argument("This key is already associated with an element of this collection");

  auto at = items_.end();
  if (sortOnWhat == BySize || sortOnWhat == ByModifiedDate || sortOnWhat == ByUploadTime) {
    const long double own = sortValue(*record, sortOnWhat);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (sortValue(*it->record, sortOnWhat) >= own) {
        at = it;
        break;
      }
    }
  }
  at = items_.insert(at, Entry{key, std::move(record)});
  return *at->record;
}

ClsFileAttributes* ColsFiles::Item(int index) {
  if (index < 1 || index > Count()) return nullptr;
  return items_[size_t(index - 1)].record.get();
}

ClsFileAttributes* ColsFiles::Item(const QString& key) {
  if (key.isEmpty()) return nullptr;
  for (Entry& e : items_)
    if (e.key.compare(key, Qt::CaseInsensitive) == 0) return e.record.get();
  return nullptr;
}

bool ColsFiles::Remove(int index) {
  if (index < 1 || index > Count()) return false;
  items_.erase(items_.begin() + (index - 1));
  return true;
}

bool ColsFiles::Remove(const QString& key) {
  if (key.isEmpty()) return false;
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (it->key.compare(key, Qt::CaseInsensitive) == 0) {
      items_.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace corvane::handoff
