#include "status/LogTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "handoff/ServiceDates.h"

namespace corvane::status {

namespace {

constexpr qint64 kTenDigits = 10'000'000'000;

qint64 dateKey(std::string_view text) {
  const auto d = handoff::readServiceDate(text, handoff::DateForms::Log);
  return d ? d->packed() : -1;
}

QString dateKeyText(qint64 packed) {
  if (packed < 0) return {};
  return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", int(packed / 10'000'000'000), int(packed / 100'000'000 % 100),
                           int(packed / 1'000'000 % 100), int(packed / 10'000 % 100), int(packed / 100 % 100),
                           int(packed % 100));
}

QString paddedKb(qint64 kb) { return QString::number(kb).rightJustified(10, '0'); }

bool isAsciiSpace(char c) { return c == ' ' || (c >= 9 && c <= 13); }

}  // namespace

qint64 sizeInKb(double bytes) {
  const double rounded = std::nearbyint(bytes / 1024.0);  // default rounding: halves to even
  if (std::isnan(rounded)) return 0;  // "nan" reads as a number, but is no size
  constexpr double kLimit = 9.2e18;  // beyond this a whole number no longer fits
  const qint64 kb = rounded >= kLimit ? std::numeric_limits<qint64>::max() : rounded <= -kLimit ? 0 : qint64(rounded);
  if (bytes != 0 && kb < 1) return 1;
  return kb;
}

QString totalSizeText(double totalBytes) {
  const double kb = totalBytes / 1024.0;
  if (kb < 1024.0) return QString::number(kb, 'f', 2) + " KB";
  return QString::number(totalBytes / 1048576.0, 'f', 2) + " MB";
}

bool readFileSize(std::string_view text, double* bytes) {
  // The service writes plain digits; they are read here without the locale's number reader.
  size_t b = 0, e = text.size();
  while (b < e && isAsciiSpace(text[b])) ++b;
  while (e > b && isAsciiSpace(text[e - 1])) --e;
  if (e > b && e - b <= 15 &&
      std::all_of(text.begin() + qsizetype(b), text.begin() + qsizetype(e), [](char c) { return c >= '0' && c <= '9'; })) {
    qint64 v = 0;
    for (size_t i = b; i < e; ++i) v = v * 10 + (text[i] - '0');
    *bytes = double(v);
    return true;
  }
  bool ok = false;
  const double v = QString::fromUtf8(text.data(), qsizetype(text.size())).trimmed().toDouble(&ok);
  // Infinity and NaN read as numbers but count as no size.
  if (!ok || !std::isfinite(v)) return false;
  *bytes = v;
  return true;
}

double LogTable::add(const Texts& t, qint64 position) {
  double bytes = 0;
  const bool sized = readFileSize(t.fileSize, &bytes);
  if (!sized) bytes = 0;

  Row row{};
  row.at = texts_.append({t.fileName, t.folder, t.fileType, t.modified, t.uploaded});
  const std::string_view pieces[kPieces] = {t.fileName, t.folder, t.fileType, t.modified, t.uploaded};
  for (int p = 0; p < kPieces; ++p) row.length[p] = quint32(pieces[p].size());
  row.position = qint32(position);
  row.kb = sizeInKb(bytes);
  row.modified = dateKey(t.modified);
  row.uploaded = dateKey(t.uploaded);
  rows_.push_back(row);
  return sized ? bytes : 0;
}

std::string_view LogTable::piece(const Row& r, int p) const {
  size_t offset = 0;
  for (int i = 0; i < p; ++i) offset += r.length[i];
  return texts_.view(r.at + offset, r.length[p]);
}

QString LogTable::pieceText(const Row& r, int p) const {
  const std::string_view s = piece(r, p);
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString LogTable::text(int row, int column) const {
  const Row& r = rows_[size_t(row)];
  switch (column) {
    case FileName: return pieceText(r, PName);
    case FilePath: return pieceText(r, PFolder);
    case FileType: return pieceText(r, PType);
    case FileSize: return QString::number(r.kb) + " KB";
    case ModifiedDate: return pieceText(r, PModified);
    case UploadDate: return pieceText(r, PUploaded);
    case FileSizeHide: return paddedKb(r.kb);
    case ModDate: return dateKeyText(r.modified);
    case TarrowDate: return dateKeyText(r.uploaded);
    default: return {};
  }
}

QString LogTable::key(int row) const {
  const Row& r = rows_[size_t(row)];
  return pieceText(r, PFolder) + '\\' + pieceText(r, PName) + QString::number(r.position);
}

LogRow LogTable::row(int row) const {
  LogRow out;
  out.key = key(row);
  for (int c = 0; c < kColumns; ++c) out.columns << text(row, c);
  return out;
}

void LogTable::sort(std::vector<int>& order, int column, bool descending) const {
  auto sortBy = [&](auto less) {
    if (descending) std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return less(b, a); });
    else std::stable_sort(order.begin(), order.end(), less);
  };
  // Number keys are copied out beside their rows first, so the sort runs over one compact
  // array instead of reaching into a row for every comparison.
  auto sortByNumber = [&](auto keyOf) {
    std::vector<std::pair<qint64, int>> keyed;
    keyed.reserve(order.size());
    for (const int r : order) keyed.emplace_back(keyOf(rows_[size_t(r)]), r);
    if (descending)
      std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return b.first < a.first; });
    else
      std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
  };
  switch (column) {
    case Blank: return;  // the same text in every row: the order stays
    case ModDate: return sortByNumber([](const Row& r) { return r.modified; });
    case TarrowDate: return sortByNumber([](const Row& r) { return r.uploaded; });
    case FileSizeHide: {
      const bool wide = std::any_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.kb >= kTenDigits; });
      if (!wide) return sortByNumber([](const Row& r) { return r.kb; });  // equal widths: digits compare as numbers
      return sortBy([&](int a, int b) { return paddedKb(rows_[size_t(a)].kb) < paddedKb(rows_[size_t(b)].kb); });
    }
    default: break;
  }
  // Texts compare letter by letter after simple case folding, as a case-insensitive string
  // comparison does; folding them once beforehand keeps the sort itself a plain comparison.
  std::vector<QString> keys(rows_.size());
  bool surrogates = false;
  for (const int r : order) {
    QString t = text(r, column);
    for (QChar& c : t) {
      if (c.isSurrogate()) surrogates = true;
      c = c.toCaseFolded();
    }
    keys[size_t(r)] = std::move(t);
  }
  if (surrogates) {  // rare: fold pairs as the comparison does
    for (const int r : order) keys[size_t(r)] = text(r, column);
    return sortBy([&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)], Qt::CaseInsensitive) < 0; });
  }
  sortBy([&](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
}

}  // namespace corvane::status
