#include "platform/posix/FileRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <vector>
#include <mutex>
#include <system_error>

#include "platform/posix/AtomicFile.h"
#include "platform/posix/AutostartEntry.h"
#include "platform/posix/RegistryFile.h"

namespace platform::posix {

namespace {

constexpr const char* kAutostartValue = "Verrelune";
// Unreadable settings files kept aside: enough to find an older one again, not so many that a
// file broken at every start fills the folder.
constexpr std::size_t kKeptAside = 5;

// Moves the unreadable file `target` aside under a name of its own, with the date to the
// nanosecond (registry.reg.corrupt-20261209-172810.123456789, so the names sort in the order
// the files were kept), and removes the oldest of those beyond the newest kKeptAside, so that
// a second unreadable file never takes the place of the first. The name, or empty when the
// file could not be moved.
std::string keepAside(const std::string& target) {
  const std::string folder = folderOf(target);
  const std::string prefix = target.substr(target.rfind('/') + 1) + ".corrupt";
  std::string aside;
  for (int attempt = 0; attempt < 100 && aside.empty(); ++attempt) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    char date[48] = "";
    if (localtime_r(&now.tv_sec, &local)) {
      const std::size_t length = std::strftime(date, sizeof date, "-%Y%m%d-%H%M%S", &local);
      std::snprintf(date + length, sizeof date - length, ".%09ld", static_cast<long>(now.tv_nsec));
    }
    const std::string name = folder + "/" + prefix + date;
    if (::renameat2(AT_FDCWD, target.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
      aside = name;
    } else if (errno == EINVAL || errno == ENOSYS) {
      // A file system without the exclusive rename: the lock keeps other writers away.
      struct stat info {};
      if (::lstat(name.c_str(), &info) != 0 && errno == ENOENT &&
          std::rename(target.c_str(), name.c_str()) == 0)
        aside = name;
    } else if (errno != EEXIST) {
      return {};
    }
  }
  if (aside.empty()) return {};

  // The names sort by date, the copy kept under the fixed name of older versions first.
  std::vector<std::string> kept;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) == 0 &&
        (name.size() == prefix.size() || name[prefix.size()] == '-'))
      kept.push_back(name);
  }
  std::sort(kept.begin(), kept.end());
  for (std::size_t i = 0; i + kKeptAside < kept.size(); ++i) {
    const std::string old = folder + "/" + kept[i];
    struct stat info {};
    if (::lstat(old.c_str(), &info) == 0 && info.st_uid == ::geteuid() && !S_ISDIR(info.st_mode))
      ::unlink(old.c_str());
  }
  try {
    syncFolder(folder);
  } catch (const std::system_error&) {
  }
  return aside;
}

}  // namespace

struct FileRegistry::Store {
  explicit Store(XdgDirs xdg)
      : dirs(std::move(xdg)),
        folder(dirs.configHome + "/verrelune"),
        file(folder + "/registry.reg"),
        lockFile(file + ".lock"),
        autostartFolder(dirs.configHome + "/autostart"),
        autostartFile(autostartFolder + "/verrelune.desktop") {}

  using Document = std::shared_ptr<const RegistryDocument>;

  // The file as it is now; an empty document when there is no file yet, nothing when it
  // cannot be read. The file is read and parsed again only when its stamp changed. `locked`
  // tells that the caller already holds the write lock.
  Document load(bool locked) const {
    std::optional<FileStamp> stamp;
    try {
      stamp = stampOf(file);
    } catch (const std::system_error&) {
      return nullptr;
    }
    if (Document known = cached(stamp)) return known;
    if (!stamp) return remember(stamp, RegistryDocument{});

    std::optional<FileRead> read;
    try {
      read = readRegularFile(file, kMaxFileBytes);
    } catch (const std::system_error&) {
      return nullptr;
    }
    if (!read) return remember(std::nullopt, RegistryDocument{});
    bool tooLarge = read->outcome == FileRead::Outcome::TooLarge;
    if (read->outcome == FileRead::Outcome::Read) {
      if (auto document = RegistryDocument::parse(read->content)) {
        // A file the program could not write back would make every change fail.
        tooLarge = document->serialize().size() > kMaxFileBytes;
        if (!tooLarge) {
          if (document->ignoredLines() > 0) reportIgnoredLines(document->ignoredLines());
          return remember(read->stamp, std::move(*document));
        }
      }
    }
    if (!locked) {
      // Look again under the lock: a writer may have replaced the file meanwhile, and only one
      // process should move it aside.
      try {
        FileLock lock(lockFile);
        return load(true);
      } catch (const std::system_error&) {
        reportUnreadable(false, tooLarge, {});
        return std::make_shared<const RegistryDocument>();
      }
    }
    // A settings file kept elsewhere through a link is kept aside there; the link then
    // leads to the file the next write makes.
    const std::string target = writeTarget(file);
    const std::string aside = keepAside(target);
    const bool movedAside = !aside.empty();
    reportUnreadable(movedAside, tooLarge, aside);
    return movedAside ? remember(std::nullopt, RegistryDocument{})
                      : std::make_shared<const RegistryDocument>();
  }

