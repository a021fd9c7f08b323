#pragma once
#include <QDateTime>
#include <QString>

namespace corvane::handoff {

// Reads a date text that the background service writes into its XML files. Such texts are
// month first ("12/8/2026 10:45:12 PM", "12/08/2026 22:45:12", "12/8/2026"); the stored form
// "yyyy-MM-dd HH:mm:ss" is accepted too. Invalid when no form fits.
QDateTime parseServiceDate(const QString& text);

}  // namespace corvane::handoff
