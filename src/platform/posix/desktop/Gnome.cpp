#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/Quoting.h"

namespace platform::posix {

namespace {

const char* schemaOf(GnomeFamilyDesktop::Flavour flavour) {
  switch (flavour) {
    case GnomeFamilyDesktop::Flavour::Cinnamon: return "org.cinnamon.desktop.background";
    case GnomeFamilyDesktop::Flavour::Mate: return "org.mate.background";
    case GnomeFamilyDesktop::Flavour::Gnome: break;
  }
  return "org.gnome.desktop.background";
}

}  // namespace

bool GnomeFamilyDesktop::set(const char* key, const std::string& value) {
  return runTool(runner_, {"gsettings", "set", schemaOf(flavour_), key, gvariantString(value)});
}

// GNOME 42 and later show `picture-uri-dark` in dark mode; older GNOME and Unity have no such
// key, and setting it there would only fail.
bool GnomeFamilyDesktop::hasDarkPictureKey() {
  if (!hasDarkKey_) {
    const CommandResult keys = runner_.run({"gsettings", "list-keys", schemaOf(flavour_)});
    if (!keys.succeeded()) return false;
    hasDarkKey_ = ("\n" + keys.output).find("\npicture-uri-dark\n") != std::string::npos;
  }
  return *hasDarkKey_;
}

bool GnomeFamilyDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  std::string error;
  const std::optional<std::string> picture = copies_.publish(bmpPath, error);
  if (!picture) return reportWallpaperFailure(error);
  // MATE takes a plain path; GSettings strings are UTF-8, so a path that is not cannot go in.
  if (flavour_ == Flavour::Mate && !isUtf8(*picture))
    return reportWallpaperFailure("MATE cannot take the path " + *picture +
                                  " because it is not valid UTF-8");
  // The fit and colour first, so the desktop loads the new picture with them in place.
  if (!set("picture-options", style == WallpaperStyle::Stretch ? "stretched" : "centered") ||
      !set("color-shading-type", "solid") || !set("primary-color", kBackgroundColour))
    return false;
  if (flavour_ == Flavour::Mate) return set("picture-filename", *picture);
  const std::string uri = fileUri(*picture);
  if (!set("picture-uri", uri)) return false;
  return flavour_ != Flavour::Gnome || !hasDarkPictureKey() || set("picture-uri-dark", uri);
}

}  // namespace platform::posix
