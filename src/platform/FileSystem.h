#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One entry of a folder listing. Symbolic links are resolved: a link to a folder is a folder,
// a link to a file is a file, a dangling link is neither.
struct FolderEntry {
  enum class Kind { File, Folder, Other };
  std::string name;
  Kind kind = Kind::Other;
};

struct FolderListing {
  // Identity of the folder itself (device and inode), the same whatever path reached it.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::vector<FolderEntry> entries;  // in the order the file system gives them, without . and ..
};

// Reads folder listings; opens no file.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The listing, or nothing when the folder cannot be opened or read.
  virtual std::optional<FolderListing> listFolder(const std::string& path) = 0;
  virtual bool folderExists(const std::string& path) = 0;
};

}  // namespace platform
