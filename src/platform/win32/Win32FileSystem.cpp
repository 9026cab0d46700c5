#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

namespace platform::win32 {

namespace {

std::string WithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/') ? path : path + '\\';
}

// Volume and file index of a folder; false when it cannot be opened.
bool FolderIdentity(const std::string& path, std::uint64_t& volume, std::uint64_t& index) {
  HANDLE folder = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(folder, &info) != 0;
  CloseHandle(folder);
  if (!known) return false;
  volume = info.dwVolumeSerialNumber;
  index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

std::optional<FolderListing> Win32FileSystem::listFolder(const std::string& path) {
  FolderListing listing;
  if (!FolderIdentity(WithSeparator(path), listing.device, listing.inode)) return std::nullopt;
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA((WithSeparator(path) + "*.*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) {
    // An empty folder still lists "." and ".."; anything else is a failure.
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return listing;
    return std::nullopt;
  }
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    const bool folder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    listing.entries.push_back({name, folder ? FolderEntry::Kind::Folder : FolderEntry::Kind::File});
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return listing;
}

bool Win32FileSystem::folderExists(const std::string& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace platform::win32
