#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "TestFiles.h"
#include "imaging/Canvas.h"
#include "imaging/Picture.h"
#include "imaging/JPEGImage.h"
#include "imaging/PictureStream.h"
#include "support/Paths.h"

#include <stb/stb_image.h>

namespace {

using Sample = std::function<std::uint8_t(int x, int y, int component)>;

// A JPEG made by the library's own encoder: `components` 1 (grey), 3 (RGB) or 4 (CMYK as it
// stands, without Adobe's marker).
std::vector<std::uint8_t> Encode(int width, int height, int components, const Sample& sample, int quality = 90,
                                 const std::vector<jpeg_scan_info>& scans = {}) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (components == 4) info.write_Adobe_marker = FALSE;
  if (!scans.empty()) {
    info.scan_info = scans.data();
    info.num_scans = static_cast<int>(scans.size());
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width * components));
  while (info.next_scanline < info.image_height) {
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c)
        row[static_cast<std::size_t>(x * components + c)] = sample(x, static_cast<int>(info.next_scanline), c);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  std::free(buffer);
  return bytes;
}

Sample Flat(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return [=](int, int, int c) { return c == 0 ? r : c == 1 ? g : b; };
}

void Read(TJPEGImage& jpeg, const std::vector<std::uint8_t>& bytes) {
  TPictureStream stream(bytes);
  jpeg.ReadPictureStream(stream);
}

std::string Error(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

// A progressive greyscale script: the DC scan, then each AC coefficient on its own, first at
// `bits` of lowered precision and then refined one bit per scan.
std::vector<jpeg_scan_info> ManyScans(int bits) {
  std::vector<jpeg_scan_info> scans;
  scans.push_back({1, {0}, 0, 0, 0, 0});
  for (int k = 1; k < 64; ++k) {
    scans.push_back({1, {0}, k, k, 0, bits});
    for (int a = bits; a > 0; --a) scans.push_back({1, {0}, k, k, a, a - 1});
  }
  return scans;
}

}  // namespace

TEST(JPEGImage, ScaledSizeIsKnownBeforeDecoding) {
  TJPEGImage jpeg;
  Read(jpeg, Encode(1600, 1200, 3, Flat(10, 20, 30), 50));
  EXPECT_EQ(jpeg.Width(), 1600);
  EXPECT_EQ(jpeg.Height(), 1200);
  jpeg.SetJpegScale(TJPEGScale::Eighth);
  EXPECT_EQ(jpeg.Width(), 200);
  EXPECT_EQ(jpeg.Height(), 150);
  EXPECT_FALSE(jpeg.Decoded());
  jpeg.SetJpegScale(TJPEGScale::Quarter);
  EXPECT_EQ(jpeg.Width(), 400);
  jpeg.SetJpegScale(TJPEGScale::Half);
  EXPECT_EQ(jpeg.Height(), 600);
  EXPECT_FALSE(jpeg.Decoded());
}

TEST(JPEGImage, ScaledSizesRoundUpLikeTheLibrary) {
  TJPEGImage jpeg;
  Read(jpeg, Encode(1601, 9, 3, Flat(0, 0, 0), 50));
  jpeg.SetJpegScale(TJPEGScale::Eighth);
  EXPECT_EQ(jpeg.Width(), 201);
  EXPECT_EQ(jpeg.Height(), 2);
  const TBitmap& bitmap = jpeg.Bitmap();
  EXPECT_EQ(bitmap.Width(), 201);
  EXPECT_EQ(bitmap.Height(), 2);
}

