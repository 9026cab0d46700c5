// Our TIFF reader against libtiff on small files made with libtiff's tools and ImageMagick
// (tests/data/tiff/make.sh): every pixel must be what libtiff's decoded samples give after our
// rules. Where these differ from libtiff's own RGBA pictures, it is on purpose: 16-bit samples
// keep their high byte (libtiff rounds), 4-bit grey levels are i x 16 (libtiff's are i x 17),
// alpha is ignored (libtiff premultiplies unassociated alpha), the CMYK product is rounded
// (libtiff truncates it) and CIE L*a*b* goes through the plain XYZ matrix (libtiff models a
// display's white point and gamma).

#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/PixelConversion.h"
#include "imaging/TIFFGraphic.h"
#include "support/Paths.h"

namespace {

std::string TiffFile(const std::string& name) { return testsupport::corpusDir() + "/tiff/" + name; }

// What libtiff gives for the first image: its fields and the samples of every row, in native
// byte order.
struct Libtiff {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0, samples = 0, photometric = 0;
  std::vector<std::uint16_t> red, green, blue;  // colour map
  std::vector<std::vector<std::uint8_t>> rows;
};

Libtiff ReadWithLibtiff(const std::string& path) {
  TIFFSetWarningHandler(nullptr);
  std::unique_ptr<TIFF, decltype(&TIFFClose)> tif(TIFFOpen(path.c_str(), "r"), &TIFFClose);
  if (!tif) throw std::runtime_error("libtiff cannot open " + path);
  Libtiff image;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &image.height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &image.bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &image.samples);
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &image.photometric);
  if (image.photometric == PHOTOMETRIC_PALETTE) {
    std::uint16_t *red, *green, *blue;
    TIFFGetField(tif.get(), TIFFTAG_COLORMAP, &red, &green, &blue);
    const std::size_t entries = std::size_t{1} << image.bits;
    image.red.assign(red, red + entries);
    image.green.assign(green, green + entries);
    image.blue.assign(blue, blue + entries);
  }
  const auto rowBytes = static_cast<std::size_t>(TIFFScanlineSize(tif.get()));
  image.rows.assign(image.height, std::vector<std::uint8_t>(rowBytes));
  if (!TIFFIsTiled(tif.get())) {
    for (std::uint32_t y = 0; y < image.height; ++y)
      if (TIFFReadScanline(tif.get(), image.rows[y].data(), y) < 0) throw std::runtime_error("libtiff row error");
    return image;
  }
  // Tiles are put together into rows; the parts of edge tiles beyond the picture are dropped.
  std::uint32_t tileWidth = 0, tileLength = 0;
  TIFFGetField(tif.get(), TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &tileLength);
  const auto tileRowBytes = static_cast<std::size_t>(TIFFTileRowSize(tif.get()));
  std::vector<std::uint8_t> tile(static_cast<std::size_t>(TIFFTileSize(tif.get())));
  const std::size_t bitsPerPixel = std::size_t{image.bits} * image.samples;
  for (std::uint32_t ty = 0; ty < image.height; ty += tileLength)
    for (std::uint32_t tx = 0; tx < image.width; tx += tileWidth) {
      if (TIFFReadTile(tif.get(), tile.data(), tx, ty, 0, 0) < 0) throw std::runtime_error("libtiff tile error");
      const std::size_t at = tx * bitsPerPixel / 8;
      for (std::uint32_t y = ty; y < std::min(ty + tileLength, image.height); ++y)
        std::copy_n(tile.data() + (y - ty) * tileRowBytes, std::min(tileRowBytes, rowBytes - at), image.rows[y].data() + at);
    }
  return image;
}

