#include "status/LogTable.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <unordered_set>

#include "handoff/ServiceDates.h"
#include "handoff/Utf8.h"

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

// Appends the text (UTF-8) case-folded, as bytes whose order is the order of a case-insensitive
// comparison of the texts shown: UTF-16 code unit by code unit, which puts the characters
// beyond U+FFFF (surrogate pairs) between U+D7FF and U+E000. Bytes that are no UTF-8 count as
// the replacement character they are shown as.
void foldCase(std::string_view text, std::string& out) {
  bool ascii = true;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    const size_t at = out.size();
    out.append(text);
    for (size_t i = at; i < out.size(); ++i)
      if (out[i] >= 'A' && out[i] <= 'Z') out[i] = char(out[i] + ('a' - 'A'));
    return;
  }
  for (char32_t ch : QString::fromUtf8(text.data(), qsizetype(text.size())).toUcs4()) {
    ch = QChar::toCaseFolded(ch);
    if (ch >= 0x10000) ch = ch - 0x10000 + 0xD800;  // the surrogates' place
    else if (ch >= 0xE000) ch = ch - 0xE000 + 0x10D800;  // after them
    handoff::appendUtf8(out, ch);
  }
}

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
  ranks_.clear();
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
      break;  // wider texts compare as texts
    }
    default: break;
  }
  sortByText(order, column, descending);
}

void LogTable::sortByText(std::vector<int>& order, int column, bool descending) const {
  // A counting sort over the column's ranks: stable, and linear in the number of rows.
  const std::vector<quint32>& rank = textRanks(column);
  const quint32 distinct = rank.empty() ? 0 : *std::max_element(rank.begin(), rank.end()) + 1;
  std::vector<quint32> next(size_t(distinct) + 1, 0);
  const auto keyOf = [&](int r) { return descending ? distinct - 1 - rank[size_t(r)] : rank[size_t(r)]; };
  for (const int r : order) ++next[keyOf(r) + 1];
  for (size_t k = 1; k < next.size(); ++k) next[k] += next[k - 1];
  std::vector<int> sorted(order.size());
  for (const int r : order) sorted[next[keyOf(r)]++] = r;
  order = std::move(sorted);
}

std::string_view LogTable::sortText(int row, int column, std::string& scratch) const {
  const Row& r = rows_[size_t(row)];
  switch (column) {
    case FileName: return piece(r, PName);
    case FilePath: return piece(r, PFolder);
    case FileType: return piece(r, PType);
    case ModifiedDate: return piece(r, PModified);
    case UploadDate: return piece(r, PUploaded);
    default: {  // the sizes, and their key once some size is wider than ten digits
      const QByteArray t = text(row, column).toUtf8();
      scratch.assign(t.constData(), size_t(t.size()));
      return scratch;
    }
  }
}

