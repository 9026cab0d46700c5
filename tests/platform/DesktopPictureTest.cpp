#include "platform/posix/desktop/Picture.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <map>
#include <set>

#include "DesktopTestSupport.h"
#include "TempEnvironment.h"
#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/NumberedCopies.h"

using namespace platform::posix;

namespace {

std::span<const std::uint8_t> bytes(const std::string& file) {
  return {reinterpret_cast<const std::uint8_t*>(file.data()), file.size()};
}

void put16(std::string& file, std::size_t at, std::uint32_t value) {
  file[at] = static_cast<char>(value);
  file[at + 1] = static_cast<char>(value >> 8);
}
void put32(std::string& file, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
}

// A bitmap with a 40-byte header, the given extra bytes (palette or masks) and pixel rows as
// stored in the file.
std::string bitmap(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
                   const std::string& extra, const std::string& rows, std::uint32_t coloursUsed = 0) {
  std::string file(54, '\0');
  file[0] = 'B';
  file[1] = 'M';
  put32(file, 10, static_cast<std::uint32_t>(54 + extra.size()));
  put32(file, 14, 40);
  put32(file, 18, static_cast<std::uint32_t>(width));
  put32(file, 22, static_cast<std::uint32_t>(height));
  put16(file, 26, 1);
  put16(file, 28, static_cast<std::uint32_t>(bits));
  put32(file, 30, compression);
  put32(file, 46, coloursUsed);
  return file + extra + rows;
}

std::string bgra(std::uint32_t rgb) {
  return {static_cast<char>(rgb & 0xFF), static_cast<char>(rgb >> 8 & 0xFF),
          static_cast<char>(rgb >> 16 & 0xFF), 0};
}

std::vector<std::uint8_t> rgbOf(std::vector<std::uint32_t> colours) {
  std::vector<std::uint8_t> out;
  for (const std::uint32_t c : colours) {
    out.push_back(static_cast<std::uint8_t>(c >> 16));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c));
  }
  return out;
}

struct GoodCase {
  const char* name;
  std::string file;
  std::uint32_t width, height;
  std::vector<std::uint32_t> pixels;  // top row first, 0xRRGGBB
};

class DesktopBitmapReadTest : public testing::TestWithParam<GoodCase> {};

TEST_P(DesktopBitmapReadTest, GivesTheExactPixels) {
  std::string error;
  const auto picture = readBitmap(bytes(GetParam().file), error);
  ASSERT_TRUE(picture) << error;
  EXPECT_EQ(picture->width, GetParam().width);
  EXPECT_EQ(picture->height, GetParam().height);
  EXPECT_EQ(picture->pixels, rgbOf(GetParam().pixels));
}

const std::string kPalette4 = bgra(0x000000) + bgra(0xFF0000) + bgra(0x00FF00) + bgra(0x0000FF);