TEST(JPEGImage, ColourPicturesDecodeToBgr24AtTheCurrentScale) {
  TJPEGImage jpeg;
  Read(jpeg, Encode(64, 48, 3, Flat(200, 40, 90), 100));
  EXPECT_FALSE(jpeg.Grayscale());
  jpeg.SetJpegScale(TJPEGScale::Quarter);
  const TBitmap& bitmap = jpeg.Bitmap();
  EXPECT_TRUE(jpeg.Decoded());
  EXPECT_EQ(bitmap.Layout(), PixelLayout::Bgr24);
  ASSERT_EQ(bitmap.Width(), 16);
  ASSERT_EQ(bitmap.Height(), 12);
  const Color c = bitmap.PixelColor(7, 5);
  EXPECT_NEAR(c.red, 200, 3);
  EXPECT_NEAR(c.green, 40, 3);
  EXPECT_NEAR(c.blue, 90, 3);

  jpeg.SetJpegScale(TJPEGScale::FullSize);
  EXPECT_FALSE(jpeg.Decoded());
  TBitmap copy;
  copy.CopyToBitmap(jpeg);
  EXPECT_EQ(copy.Width(), 64);
  EXPECT_EQ(copy.Layout(), PixelLayout::Bgr24);
}

TEST(JPEGImage, GreyscalePicturesArriveIndexedWithAtMost236Greys) {
  TJPEGImage jpeg;
  Read(jpeg, Encode(256, 16, 1, [](int x, int, int) { return static_cast<std::uint8_t>(x); }));
  EXPECT_TRUE(jpeg.Grayscale());
  const TBitmap& bitmap = jpeg.Bitmap();
  EXPECT_EQ(bitmap.Layout(), PixelLayout::Indexed8);
  EXPECT_LE(bitmap.Palette().size(), 236u);
  EXPECT_GE(bitmap.Palette().size(), 200u);
  for (const Color& entry : bitmap.Palette()) {
    EXPECT_EQ(entry.red, entry.green);
    EXPECT_EQ(entry.green, entry.blue);
  }
  // The ramp survives, give or take the dithering.
  EXPECT_NEAR(bitmap.PixelColor(10, 8).red, 10, 6);
  EXPECT_NEAR(bitmap.PixelColor(128, 8).red, 128, 6);
  EXPECT_NEAR(bitmap.PixelColor(250, 8).red, 250, 6);
}

TEST(JPEGImage, LibraryErrorsCarryTheirMessageCode) {
  TJPEGImage jpeg;
  const std::vector<std::uint8_t> notJpeg = {'B', 'M', 0, 0, 0, 0};
  EXPECT_EQ(Error([&] { Read(jpeg, notJpeg); }), "Erreur JPEG #" + std::to_string(JERR_NO_SOI));
  const std::vector<std::uint8_t> onlySoi = {0xFF, 0xD8};
  EXPECT_EQ(Error([&] { Read(jpeg, onlySoi); }), "Erreur JPEG #" + std::to_string(JERR_NO_IMAGE));
  EXPECT_EQ(jpeg.Width(), 0);
}

TEST(JPEGImage, AFailedReadKeepsThePreviousPicture) {
  TJPEGImage jpeg;
  Read(jpeg, Encode(32, 16, 3, Flat(1, 2, 3)));
  const std::vector<std::uint8_t> notJpeg = {1, 2, 3};
  EXPECT_THROW(Read(jpeg, notJpeg), EJPEG);
  EXPECT_EQ(jpeg.Width(), 32);
  EXPECT_EQ(jpeg.Bitmap().Height(), 16);
}

TEST(JPEGImage, EmptyStreamIsAnEmptyPicture) {
  TJPEGImage jpeg;
  Read(jpeg, {});
  EXPECT_TRUE(jpeg.Empty());
  EXPECT_EQ(jpeg.Bitmap().Width(), 0);
}

TEST(JPEGImage, TruncatedDataDecodesWhatIsThere) {
  auto bytes = Encode(64, 64, 3, [](int x, int y, int c) { return static_cast<std::uint8_t>(x * 4 + y + c * 50); });
  bytes.resize(bytes.size() / 2);
  TJPEGImage jpeg;
  Read(jpeg, bytes);
  const TBitmap& bitmap = jpeg.Bitmap();
  EXPECT_EQ(bitmap.Width(), 64);
  EXPECT_EQ(bitmap.Height(), 64);
}

