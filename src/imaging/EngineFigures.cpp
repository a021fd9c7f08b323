#include "imaging/EngineFigures.h"

#include <cmath>

namespace corvane::imaging {

qint64 byteCount(int32_t high, int32_t low) {
  return qint64(high) * (qint64(1) << 32) + qint64(quint32(low));
}

QString formatBytes(qint64 bytes) {
  if (bytes == 0) return QString();
  QString digits = QString::number(bytes < 0 ? -bytes : bytes);
  for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, QLatin1Char(','));
  return bytes < 0 ? QLatin1Char('-') + digits : digits;
}

QString formatPercent(double percent) {
  const double tenths = std::round(std::fabs(percent) * 10.0);  // halves away from zero
  const qint64 whole = qint64(tenths) / 10;
  const int decimal = int(qint64(tenths) % 10);
  QString text = (whole == 0 ? QString() : QString::number(whole)) + QLatin1Char('.') + QString::number(decimal);
  return percent < 0 && tenths > 0 ? QLatin1Char('-') + text : text;
}

std::optional<int> uploadedPercent(qint64 waiting, qint64 uploaded) {
  if (waiting <= 0) return std::nullopt;
  const double share = double(uploaded) / double(uploaded + waiting) * 100.0;
  return int(std::nearbyint(share));  // the default rounding mode: halves to the even one
}

}  // namespace corvane::imaging
