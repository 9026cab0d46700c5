// Our inflater against zlib's, on every input: the first two bytes give the output size, the
// rest is taken as a zlib stream, and then also as plain data that zlib compresses in a few ways.
// Both must write the same bytes or both refuse the data. zlib's side decodes as the TIFF reader
// wants it: in one call into the whole output, the checksum not verified, data that ends early
// or runs past the output being no error.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/Inflate.h"

namespace {

std::optional<std::size_t> ZlibInflate(const std::vector<std::uint8_t>& in, std::uint8_t* out, std::size_t outSize) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) std::abort();
  inflateValidate(&z, 0);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out;
  z.avail_out = static_cast<uInt>(outSize);
  const int result = inflate(&z, Z_FINISH);
  const std::size_t written = outSize - z.avail_out;
  inflateEnd(&z);
  if (result == Z_DATA_ERROR || result == Z_NEED_DICT || result == Z_MEM_ERROR || result == Z_STREAM_ERROR)
    return std::nullopt;
  return written;
}

TInflater inflater;

void Compare(const std::vector<std::uint8_t>& stream, std::size_t outSize) {
  // Heap blocks of the exact sizes, so that AddressSanitizer sees any access past them.
  const auto ours = std::make_unique<std::uint8_t[]>(outSize);
  const auto theirs = std::make_unique<std::uint8_t[]>(outSize);
  const std::vector<std::uint8_t> input(stream);
  const std::optional<std::size_t> a = inflater.Inflate(input, {ours.get(), outSize});
  const std::optional<std::size_t> b = ZlibInflate(stream, theirs.get(), outSize);
  if (a.has_value() != b.has_value()) std::abort();
  if (a && (*a != *b || std::memcmp(ours.get(), theirs.get(), *a) != 0)) std::abort();
}

std::vector<std::uint8_t> Compress(const std::uint8_t* data, std::size_t size, int level, int strategy) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) std::abort();
  std::vector<std::uint8_t> packed(deflateBound(&z, size));
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = packed.data();
  z.avail_out = static_cast<uInt>(packed.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  packed.resize(z.total_out);
  deflateEnd(&z);
  return packed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t outSize = static_cast<std::size_t>(data[0] | data[1] << 8);
  data += 2, size -= 2;
  Compare(std::vector<std::uint8_t>(data, data + size), outSize);

  static constexpr struct { int level, strategy; } kWays[] = {
      {1, Z_DEFAULT_STRATEGY}, {6, Z_FIXED}, {9, Z_DEFAULT_STRATEGY}, {6, Z_RLE}, {6, Z_HUFFMAN_ONLY}};
  for (const auto& way : kWays) {
    const std::vector<std::uint8_t> packed = Compress(data, size, way.level, way.strategy);
    // Exactly the plain bytes when the output has their size.
    const auto plain = std::make_unique<std::uint8_t[]>(size);
    const std::optional<std::size_t> written = inflater.Inflate(packed, {plain.get(), size});
    if (written != size || std::memcmp(plain.get(), data, size) != 0) std::abort();
    Compare(packed, outSize);
  }
  return 0;
}
