#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
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

// The bytes of one picture file as the readers see them: a read position over a block of
// memory. Reads never go past the end: `Read` returns what is there, the `Read...` helpers that
// need a fixed number of bytes raise EReadError. The position may be moved anywhere, also past
// the end, where every read finds nothing.
class TPictureStream {
 public:
  explicit TPictureStream(std::span<const std::uint8_t> data) : data_(data) {}

  std::uint64_t Size() const { return data_.size(); }
  std::uint64_t Position() const { return position_; }
  void Seek(std::uint64_t position) { position_ = position; }
  std::uint64_t Remaining() const {
    return position_ < data_.size() ? data_.size() - position_ : 0;
  }
  void Skip(std::uint64_t count) { position_ += count; }

  // Copies up to target.size() bytes; returns how many were copied.
  std::size_t Read(std::span<std::uint8_t> target);
  // Copies exactly target.size() bytes or raises EReadError (the position is then unchanged).
  void ReadExact(std::span<std::uint8_t> target);

  // The next `count` bytes (fewer at the end), without copying; the position moves past them.
  std::span<const std::uint8_t> ReadView(std::uint64_t count);
  // All bytes from the position to the end, without moving.
  std::span<const std::uint8_t> RemainingView() const;

  std::uint8_t ReadU8();
  std::uint16_t ReadU16LE();
  std::uint32_t ReadU32LE();
  std::uint16_t ReadU16BE();
  std::uint32_t ReadU32BE();

 private:
  std::span<const std::uint8_t> data_;
  std::uint64_t position_ = 0;
};

// The whole content of a file.
class TFileBytes {
 public:
  std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }

 private:
  friend TFileBytes ReadPictureFileBytes(const std::string& path);
  // Not value-initialised: every byte handed out has been read from the file.
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
};

// Reads a file opened for reading only. Raises EFOpenError when it cannot be opened or read,
// or is larger than kMaxPictureFileBytes.
TFileBytes ReadPictureFileBytes(const std::string& path);
