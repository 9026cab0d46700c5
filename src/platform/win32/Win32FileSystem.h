#pragma once

#include "platform/FileSystem.h"

namespace platform::win32 {

// Folder listings through FindFirstFileA/FindNextFileA: every kind of entry, hidden and
// system ones included. A folder's identity is its volume serial number and file index, so a
// junction that leads back up the tree is recognised.
class Win32FileSystem : public FileSystem {
 public:
  std::optional<FolderListing> listFolder(const std::string& path) override;
  bool folderExists(const std::string& path) override;
};

}  // namespace platform::win32