unsigned SampleAt(const Libtiff& image, std::uint32_t x, std::uint32_t y, unsigned sample) {
  const std::uint8_t* row = image.rows[y].data();
  const std::size_t index = std::size_t{x} * image.samples + sample;
  switch (image.bits) {
    case 1: return row[index / 8] >> (7 - index % 8) & 1;
    case 4: return row[index / 2] >> (index % 2 ? 0 : 4) & 15;
    case 16: return reinterpret_cast<const std::uint16_t*>(row)[index];
    default: return row[index];
  }
}

// The colour our rules give to one pixel of libtiff's samples. Grey levels are i x 255 for 1 bit
// and i x 16 for 4 bits, running the other way for WhiteIsZero; 16-bit samples and colour-map
// values keep their most significant byte. CMYK and CIE L*a*b* go through the converters, whose
// values the converter tests pin.
Color Expected(const Libtiff& image, std::uint32_t x, std::uint32_t y) {
  const auto at = [&](unsigned sample) { return SampleAt(image, x, y, sample); };
  const auto byte = [&](unsigned value) { return static_cast<std::uint8_t>(image.bits == 16 ? value >> 8 : value); };
  switch (image.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK: {
      const unsigned top = (1u << std::min<unsigned>(image.bits, 8)) - 1;
      unsigned level = image.bits == 16 ? at(0) >> 8 : at(0);
      if (image.photometric == PHOTOMETRIC_MINISWHITE) level = top - level;
      const auto grey = static_cast<std::uint8_t>(image.bits == 1 ? level * 255 : image.bits == 4 ? level * 16 : level);
      return {grey, grey, grey};
    }
    case PHOTOMETRIC_PALETTE:
      return {static_cast<std::uint8_t>(image.red[at(0)] >> 8), static_cast<std::uint8_t>(image.green[at(0)] >> 8),
              static_cast<std::uint8_t>(image.blue[at(0)] >> 8)};
    case PHOTOMETRIC_RGB:
      return {byte(at(0)), byte(at(1)), byte(at(2))};
    default: {
      const std::uint8_t* pixel = image.rows[y].data() + std::size_t{x} * image.samples * image.bits / 8;
      std::uint8_t bgr[3];
      if (image.photometric == PHOTOMETRIC_SEPARATED)
        ConvertCmyk<ByteOrder::LittleEndian>(pixel, bgr, image.bits, 4);
      else
        ConvertCieLab(pixel, bgr, image.bits, 3);
      return {bgr[2], bgr[1], bgr[0]};
    }
  }
}

struct ConformanceCase {
  const char* file;
  PixelLayout layout;
  const char* reference = nullptr;  // the file libtiff reads, when it is not the same
};

void PrintTo(const ConformanceCase& c, std::ostream* out) { *out << c.file; }

class TiffConformance : public ::testing::TestWithParam<ConformanceCase> {};

TEST_P(TiffConformance, DecodesToLibtiffsSamples) {
  const ConformanceCase& c = GetParam();
  TTIFFGraphic picture;
  picture.ReadPictureFile(TiffFile(c.file));
  const Libtiff reference = ReadWithLibtiff(TiffFile(c.reference ? c.reference : c.file));
  ASSERT_EQ(picture.Width(), static_cast<int>(reference.width));
  ASSERT_EQ(picture.Height(), static_cast<int>(reference.height));
  EXPECT_EQ(picture.Layout(), c.layout);
  int differences = 0;
  for (std::uint32_t y = 0; y < reference.height; ++y)
    for (std::uint32_t x = 0; x < reference.width; ++x) {
      const Color got = picture.PixelColor(static_cast<int>(x), static_cast<int>(y));
      const Color want = Expected(reference, x, y);
      if (got != want && differences++ < 3)
        ADD_FAILURE() << "pixel (" << x << "," << y << ") is " << int(got.red) << "," << int(got.green) << ","
                      << int(got.blue) << ", libtiff's samples give " << int(want.red) << "," << int(want.green)
                      << "," << int(want.blue);
    }
}

using enum PixelLayout;

