#pragma once

#include <optional>
#include <string>

namespace platform::posix {

// The guard that lets one instance run per program file name: an exclusive flock on
// <runtime folder>/<name>.lock, held until the object is destroyed or the process ends.
// Programs this process starts do not inherit it.
class InstanceLock {
 public:
  // Nothing when another process holds the lock. When the lock file cannot be made at all the
  // guard cannot work; the program then runs unguarded (the result holds no lock) rather than
  // refusing to start, and a line on stderr says so.
  static std::optional<InstanceLock> tryAcquire(const std::string& programFileName);

  // Where the lock of that program file name lives (and the command socket beside it); empty
  // when there is no private folder for it.
  static std::string lockPath(const std::string& programFileName);
  // $XDG_RUNTIME_DIR; without it a private folder of the user's: $TMPDIR/verrelune-<uid> (or
  // /tmp/...), else $XDG_CACHE_HOME/verrelune. Empty when neither can be made private.
  static std::string runtimeFolder();

  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  bool held() const { return fd_ >= 0; }

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

// The running program's full path as the system reports it.
std::string runningProgramPath();
// The last component of a path: "/opt/verrelune/verrelune" gives "verrelune".
std::string fileNameOf(const std::string& path);

}  // namespace platform::posix
