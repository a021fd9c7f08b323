#include "support/WriteFaults.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <csignal>

#include "platform/WholeFile.h"

namespace corvane::test {

namespace {
QByteArray fillerPath(const QString& disk) { return QFile::encodeName(disk + "/.filler"); }
}  // namespace

SmallDisk::SmallDisk(qint64 bytes) {
  path_ = dir_.path() + "/disk";
  ::mkdir(QFile::encodeName(path_).constData(), 0755);
  if (::geteuid() != 0) {
    whyNot = "mounting a tmpfs needs root";
    return;
  }
  const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
  if (::mount("tmpfs", QFile::encodeName(path_).constData(), "tmpfs", 0, options.constData()) != 0) {
    whyNot = "no tmpfs can be mounted here";
    return;
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_) ::umount2(QFile::encodeName(path_).constData(), MNT_DETACH);
}

void SmallDisk::fill(qint64 room) {
  const int fd = ::open(fillerPath(path_).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  static const QByteArray chunk(64 * 1024, 'f');
  // Large pieces first, then smaller ones for the last pages' rest.
  for (qsizetype size = chunk.size(); size > 0;) {
    if (::write(fd, chunk.constData(), size_t(size)) < 0) {
      if (errno != ENOSPC) break;
      size /= 16;
    }
  }
  if (room > 0) {
    struct stat st {};
    if (::fstat(fd, &st) == 0) ::ftruncate(fd, st.st_size > room ? st.st_size - room : 0);
  }
  ::close(fd);
}

void SmallDisk::empty() { ::unlink(fillerPath(path_).constData()); }

WithoutFileRights::WithoutFileRights() {
  if (::geteuid() != 0) return;  // a user has no such right to give up
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  effective_[0] = data[0].effective;
  effective_[1] = data[1].effective;
  for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) data[cap / 32].effective &= ~(1u << (cap % 32));
  dropped_ = ::syscall(SYS_capset, &header, data) == 0;
}

WithoutFileRights::~WithoutFileRights() {
  if (!dropped_) return;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return;
  data[0].effective = effective_[0];
  data[1].effective = effective_[1];
  ::syscall(SYS_capset, &header, data);
}

bool killedBeforeNaming(const QString& pathEnd, const std::function<void()>& work) {
  int reached[2], hold[2];
  if (::pipe(reached) != 0) return false;
  if (::pipe(hold) != 0) return false;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(reached[0]);
    ::close(hold[1]);
    platform::setBeforeNamingHook([&](const QString& path) {
      if (!path.endsWith(pathEnd)) return;
      const char c = 'x';
      if (::write(reached[1], &c, 1) == 1) {
        char never;
        while (::read(hold[0], &never, 1) != 0) {}  // until the kill
      }
    });
    work();
    ::_exit(0);
  }
  ::close(reached[1]);
  ::close(hold[0]);
  char c = 0;
  const bool atTheMoment = child > 0 && ::read(reached[0], &c, 1) == 1;
  if (child > 0) {
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
  }
  ::close(reached[0]);
  ::close(hold[1]);
  return atTheMoment;
}

}  // namespace corvane::test
