#pragma once
// The extended attributes of an entry as a restore puts them back: those of the user, trusted
// and security namespaces (file capabilities are security.capability), and the POSIX ACLs,
// which the file system keeps as the attributes system.posix_acl_access and
// system.posix_acl_default and an image carries as ACLs.
#include <string>
#include <utility>
#include <vector>

namespace corvane::snapshot {

struct EntryAttributes {
  std::vector<std::pair<std::string, std::string>> xattrs;  // sorted by name, ACLs not among them
  std::string accessAcl, defaultAcl;                         // as the file system keeps them; empty: none

  bool empty() const { return xattrs.empty() && accessAcl.empty() && defaultAcl.empty(); }
  // What the hash list keeps of them: 16 hex digits, empty when there is nothing.
  std::string digest() const;
};

// Reads the attributes of the open file fd, or (fd < 0) of name inside the folder dirFd,
// without following a link and without opening the entry (fifos and devices are never
// opened; without /proc folders and files are, and other entries get no attributes). False
// when the entry is gone; a file system without extended attributes gives none. Throws
// kSourceUnreadable when they cannot be read.
bool readEntryAttributes(int fd, int dirFd, const char* name, const std::string& path, EntryAttributes* out);

// One entry of a POSIX ACL as the file system keeps it.
struct AclEntry {
  unsigned tag;   // 0x01 owner, 0x02 user, 0x04 owning group, 0x08 group, 0x10 mask, 0x20 other
  unsigned perm;  // 4 read, 2 write, 1 execute
  unsigned id;    // user or group id for 0x02 and 0x08
};
// False when the value is not an ACL of the one version Linux writes.
bool parsePosixAcl(const std::string& value, std::vector<AclEntry>* out);

}  // namespace corvane::snapshot
