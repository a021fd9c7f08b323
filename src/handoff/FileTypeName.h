#pragma once
#include <QString>

namespace corvane::handoff {

// What the desktop calls the kind of a file ("plain text document"), from the shared MIME
// database: by content and name when the file exists, by its name alone otherwise. A name the
// database does not know reads "<EXT> File" ("File" without extension). At most 80 characters.
// A Windows-form path goes through the drive map first.
QString GetFileTypeName(const QString& path);

}  // namespace corvane::handoff
