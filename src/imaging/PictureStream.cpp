#include "imaging/PictureStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "imaging/Limits.h"

std::size_t TPictureStream::Read(std::span<std::uint8_t> target) {
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(target.size(), Remaining()));
  if (count == 0) return 0;
  std::size_t got = count;
  if (file_) {
    if (filePosition_ != position_ && std::fseek(file_, static_cast<long>(position_), SEEK_SET) != 0) return 0;
    // A file that shrank while being read gives fewer bytes; the rest is simply not there.
    got = std::fread(target.data(), 1, count, file_);
    filePosition_ = position_ + got;
  } else {
    std::memcpy(target.data(), data_.data() + position_, count);
  }
  position_ += got;
  return got;
}

void TPictureStream::ReadExact(std::span<std::uint8_t> target) {
  const std::uint64_t start = position_;
  if (Remaining() < target.size() || Read(target) != target.size()) {
    position_ = start;
    throw EReadError();
  }
}

std::span<const std::uint8_t> TPictureStream::ReadView(std::uint64_t count) {
  const auto wanted = static_cast<std::size_t>(std::min(count, Remaining()));
  if (!file_) {
    std::span<const std::uint8_t> view;
    if (wanted > 0) view = data_.subspan(static_cast<std::size_t>(position_), wanted);
    position_ += wanted;
    return view;
  }
  viewBuffer_.resize(wanted);
  viewBuffer_.resize(Read(viewBuffer_));
  return viewBuffer_;
}

std::pair<std::span<const std::uint8_t>, std::shared_ptr<const void>> TPictureStream::ReadShared(std::uint64_t count) {
  if (!file_ && owner_) return {ReadView(count), owner_};
  const auto wanted = static_cast<std::size_t>(std::min(count, Remaining()));
  auto buffer = std::make_shared_for_overwrite<std::uint8_t[]>(wanted);
  const std::size_t got = Read({buffer.get(), wanted});
  return {{buffer.get(), got}, buffer};
}

std::uint8_t TPictureStream::ReadU8() {
  std::uint8_t b[1];
  ReadExact(b);
  return b[0];
}

std::uint16_t TPictureStream::ReadU16LE() {
  std::uint8_t b[2];
  ReadExact(b);
  return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t TPictureStream::ReadU32LE() {
  std::uint8_t b[4];
  ReadExact(b);
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
         std::uint32_t{b[3]} << 24;
}

std::uint16_t TPictureStream::ReadU16BE() {
  std::uint8_t b[2];
  ReadExact(b);
  return static_cast<std::uint16_t>(b[0] << 8 | b[1]);
}

std::uint32_t TPictureStream::ReadU32BE() {
  std::uint8_t b[4];
  ReadExact(b);
  return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
         std::uint32_t{b[3]};
}

namespace {

[[noreturn]] void ThrowOpenError(const std::string& path, int error) {
  throw EFOpenError("Impossible d'ouvrir le fichier " + path + " (" + std::strerror(error) + ")");
}

[[noreturn]] void ThrowTooBig(const std::string& path) {
  throw EFOpenError("Fichier image trop grand : " + path);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

#if defined(_WIN32)
std::FILE* OpenPictureFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) ThrowOpenError(path, errno);
  return file;
}
#else
// Only regular files are pictures. The file is opened without blocking, so that a named pipe
// or a device put in a picture's place cannot hold the program up, and judged on the opened
// descriptor, so that it cannot be swapped between the check and the read.
std::FILE* OpenPictureFile(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (descriptor < 0) ThrowOpenError(path, errno);
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    const int error = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    ::close(descriptor);
    throw EFOpenError("Impossible d'ouvrir le fichier " + path + " (" + std::strerror(error) +
                      (error == EINVAL ? ": pas un fichier ordinaire)" : ")"));
  }
  ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(descriptor, "rb");
  if (!file) {
    const int error = errno;
    ::close(descriptor);
    ThrowOpenError(path, error);
  }
  return file;
}
#endif

}  // namespace

void WithPictureFile(const std::string& path, const std::function<void(TPictureStream&)>& read) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenPictureFile(path));
  if (std::fseek(file.get(), 0, SEEK_END) != 0) ThrowOpenError(path, errno);
  const long size = std::ftell(file.get());
  if (size < 0) ThrowOpenError(path, errno);
  if (static_cast<std::uint64_t>(size) > kMaxPictureFileBytes) ThrowTooBig(path);
  std::rewind(file.get());
  TPictureStream stream(file.get(), static_cast<std::uint64_t>(size));
  read(stream);
}