INSTANTIATE_TEST_SUITE_P(DesktopLayouts, DesktopBitmapReadTest,
    testing::Values(
        GoodCase{"Bgr24BottomUp", bitmap24(3, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}),
                 3, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}},
        GoodCase{"Bgrx32TopDown", bitmap(2, -2, 32, 0, "", bgra(0x112233) + bgra(0x445566) + bgra(0x778899) + bgra(0xAABBCC)),
                 2, 2, {0x112233, 0x445566, 0x778899, 0xAABBCC}},
        // Rows bottom-up, each padded to 4 bytes.
        GoodCase{"Indexed8", bitmap(3, 2, 8, 0, kPalette4, std::string("\x03\x02\x01\x00", 4) + std::string("\x01\x01\x00\x00", 4), 4),
                 3, 2, {0xFF0000, 0xFF0000, 0x000000, 0x0000FF, 0x00FF00, 0xFF0000}},
        GoodCase{"Indexed4", bitmap(3, 1, 4, 0, kPalette4, std::string("\x12\x30\x00\x00", 4), 4),
                 3, 1, {0xFF0000, 0x00FF00, 0x0000FF}},
        GoodCase{"Indexed1", bitmap(9, 1, 1, 0, bgra(0x000000) + bgra(0xFFFFFF), std::string("\xA0\x80\x00\x00", 4), 2),
                 9, 1, {0xFFFFFF, 0, 0xFFFFFF, 0, 0, 0, 0, 0, 0xFFFFFF}},
        // An index beyond the palette the file holds shows black.
        GoodCase{"IndexBeyondPalette", bitmap(2, 1, 8, 0, bgra(0x00FF00), std::string("\x00\xC8\x00\x00", 4), 1),
                 2, 1, {0x00FF00, 0x000000}},
        GoodCase{"Rgb15", bitmap(2, 1, 16, 0, "", std::string("\x00\x7C\x1F\x00", 4)), 2, 1, {0xFF0000, 0x0000FF}},
        GoodCase{"Rgb565BitFields",
                 bitmap(2, 1, 16, 3, std::string("\x00\xF8\x00\x00\xE0\x07\x00\x00\x1F\x00\x00\x00", 12),
                        std::string("\xE0\x07\x00\xF8", 4)),
                 2, 1, {0x00FF00, 0xFF0000}}),
    [](const testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

struct BadCase {
  const char* name;
  std::string file;
};

class DesktopBitmapRefuseTest : public testing::TestWithParam<BadCase> {};

TEST_P(DesktopBitmapRefuseTest, RefusesWithAReason) {
  std::string error;
  EXPECT_FALSE(readBitmap(bytes(GetParam().file), error));
  EXPECT_FALSE(error.empty());
}

std::string withField(std::string file, std::size_t at, std::uint32_t value) {
  put32(file, at, value);
  return file;
}

const std::string kGood = bitmap24(2, 2, {1, 2, 3, 4});

INSTANTIATE_TEST_SUITE_P(DesktopDamaged, DesktopBitmapRefuseTest,
    testing::Values(BadCase{"Empty", ""}, BadCase{"NotABitmap", "GIF89a" + kGood.substr(6)},
                    BadCase{"HeaderCut", kGood.substr(0, 30)},
                    BadCase{"PixelsCut", kGood.substr(0, kGood.size() - 1)},
                    BadCase{"HeaderSizeBeyondFile", withField(kGood, 14, 0xFFFFFF00)},
                    BadCase{"HeaderSizeUnknown", withField(kGood, 14, 20)},
                    BadCase{"DataOffsetBeyondFile", withField(kGood, 10, 0xFFFFFFF0)},
                    BadCase{"ZeroWidth", withField(kGood, 18, 0)},
                    BadCase{"NegativeWidth", withField(kGood, 18, 0xFFFFFFFE)},
                    BadCase{"HeightIntMin", withField(kGood, 22, 0x80000000)},
                    BadCase{"HugeSides", withField(withField(kGood, 18, 60000), 22, 60000)},
                    BadCase{"WideRowClaimedInTinyFile", withField(kGood, 18, 65535)},
                    BadCase{"RunLengthCompressed", bitmap(2, 1, 8, 1, kPalette4, std::string("\x02\x01\x00\x01", 4))},
                    BadCase{"BitFieldsMasksCut", bitmap(2, 1, 32, 3, "", "").substr(0, 56)},
                    BadCase{"TwoBitsPerPixel", bitmap(4, 1, 2, 0, kPalette4, std::string(4, '\0'))}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// Decodes what encodePng wrote with zlib alone: chunk CRCs, the stream, the Sub filter.
std::vector<std::uint8_t> decodeOwnPng(const std::string& png, std::uint32_t& width, std::uint32_t& height) {
  auto be32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at + 2])) << 8 |
           static_cast<std::uint8_t>(png[at + 3]);
  };
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  std::string compressed;
  std::vector<std::string> types;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = be32(at);
    const std::string type = png.substr(at + 4, 4);
    types.push_back(type);
    const auto* start = reinterpret_cast<const Bytef*>(png.data() + at + 4);
    EXPECT_EQ(crc32(0, start, length + 4), be32(at + 8 + length)) << type;
    if (type == "IHDR") {
      width = be32(at + 8);
      height = be32(at + 12);
      EXPECT_EQ(png.substr(at + 16, 5), std::string("\x08\x02\x00\x00\x00", 5));
    }
    if (type == "IDAT") compressed += png.substr(at + 8, length);
    at += 12 + length;
  }
  EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  std::vector<std::uint8_t> filtered(height * (rowBytes + 1));
  uLongf size = filtered.size();
  EXPECT_EQ(uncompress(filtered.data(), &size, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()), Z_OK);
  EXPECT_EQ(size, filtered.size());
  std::vector<std::uint8_t> pixels;
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::uint8_t* row = filtered.data() + y * (rowBytes + 1);
    EXPECT_EQ(row[0], 1);
    for (std::size_t i = 0; i < rowBytes; ++i)
      pixels.push_back(static_cast<std::uint8_t>(row[i + 1] + (i >= 3 ? pixels[pixels.size() - 3] : 0)));
  }
  return pixels;
}

