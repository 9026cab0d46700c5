#pragma once

#include <string>

#include "imaging/Color.h"

namespace platform {

// How the desktop fits the picture to the screen: "Center" and "Reduce" show it centred at its
// own size on the background colour, "Stretch" spreads it over the whole screen.
enum class WallpaperStyle { Centre, Stretch };

// The running desktop's wallpaper.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // Makes the running desktop show the picture file (a Windows BMP the program just wrote,
  // atomically). Never throws; failures are written to stderr (one clear line) and reported
  // by the return value for tests, not to the user.
  virtual bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) = 0;

  // The colour the desktop shows around a centred picture, which the preview uses for its
  // bands. The Linux program sets every desktop's background to black itself.
  virtual Color backgroundColour() const { return Color{0, 0, 0}; }
};

}  // namespace platform
