#include "platform/posix/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "base/TemporaryName.h"

namespace platform::posix {

namespace {

// A name clash with an existing file is only possible by chance or by someone planting files;
// a few fresh names settle it either way.
constexpr int kNameAttempts = 100;
// Links followed in a row before a chain counts as a loop, as the kernel counts them.
constexpr int kMaxLinkHops = 40;

[[noreturn]] void fail(const std::string& what, int error) {
  throw std::system_error(error, std::generic_category(), what);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the close's own error, which on some file systems is where a
  // failed delayed write shows up.
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

void writeAll(int fd, std::string_view content, const std::string& path) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      fail("write " + path, errno);
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
}

FileStamp stampFrom(const struct stat& info) {
  return FileStamp{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                   static_cast<std::int64_t>(info.st_size),
                   static_cast<std::int64_t>(info.st_mtim.tv_sec),
                   static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

std::optional<std::string> linkContent(const std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length <= 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool makeFolders(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::string parent = folderOf(path);
  if (parent != path && parent != "." && !makeFolders(parent)) return false;
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  // Another process may have made it in the meantime.
  return errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<FileStamp> stampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return std::nullopt;
    fail("stat " + path, errno);
  }
  return stampFrom(info);
}

std::optional<FileRead> readRegularFile(const std::string& path, std::size_t maxBytes) {
  Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    fail("open " + path, errno);
  }
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) fail("fstat " + path, errno);
  FileRead result;
  result.stamp = stampFrom(info);
  if (!S_ISREG(info.st_mode)) {
    result.outcome = FileRead::Outcome::NotRegularFile;
    return result;
  }
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) {
    result.outcome = FileRead::Outcome::TooLarge;
    return result;
  }
  result.content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      fail("read " + path, errno);
    }
    if (count == 0) break;
    // The file may grow while it is read.
    if (result.content.size() + static_cast<std::size_t>(count) > maxBytes) {
      result.outcome = FileRead::Outcome::TooLarge;
      result.content.clear();
      return result;
    }
    result.content.append(buffer, static_cast<std::size_t>(count));
  }
  return result;
}

std::optional<std::string> readWholeFile(const std::string& path) {
  std::optional<FileRead> file = readRegularFile(path);
  if (!file) return std::nullopt;
  if (file->outcome != FileRead::Outcome::Read) fail("not a regular file: " + path, EINVAL);
  return std::move(file->content);
}

std::string writeTarget(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    // Someone else's link, in a folder others may write to, is not followed.
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) ||
        info.st_uid != ::geteuid())
      return current;
    const std::optional<std::string> target = linkContent(current);
    if (!target) return current;
    current = (*target)[0] == '/' ? *target : folderOf(current) + "/" + *target;
  }
  return path;
}

void syncFolder(const std::string& folder) {
  Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) fail("open " + folder, errno);
  if (::fsync(dir.get()) != 0) fail("fsync " + folder, errno);
}

FileStamp replaceFileAtomically(const std::string& path, std::string_view content, mode_t mode,
                                AtLink atLink) {
  const std::string target = atLink == AtLink::WriteThrough ? writeTarget(path) : path;
  const std::string folder = folderOf(target);
  const std::string name = target.substr(target.rfind('/') + 1);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
    temp = folder + "/" + temporaryNameFor(name, static_cast<long>(::getpid()));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) fail("create " + temp, errno);

  Descriptor file(fd);
  FileStamp stamp;
  try {
    writeAll(file.get(), content, temp);
    if (mode != 0600 && ::fchmod(file.get(), mode) != 0) fail("fchmod " + temp, errno);
    if (::fsync(file.get()) != 0) fail("fsync " + temp, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) fail("fstat " + temp, errno);
    stamp = stampFrom(info);
    if (file.close() != 0) fail("close " + temp, errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) fail("rename " + temp, errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  // The new content is in place; a failure to flush the folder only weakens what survives a
  // power cut, so it is not reported as a failed write.
  try {
    syncFolder(folder);
  } catch (const std::system_error&) {
  }
  return stamp;
}

FileLock::FileLock(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
  if (fd_ < 0) fail("open " + path, errno);
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd_);
    fail("flock " + path, error);
  }
}

FileLock::~FileLock() { ::close(fd_); }

}  // namespace platform::posix
