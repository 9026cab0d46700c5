#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// Decodes one zlib stream (a two-byte header, then DEFLATE blocks) held whole in memory into a
// buffer whose size is known beforehand, as a TIFF strip or tile is. The decoding writes straight
// into that buffer: it needs no window and no copy, and never reads or writes outside the two.
//
// The data may end early or hold more than the buffer takes, as strips in the wild do: decoding
// stops without error where the data ends (every byte whose bits are all there is written), where
// the next byte has no room (a match is written as far as it fits; with no room at all, its
// distance is not checked), or after the last block. The
// checksum at the end is not read. Everything else that is not DEFLATE is an error: a header that
// fails its check or names another method, a window above 32 KiB or a preset dictionary, a block
// of type 3, a stored block whose length and its complement disagree, code lengths that do not
// make a prefix code (too many codes, or too few: a code may only be incomplete when it is one
// code of one bit, or no code at all for the distances), a repeat with nothing to repeat or past
// the last length, a block without its end code, a code no symbol has, and a distance reaching
// before the first byte.
class TInflater {
 public:
  TInflater();
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // The number of bytes written from the start of `out`, or nothing for invalid data. Bytes past
  // those written may have been changed.
  std::optional<std::size_t> Inflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

  struct Tables;

 private:
  std::unique_ptr<Tables> tables_;
};
