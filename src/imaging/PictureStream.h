#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/Exception.h"

// Reading past the end of the data when the reader needs the bytes.
class EReadError : public Exception {
 public:
  EReadError() : Exception("Erreur de lecture du flux") {}
};

// A picture file that cannot be opened or read.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// The bytes of one picture as the readers see them: a read position over a block of memory or
// over an open file. Reads never go past the end: `Read` returns what is there, the helpers
// that need a fixed number of bytes raise EReadError. The position may be moved anywhere, also
// past the end, where every read finds nothing.
class TPictureStream {
 public:
  // Over memory. `owner`, when given, keeps the bytes alive; a reader that holds on to its
  // bytes after reading (JPEG decodes later) then shares them instead of copying.
  explicit TPictureStream(std::span<const std::uint8_t> data, std::shared_ptr<const void> owner = nullptr)
      : data_(data), size_(data.size()), owner_(std::move(owner)) {}
  // Over an open file of `size` bytes, read from its start; the stream does not close it.
  TPictureStream(std::FILE* file, std::uint64_t size) : file_(file), size_(size) {}

  std::uint64_t Size() const { return size_; }
  std::uint64_t Position() const { return position_; }
  void Seek(std::uint64_t position) { position_ = position; }
  std::uint64_t Remaining() const { return position_ < size_ ? size_ - position_ : 0; }
  void Skip(std::uint64_t count) { position_ += count; }

  // Copies up to target.size() bytes; returns how many were copied.
  std::size_t Read(std::span<std::uint8_t> target);
  // Copies exactly target.size() bytes or raises EReadError (the position is then unchanged).
  void ReadExact(std::span<std::uint8_t> target);

  // The next `count` bytes (fewer at the end); the position moves past them. The view stays
  // valid until the next ReadView on this stream.
  std::span<const std::uint8_t> ReadView(std::uint64_t count);

  // The next `count` bytes (fewer at the end) with an owner that keeps them alive after the
  // stream is gone; shares the stream's own memory when it has an owner.
  std::pair<std::span<const std::uint8_t>, std::shared_ptr<const void>> ReadShared(std::uint64_t count);

  std::uint8_t ReadU8();
  std::uint16_t ReadU16LE();
  std::uint32_t ReadU32LE();
  std::uint16_t ReadU16BE();
  std::uint32_t ReadU32BE();

 private:
  std::span<const std::uint8_t> data_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::shared_ptr<const void> owner_;
  std::uint64_t position_ = 0;
  std::uint64_t filePosition_ = 0;
  std::vector<std::uint8_t> viewBuffer_;
};

// Opens `path` for reading and hands a stream over it, positioned at 0, to `read`; the file is
// closed whether reading succeeds or not. Raises EFOpenError when the file cannot be opened, is
// not a regular file (a named pipe, a device, a folder) or is larger than kMaxPictureFileBytes.
void WithPictureFile(const std::string& path, const std::function<void(TPictureStream&)>& read);