  Document cached(const std::optional<FileStamp>& stamp) const {
    std::lock_guard<std::mutex> guard(cacheMutex);
    return cachedDocument && cachedStamp == stamp ? cachedDocument : nullptr;
  }

  Document remember(const std::optional<FileStamp>& stamp, RegistryDocument document) const {
    auto shared = std::make_shared<const RegistryDocument>(std::move(document));
    std::lock_guard<std::mutex> guard(cacheMutex);
    cachedStamp = stamp;
    cachedDocument = shared;
    return shared;
  }

  void reportUnreadable(bool movedAside, bool tooLarge, const std::string& aside) const {
    const std::string why =
        tooLarge ? "is larger than " + std::to_string(kMaxFileBytes / 1024 / 1024) + " MiB"
                 : "could not be read";
    if (movedAside) {
      std::fprintf(stderr,
                   "verrelune: the settings file %s %s; it was kept as %s and the settings start "
                   "again from their defaults.\n",
                   file.c_str(), why.c_str(), aside.c_str());
      return;
    }
    // The file stays where it is, so every later read would find it again: say it once.
    static bool said = false;
    if (said) return;
    said = true;
    std::fprintf(stderr,
                 "verrelune: the settings file %s %s and could not be moved aside; the settings "
                 "start from their defaults.\n",
                 file.c_str(), why.c_str());
  }

  // The next write leaves those lines out for good; say it once.
  void reportIgnoredLines(std::size_t count) const {
    static bool said = false;
    if (said) return;
    said = true;
    std::fprintf(stderr,
                 "verrelune: %zu line(s) of the settings file %s could not be read; the other "
                 "settings are kept and those lines are left out.\n",
                 count, file.c_str());
  }

  // Read-modify-write of the file under the lock; any failure throws
  // ERegistryException(valueName) and leaves the file as it was. A change that would make the
  // file too large to be read again fails the same way.
  void update(const std::string& valueName,
              const std::function<void(RegistryDocument&)>& change) const {
    if (!isStorableName(valueName) || !makeFolders(folder)) throw ERegistryException(valueName);
    try {
      FileLock lock(lockFile);
      const Document current = load(true);
      if (!current) throw ERegistryException(valueName);
      RegistryDocument document = *current;
      change(document);
      const std::string text = document.serialize();
      if (text.size() > kMaxFileBytes) throw ERegistryException(valueName);
      const FileStamp written = replaceFileAtomically(file, text, 0600, AtLink::WriteThrough);
      remember(written, std::move(document));
    } catch (const std::system_error&) {
      throw ERegistryException(valueName);
    }
  }

  const StoredValue* findIn(const Document& document, const std::string& path,
                            const std::string& name) const {
    return document ? document->find(path, name) : nullptr;
  }

  XdgDirs dirs;
  std::string folder;
  std::string file;
  std::string lockFile;
  std::string autostartFolder;
  std::string autostartFile;

  // The last document read or written, and the stamp of the file it came from or went to.
  mutable std::mutex cacheMutex;
  mutable std::optional<FileStamp> cachedStamp;
  mutable Document cachedDocument;
};

namespace {

using Store = FileRegistry::Store;

// A key kept in the registry file.
class FileKey : public RegistryKey {
 public:
  FileKey(std::shared_ptr<const Store> store, std::string path)
      : store_(std::move(store)), path_(std::move(path)) {}

  std::optional<std::string> readText(const std::string& name) override {
    const auto document = store_->load(false);
    const StoredValue* value = store_->findIn(document, path_, name);
    if (value == nullptr || value->type != StoredValue::Type::Text) return std::nullopt;
    return value->text;
  }

