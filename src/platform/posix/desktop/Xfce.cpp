#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/Quoting.h"
#include "platform/posix/desktop/RandrOutputs.h"

namespace platform::posix {

namespace {

constexpr char kLastImage[] = "/last-image";
// xfdesktop names a monitor's properties after its RandR output ("monitorHDMI-1"); without
// RandR it reads the first monitor's under this name.
constexpr char kMonitorWithoutRandr[] = "0";
// xfdesktop's image styles, and its solid-colour style.
constexpr char kStyleCentred[] = "1";
constexpr char kStyleStretched[] = "3";
constexpr char kColourSolid[] = "0";

std::vector<std::string> xfconf(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"xfconf-query", "-c", "xfce4-desktop"});
  return arguments;
}

// kBackgroundColour as the red, green, blue and alpha fractions xfdesktop keeps.
std::vector<std::string> colourFractions() {
  std::vector<std::string> fractions;
  for (int i = 0; i < 3; ++i) {
    const long level = std::strtol(std::string(kBackgroundColour + 1 + 2 * i, 2).c_str(), nullptr, 16);
    char text[16];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(level) / 255.0);
    fractions.emplace_back(text);
  }
  fractions.emplace_back("1");
  return fractions;
}

}  // namespace

XfceDesktop::XfceDesktop(CommandRunner& runner, NumberedCopies& copies,
                         std::function<std::vector<std::string>()> monitorNames)
    : runner_(runner), copies_(copies), monitorNames_(std::move(monitorNames)) {
  if (!monitorNames_) monitorNames_ = [] { return randrOutputNames(); };
}

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
  // A desktop that never had a picture: the first workspace of every monitor it shows.
  const bool creating = properties.empty();
  if (creating) {
    std::vector<std::string> monitors = monitorNames_();
    if (monitors.empty()) monitors.emplace_back(kMonitorWithoutRandr);
    for (const std::string& monitor : monitors)
      properties.push_back("/backdrop/screen0/monitor" + monitor + "/workspace0" + kLastImage);
  }

  const char* imageStyle = style == WallpaperStyle::Stretch ? kStyleStretched : kStyleCentred;
  // The colour is an array of four fractions: a type for each, then a value for each.
  const std::vector<std::string> fractions = colourFractions();
  std::vector<std::string> setColour = {"-n"};
  for (std::size_t i = 0; i < fractions.size(); ++i) setColour.insert(setColour.end(), {"-t", "double"});
  for (const std::string& fraction : fractions) setColour.insert(setColour.end(), {"-s", fraction});
  for (const std::string& property : properties) {
    const std::string folder = property.substr(0, property.size() - (sizeof kLastImage - 1));
    // Style and colour first, so xfdesktop draws the new picture once, already fitted.
    if (!runTool(runner_, xfconf({"-p", folder + "/image-style", "-n", "-t", "int", "-s", imageStyle})))
      return false;
    if (!runTool(runner_, xfconf({"-p", folder + "/color-style", "-n", "-t", "int", "-s", kColourSolid})))
      return false;
    std::vector<std::string> colour = xfconf({"-p", folder + "/rgba1"});
    colour.insert(colour.end(), setColour.begin(), setColour.end());
    if (!runTool(runner_, colour)) return false;
    const std::vector<std::string> setImage =
        creating ? xfconf({"-p", property, "-n", "-t", "string", "-s", *picture})
                 : xfconf({"-p", property, "-s", *picture});
    if (!runTool(runner_, setImage)) return false;
  }
  return true;
}

}  // namespace platform::posix
