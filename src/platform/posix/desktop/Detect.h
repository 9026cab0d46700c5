#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Desktop.h"
#include "platform/posix/desktop/CommandRunner.h"
#include "platform/posix/desktop/NumberedCopies.h"

namespace platform::posix {

enum class DesktopKind {
  Command,   // VERRELUNE_WALLPAPER_COMMAND
  Sandbox,   // inside Flatpak or Snap
  Kde,
  Xfce,
  Cinnamon,
  Mate,
  Gnome,     // also Unity and Budgie
  Lxqt,
  Sway,
  Swaybg,    // Hyprland and other Wayland compositors
  X11,
  None,
};

// What detection looks at, injectable so tests can stage any session.
struct DesktopSurroundings {
  // The environment variable's value; nothing when it is unset.
  std::function<std::optional<std::string>(const std::string&)> environment;
  std::function<bool(const std::string&)> fileExists;
  // Whether the name has an owner on the session bus; nothing when that cannot be told.
  std::function<std::optional<bool>(const std::string&)> busNameHasOwner;

  // The real process environment, file system, and session bus through `runner`.
  static DesktopSurroundings ofThisSession(CommandRunner& runner);
};

// Which desktop runs: the override, then a sandbox, then XDG_CURRENT_DESKTOP (split on `:`,
// without regard to case, the more specific names winning over GNOME) confirmed by the
// desktop's own D-Bus name where it has one, then Hyprland and sway, other Wayland, X11.
DesktopKind detectDesktop(const DesktopSurroundings& surroundings);

// The desktop of this session, found again at every change (a desktop shell that was still
// starting at log-in is found once it runs). Backends with state (the numbered copies,
// the swaybg we started) are kept for the life of the object.
class SessionDesktop : public Desktop {
 public:
  SessionDesktop(DesktopSurroundings surroundings, CommandRunner& runner,
                 std::string x11Display = {});
  // The running session, with the real runner of tools.
  SessionDesktop();
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  Desktop& backend(DesktopKind kind);

  std::unique_ptr<CommandRunner> ownRunner_;
  DesktopSurroundings surroundings_;
  CommandRunner& runner_;
  std::string x11Display_;
  NumberedCopies copies_;
  std::map<DesktopKind, std::unique_ptr<Desktop>> backends_;
};

}  // namespace platform::posix
