#pragma once

#include <string>

namespace platform::posix {

// The user's base folders as the freedesktop base-directory rules give them. Folders never end
// in a slash.
struct XdgDirs {
  std::string home;
  std::string configHome;  // $XDG_CONFIG_HOME, else ~/.config
  std::string dataHome;    // $XDG_DATA_HOME, else ~/.local/share
  std::string cacheHome;   // $XDG_CACHE_HOME, else ~/.cache

  // Read from the environment now: $HOME (else the password database), then the XDG
  // variables; a variable that is unset, empty or not an absolute path counts as unset.
  static XdgDirs fromEnvironment();

  // XDG_PICTURES_DIR from configHome/user-dirs.dirs with $HOME expanded, else ~/Pictures.
  std::string picturesDir() const;
};

// The content of an absolute-path environment variable, or empty text.
std::string absoluteEnvironmentPath(const char* variable);

}  // namespace platform::posix