TEST(DesktopPngTest, EncodesThePixelsExactly) {
  RgbPicture picture;
  picture.width = 37;
  picture.height = 5;
  for (std::uint32_t i = 0; i < picture.width * picture.height * 3; ++i)
    picture.pixels.push_back(static_cast<std::uint8_t>(i * 97 + (i >> 3)));
  std::uint32_t width = 0, height = 0;
  EXPECT_EQ(decodeOwnPng(encodePng(picture), width, height), picture.pixels);
  EXPECT_EQ(width, 37u);
  EXPECT_EQ(height, 5u);
}

class DesktopCopiesTest : public testing::Test {
 protected:
  std::string folder() const { return (env.data() / "Verrelune").string(); }
  std::string writeBitmap(std::uint32_t colour) {
    TempEnvironment::write(folder() + "/Verrelune.bmp", bitmap24(1, 1, {colour}));
    return folder() + "/Verrelune.bmp";
  }
  std::vector<std::uint8_t> pixelsOf(const std::string& path) {
    std::uint32_t width = 0, height = 0;
    return decodeOwnPng(TempEnvironment::read(path), width, height);
  }
  TempEnvironment env;
};

// GNOME keeps the pictures it has loaded by file name: it reads a file the first time its path
// is set and shows what it cached under that path ever after. Every change must therefore
// reach it under a path it has not seen, as a complete file, while the file it shows stays.
TEST_F(DesktopCopiesTest, GnomeShowsEveryNewPicture) {
  RecordingRunner runner;
  std::map<std::string, std::vector<std::uint8_t>> cache;
  std::string shownPath;
  std::vector<std::uint8_t> shown;
  runner.respond = [&](const RecordingRunner::Argv& argv) {
    // Deleting the file GNOME shows blanks the screen.
    if (!shownPath.empty()) {
      EXPECT_TRUE(std::filesystem::exists(shownPath)) << shownPath;
    }
    if (argv.size() == 5 && argv[3] == "picture-uri") {
      const std::string prefix = "'file://";
      EXPECT_TRUE(argv[4].starts_with(prefix) && argv[4].ends_with("'")) << argv[4];
      shownPath = argv[4].substr(prefix.size(), argv[4].size() - prefix.size() - 1);
      if (!cache.contains(shownPath)) cache[shownPath] = pixelsOf(shownPath);
      shown = cache[shownPath];
    }
    return RecordingRunner::succeeded("");
  };
  NumberedCopies copies;
  GnomeFamilyDesktop desktop(GnomeFamilyDesktop::Flavour::Gnome, runner, copies);
  for (std::uint32_t change = 1; change <= 8; ++change) {
    const std::vector<std::uint32_t> colours = {change * 0x010203, 0xFFFFFF - change};
    TempEnvironment::write(folder() + "/Verrelune.bmp", bitmap24(2, 1, colours));
    ASSERT_TRUE(desktop.applyWallpaper(folder() + "/Verrelune.bmp", platform::WallpaperStyle::Centre));
    EXPECT_EQ(shown, rgbOf(colours)) << "change " << change;
    // The bitmap and at most two copies, nothing else.
    EXPECT_LE(std::distance(std::filesystem::directory_iterator(folder()), {}), 3) << "change " << change;
  }
}

// What a start finds in the folder: copies with their modification times (seconds). The
// copy the desktop was last pointed at must stay; every other one goes.
struct FolderAtStart {
  const char* name;
  std::vector<std::pair<std::string, std::int64_t>> copies;
  std::string shown;
  std::string published;
};

void PrintTo(const FolderAtStart& folder, std::ostream* out) { *out << folder.name; }

class DesktopCopiesAtStartTest : public DesktopCopiesTest,
                                 public testing::WithParamInterface<FolderAtStart> {};

