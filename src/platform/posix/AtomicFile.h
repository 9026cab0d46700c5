#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::posix {

// Creates the folder and its missing parents (mode 0700 for the ones it makes); false when
// that fails or something that is not a folder stands in the way.
bool makeFolders(const std::string& path);

// What tells one state of a file on disk from the next: any write changes the size or the
// modification time, and a replacement brings a new inode.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the file `path` names, links followed; nothing when it does not exist. Other
// failures throw std::system_error.
std::optional<FileStamp> stampOf(const std::string& path);

struct FileRead {
  enum class Outcome {
    Read,
    TooLarge,        // above the size asked for: nothing was read
    NotRegularFile,  // a folder, a named pipe, a device...: nothing was read
  };
  Outcome outcome = Outcome::Read;
  FileStamp stamp;
  std::string content;
};

// A file read whole, links followed, if it is a regular file of at most `maxBytes`. The open
// never waits: a named pipe or a device in the file's place is only looked at. Nothing when
// the file does not exist; failures to open or read throw std::system_error.
std::optional<FileRead> readRegularFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);

// The content of the regular file, or nothing when it does not exist. Other failures, and
// anything that is not a regular file, throw std::system_error.
std::optional<std::string> readWholeFile(const std::string& path);

// What replaceFileAtomically does with a symbolic link standing at `path`.
enum class AtLink {
  Replace,       // the link is replaced by the new file
  WriteThrough,  // a link of the user's own is followed and the file it points to replaced in
                 // its own folder; the link stays a link
};

// The file a write through links at `path` replaces: `path` itself unless it is a symbolic
// link owned by the user, in which case the link is followed (again while the next one is the
// user's own too). A link to a missing file gives that missing file; a loop gives `path`.
std::string writeTarget(const std::string& path);

// Replaces the file so that any reader, and the disk after a crash, sees either the old content
// or the new one, never a mix. The content goes to a new temporary file in the target's folder
// (see base/TemporaryName.h): created exclusively, never through a link nor over an existing
// file, mode 0600 and not inherited by programs this process starts; it is flushed to the
// disk, given `mode`, renamed over the target, and the folder is flushed so the rename itself
// lasts. Returns the stamp of the new file. On failure the temporary file is removed, the
// target is untouched and std::system_error is thrown.
FileStamp replaceFileAtomically(const std::string& path, std::string_view content, mode_t mode,
                                AtLink atLink = AtLink::Replace);

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
