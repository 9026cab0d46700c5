#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/Registry.h"
#include "platform/posix/XdgDirs.h"

namespace platform::posix {

// HKEY_CURRENT_USER kept in a registry export file, configHome/verrelune/registry.reg.
//
// The parsed file is kept in memory, and every openKey and every read checks the file's stamp
// (inode, size, modification time to the nanosecond): a second instance of the program
// (started under another file name) shares the file, and the user may edit it, so a changed
// file is read again. Every write is a read-modify-write under an exclusive lock on
// registry.reg.lock beside the file and replaces the file atomically, so concurrent writers
// never lose each other's values and a crash never leaves half a file. A line of the file that
// cannot be read costs only itself (one line on stderr says so); a file that is not a registry
// file at all, is larger than kMaxFileBytes or is not a regular file is moved aside under a name
// of its own with the date (registry.reg.corrupt-20261209-172810.123456789; the five newest
// are kept), with one line on stderr, and the settings start again from their defaults. A
// settings file or autostart entry that is a symbolic link of the user's (a
// dotfiles folder) is written through: the file it points to is replaced, in its own folder.
//
// Two keys are not kept in the file:
// - SOFTWARE\Microsoft\Windows\CurrentVersion\Run is the autostart folder configHome/autostart
//   (it opens when that folder exists or can be made); its value "Verrelune" is the desktop
//   entry verrelune.desktop there. Other values of the key live in the file.
// - ...\Explorer\Shell Folders answers "AppData" (dataHome) and "My Pictures" (the pictures
//   folder of user-dirs.dirs) and cannot be written.
class FileRegistry : public Registry {
 public:
  explicit FileRegistry(XdgDirs dirs = XdgDirs::fromEnvironment());
  ~FileRegistry() override;

  std::unique_ptr<RegistryKey> openKey(const std::string& path, bool create) override;

  const std::string& filePath() const;

  // A settings file is read when it, and the file the program would write from it, are both
  // at most this size; otherwise it is kept aside like an unreadable one. The program never
  // writes a larger file (such a write fails), so whatever it reads it can write, and whatever
  // it writes it reads again. Any registry file of up to a quarter of this size (1 MiB) is read,
  // whatever its form: the written form is at most RegistryDocument::kSerializedGrowth times
  // larger.
  static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

  struct Store;

 private:
  std::shared_ptr<Store> store_;
};

}  // namespace platform::posix
