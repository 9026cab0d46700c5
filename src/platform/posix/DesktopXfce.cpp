#include <sstream>

#include "platform/posix/DesktopBackends.h"
#include "platform/posix/DesktopQuoting.h"

namespace platform::posix {

namespace {

constexpr char kLastImage[] = "/last-image";
// Where xfdesktop looks for the first monitor's picture when it has never had one.
constexpr char kFirstMonitorLastImage[] = "/backdrop/screen0/monitor0/workspace0/last-image";
// xfdesktop's image styles.
constexpr char kStyleCentred[] = "1";
constexpr char kStyleStretched[] = "3";

std::vector<std::string> xfconf(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"xfconf-query", "-c", "xfce4-desktop"});
  return arguments;
}

}  // namespace

bool XfceDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<std::string> picture = copies_.publish(bmpPath, error);
  if (!picture) return reportWallpaperFailure(error);
  if (!isUtf8(*picture))
    return reportWallpaperFailure("XFCE cannot take the path " + *picture +
                                  " because it is not valid UTF-8");

  const CommandResult listing = runner_.run(xfconf({"-l"}));
  std::vector<std::string> properties;
  std::istringstream lines(listing.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > sizeof kLastImage - 1 &&
        line.compare(line.size() - (sizeof kLastImage - 1), std::string::npos, kLastImage) == 0)
      properties.push_back(line);
  }
  const bool creating = properties.empty();
  if (creating) properties.push_back(kFirstMonitorLastImage);

  const char* imageStyle = style == WallpaperStyle::Stretch ? kStyleStretched : kStyleCentred;
  for (const std::string& property : properties) {
    const std::string styleProperty =
        property.substr(0, property.size() - (sizeof kLastImage - 1)) + "/image-style";
    // The style first, so xfdesktop draws the new picture once, already fitted.
    if (!runTool(runner_, xfconf({"-p", styleProperty, "-n", "-t", "int", "-s", imageStyle})))
      return false;
    const std::vector<std::string> setImage =
        creating ? xfconf({"-p", property, "-n", "-t", "string", "-s", *picture})
                 : xfconf({"-p", property, "-s", *picture});
    if (!runTool(runner_, setImage)) return false;
  }
  return true;
}

}  // namespace platform::posix
