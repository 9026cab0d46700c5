// Our TIFF reader against libtiff on small files made with libtiff's tools and ImageMagick
// (tests/data/tiff/make.sh). Every pixel must be what libtiff's decoded samples give after our
// reading rules; where those rules are libtiff's own, libtiff's RGBA picture must match too.

#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/PixelConversion.h"
#include "imaging/TIFFGraphic.h"
#include "support/Paths.h"

namespace {

std::string TiffFile(const std::string& name) { return testsupport::corpusDir() + "/tiff/" + name; }

// What libtiff gives for the first image: its fields, the samples of every row in native byte
// order, and its RGBA picture (top row first).
struct Libtiff {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0, samples = 0, photometric = 0;
  std::vector<std::uint16_t> red, green, blue;  // colour map
  std::vector<std::vector<std::uint8_t>> rows;
  std::vector<std::uint32_t> rgba;
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
  for (std::uint32_t y = 0; y < image.height; ++y) {
    image.rows.emplace_back(static_cast<std::size_t>(TIFFScanlineSize(tif.get())));
    if (TIFFReadScanline(tif.get(), image.rows.back().data(), y) < 0) throw std::runtime_error("libtiff row error");
  }
  char message[1024];
  if (TIFFRGBAImageOK(tif.get(), message)) {
    image.rgba.resize(std::size_t{image.width} * image.height);
    TIFFReadRGBAImageOriented(tif.get(), image.width, image.height, image.rgba.data(), ORIENTATION_TOPLEFT, 0);
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

// How libtiff's own RGBA picture compares with ours.
enum class VersusRgba {
  Same,
  WithinOne,           // CMYK: libtiff truncates (255 - C)(255 - K) / 255, we round the product
  Differs,             // 16-bit samples (libtiff rounds to 8 bits, we keep the high byte), 4-bit
                       // grey (libtiff's levels are i x 17, ours i x 16), unassociated alpha
                       // (libtiff premultiplies it, we ignore it), CIE L*a*b* (libtiff models a
                       // display with its white point and gamma, we apply the plain matrix)
};

struct ConformanceCase {
  const char* file;
  const char* reference;  // the file libtiff reads, when it is not the same
  PixelLayout layout;
  VersusRgba rgba;
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
  int differences = 0, rgbaDifferences = 0;
  for (std::uint32_t y = 0; y < reference.height; ++y)
    for (std::uint32_t x = 0; x < reference.width; ++x) {
      const Color got = picture.PixelColor(static_cast<int>(x), static_cast<int>(y));
      const Color want = Expected(reference, x, y);
      if ((got.red != want.red || got.green != want.green || got.blue != want.blue) && differences++ < 3)
        ADD_FAILURE() << "pixel (" << x << "," << y << ") is " << int(got.red) << "," << int(got.green) << ","
                      << int(got.blue) << ", libtiff's samples give " << int(want.red) << "," << int(want.green)
                      << "," << int(want.blue);
      if (c.rgba == VersusRgba::Differs) continue;
      ASSERT_FALSE(reference.rgba.empty()) << "libtiff has no RGBA picture";
      const std::uint32_t abgr = reference.rgba[std::size_t{y} * reference.width + x];
      const int slack = c.rgba == VersusRgba::WithinOne ? 1 : 0;
      if ((std::abs(got.red - int(TIFFGetR(abgr))) > slack || std::abs(got.green - int(TIFFGetG(abgr))) > slack ||
           std::abs(got.blue - int(TIFFGetB(abgr))) > slack) &&
          rgbaDifferences++ < 3)
        ADD_FAILURE() << "pixel (" << x << "," << y << ") is " << int(got.red) << "," << int(got.green) << ","
                      << int(got.blue) << ", libtiff's RGBA picture has " << TIFFGetR(abgr) << "," << TIFFGetG(abgr)
                      << "," << TIFFGetB(abgr);
    }
}

using enum PixelLayout;
using enum VersusRgba;

INSTANTIATE_TEST_SUITE_P(
    Files, TiffConformance,
    ::testing::Values(
        ConformanceCase{"rgb8.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-be.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-lzw.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-lzw-predictor-be.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-lzw-predictor-strips.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-packbits.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-strips.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb8-one-strip-rows5.tif", "rgb8.tif", Bgr24, Same},
        ConformanceCase{"crop-packbits.tif", nullptr, Bgr24, Same},
        ConformanceCase{"rgb16.tif", nullptr, Bgr24, Differs},
        ConformanceCase{"rgb16-lzw-predictor-be.tif", nullptr, Bgr24, Differs},
        ConformanceCase{"rgba8.tif", nullptr, Bgrx32, Differs},
        ConformanceCase{"rgba8-assoc-packbits-be.tif", nullptr, Bgrx32, Same},
        ConformanceCase{"rgba16-be.tif", nullptr, Bgrx32, Differs},
        ConformanceCase{"gray1-minisblack.tif", nullptr, Indexed1, Same},
        ConformanceCase{"gray1-miniswhite-be.tif", nullptr, Indexed1, Same},
        ConformanceCase{"gray4-minisblack.tif", nullptr, Indexed4, Differs},
        ConformanceCase{"gray4-miniswhite-lzw.tif", nullptr, Indexed4, Differs},
        ConformanceCase{"gray8-minisblack-lzw-predictor.tif", nullptr, Indexed8, Same},
        ConformanceCase{"gray8-miniswhite-be.tif", nullptr, Indexed8, Same},
        ConformanceCase{"gray16.tif", nullptr, Indexed8, Same},
        ConformanceCase{"gray16-packbits-strips-be.tif", nullptr, Indexed8, Same},
        ConformanceCase{"palette1.tif", nullptr, Indexed1, Same},
        ConformanceCase{"palette4-be.tif", nullptr, Indexed4, Same},
        ConformanceCase{"palette8-lzw.tif", nullptr, Indexed8, Same},
        ConformanceCase{"multipage.tif", nullptr, Indexed8, Same},
        ConformanceCase{"cmyk8.tif", nullptr, Bgr24, WithinOne},
        ConformanceCase{"cmyk16-packbits-be.tif", nullptr, Bgr24, Differs},
        ConformanceCase{"lab8.tif", nullptr, Bgr24, Differs},
        ConformanceCase{"lab8-lzw-be.tif", nullptr, Bgr24, Differs}),
    [](const auto& info) {
      std::string name = info.param.file;
      name = name.substr(0, name.find('.'));
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
