#pragma once

#include <cstdint>

// Size limits shared by every picture reader. They are checked before any pixel memory is
// allocated, so a tiny file that claims a gigantic picture fails at once instead of exhausting
// memory.
//
// A picture may have at most 268,435,456 pixels (16384 x 16384) and at most 65535 pixels on
// either side. Any real wallpaper (8K is 7680 x 4320, 33 million pixels) is far below this;
// what lies above is either a broken header or a deliberate attack.
//
// What that costs: loading one picture holds its raster, at most 1 GiB (4 bytes a pixel at the
// limit), and at most one working copy of at most the same size besides: a decoder's own
// buffers (a progressive JPEG keeps every coefficient of the picture, whatever the scale it is
// decoded at), or the copy a caller makes of the picture. So a load never holds more than
// 2 GiB; a picture whose decoder would need more fails with the size error before it starts.
inline constexpr std::uint64_t kMaxPicturePixels = 16384ull * 16384ull;
inline constexpr std::uint64_t kMaxPictureSide = 65535;
inline constexpr std::uint64_t kMaxDecoderBytes = kMaxPicturePixels * 4;

// Picture files are read into memory whole; a file larger than this cannot hold a picture
// within the pixel limit in any of the formats we read, so it is refused before reading.
inline constexpr std::uint64_t kMaxPictureFileBytes = 2ull * 1024 * 1024 * 1024;

// A progressive JPEG may legally consist of thousands of tiny scans, each of which costs a
// pass over the whole picture. Real encoders write about ten; 500 leaves a wide margin.
inline constexpr int kMaxJpegScans = 500;

// Throws EPictureTooLarge when width x height is beyond the limits above.
void CheckPictureSize(std::uint64_t width, std::uint64_t height);
// Throws EPictureTooLarge when a decoder's own buffers for a picture would pass kMaxDecoderBytes.
void CheckDecoderMemory(std::uint64_t bytes, std::uint64_t width, std::uint64_t height);