// Texts compare as a case-insensitive comparison of the texts shown does. Each distinct text is
// folded once (foldCase: plain byte order then gives that order) and sorted mostly by its first
// sixteen bytes taken as two numbers; equal neighbours then share a rank. A column that repeats
// its texts (folders, types) has each of them folded and sorted once, found again by the hash of
// the text as stored. The ranks stay with the table: a second click on the column sorts at once.
const std::vector<quint32>& LogTable::textRanks(int column) const {
  if (const auto it = ranks_.find(column); it != ranks_.end()) return it->second;
  const size_t n = rows_.size();

  struct Keyed {
    quint64 head[2];  // the first sixteen bytes, big-endian, zero-padded (texts hold no NUL)
    quint64 at;       // in `folded`
    quint32 length;
    quint32 id;       // the row, or the distinct text
  };
  std::string folded;
  std::vector<std::pair<quint64, quint32>> spans;  // of each folded text (a row's, or a distinct one)
  std::string scratch;
  const auto fold = [&](std::string_view text) {
    const size_t at = folded.size();
    foldCase(text, folded);
    spans.emplace_back(at, quint32(folded.size() - at));
  };

  // Whether the texts repeat: folders and types always do (a real log's 200,000 folders are
  // too many for the first rows to tell), other columns are judged on their first rows.
  bool repeats = column == FilePath || column == FileType;
  if (!repeats) {
    const size_t sample = std::min<size_t>(n, 65536);
    std::string texts;  // the sampled texts one after another
    std::vector<std::pair<size_t, size_t>> sampled;
    for (size_t r = 0; r < sample; ++r) {
      const std::string_view t = sortText(int(r), column, scratch);
      sampled.emplace_back(texts.size(), t.size());
      texts.append(t);
    }
    std::unordered_set<std::string_view> seen;
    for (const auto& [at, length] : sampled) seen.insert(std::string_view(texts).substr(at, length));
    repeats = seen.size() * 2 < sample;
  }

  std::vector<quint32> idOf;  // of each row, when the texts repeat
  if (repeats) {
    idOf.resize(n);
    std::string stored;  // each distinct text as stored, one after another
    std::vector<std::pair<quint64, quint32>> storedSpan;  // by id
    // Sized by the distinct texts, which may be few: a small table stays in the cache.
    std::vector<std::pair<quint32, quint32>> byHash(1024, {0, 0});  // hash, id + 1
    const auto grow = [&] {
      std::vector<std::pair<quint32, quint32>> bigger(byHash.size() * 2, {0, 0});
      const size_t mask = bigger.size() - 1;
      for (const auto& slot : byHash) {
        if (slot.second == 0) continue;
        size_t i = slot.first & mask;
        while (bigger[i].second != 0) i = (i + 1) & mask;
        bigger[i] = slot;
      }
      byHash = std::move(bigger);
    };
    for (size_t r = 0; r < n; ++r) {
      const std::string_view text = sortText(int(r), column, scratch);
      const quint32 hash = quint32(std::hash<std::string_view>()(text));
      if ((spans.size() + 1) * 2 > byHash.size()) grow();
      const size_t slotCount = byHash.size();
      for (size_t i = hash & (slotCount - 1);; i = (i + 1) & (slotCount - 1)) {
        if (byHash[i].second == 0) {
          const quint32 id = quint32(spans.size());
          storedSpan.emplace_back(stored.size(), quint32(text.size()));
          stored.append(text);
          fold(text);
          byHash[i] = {hash, id + 1};
          idOf[r] = id;
          break;
        }
        const auto [at, length] = storedSpan[byHash[i].second - 1];
        if (byHash[i].first == hash && std::string_view(stored).substr(at, length) == text) {
          idOf[r] = byHash[i].second - 1;
          break;
        }
      }
    }
  } else {
    folded.reserve(n * 24);
    spans.reserve(n);
    for (size_t r = 0; r < n; ++r) fold(sortText(int(r), column, scratch));
  }
  const std::string_view all(folded);
  std::vector<Keyed> keyed(spans.size());  // each folded text with its id, its place in spans
  for (size_t id = 0; id < spans.size(); ++id) {
    Keyed& k = keyed[id];
    k = Keyed{{0, 0}, spans[id].first, spans[id].second, quint32(id)};
    for (size_t b = 0; b < 16; ++b)
      k.head[b / 8] = (k.head[b / 8] << 8) | (b < k.length ? static_cast<unsigned char>(all[k.at + b]) : 0u);
  }

  const auto less = [&](const Keyed& a, const Keyed& b) {
    if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
    if (a.length <= 16 || b.length <= 16) return a.length < b.length;
    return all.substr(a.at + 16, a.length - 16) < all.substr(b.at + 16, b.length - 16);
  };
  std::sort(keyed.begin(), keyed.end(), less);
  std::vector<quint32> rankOfId(keyed.size());
  quint32 current = 0;
  for (size_t k = 0; k < keyed.size(); ++k) {
    if (k > 0 && less(keyed[k - 1], keyed[k])) ++current;
    rankOfId[keyed[k].id] = current;
  }
  std::vector<quint32>& rank = ranks_[column];
  if (repeats) {
    rank.resize(n);
    for (size_t r = 0; r < n; ++r) rank[r] = rankOfId[idOf[r]];
  } else {
    rank = std::move(rankOfId);
  }
  return rank;
}

}  // namespace corvane::status
