#pragma once
// One file copied the way cp and rsync do it: the data goes to a new file in the target's
// folder (platform::WholeFileWriter), which takes the source's modification time and
// permissions and is then put in the target's place. The target is therefore either the old
// file or the whole new one, whatever happens, and a read-only target is replaced like any
// other. The new file has no name while it is written (where the file system allows it), so
// even a program that is killed part-way leaves nothing behind. Nothing is synced here: the
// caller syncs the destination once when its whole walk is done.
#include <sys/stat.h>

#include <QByteArray>
#include <QString>
#include <functional>

#include "platform/WholeFile.h"

namespace corvane::filecopy {

enum class CopyResult {
  Copied,
  Failed,
  Interrupted,
  Changed,  // the source was written to while it was read; the target is untouched
};

// How far the data of one file goes between two calls of the keep-going check (a large file
// lets the window paint and can be stopped part-way).
constexpr qint64 kCopyChunkBytes = 32 * 1024 * 1024;

// Copies the entry `name` of the folder srcDir (an open folder descriptor; a link to a file is
// followed) onto the entry of the same name in dstDir. Anything that is not a regular file
// (pipe, socket, device) fails without being opened: opening a device can act on it.
// keepGoing, when set, is asked between chunks; false ends the copy as Interrupted with the
// target untouched. On Failed, error says why. `copied` receives the source's details as read
// at the copy.
CopyResult copyEntry(int srcDir, const QByteArray& name, int dstDir, const std::function<bool()>& keepGoing,
                     QString* error, struct stat* copied = nullptr);

// The system's text for an errno value, as the copy's failures give it.
QString errnoText(int e);

// The permission bits a copy keeps, special bits included: set-user-ID and set-group-ID only
// where the copy has the source's owner and group.
mode_t keptMode(const struct stat& source, const struct stat& copy);

using platform::setUnnamedTemporaries;

}  // namespace corvane::filecopy
