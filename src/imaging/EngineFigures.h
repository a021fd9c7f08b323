#pragma once
// The engine's figures as the window shows them: byte counts from the status record's halves,
// the "###,###,###" and "###.0" texts, and the uploaded share of the image folder.
#include <QString>
#include <optional>

#include "snapshot/snapshot.h"

namespace corvane::imaging {

// High * 2^32 + low, the low word taken unsigned.
qint64 byteCount(int32_t high, int32_t low);
inline qint64 bytesRead(const SShStatusInfo& s) { return byteCount(s.BytesReadHigh, s.BytesReadLow); }
inline qint64 bytesWritten(const SShStatusInfo& s) { return byteCount(s.BytesWrittenHigh, s.BytesWrittenLow); }

// Whole number, thousands grouped with commas, no leading zeros: 0 gives "", 1234567 "1,234,567".
QString formatBytes(qint64 bytes);
// One decimal, no leading zero: 0.5 gives ".5", 0 ".0", 12.34 "12.3", 100 "100.0".
QString formatPercent(double percent);

// The uploaded share, in percent rounded to the nearest whole number (halves to the even one),
// of the image files; nothing when none waits for upload.
std::optional<int> uploadedPercent(qint64 waiting, qint64 uploaded);

}  // namespace corvane::imaging
