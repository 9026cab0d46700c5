#include "platform/posix/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix/XdgDirs.h"

namespace platform::posix {

namespace {

// A folder of the user's own: made with mode 0700 when missing, and taken only when it is a
// real folder (not a link), owned by the user, that nobody else may enter. In a shared /tmp
// another user may have made the name first, to catch the lock and the commands.
bool privateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::getuid())
    return false;
  return (status.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

}  // namespace

std::string InstanceLock::runtimeFolder() {
  const std::string runtime = absoluteEnvironmentPath("XDG_RUNTIME_DIR");
  if (!runtime.empty()) return runtime;
  std::string temporary = absoluteEnvironmentPath("TMPDIR");
  if (temporary.empty()) temporary = "/tmp";
  const std::string shared = temporary + "/verrelune-" + std::to_string(::getuid());
  if (privateFolder(shared)) return shared;
  // That name is someone else's: the user's cache folder is the user's alone.
  std::string cache = absoluteEnvironmentPath("XDG_CACHE_HOME");
  if (cache.empty()) cache = XdgDirs::fromEnvironment().home + "/.cache";
  ::mkdir(cache.c_str(), 0700);
  const std::string own = cache + "/verrelune";
  return privateFolder(own) ? own : std::string();
}

std::string InstanceLock::lockPath(const std::string& programFileName) {
  const std::string folder = runtimeFolder();
  return folder.empty() ? std::string() : folder + "/" + programFileName + ".lock";
}

std::optional<InstanceLock> InstanceLock::tryAcquire(const std::string& programFileName) {
  const std::string path = lockPath(programFileName);
  if (path.empty()) {
    std::fprintf(stderr, "verrelune: no private folder for the instance lock; running unguarded.\n");
    return InstanceLock(-1);
  }
  // O_NOFOLLOW: in a shared /tmp another user could plant a link in the lock's place.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "verrelune: cannot open the instance lock %s (%s); running unguarded.\n",
                 path.c_str(), std::strerror(errno));
    return InstanceLock(-1);
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return std::nullopt;
    std::fprintf(stderr, "verrelune: cannot lock %s (%s); running unguarded.\n", path.c_str(),
                 std::strerror(error));
    return InstanceLock(-1);
  }
  return InstanceLock(fd);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

InstanceLock::~InstanceLock() {
  // Closing the only descriptor releases the flock; the file stays for the next start.
  if (fd_ >= 0) ::close(fd_);
}

std::string runningProgramPath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace platform::posix
