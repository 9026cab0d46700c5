#include "platform/posix/desktop/Backends.h"

#include <cstdio>

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

}  // namespace platform::posix
