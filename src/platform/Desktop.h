#pragma once

#include <string>

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
};

}  // namespace platform
