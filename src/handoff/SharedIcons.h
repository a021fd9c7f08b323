#pragma once
// Icons that many rows of a tree or list show at once (every folder, every drive). Each is made
// once per process and handed out by reference: items that set it share one icon object, so a
// tree of 10,000 folders holds one folder icon, not 10,000 copies of its pixmaps.
#include <QIcon>

namespace corvane::handoff {

enum class SharedIcon { Folder, Drive, File };

// The icon, made on first use from the application's style. Needs a QApplication.
const QIcon& sharedIcon(SharedIcon which);

}  // namespace corvane::handoff
