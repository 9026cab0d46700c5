#include "platform/posix/desktop/Backends.h"

namespace platform::posix {

// pcmanfm-qt ignores a path it already shows: every change comes under a new name.
bool LxqtDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<std::string> picture = copies_.publish(bmpPath, error);
  if (!picture) return reportWallpaperFailure(error);
  return runTool(runner_, {"pcmanfm-qt", "--set-wallpaper=" + *picture,
                           std::string("--wallpaper-mode=") +
                               (style == WallpaperStyle::Stretch ? "stretch" : "center")});
}

}  // namespace platform::posix
