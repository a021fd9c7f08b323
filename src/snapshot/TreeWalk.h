#pragma once
// The walk of one source drive: every folder, file, link, fifo and device below its root, in
// the hash list's order (names sorted byte-wise, a folder before its contents), never crossing
// into another mount and never following a link. Sockets are left out.
#include <sys/stat.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace corvane::snapshot {

class Control;

struct WalkItem {
  int dirFd;                       // the folder holding the entry (the root: its own descriptor)
  const char* name;                // name within dirFd ("." for the root)
  const std::string& archivePath;  // "C/Users/a.txt"; valid during the visit only
  struct stat st;
};

struct WalkRules {
  std::string drive;                                  // "C:"
  std::vector<std::string> excludes;                  // --exclude: patterns
  std::set<std::pair<dev_t, ino_t>> skipped;          // folders and files never imaged
  Control* control = nullptr;                         // consulted while long folders are listed
};

class WalkVisitor {
 public:
  virtual ~WalkVisitor() = default;
  virtual void visit(const WalkItem& item) = 0;
  // A folder just visited is walked now: its own descriptor, open until leaveFolder. Not
  // called for folders that are not walked (mount points, folders gone meanwhile).
  virtual void enterFolder(int fd, const std::string& archivePath) = 0;
  // Everything below the folder has been visited; fd is still open.
  virtual void leaveFolder(int fd, const std::string& archivePath) = 0;
  // The walk leaves out the entry at archivePath and everything below it on purpose (an
  // exclusion, a folder or file never imaged, what a mount hides): it is there, only not
  // looked at. For a mount point the folder itself has been visited, and only what lies below
  // it is left out.
  virtual void leftOut(const std::string& archivePath) = 0;
};

// Calls the visitor for each entry. A folder or entry that cannot be read fails the walk with
// kSourceUnreadable, and so does a path longer than a hash list carries (kMaxImagePath); one
// that vanished while walking is passed over. The visitor may throw.
void walkDrive(const std::string& nativeRoot, const WalkRules& rules, WalkVisitor& visitor);

}  // namespace corvane::snapshot