  std::optional<std::uint32_t> readDword(const std::string& name) override {
    const auto document = store_->load(false);
    const StoredValue* value = store_->findIn(document, path_, name);
    if (value == nullptr || value->type != StoredValue::Type::Dword) return std::nullopt;
    return value->dword;
  }

  void writeText(const std::string& name, const std::string& text) override {
    StoredValue value;
    value.text = text;
    write(name, std::move(value));
  }

  void writeDword(const std::string& name, std::uint32_t number) override {
    StoredValue value;
    value.type = StoredValue::Type::Dword;
    value.dword = number;
    write(name, std::move(value));
  }

 private:
  void write(const std::string& name, StoredValue value) {
    store_->update(name, [&](RegistryDocument& document) {
      document.set(path_, name, std::move(value));
    });
  }

  std::shared_ptr<const Store> store_;
  std::string path_;
};

// The Run key: its "Verrelune" value is the autostart desktop entry.
class AutostartKey : public RegistryKey {
 public:
  explicit AutostartKey(std::shared_ptr<const Store> store)
      : store_(store), others_(std::move(store), kCleDemarrage) {}

  std::optional<std::string> readText(const std::string& name) override {
    if (!sameRegistryName(name, kAutostartValue)) return others_.readText(name);
    try {
      const auto entry = readWholeFile(store_->autostartFile);
      if (!entry) return std::nullopt;
      return commandLineOfAutostartEntry(*entry);
    } catch (const std::system_error&) {
      return std::nullopt;
    }
  }

  std::optional<std::uint32_t> readDword(const std::string& name) override {
    if (!sameRegistryName(name, kAutostartValue)) return others_.readDword(name);
    return std::nullopt;
  }

  void writeText(const std::string& name, const std::string& commandLine) override {
    if (!sameRegistryName(name, kAutostartValue)) return others_.writeText(name, commandLine);
    if (!makeFolders(store_->autostartFolder)) throw ERegistryException(name);
    try {
      replaceFileAtomically(store_->autostartFile, autostartEntryFor(commandLine), 0644,
                            AtLink::WriteThrough);
    } catch (const std::system_error&) {
      throw ERegistryException(name);
    }
  }

  // An autostart entry is a command line; a number cannot stand for one.
  void writeDword(const std::string& name, std::uint32_t number) override {
    if (!sameRegistryName(name, kAutostartValue)) return others_.writeDword(name, number);
    throw ERegistryException(name);
  }

 private:
  std::shared_ptr<const Store> store_;
  FileKey others_;
};

// The Shell Folders key, answered from the XDG folders; it cannot be written.
class ShellFoldersKey : public RegistryKey {
 public:
  explicit ShellFoldersKey(XdgDirs dirs) : dirs_(std::move(dirs)) {}

  std::optional<std::string> readText(const std::string& name) override {
    if (sameRegistryName(name, "AppData")) return dirs_.dataHome;
    if (sameRegistryName(name, "My Pictures")) return dirs_.picturesDir();
    return std::nullopt;
  }

  std::optional<std::uint32_t> readDword(const std::string&) override { return std::nullopt; }

  void writeText(const std::string& name, const std::string&) override {
    throw ERegistryException(name);
  }

  void writeDword(const std::string& name, std::uint32_t) override {
    throw ERegistryException(name);
  }

 private:
  XdgDirs dirs_;
};

}  // namespace

FileRegistry::FileRegistry(XdgDirs dirs) : store_(std::make_shared<Store>(std::move(dirs))) {}

FileRegistry::~FileRegistry() = default;

const std::string& FileRegistry::filePath() const { return store_->file; }

std::unique_ptr<RegistryKey> FileRegistry::openKey(const std::string& path, bool create) {
  if (!isStorableName(path)) return nullptr;
  if (sameRegistryName(path, kCleDemarrage)) {
    if (!makeFolders(store_->autostartFolder)) return nullptr;
    return std::make_unique<AutostartKey>(store_);
  }
  if (sameRegistryName(path, kCleDossiersShell)) return std::make_unique<ShellFoldersKey>(store_->dirs);

  const auto document = store_->load(false);
  if (!document) return nullptr;
  if (!document->hasKey(path)) {
    if (!create) return nullptr;
    try {
      store_->update("", [&](RegistryDocument& latest) { latest.obtainKey(path); });
    } catch (const ERegistryException&) {
      return nullptr;
    }
  }
  return std::make_unique<FileKey>(store_, path);
}

}  // namespace platform::posix
