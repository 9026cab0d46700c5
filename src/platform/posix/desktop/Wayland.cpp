#include <string_view>

#include "platform/posix/desktop/Backends.h"

namespace platform::posix {

namespace {

const char* swayMode(WallpaperStyle style) {
  return style == WallpaperStyle::Stretch ? "stretch" : "center";
}

// sway splits its command on blanks outside double quotes, then expands the picture's path as
// a shell word (for `~` and `$HOME`). A path holding characters that the expansion would alter
// or refuse cannot be given to it faithfully.
bool swayCanTake(std::string_view path) {
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
        std::string_view("\"'\\$`|&;<>(){}*?[]").find(c) != std::string_view::npos)
      return false;
  }
  return true;
}

}  // namespace

// Each `output * bg` restarts sway's own background drawer, which loads the file again.
bool SwayDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<std::string> picture = copies_.publish(bmpPath, error);
  if (!picture) return reportWallpaperFailure(error);
  if (!swayCanTake(*picture))
    return reportWallpaperFailure("sway cannot take the path " + *picture +
                                  " (quotes, backslashes, $ and other shell characters)");
  return runTool(runner_, {"swaymsg", "output * bg \"" + *picture + "\" " + swayMode(style) +
                                          " " + kBackgroundColour});
}

// The new drawer starts before the old one stops, so the screen never shows a bare background.
bool SwaybgDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<std::string> picture = copies_.publish(bmpPath, error);
  if (!picture) return reportWallpaperFailure(error);
  const std::optional<pid_t> started = runner_.startBackground(
      {"swaybg", "-o", "*", "-i", *picture, "-m", swayMode(style), "-c", kBackgroundColour});
  if (!started) return reportWallpaperFailure("swaybg could not be started");
  if (running_) runner_.stopBackground(*running_);
  running_ = started;
  return true;
}

}  // namespace platform::posix
