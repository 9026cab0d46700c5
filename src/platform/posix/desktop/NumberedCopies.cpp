#include "platform/posix/desktop/NumberedCopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <set>
#include <system_error>
#include <vector>

#include "platform/posix/AtomicFile.h"
#include "platform/posix/desktop/Picture.h"

namespace platform::posix {

namespace {

constexpr std::string_view kPrefix = "Verrelune-";
constexpr std::string_view kSuffix = ".png";

// The number in a numbered copy's name; nothing for any other name, the lettered ones included.
std::optional<std::uint64_t> numberOf(std::string_view name) {
  if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) ||
      !name.ends_with(kSuffix))
    return std::nullopt;
  const std::string_view digits =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  if (digits[0] == '0') return std::nullopt;
  std::uint64_t number = 0;
  const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (failure != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return number;
}

bool isLetteredName(std::string_view name) {
  return name == "Verrelune-a.png" || name == "Verrelune-b.png";
}

bool newer(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

class Listing {
 public:
  explicit Listing(const std::string& folder) : dir_(::opendir(folder.c_str())) {}
  ~Listing() {
    if (dir_ != nullptr) ::closedir(dir_);
  }
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

// A copy in the folder that is a regular file of the user's own: one we may remove.
struct OwnCopy {
  std::string name;
  std::optional<std::uint64_t> number;
  struct timespec modified;
};

// The copy the desktop was last pointed at, as the folder tells it after a start: the
// highest-numbered copy, unless an earlier version's lettered copy was written after it.
std::string newestOf(const std::vector<OwnCopy>& copies) {
  const OwnCopy* numbered = nullptr;
  const OwnCopy* lettered = nullptr;
  for (const OwnCopy& copy : copies) {
    if (copy.number) {
      if (numbered == nullptr || *copy.number > *numbered->number) numbered = &copy;
    } else if (lettered == nullptr || newer(copy.modified, lettered->modified)) {
      lettered = &copy;
    }
  }
  if (lettered != nullptr && (numbered == nullptr || newer(lettered->modified, numbered->modified)))
    return lettered->name;
  return numbered != nullptr ? numbered->name : std::string();
}

}  // namespace

bool isPictureCopyName(std::string_view name) {
  return numberOf(name).has_value() || isLetteredName(name);
}

std::optional<std::string> NumberedCopies::publish(const std::string& bmpPath, std::string& error) {
  const std::optional<RgbPicture> picture = loadBitmap(bmpPath, error);
  if (!picture) return std::nullopt;
  const std::string folder = folderOf(bmpPath);
  const bool known = folder == lastFolder_;

  Listing listing(folder);
  if (listing.get() == nullptr) {
    error = "cannot list " + folder + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const int folderFd = ::dirfd(listing.get());
  // Every number in use, whatever stands under the name, so that nothing is written over.
  std::set<std::uint64_t> numbers;
  std::vector<OwnCopy> own;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string_view name = entry->d_name;
    if (!isPictureCopyName(name)) continue;
    const std::optional<std::uint64_t> number = numberOf(name);
    if (number) numbers.insert(*number);
    struct stat info {};
    if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
      own.push_back({std::string(name), number, info.st_mtim});
  }

  const std::string shown = known ? lastName_ : newestOf(own);
  for (const OwnCopy& copy : own) {
    if (copy.name != shown) ::unlinkat(folderFd, copy.name.c_str(), 0);
  }

  // One above every number the folder holds and this object has given (a copy removed by
  // someone else may still be cached by the desktop); from the lowest free one only if the
  // numbers ran out.
  std::uint64_t highest = known ? lastNumber_ : 0;
  if (!numbers.empty()) highest = std::max(highest, *numbers.rbegin());
  std::uint64_t next = highest + 1;
  if (next == 0) {
    next = 1;
    while (numbers.contains(next)) ++next;
  }
  const std::string name = std::string(kPrefix) + std::to_string(next) + std::string(kSuffix);
  const std::string path = folder + "/" + name;
  try {
    replaceFileAtomically(path, encodePng(*picture), 0644);
  } catch (const std::system_error& failure) {
    error = failure.what();
    return std::nullopt;
  }
  lastFolder_ = folder;
  lastName_ = name;
  lastNumber_ = next;
  return path;
}

}  // namespace platform::posix