INSTANTIATE_TEST_SUITE_P(
    Files, TiffConformance,
    ::testing::Values(
        ConformanceCase{"rgb8.tif", Bgr24},
        ConformanceCase{"rgb8-be.tif", Bgr24},
        ConformanceCase{"rgb8-lzw.tif", Bgr24},
        ConformanceCase{"rgb8-lzw-predictor-be.tif", Bgr24},
        ConformanceCase{"rgb8-lzw-predictor-strips.tif", Bgr24},
        ConformanceCase{"rgb8-packbits.tif", Bgr24},
        ConformanceCase{"rgb8-strips.tif", Bgr24},
        ConformanceCase{"rgb8-one-strip-rows5.tif", Bgr24, "rgb8.tif"},
        ConformanceCase{"crop-packbits.tif", Bgr24},
        ConformanceCase{"rgb16.tif", Bgr24},
        ConformanceCase{"rgb16-lzw-predictor-be.tif", Bgr24},
        ConformanceCase{"rgba8.tif", Bgrx32},
        ConformanceCase{"rgba8-assoc-packbits-be.tif", Bgrx32},
        ConformanceCase{"rgba16-be.tif", Bgrx32},
        ConformanceCase{"gray1-minisblack.tif", Indexed1},
        ConformanceCase{"gray1-miniswhite-be.tif", Indexed1},
        ConformanceCase{"gray4-minisblack.tif", Indexed4},
        ConformanceCase{"gray4-miniswhite-lzw.tif", Indexed4},
        ConformanceCase{"gray8-minisblack-lzw-predictor.tif", Indexed8},
        ConformanceCase{"gray8-miniswhite-be.tif", Indexed8},
        ConformanceCase{"gray16.tif", Indexed8},
        ConformanceCase{"gray16-packbits-strips-be.tif", Indexed8},
        ConformanceCase{"palette1.tif", Indexed1},
        ConformanceCase{"palette4-be.tif", Indexed4},
        ConformanceCase{"palette8-lzw.tif", Indexed8},
        ConformanceCase{"multipage.tif", Indexed8},
        ConformanceCase{"cmyk8.tif", Bgr24},
        ConformanceCase{"cmyk16-packbits-be.tif", Bgr24},
        ConformanceCase{"lab8.tif", Bgr24},
        ConformanceCase{"lab8-lzw-be.tif", Bgr24},
        ConformanceCase{"rgb8-zip.tif", Bgr24},
        ConformanceCase{"rgb8-zip-predictor-strips-be.tif", Bgr24},
        ConformanceCase{"gray16-zip-predictor.tif", Indexed8},
        ConformanceCase{"palette4-zip-be.tif", Indexed4},
        ConformanceCase{"cmyk8-old-deflate.tif", Bgr24},
        ConformanceCase{"rgb8-tiled.tif", Bgr24},
        ConformanceCase{"rgb8-tiled-lzw-be.tif", Bgr24},
        ConformanceCase{"rgb8-tiled-lzw-predictor.tif", Bgr24},
        ConformanceCase{"rgb8-tiled-packbits-be.tif", Bgr24},
        ConformanceCase{"rgb8-tiled-zip.tif", Bgr24},
        ConformanceCase{"rgb8-tiled-zip-predictor-be.tif", Bgr24},
        ConformanceCase{"rgb8-one-tile-zip.tif", Bgr24},
        ConformanceCase{"rgba16-tiled-zip-predictor.tif", Bgrx32},
        ConformanceCase{"gray16-tiled-lzw-predictor-be.tif", Indexed8},
        ConformanceCase{"gray1-tiled-packbits.tif", Indexed1},
        ConformanceCase{"gray4-tiled-be.tif", Indexed4},
        ConformanceCase{"palette8-tiled-lzw.tif", Indexed8},
        ConformanceCase{"lab8-tiled-zip-be.tif", Bgr24},
        ConformanceCase{"cmyk8-tiled-packbits.tif", Bgr24}),
    [](const auto& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
