#include "platform/posix/desktop/Detect.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <vector>

#include "platform/posix/desktop/Backends.h"
#include "platform/posix/desktop/Dbus.h"

namespace platform::posix {

namespace {

struct DesktopName {
  const char* name;          // as in XDG_CURRENT_DESKTOP, lower case
  DesktopKind kind;
  const char* busName;       // the desktop's own D-Bus name, or nullptr
};

// In order of precedence: "Budgie:GNOME" and "ubuntu:GNOME" are Budgie and GNOME.
constexpr std::array<DesktopName, 9> kDesktopNames = {{
    {"kde", DesktopKind::Kde, "org.kde.plasmashell"},
    {"xfce", DesktopKind::Xfce, "org.xfce.xfdesktop"},
    {"x-cinnamon", DesktopKind::Cinnamon, "org.Cinnamon"},
    {"cinnamon", DesktopKind::Cinnamon, "org.Cinnamon"},
    {"mate", DesktopKind::Mate, nullptr},
    {"budgie", DesktopKind::Gnome, nullptr},
    {"unity", DesktopKind::Gnome, nullptr},
    {"lxqt", DesktopKind::Lxqt, "org.pcmanfm.PCManFM"},
    {"gnome", DesktopKind::Gnome, "org.gnome.Shell"},
}};

std::vector<std::string> currentDesktopNames(const std::string& value) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = value.find(':', start);
    std::string name = value.substr(start, colon == std::string::npos ? colon : colon - start);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!name.empty()) names.push_back(std::move(name));
    if (colon == std::string::npos) return names;
    start = colon + 1;
  }
}

bool isSet(const DesktopSurroundings& surroundings, const char* variable) {
  const std::optional<std::string> value = surroundings.environment(variable);
  return value && !value->empty();
}

}  // namespace

DesktopSurroundings DesktopSurroundings::ofThisSession(CommandRunner& runner) {
  DesktopSurroundings surroundings;
  surroundings.environment = [](const std::string& name) -> std::optional<std::string> {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  surroundings.fileExists = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  };
  surroundings.busNameHasOwner = [&runner](const std::string& name) -> std::optional<bool> {
    const CommandResult result = callDbus(
        runner, {"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                 "NameHasOwner", name});
    if (!result.succeeded()) return std::nullopt;
    if (result.output.find("true") != std::string::npos) return true;
    if (result.output.find("false") != std::string::npos) return false;
    return std::nullopt;
  };
  return surroundings;
}

DesktopKind detectDesktop(const DesktopSurroundings& surroundings) {
  if (isSet(surroundings, "VERRELUNE_WALLPAPER_COMMAND")) return DesktopKind::Command;
  if (surroundings.fileExists("/.flatpak-info") || isSet(surroundings, "SNAP"))
    return DesktopKind::Sandbox;

  const std::vector<std::string> names =
      currentDesktopNames(surroundings.environment("XDG_CURRENT_DESKTOP").value_or(""));
  for (const DesktopName& desktop : kDesktopNames) {
    if (std::find(names.begin(), names.end(), desktop.name) == names.end()) continue;
    // A desktop named in the session but whose shell does not run (a session started from
    // another one, a crashed shell) would take the setting and show nothing: fall through.
    if (desktop.busName && surroundings.busNameHasOwner(desktop.busName) == false) break;
    return desktop.kind;
  }
  if (isSet(surroundings, "HYPRLAND_INSTANCE_SIGNATURE")) return DesktopKind::Swaybg;
  if (isSet(surroundings, "SWAYSOCK")) return DesktopKind::Sway;
  if (isSet(surroundings, "WAYLAND_DISPLAY")) return DesktopKind::Swaybg;
  if (isSet(surroundings, "DISPLAY")) return DesktopKind::X11;
  return DesktopKind::None;
}

SessionDesktop::SessionDesktop(DesktopSurroundings surroundings, CommandRunner& runner,
                               std::string x11Display)
    : surroundings_(std::move(surroundings)), runner_(runner), x11Display_(std::move(x11Display)) {}

Desktop& SessionDesktop::backend(DesktopKind kind) {
  std::unique_ptr<Desktop>& slot = backends_[kind];
  if (!slot) {
    switch (kind) {
      case DesktopKind::Kde: slot = std::make_unique<KdeDesktop>(runner_, copies_); break;
      case DesktopKind::Xfce: slot = std::make_unique<XfceDesktop>(runner_, copies_); break;
      case DesktopKind::Cinnamon:
        slot = std::make_unique<GnomeFamilyDesktop>(GnomeFamilyDesktop::Flavour::Cinnamon, runner_, copies_);
        break;
      case DesktopKind::Mate:
        slot = std::make_unique<GnomeFamilyDesktop>(GnomeFamilyDesktop::Flavour::Mate, runner_, copies_);
        break;
      case DesktopKind::Gnome:
        slot = std::make_unique<GnomeFamilyDesktop>(GnomeFamilyDesktop::Flavour::Gnome, runner_, copies_);
        break;
      case DesktopKind::Lxqt: slot = std::make_unique<LxqtDesktop>(runner_, copies_); break;
      case DesktopKind::Sway: slot = std::make_unique<SwayDesktop>(runner_, copies_); break;
      case DesktopKind::Swaybg: slot = std::make_unique<SwaybgDesktop>(runner_, copies_); break;
      case DesktopKind::X11: slot = std::make_unique<X11Desktop>(x11Display_); break;
      case DesktopKind::Command:
      case DesktopKind::Sandbox:
      case DesktopKind::None: break;
    }
  }
  return *slot;
}

bool SessionDesktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle style) {
  try {
    const DesktopKind kind = detectDesktop(surroundings_);
    switch (kind) {
      case DesktopKind::Command:
        return CommandDesktop(*surroundings_.environment("VERRELUNE_WALLPAPER_COMMAND"), runner_)
            .applyWallpaper(bmpPath, style);
      case DesktopKind::Sandbox:
        return reportWallpaperFailure(
            "inside a Flatpak or Snap sandbox; set VERRELUNE_WALLPAPER_COMMAND to a command "
            "that sets it");
      case DesktopKind::None:
        return reportWallpaperFailure("no desktop found (neither WAYLAND_DISPLAY nor DISPLAY is set)");
      default:
        return backend(kind).applyWallpaper(bmpPath, style);
    }
  } catch (const std::exception& failure) {
    return reportWallpaperFailure(failure.what());
  }
}

SessionDesktop::SessionDesktop()
    : ownRunner_(std::make_unique<SpawnCommandRunner>()),
      surroundings_(DesktopSurroundings::ofThisSession(*ownRunner_)),
      runner_(*ownRunner_) {}

}  // namespace platform::posix
