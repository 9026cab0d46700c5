#include "platform/posix/XdgDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <vector>

namespace platform::posix {

namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string homeFromPasswordDatabase() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir)
    return found->pw_dir;
  return "/";
}

// One line of user-dirs.dirs: XDG_PICTURES_DIR="$HOME/Pictures" (a shell assignment of a
// double-quoted word in which only $HOME is expanded and a backslash quotes the next byte).
std::optional<std::string> parseUserDirLine(const std::string& line, const std::string& variable,
                                            const std::string& home) {
  std::size_t pos = line.find_first_not_of(" \t");
  if (pos == std::string::npos || line[pos] == '#') return std::nullopt;
  if (line.compare(pos, variable.size(), variable) != 0) return std::nullopt;
  pos += variable.size();
  if (pos >= line.size() || line[pos] != '=') return std::nullopt;
  ++pos;
  if (pos >= line.size() || line[pos] != '"') return std::nullopt;
  ++pos;
  std::string value;
  bool closed = false;
  for (; pos < line.size(); ++pos) {
    const char c = line[pos];
    if (c == '\\' && pos + 1 < line.size()) {
      value += line[++pos];
    } else if (c == '"') {
      closed = true;
      break;
    } else {
      value += c;
    }
  }
  if (!closed) return std::nullopt;
  for (const std::string prefix : {"$HOME", "${HOME}"}) {
    if (value.compare(0, prefix.size(), prefix) == 0 &&
        (value.size() == prefix.size() || value[prefix.size()] == '/')) {
      value = home + value.substr(prefix.size());
      break;
    }
  }
  // Anything else than an absolute path is not a usable folder.
  if (value.empty() || value[0] != '/') return std::nullopt;
  return withoutTrailingSlashes(value);
}

}  // namespace

std::string absoluteEnvironmentPath(const char* variable) {
  const char* value = std::getenv(variable);
  if (value == nullptr || value[0] != '/') return {};
  return withoutTrailingSlashes(value);
}

XdgDirs XdgDirs::fromEnvironment() {
  XdgDirs dirs;
  dirs.home = absoluteEnvironmentPath("HOME");
  if (dirs.home.empty()) dirs.home = withoutTrailingSlashes(homeFromPasswordDatabase());
  const std::string base = dirs.home == "/" ? "" : dirs.home;
  dirs.configHome = absoluteEnvironmentPath("XDG_CONFIG_HOME");
  if (dirs.configHome.empty()) dirs.configHome = base + "/.config";
  dirs.dataHome = absoluteEnvironmentPath("XDG_DATA_HOME");
  if (dirs.dataHome.empty()) dirs.dataHome = base + "/.local/share";
  dirs.cacheHome = absoluteEnvironmentPath("XDG_CACHE_HOME");
  if (dirs.cacheHome.empty()) dirs.cacheHome = base + "/.cache";
  return dirs;
}

std::string XdgDirs::picturesDir() const {
  std::optional<std::string> found;
  std::ifstream file(configHome + "/user-dirs.dirs");
  std::string line;
  while (std::getline(file, line)) {
    // The last assignment wins, as it would in the shell.
    if (auto value = parseUserDirLine(line, "XDG_PICTURES_DIR", home)) found = std::move(value);
  }
  if (found) return *found;
  return (home == "/" ? "" : home) + "/Pictures";
}

}  // namespace platform::posix