TEST(JPEGImage, HugeFrameInATinyFileFailsAtLoad) {
  auto bytes = Encode(16, 16, 3, Flat(0, 0, 0));
  for (std::size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 5] = 0xFF, bytes[i + 6] = 0xDC, bytes[i + 7] = 0xFF, bytes[i + 8] = 0xDC;
      break;
    }
  TJPEGImage jpeg;
  EXPECT_THROW(Read(jpeg, bytes), EPictureTooLarge);
  EXPECT_EQ(jpeg.Width(), 0);
}

// A progressive file keeps every coefficient of the picture, whatever the scale it is decoded
// at: 16384 x 16384 without subsampling would take 1.5 GiB for a file of a few hundred bytes.
// It fails at load with the size error; with subsampling (768 MiB) it is within the limit.
TEST(JPEGImage, ProgressiveFilesWhoseCoefficientsPassTheLimitFailAtLoad) {
  const std::vector<jpeg_scan_info> progressif = {
      {3, {0, 1, 2}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}, {1, {1}, 1, 63, 0, 0}, {1, {2}, 1, 63, 0, 0}};
  for (const bool sousEchantillonne : {false, true}) {
    auto bytes = Encode(16, 16, 3, Flat(10, 20, 30), 90, progressif);
    for (std::size_t i = 0; i + 17 < bytes.size(); ++i)
      if (bytes[i] == 0xFF && bytes[i + 1] == 0xC2) {
        bytes[i + 5] = 0x40, bytes[i + 6] = 0x00, bytes[i + 7] = 0x40, bytes[i + 8] = 0x00;
        for (int c = 0; c < 3; ++c) bytes[i + 11 + 3 * c] = sousEchantillonne && c == 0 ? 0x22 : 0x11;
        break;
      }
    TJPEGImage jpeg;
    if (sousEchantillonne) {
      Read(jpeg, bytes);
      EXPECT_EQ(jpeg.Width(), 16384);
    } else {
      EXPECT_THROW(Read(jpeg, bytes), EPictureTooLarge);
    }
  }
}

TEST(JPEGImage, ProgressiveFilesWithTooManyScansFail) {
  const Sample noise = [](int x, int y, int) { return static_cast<std::uint8_t>((x * 37 + y * 91) % 256); };
  TJPEGImage many;
  Read(many, Encode(16, 16, 1, noise, 90, ManyScans(9)));  // 631 scans
  EXPECT_TRUE(many.ProgressiveEncoding());
  EXPECT_EQ(Error([&] { many.Bitmap(); }), "Erreur JPEG : image progressive de plus de 500 passes");

  TJPEGImage fewer;
  Read(fewer, Encode(16, 16, 1, noise, 90, ManyScans(5)));  // 379 scans
  EXPECT_EQ(fewer.Bitmap().Width(), 16);
}

TEST(JPEGImage, DrawsItsDecodedPictureStretched) {
  TJPEGImage jpeg;
  Read(jpeg, Encode(16, 16, 3, Flat(0, 0, 255), 100));
  Canvas canvas(8, 8);
  jpeg.DrawStretched(canvas, {2, 2, 6, 6});
  EXPECT_EQ(canvas.Pixel(0, 0), (Color{0, 0, 0}));
  EXPECT_NEAR(canvas.Pixel(3, 3).blue, 255, 2);
  EXPECT_TRUE(jpeg.Decoded());
}

