#include "imaging/PictureStream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "imaging/Limits.h"

std::size_t TPictureStream::Read(std::span<std::uint8_t> target) {
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(target.size(), Remaining()));
  if (count > 0) std::memcpy(target.data(), data_.data() + position_, count);
  position_ += count;
  return count;
}

void TPictureStream::ReadExact(std::span<std::uint8_t> target) {
  if (Remaining() < target.size()) throw EReadError();
  Read(target);
}

std::span<const std::uint8_t> TPictureStream::ReadView(std::uint64_t count) {
  const std::size_t taken = static_cast<std::size_t>(std::min(count, Remaining()));
  std::span<const std::uint8_t> view;
  if (taken > 0) view = data_.subspan(static_cast<std::size_t>(position_), taken);
  position_ += taken;
  return view;
}

std::span<const std::uint8_t> TPictureStream::RemainingView() const {
  if (Remaining() == 0) return {};
  return data_.subspan(static_cast<std::size_t>(position_));
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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

[[noreturn]] void ThrowOpenError(const std::string& path, int error) {
  throw EFOpenError("Impossible d'ouvrir le fichier " + path + " (" + std::strerror(error) + ")");
}

[[noreturn]] void ThrowTooBig(const std::string& path) {
  throw EFOpenError("Fichier image trop grand : " + path);
}

}  // namespace

TFileBytes ReadPictureFileBytes(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) ThrowOpenError(path, errno);
  // The size the file system reports is only a hint for the first read: the file may be a
  // pipe, or change while we read it, so reading goes on until the end is really met.
  std::size_t capacity = 1 << 16;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size >= 0) {
      if (static_cast<std::uint64_t>(size) > kMaxPictureFileBytes) ThrowTooBig(path);
      capacity = static_cast<std::size_t>(size) + 1;
    }
  }
  std::rewind(file.get());
  TFileBytes bytes;
  bytes.data_ = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  for (;;) {
    bytes.size_ += std::fread(bytes.data_.get() + bytes.size_, 1, capacity - bytes.size_, file.get());
    if (bytes.size_ < capacity) {
      if (std::ferror(file.get())) ThrowOpenError(path, errno ? errno : EIO);
      break;
    }
    if (capacity > kMaxPictureFileBytes) ThrowTooBig(path);
    auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity * 2);
    std::memcpy(larger.get(), bytes.data_.get(), bytes.size_);
    bytes.data_ = std::move(larger);
    capacity *= 2;
  }
  return bytes;
}
