#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::posix {

// Creates the folder and its missing parents (mode 0700 for the ones it makes); false when
// that fails or something that is not a folder stands in the way.
bool makeFolders(const std::string& path);

// The whole file, or nothing when it does not exist. Other failures throw std::system_error.
std::optional<std::string> readWholeFile(const std::string& path);

// Replaces `path` so that any reader, and the disk after a crash, sees either the old content
// or the new one, never a mix. The content goes to a new temporary file in the same folder
// (see base/TemporaryName.h): created exclusively, never through a link nor over an existing
// file, mode 0600 and not inherited by programs this process starts; it is flushed to the
// disk, given `mode`, renamed over `path`, and the folder is flushed so the rename itself
// lasts. On failure the temporary file is removed, `path` is untouched and std::system_error
// is thrown.
void replaceFileAtomically(const std::string& path, std::string_view content, mode_t mode);

// Flushes a folder's entries (a rename or removal in it) to the disk.
void syncFolder(const std::string& folder);

std::string folderOf(const std::string& path);

// An exclusive flock on a lock file, held for the life of the object. The descriptor is not
// inherited by programs this process starts.
class FileLock {
 public:
  // Waits for the lock; throws std::system_error when the lock file cannot be opened.
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

}  // namespace platform::posix
