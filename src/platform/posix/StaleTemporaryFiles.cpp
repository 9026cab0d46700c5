#include "platform/posix/StaleTemporaryFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <functional>
#include <optional>
#include <string_view>

#include "base/TemporaryName.h"
#include "platform/posix/AtomicFile.h"
#include "platform/posix/desktop/NumberedCopies.h"

namespace platform::posix {

namespace {

// No write of the program takes anywhere near this long.
constexpr std::time_t kStaleAfterSeconds = 60;

enum class Writer { Unknown, Running, Gone };

using TargetTest = std::function<bool(std::string_view)>;

std::string dataFolder(const XdgDirs& dirs) { return dirs.dataHome + "/Verrelune"; }

bool isRandomPart(std::string_view text) {
  return text.size() == kTemporaryNameRandomChars &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

Writer writerOf(pid_t pid) {
  if (pid <= 0) return Writer::Unknown;
  // EPERM: the process exists but belongs to someone else.
  return ::kill(pid, 0) == 0 || errno == EPERM ? Writer::Running : Writer::Gone;
}

// Whether `entry` is a temporary name the program makes for a target whose name passes
// `isTarget`, and what is known of its writer.
std::optional<Writer> temporaryOf(std::string_view entry, const TargetTest& isTarget) {
  constexpr std::string_view kTmp = ".tmp";
  // "<target>.tmp", the fixed name of older versions.
  if (entry.ends_with(kTmp) && isTarget(entry.substr(0, entry.size() - kTmp.size())))
    return Writer::Unknown;
  // ".<target>.tmp-<rest>": the rest holds no dot, so the target ends at the last ".tmp".
  const std::size_t at = entry.rfind(kTmp);
  if (at == std::string_view::npos || at < 2) return std::nullopt;
  const std::string_view target = entry.substr(1, at - 1);
  const std::string prefix = temporaryNamePrefix(target);
  if (!entry.starts_with(prefix) || !isTarget(target)) return std::nullopt;
  const std::string_view rest = entry.substr(prefix.size());
  if (isRandomPart(rest)) return Writer::Unknown;
  const std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos || !isRandomPart(rest.substr(dash + 1))) return std::nullopt;
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + dash, pid);
  if (error != std::errc() || end != rest.data() + dash) return std::nullopt;
  return writerOf(pid);
}

void removeStaleIn(const std::string& folder, const TargetTest& isTarget, std::time_t now) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return;
  const int folderFd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const std::optional<Writer> writer = temporaryOf(entry->d_name, isTarget);
    if (!writer) continue;
    struct stat info {};
    if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
      continue;
    if (*writer == Writer::Gone || now - info.st_mtim.tv_sec > kStaleAfterSeconds)
      ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(listing);
}

}  // namespace

std::vector<std::string> filesReplacedByTheProgram(const XdgDirs& dirs) {
  const std::string data = dataFolder(dirs) + "/";
  // The settings file and the autostart entry are written where the user's links lead.
  // The thumbnail cache's files are replaced when it is compacted or when its names hold
  // something it must not write.
  const std::string cache = dirs.cacheHome + "/verrelune/";
  return {writeTarget(dirs.configHome + "/verrelune/registry.reg"),
          writeTarget(dirs.configHome + "/autostart/verrelune.desktop"), data + "Verrelune.bmp",
          cache + "thumbnails.data", cache + "thumbnails.index", cache + "thumbnails.lock"};
}

void removeStaleTemporaryFilesOf(const std::vector<std::string>& targets) {
  const std::time_t now = std::time(nullptr);
  for (const std::string& target : targets) {
    const std::string name = target.substr(target.rfind('/') + 1);
    removeStaleIn(folderOf(target), [&name](std::string_view entry) { return entry == name; }, now);
  }
}

void removeStaleTemporaryFiles(const XdgDirs& dirs) {
  removeStaleTemporaryFilesOf(filesReplacedByTheProgram(dirs));
  removeStaleIn(dataFolder(dirs), isPictureCopyName, std::time(nullptr));
}

}  // namespace platform::posix
