#pragma once
#include <QString>

namespace corvane::store {
class DBConnection;
}

namespace corvane::selection {

// Image files (jpeg, gif, bmp, jpg, any case) below this many bytes are the small images.
inline constexpr qint64 kSmallImageLimit = 20480;

// Marks (filtered = 1) or unmarks (0) every small image file in every folder of the File
// table; larger files are not touched. Bounded retry when busy; throws store::DBError. The
// second form works through a connection the caller holds (inside its transaction).
void DBUpdateSmallImageFiles(const QString& filesDb, int filtered);
void DBUpdateSmallImageFiles(store::DBConnection& db, int filtered);

}  // namespace corvane::selection
