#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/Dbus.h"
#include "platform/posix/desktop/Quoting.h"

namespace platform::posix {

namespace {

// Plasma's image wallpaper fill modes.
constexpr int kFillModeStretch = 0;
constexpr int kFillModePad = 6;

}  // namespace

std::string KdeDesktop::script(const std::string& picturePath, WallpaperStyle style) {
  const int fillMode = style == WallpaperStyle::Stretch ? kFillModeStretch : kFillModePad;
  return "var all = desktops();"
         "for (var i = 0; i < all.length; i++) {"
         "var d = all[i];"
         "d.wallpaperPlugin = 'org.kde.image';"
         "d.currentConfigGroup = Array('Wallpaper', 'org.kde.image', 'General');"
         "d.writeConfig('FillMode', " + std::to_string(fillMode) + ");"
         "d.writeConfig('Color', " + javascriptString(kBackgroundColour) + ");"
         "d.writeConfig('Image', " + javascriptString(fileUri(picturePath)) + ");"
         "}";
}

// Plasma 5 never reloads a picture whose path did not change: each change comes under a new
// name.
bool KdeDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<std::string> picture = copies_.publish(bmpPath, error);
  if (!picture) return reportWallpaperFailure(error);
  const CommandResult result = callDbus(
      runner_, {"org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell", "evaluateScript",
                script(*picture, style)});
  if (result.succeeded()) return true;
  if (!result.started)
    return reportWallpaperFailure("no D-Bus tool (dbus-send, gdbus or qdbus) could be started");
  // The usual cause is a Kiosk setting that forbids desktop scripting.
  return reportWallpaperFailure(
      "Plasma refused the wallpaper script (desktop scripting may be locked)");
}

}  // namespace platform::posix
