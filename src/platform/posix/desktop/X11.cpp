#include <xcb/xcb.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/Picture.h"

namespace platform::posix {

namespace {

// Size of put-image's own header and some slack, in bytes, under the maximum request length.
constexpr std::uint64_t kRequestOverhead = 64;

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

class Connection {
 public:
  explicit Connection(const std::string& displayName)
      : connection_(xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screen_)) {}
  ~Connection() { xcb_disconnect(connection_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  xcb_connection_t* get() const { return connection_; }
  int screenNumber() const { return screen_; }
  bool failed() const { return xcb_connection_has_error(connection_) != 0; }

 private:
  int screen_ = 0;
  xcb_connection_t* connection_;
};

// How an (r, g, b) colour becomes the bytes of one 32-bit pixel of the root's visual.
class PixelEncoder {
 public:
  PixelEncoder(const xcb_visualtype_t& visual, bool msbFirst)
      : red_(visual.red_mask), green_(visual.green_mask), blue_(visual.blue_mask),
        msbFirst_(msbFirst) {}

  void write(const std::uint8_t* rgb, std::uint8_t* out) const {
    const std::uint32_t value = red_(rgb[0]) | green_(rgb[1]) | blue_(rgb[2]);
    for (int i = 0; i < 4; ++i) {
      const int shift = msbFirst_ ? 24 - 8 * i : 8 * i;
      out[i] = static_cast<std::uint8_t>(value >> shift);
    }
  }

 private:
  struct Channel {
    int shift = 0;
    int bits = 0;
    explicit Channel(std::uint32_t mask) {
      if (mask == 0) return;
      shift = std::countr_zero(mask);
      bits = std::bit_width(mask >> shift);
    }
    std::uint32_t operator()(std::uint8_t level) const {
      if (bits == 0) return 0;
      const std::uint32_t scaled = bits >= 8 ? static_cast<std::uint32_t>(level) << (bits - 8)
                                             : static_cast<std::uint32_t>(level) >> (8 - bits);
      return scaled << shift;
    }
  };
  Channel red_, green_, blue_;
  bool msbFirst_;
};

const xcb_visualtype_t* rootVisual(const xcb_screen_t& screen) {
  for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem;
       xcb_depth_next(&depths)) {
    if (depths.data->depth != screen.root_depth) continue;
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
         xcb_visualtype_next(&visuals)) {
      if (visuals.data->visual_id == screen.root_visual) return visuals.data;
    }
  }
  return nullptr;
}

std::uint8_t bitsPerPixel(const xcb_setup_t& setup, std::uint8_t depth) {
  for (auto formats = xcb_setup_pixmap_formats_iterator(&setup); formats.rem;
       xcb_format_next(&formats)) {
    if (formats.data->depth == depth) return formats.data->bits_per_pixel;
  }
  return 0;
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
  const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::optional<xcb_pixmap_t> pixmapProperty(xcb_connection_t* connection, xcb_window_t root,
                                           xcb_atom_t atom) {
  const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, root, atom, XCB_ATOM_PIXMAP, 0, 1), nullptr));
  if (!reply || reply->type != XCB_ATOM_PIXMAP || reply->format != 32 ||
      xcb_get_property_value_length(reply.get()) != 4)
    return std::nullopt;
  xcb_pixmap_t pixmap;
  std::memcpy(&pixmap, xcb_get_property_value(reply.get()), sizeof pixmap);
  return pixmap;
}

