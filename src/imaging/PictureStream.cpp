#include "imaging/PictureStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

}  // namespace

void WithPictureFile(const std::string& path, const std::function<void(TPictureStream&)>& read) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) ThrowOpenError(path, errno);
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size >= 0) {
      if (static_cast<std::uint64_t>(size) > kMaxPictureFileBytes) ThrowTooBig(path);
      std::rewind(file.get());
      TPictureStream stream(file.get(), static_cast<std::uint64_t>(size));
      read(stream);
      return;
    }
  }
  // Not seekable (a pipe): read it all, up to the limit, and read from memory.
  std::clearerr(file.get());
  auto contents = std::make_shared<std::vector<std::uint8_t>>();
  std::vector<std::uint8_t> block(1 << 16);
  std::size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
    contents->insert(contents->end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
    if (contents->size() > kMaxPictureFileBytes) ThrowTooBig(path);
  }
  if (std::ferror(file.get())) ThrowOpenError(path, errno ? errno : EIO);
  TPictureStream stream(*contents, contents);
  read(stream);
}
