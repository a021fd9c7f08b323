#pragma once
#include <QPixmap>
#include <QString>

namespace corvane::handoff {

// The desktop's icon for a file: large (32 pixels) when size is 2, small (16 pixels)
// otherwise. A null pixmap when there is none. A Windows-form path goes through the drive map.
QPixmap GetFileIcon(const QString& path, int size);

}  // namespace corvane::handoff
