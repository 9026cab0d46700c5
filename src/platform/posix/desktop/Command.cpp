#include <cstdio>

#include "platform/posix/desktop/Backends.h"

namespace platform::posix {

bool reportWallpaperFailure(const std::string& reason) {
  std::fprintf(stderr, "verrelune: the wallpaper could not be set: %s\n", reason.c_str());
  return false;
}

bool runTool(CommandRunner& runner, const std::vector<std::string>& argv) {
  const CommandResult result = runner.run(argv);
  if (result.succeeded()) return true;
  const std::string& tool = argv.empty() ? std::string() : argv[0];
  if (!result.started) return reportWallpaperFailure(tool + " could not be started");
  if (result.timedOut) return reportWallpaperFailure(tool + " did not finish in time and was stopped");
  if (result.exitStatus < 0) return reportWallpaperFailure(tool + " was ended by a signal");
  return reportWallpaperFailure(tool + " ended with status " + std::to_string(result.exitStatus));
}

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
