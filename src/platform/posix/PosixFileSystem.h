#pragma once

#include "platform/FileSystem.h"

namespace platform::posix {

class PosixFileSystem : public FileSystem {
 public:
  std::optional<FolderListing> listFolder(const std::string& path) override;
  bool folderExists(const std::string& path) override;
};

}  // namespace platform::posix
