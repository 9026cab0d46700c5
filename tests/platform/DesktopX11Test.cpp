#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "DesktopTestSupport.h"
#include "TempEnvironment.h"
#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/RandrOutputs.h"

using platform::WallpaperStyle;
using platform::posix::X11Desktop;

namespace {

// A connection of the test's own to the display the backend draws on.
class Display {
 public:
  Display() : connection_(xcb_connect(nullptr, nullptr)) {}
  ~Display() { xcb_disconnect(connection_); }
  xcb_connection_t* get() const { return connection_; }
  const xcb_screen_t& screen() const { return *xcb_setup_roots_iterator(xcb_get_setup(connection_)).data; }

  std::optional<xcb_pixmap_t> rootPixmap(const char* atomName) const {
    auto* atom = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 1, static_cast<std::uint16_t>(std::strlen(atomName)), atomName), nullptr);
    const xcb_atom_t id = atom ? atom->atom : 0;
    std::free(atom);
    if (id == 0) return std::nullopt;
    auto* reply = xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, screen().root, id, XCB_ATOM_PIXMAP, 0, 1), nullptr);
    std::optional<xcb_pixmap_t> pixmap;
    if (reply && xcb_get_property_value_length(reply) == 4)
      pixmap = *static_cast<xcb_pixmap_t*>(xcb_get_property_value(reply));
    std::free(reply);
    return pixmap;
  }

  bool exists(xcb_pixmap_t pixmap) const {
    auto* reply = xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, pixmap), nullptr);
    std::free(reply);
    return reply != nullptr;
  }

  // The pixel at (x, y) of a drawable as 0xRRGGBB, for the usual 8-8-8 true-colour visual.
  std::uint32_t pixel(xcb_drawable_t drawable, int x, int y) const {
    auto* reply = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), 1, 1, ~0u),
        nullptr);
    std::uint32_t value = 0xDEADBEEF;
    if (reply && xcb_get_image_data_length(reply) >= 4) std::memcpy(&value, xcb_get_image_data(reply), 4);
    std::free(reply);
    return value & 0xFFFFFF;
  }

 private:
  xcb_connection_t* connection_;
};

// 4 x 2 pixels of distinct colours, top row first.
const std::vector<std::uint32_t> kPicture = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF,
                                             0x102030, 0x405060, 0x708090, 0xA0B0C0};

// Both styles and the release of the previous pixmap in one test, so that no other test of
// this suite draws on the same root at the same time.
TEST(DesktopX11Test, DrawsTheRootPixmapAndReleasesThePreviousOne) {
  if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  Display display;
  ASSERT_FALSE(xcb_connection_has_error(display.get()));
  TempEnvironment env;
  const std::string bmp = (env.data() / "Verrelune.bmp").string();
  TempEnvironment::write(bmp, bitmap24(4, 2, kPicture));
  X11Desktop desktop;
  const int depth = display.screen().root_depth;
  if (depth != 24 && depth != 32) {
    // Pseudo-colour and 15/16-bit roots are refused, not drawn wrong.
    EXPECT_FALSE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
    EXPECT_FALSE(display.rootPixmap("_XROOTPMAP_ID"));
    return;
  }
  if (depth != 24) GTEST_SKIP() << "the checks below expect a 24-bit root";
  const int width = display.screen().width_in_pixels;
  const int height = display.screen().height_in_pixels;

  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
  const std::optional<xcb_pixmap_t> centred = display.rootPixmap("_XROOTPMAP_ID");
  ASSERT_TRUE(centred);
  EXPECT_EQ(display.rootPixmap("ESETROOT_PMAP_ID"), centred);
  // The pixmap is read back rather than the root window, which other programs' windows may
  // cover while the tests run.
  const int left = (width - 4) / 2;
  const int top = (height - 2) / 2;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(display.pixel(*centred, left + x, top + y), kPicture[y * 4 + x]) << x << "," << y;
  for (const auto& [x, y] : {std::pair{left - 1, top}, {left + 4, top + 1}, {left, top - 1}, {left + 3, top + 2}, {0, 0},
                             {width - 1, height - 1}})
    EXPECT_EQ(display.pixel(*centred, x, y), 0u) << x << "," << y;

  ASSERT_TRUE(desktop.applyWallpaper(bmp, WallpaperStyle::Stretch));
  const std::optional<xcb_pixmap_t> stretched = display.rootPixmap("_XROOTPMAP_ID");
  ASSERT_TRUE(stretched);
  EXPECT_NE(stretched, centred);
  EXPECT_EQ(display.rootPixmap("ESETROOT_PMAP_ID"), stretched);
  EXPECT_FALSE(display.exists(*centred)) << "the previous pixmap was not released";
  EXPECT_TRUE(display.exists(*stretched)) << "the pixmap did not outlive its connection";
  // Nearest neighbour: the source pixel is the floor of the scaled position.
  for (int y = 0; y < height; y += height / 8)
    for (int x = 0; x < width; x += width / 16)
      EXPECT_EQ(display.pixel(*stretched, x, y), kPicture[(y * 2 / height) * 4 + x * 4 / width]) << x << "," << y;
  // The first column of the second source pixel is the first x with x * 4 / width >= 1.
  const int second = (width + 3) / 4;
  EXPECT_EQ(display.pixel(*stretched, second - 1, 0), kPicture[0]);
  EXPECT_EQ(display.pixel(*stretched, second, 0), kPicture[1]);
  EXPECT_EQ(display.pixel(*stretched, width - 1, height - 1), kPicture[7]);
  EXPECT_EQ(display.pixel(display.screen().root, width - 1, height - 1), kPicture[7]);
}

TEST(DesktopX11Test, CorruptBitmapLeavesTheRootAlone) {
  TempEnvironment env;
  const std::string bmp = (env.data() / "Verrelune.bmp").string();
  TempEnvironment::write(bmp, bitmap24(4, 2, kPicture).substr(0, 70));
  X11Desktop desktop(":nowhere");
  EXPECT_FALSE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
}

TEST(DesktopX11Test, UnreachableDisplayIsReported) {
  TempEnvironment env;
  const std::string bmp = (env.data() / "Verrelune.bmp").string();
  TempEnvironment::write(bmp, bitmap24(4, 2, kPicture));
  X11Desktop desktop(":9999");
  EXPECT_FALSE(desktop.applyWallpaper(bmp, WallpaperStyle::Centre));
}

}  // namespace

namespace {

// xfdesktop names each monitor after its RandR output; a virtual server has one, "screen".
TEST(RandrOutputs, NameTheOutputsThatShowTheScreen) {
  if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
  const std::vector<std::string> noms = platform::posix::randrOutputNames();
  ASSERT_FALSE(noms.empty());
  for (const std::string& nom : noms) EXPECT_FALSE(nom.empty());
  EXPECT_TRUE(platform::posix::randrOutputNames(":9999").empty());
}

}  // namespace