TEST(JPEGImage, LoadingFromAFileGivesTheSamePictureAsFromMemory) {
  const auto bytes = Encode(40, 30, 3, [](int x, int y, int c) { return static_cast<std::uint8_t>(x * 5 + y * 3 + c * 70); });
  imagingtest::TempFolder folder;
  TFileFormatsList formats;
  RegisterJpegFormats(formats);
  TPicture picture(formats);
  picture.LoadPicture(folder.Write("photo.Jpeg", bytes));
  auto& fromFile = dynamic_cast<TJPEGImage&>(*picture.Graphic());
  TJPEGImage fromMemory;
  Read(fromMemory, bytes);
  const TBitmap& a = fromFile.Bitmap();
  const TBitmap& b = fromMemory.Bitmap();
  ASSERT_EQ(a.Height(), 30);
  for (int y = 0; y < 30; ++y)
    EXPECT_TRUE(std::equal(a.ScanLine(y).begin(), a.ScanLine(y).end(), b.ScanLine(y).begin())) << "row " << y;
}

// Ink pictures: the files of tests/data/jpeg against ImageMagick's conversion of each to RGB
// without colour management, at full and half size; CMYK without Adobe's marker holds its
// samples as they are.
struct InkCase {
  const char* name;
  std::function<std::vector<std::uint8_t>()> bytes;
  TJPEGScale scale;
  const char* reference;  // a PPM of tests/data/jpeg, or none: every pixel is `flat`
  Color flat;
};

std::function<std::vector<std::uint8_t>()> InkFile(const char* name) {
  return [=] { return imagingtest::ReadFile(testsupport::corpusDir() + "/jpeg/" + name); };
}

class JpegInks : public ::testing::TestWithParam<InkCase> {};

TEST_P(JpegInks, DecodeToTheReferenceColours) {
  const InkCase& c = GetParam();
  TJPEGImage jpeg;
  Read(jpeg, c.bytes());
  jpeg.SetJpegScale(c.scale);
  const TBitmap& bitmap = jpeg.Bitmap();
  EXPECT_EQ(bitmap.Layout(), PixelLayout::Bgr24);
  int width = 16, height = 16, channels = 0;
  std::vector<Color> reference(static_cast<std::size_t>(width * height), c.flat);
  if (c.reference) {
    const std::string path = testsupport::corpusDir() + "/jpeg/" + c.reference;
    stbi_uc* rgb = stbi_load(path.c_str(), &width, &height, &channels, 3);
    ASSERT_TRUE(rgb) << stbi_failure_reason();
    reference.clear();
    for (int i = 0; i < width * height; ++i) reference.push_back({rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]});
    stbi_image_free(rgb);
  }
  ASSERT_EQ(bitmap.Width(), width);
  ASSERT_EQ(bitmap.Height(), height);
  int worst = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Color got = bitmap.PixelColor(x, y), want = reference[static_cast<std::size_t>(y * width + x)];
      worst = std::max({worst, std::abs(got.red - want.red), std::abs(got.green - want.green),
                        std::abs(got.blue - want.blue)});
    }
  EXPECT_LE(worst, 2);
}

INSTANTIATE_TEST_SUITE_P(
    CmykAndYcck, JpegInks,
    ::testing::Values(InkCase{"AdobeCmyk", InkFile("cmyk.jpg"), TJPEGScale::FullSize, "cmyk.ppm", {}},
                      InkCase{"AdobeCmykAtHalfSize", InkFile("cmyk.jpg"), TJPEGScale::Half, "cmyk-half.ppm", {}},
                      InkCase{"AdobeYcck", InkFile("ycck.jpg"), TJPEGScale::FullSize, "ycck.ppm", {}},
                      InkCase{"AdobeYcckAtHalfSize", InkFile("ycck.jpg"), TJPEGScale::Half, "ycck-half.ppm", {}},
                      // Magenta ink alone; read as inverted samples it would be green.
                      InkCase{"CmykWithoutAdobeMarker", [] { return Encode(16, 16, 4, Flat(0, 255, 0)); },
                              TJPEGScale::FullSize, nullptr, {255, 0, 255}}),
    [](const auto& info) { return std::string(info.param.name); });
