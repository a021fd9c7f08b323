#include "snapshot/EngineProcess.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "snapshot/StatusBlock.h"

namespace corvane::snapshot {

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The executable's file name: from the exe link (a rebuilt binary reads "name (deleted)"),
// else the kernel's short command name.
std::string executableName(const std::string& procDir) {
  char buf[4096];
  const ssize_t n = readlink((procDir + "/exe").c_str(), buf, sizeof buf - 1);
  if (n > 0) {
    std::string exe(buf, static_cast<size_t>(n));
    static const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
      exe.resize(exe.size() - deleted.size());
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
  }
  std::ifstream comm(procDir + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// The folder a path names with its links resolved; empty when it does not exist.
std::string realFolder(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) ? std::string(buf) : std::string();
}

// The pid holding the folder's status file while an engine holds it; 0 otherwise.
int statusOwner(const std::string& folder) {
  const StatusFile file = StatusFile::open(statusFilePathIn(folder));
  StatusBlock block{};
  if (!file.valid() || !file.ownerAlive() || !file.read(&block)) return 0;
  return block.pid;
}

}  // namespace

bool isEngineProcessName(const char* name) {
  if (!name) return false;
  const std::string n(name);
  return equalsIgnoringCase(n, "snapshot") || equalsIgnoringCase(n, "snapshot.exe");
}

std::vector<int> engineProcessIds(const char* procRoot) {
  std::vector<int> out;
  DIR* d = opendir(procRoot);
  if (!d) return out;
  const uid_t me = getuid();
  const int self = static_cast<int>(getpid());
  while (dirent* e = readdir(d)) {
    char* end = nullptr;
    const long pid = std::strtol(e->d_name, &end, 10);
    if (pid <= 0 || *end != '\0' || pid == self) continue;
    const std::string dir = std::string(procRoot) + "/" + e->d_name;
    struct stat st {};
    // A process directory belongs to the process's user.
    if (stat(dir.c_str(), &st) != 0 || st.st_uid != me) continue;
    if (isEngineProcessName(executableName(dir).c_str())) out.push_back(static_cast<int>(pid));
  }
  closedir(d);
  return out;
}

std::vector<int> folderEngineProcessIds(const char* procRoot, const std::string& appFolder) {
  std::vector<int> out;
  const std::string folder = realFolder(appFolder);
  if (folder.empty()) return out;
  const int owner = statusOwner(folder);
  for (int pid : engineProcessIds(procRoot)) {
    const std::string workingFolder = realFolder(std::string(procRoot) + "/" + std::to_string(pid) + "/cwd");
    if (pid == owner || workingFolder == folder) out.push_back(pid);
  }
  return out;
}

int endEngineProcesses(const std::string& appFolder) {
  int ended = 0;
  for (int pid : folderEngineProcessIds("/proc", appFolder))
    if (kill(pid, SIGTERM) == 0) ++ended;
  return ended;
}

}  // namespace corvane::snapshot
