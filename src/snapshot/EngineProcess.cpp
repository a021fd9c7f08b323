#include "snapshot/EngineProcess.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <string>

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

int endEngineProcesses() {
  int ended = 0;
  for (int pid : engineProcessIds("/proc"))
    if (kill(pid, SIGTERM) == 0) ++ended;
  return ended;
}

}  // namespace corvane::snapshot
