// The decompressors under the fuzzer, on raw bytes. The first four bytes choose the decoder
// (TIFF LZW, GIF LZW, PackBits, Targa, Deflate), its setting (GIF code size, Targa pixel size)
// and the output size; the rest is the packed data. Input and output are heap blocks of their exact sizes, so that AddressSanitizer sees
// any access past either.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/Exception.h"
#include "imaging/Decompressors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const unsigned kind = data[0] % 5;
  const unsigned setting = data[1];
  const std::size_t unpacked = static_cast<std::size_t>(data[2] | data[3] << 8);
  const std::vector<std::uint8_t> packed(data + 4, data + size);
  const auto output = std::make_unique<std::uint8_t[]>(unpacked);
  const std::uint8_t* source = packed.data();
  try {
    switch (kind) {
      case 0:
        TTIFFLZW().Decode(source, output.get(), packed.size(), unpacked);
        break;
      case 1: {
        TGIFLZW gif;
        gif.SetInitialCodeSize(static_cast<std::uint8_t>(setting % 14));
        gif.Decode(source, output.get(), packed.size(), unpacked);
        break;
      }
      case 2:
        TPackbitsRLE().Decode(source, output.get(), packed.size(), unpacked);
        break;
      case 4:
        TTIFFDeflate().Decode(source, output.get(), packed.size(), unpacked);
        break;
      default: {
        static constexpr unsigned kPixelBits[] = {8, 15, 16, 24, 32, 12};
        const unsigned bits = kPixelBits[setting % 6];
        std::size_t used = 0;
        // Rows of `unpacked` bytes, one after the other, as the Targa reader asks for them.
        for (int row = 0; row < 4 && used < packed.size(); ++row) {
          const std::size_t consumed =
              DecodeTargaRLE(std::span(packed).subspan(used), std::span(output.get(), unpacked), bits);
          if (consumed == 0) break;
          used += consumed;
        }
        break;
      }
    }
  } catch (const Exception&) {
  }
  return 0;
}
