#include "platform/posix/desktop/Backends.h"

namespace platform::posix {

// The command line runs in /bin/sh with the bitmap's path as "$1", so the path is never
// parsed by the shell whatever it holds; the style is in VERRELUNE_WALLPAPER_STYLE ("center"
// or "stretch") for commands that want it.
bool CommandDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  const std::string styleName = style == WallpaperStyle::Stretch ? "stretch" : "center";
  return runTool(runner_, {"/bin/sh", "-c",
                           "VERRELUNE_WALLPAPER_STYLE=" + styleName +
                               "; export VERRELUNE_WALLPAPER_STYLE; " + commandLine_ + " \"$1\"",
                           "verrelune", bmpPath});
}

}  // namespace platform::posix