// Fills the pixmap with the picture, centred on the background colour or stretched (nearest
// neighbour: the source pixel is the floor of the scaled position), a strip of rows per request.
void drawPicture(xcb_connection_t* connection, xcb_pixmap_t pixmap, std::uint8_t depth,
                 std::uint32_t width, std::uint32_t height, const RgbPicture& picture,
                 WallpaperStyle style, const PixelEncoder& encoder) {
  const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * 4;
  const std::uint64_t maxRequest =
      static_cast<std::uint64_t>(xcb_get_maximum_request_length(connection)) * 4;
  const std::uint64_t rowsPerStrip =
      std::max<std::uint64_t>(1, std::min<std::uint64_t>(height, (maxRequest - kRequestOverhead) / rowBytes));
  std::vector<std::uint8_t> strip(rowsPerStrip * rowBytes);

  // Source column (or row) of every target one; -1 where the background shows.
  auto sourceIndex = [&](std::uint32_t target, std::uint32_t targetSize, std::uint32_t sourceSize) {
    if (style == WallpaperStyle::Stretch)
      return static_cast<std::int64_t>(static_cast<std::uint64_t>(target) * sourceSize / targetSize);
    const std::int64_t offset = (static_cast<std::int64_t>(targetSize) - sourceSize) / 2;
    const std::int64_t source = static_cast<std::int64_t>(target) - offset;
    return source >= 0 && source < sourceSize ? source : -1;
  };
  std::vector<std::int64_t> columns(width);
  for (std::uint32_t x = 0; x < width; ++x) columns[x] = sourceIndex(x, width, picture.width);

  std::uint8_t background[4];
  const std::uint8_t black[3] = {0, 0, 0};
  encoder.write(black, background);

  const xcb_gcontext_t gc = xcb_generate_id(connection);
  xcb_create_gc(connection, gc, pixmap, 0, nullptr);
  for (std::uint32_t top = 0; top < height; top += static_cast<std::uint32_t>(rowsPerStrip)) {
    const std::uint32_t rows = static_cast<std::uint32_t>(std::min<std::uint64_t>(rowsPerStrip, height - top));
    for (std::uint32_t k = 0; k < rows; ++k) {
      const std::int64_t sourceRow = sourceIndex(top + k, height, picture.height);
      std::uint8_t* out = strip.data() + k * rowBytes;
      for (std::uint32_t x = 0; x < width; ++x, out += 4) {
        if (sourceRow < 0 || columns[x] < 0)
          std::memcpy(out, background, 4);
        else
          encoder.write(picture.pixel(static_cast<std::uint32_t>(columns[x]),
                                      static_cast<std::uint32_t>(sourceRow)),
                        out);
      }
    }
    xcb_put_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc,
                  static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(rows), 0,
                  static_cast<std::int16_t>(top), 0, depth, static_cast<std::uint32_t>(rows * rowBytes),
                  strip.data());
  }
  xcb_free_gc(connection, gc);
}

}  // namespace

bool X11Desktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<RgbPicture> picture = loadBitmap(bmpPath, error);
  if (!picture) return reportWallpaperFailure(bmpPath + ": " + error);

  // A connection of our own: the pixmap must outlive it, and no toolkit's state is touched.
  const Connection connection(displayName_);
  if (connection.failed()) return reportWallpaperFailure("cannot open the X display");
  xcb_connection_t* c = connection.get();
  const xcb_setup_t* setup = xcb_get_setup(c);
  auto screens = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < connection.screenNumber() && screens.rem; ++i) xcb_screen_next(&screens);
  if (!screens.rem) return reportWallpaperFailure("the X display has no such screen");
  const xcb_screen_t& screen = *screens.data;

  const xcb_visualtype_t* visual = rootVisual(screen);
  if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR ||
      (screen.root_depth != 24 && screen.root_depth != 32) ||
      bitsPerPixel(*setup, screen.root_depth) != 32)
    return reportWallpaperFailure("the X root window's visual (depth " +
                                  std::to_string(screen.root_depth) +
                                  ") is not 24- or 32-bit true colour");
  const PixelEncoder encoder(*visual, setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST);

  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  const Reply<xcb_generic_error_t> createError(xcb_request_check(
      c, xcb_create_pixmap_checked(c, screen.root_depth, pixmap, screen.root,
                                   screen.width_in_pixels, screen.height_in_pixels)));
  if (createError) return reportWallpaperFailure("the X server could not make the root pixmap");
  drawPicture(c, pixmap, screen.root_depth, screen.width_in_pixels, screen.height_in_pixels,
              *picture, style, encoder);

  // The previous setter left its pixmap alive on purpose and named it in both properties;
  // when they agree, it is released with the client that made it.
  const xcb_atom_t rootPixmapAtom = internAtom(c, "_XROOTPMAP_ID");
  const xcb_atom_t esetrootAtom = internAtom(c, "ESETROOT_PMAP_ID");
  if (rootPixmapAtom == XCB_ATOM_NONE || esetrootAtom == XCB_ATOM_NONE)
    return reportWallpaperFailure("the X server refused the root pixmap properties");
  const std::optional<xcb_pixmap_t> previous = pixmapProperty(c, screen.root, rootPixmapAtom);
  if (previous && previous == pixmapProperty(c, screen.root, esetrootAtom))
    xcb_kill_client(c, *previous);

  for (const xcb_atom_t atom : {rootPixmapAtom, esetrootAtom})
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, screen.root, atom, XCB_ATOM_PIXMAP, 32, 1, &pixmap);
  xcb_change_window_attributes(c, screen.root, XCB_CW_BACK_PIXMAP, &pixmap);
  xcb_clear_area(c, 0, screen.root, 0, 0, 0, 0);
  xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);

  // A round trip, so every request above has been handled before we leave, then any error the
  // server sent back.
  const Reply<xcb_get_input_focus_reply_t> focus(
      xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  bool failed = !focus || connection.failed();
  while (const Reply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
    if (event->response_type == 0) failed = true;
  }
  if (failed) return reportWallpaperFailure("the X server reported an error while setting the root background");
  return true;
}

}  // namespace platform::posix