TEST_P(DesktopCopiesAtStartTest, KeepsTheShownCopyAndRemovesTheOthers) {
  for (const auto& [name, seconds] : GetParam().copies) {
    const std::string path = folder() + "/" + name;
    TempEnvironment::write(path, "an earlier copy");
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000 + seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }
  NumberedCopies copies;
  std::string error;
  EXPECT_EQ(copies.publish(writeBitmap(0x123456), error), folder() + "/" + GetParam().published);
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(folder()))
    left.insert(entry.path().filename().string());
  std::set<std::string> expected = {"Verrelune.bmp", GetParam().published};
  if (!GetParam().shown.empty()) expected.insert(GetParam().shown);
  EXPECT_EQ(left, expected);
}

INSTANTIATE_TEST_SUITE_P(DesktopCopies, DesktopCopiesAtStartTest,
    testing::Values(
        FolderAtStart{"Empty", {}, "", "Verrelune-1.png"},
        // Earlier versions used two names in turn: the newer one is shown.
        FolderAtStart{"LetteredBNewer", {{"Verrelune-a.png", 100}, {"Verrelune-b.png", 200}}, "Verrelune-b.png", "Verrelune-1.png"},
        FolderAtStart{"LetteredANewer", {{"Verrelune-a.png", 300}, {"Verrelune-b.png", 200}}, "Verrelune-a.png", "Verrelune-1.png"},
        // The number decides, not the clock.
        FolderAtStart{"Numbered", {{"Verrelune-9.png", 100}, {"Verrelune-10.png", 50}}, "Verrelune-10.png", "Verrelune-11.png"},
        FolderAtStart{"NumberedAfterLettered", {{"Verrelune-b.png", 100}, {"Verrelune-7.png", 200}}, "Verrelune-7.png", "Verrelune-8.png"},
        // An earlier version ran again after this one.
        FolderAtStart{"LetteredAfterNumbered", {{"Verrelune-7.png", 100}, {"Verrelune-b.png", 200}}, "Verrelune-b.png", "Verrelune-8.png"}),
    [](const testing::TestParamInfo<FolderAtStart>& info) { return std::string(info.param.name); });

TEST_F(DesktopCopiesTest, OnlyOurOwnRegularCopiesAreRemovedAndNoNameIsWrittenOver) {
  namespace fs = std::filesystem;
  const fs::path elsewhere = env.root() / "elsewhere.png";
  TempEnvironment::write(elsewhere, "someone's picture");
  fs::create_directories(folder());
  fs::create_symlink(elsewhere, folder() + "/Verrelune-9.png");
  fs::create_directory(folder() + "/Verrelune-8.png");
  const std::vector<std::string> notOurs = {"Verrelune-01.png", "Verrelune-c.png", "Verrelune-3.png.bak",
                                            "verrelune-4.png", "Verrelune-.png", "Verrelune-5.PNG"};
  for (const std::string& name : notOurs) TempEnvironment::write(folder() + "/" + name, "kept");

  NumberedCopies copies;
  std::string error;
  EXPECT_EQ(copies.publish(writeBitmap(1), error), folder() + "/Verrelune-10.png");
  EXPECT_EQ(copies.publish(writeBitmap(2), error), folder() + "/Verrelune-11.png");
  EXPECT_EQ(copies.publish(writeBitmap(3), error), folder() + "/Verrelune-12.png");
  EXPECT_TRUE(fs::is_symlink(folder() + "/Verrelune-9.png"));
  EXPECT_EQ(TempEnvironment::read(elsewhere), "someone's picture");
  EXPECT_TRUE(fs::is_directory(folder() + "/Verrelune-8.png"));
  for (const std::string& name : notOurs) EXPECT_TRUE(fs::exists(folder() + "/" + name)) << name;
  EXPECT_FALSE(fs::exists(folder() + "/Verrelune-10.png"));
}

TEST_F(DesktopCopiesTest, UnreadableBitmapWritesNothing) {
  NumberedCopies copies;
  std::string error;
  TempEnvironment::write(folder() + "/Verrelune.bmp", "BM junk");
  EXPECT_FALSE(copies.publish(folder() + "/Verrelune.bmp", error));
  EXPECT_FALSE(copies.publish(folder() + "/Missing.bmp", error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder()), {}), 1);
}

}  // namespace
