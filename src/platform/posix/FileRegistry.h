#pragma once

#include <memory>
#include <string>

#include "platform/Registry.h"
#include "platform/posix/XdgDirs.h"

namespace platform::posix {

// HKEY_CURRENT_USER kept in a registry export file, configHome/verrelune/registry.reg.
//
// Nothing is cached: every openKey and every read looks at the file afresh, since a second
// instance of the program (started under another file name) shares it. Every write is a
// read-modify-write under an exclusive lock on registry.reg.lock beside the file and replaces
// the file atomically, so concurrent writers never lose each other's values and a crash never
// leaves half a file. A line of the file that cannot be read costs only itself (one line on
// stderr says so); a file that is not a registry file at all is moved aside as
// registry.reg.corrupt, with one line on stderr, and the settings start again from their
// defaults.
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

  struct Store;

 private:
  std::shared_ptr<Store> store_;
};

}  // namespace platform::posix
