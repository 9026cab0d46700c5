#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace platform::posix {

namespace {

struct FermerDossier {
  void operator()(DIR* d) const { ::closedir(d); }
};

FolderEntry::Kind KindOf(int dirFd, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG:
      return FolderEntry::Kind::File;
    case DT_DIR:
      return FolderEntry::Kind::Folder;
    case DT_LNK:
    case DT_UNKNOWN:
      break;
    default:
      return FolderEntry::Kind::Other;
  }
  // Links and file systems that do not give the type: ask for the target's type, which
  // opens nothing.
  struct stat st {};
  if (::fstatat(dirFd, entry.d_name, &st, 0) != 0) return FolderEntry::Kind::Other;
  if (S_ISDIR(st.st_mode)) return FolderEntry::Kind::Folder;
  if (S_ISREG(st.st_mode)) return FolderEntry::Kind::File;
  return FolderEntry::Kind::Other;
}

}  // namespace

std::optional<FolderListing> PosixFileSystem::listFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::unique_ptr<DIR, FermerDossier> dossier(::fdopendir(fd));
  if (!dossier) {
    ::close(fd);
    return std::nullopt;
  }
  FolderListing listing;
  struct stat st {};
  if (::fstat(fd, &st) == 0) {
    listing.device = st.st_dev;
    listing.inode = st.st_ino;
  }
  while (const dirent* entry = ::readdir(dossier.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    listing.entries.push_back({entry->d_name, KindOf(fd, *entry)});
  }
  return listing;
}

bool PosixFileSystem::folderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform::posix
