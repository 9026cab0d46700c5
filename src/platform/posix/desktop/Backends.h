#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Desktop.h"
#include "platform/posix/desktop/CommandRunner.h"
#include "platform/posix/desktop/NumberedCopies.h"

// One class per kind of desktop, each telling it to show the picture in its own way. They share
// the runner of desktop tools and the numbered PNG copies of the bitmap.
namespace platform::posix {

// The colour around a centred picture, as "#rrggbb".
inline constexpr char kBackgroundColour[] = "#000000";

// Writes "verrelune: the wallpaper could not be set: <reason>" on stderr; returns false.
bool reportWallpaperFailure(const std::string& reason);

// Runs a desktop tool; false, with the failure on stderr, unless it exits with status 0.
bool runTool(CommandRunner& runner, const std::vector<std::string>& argv);

// GNOME (and Unity, Budgie on X11), Cinnamon and MATE: their gsettings keys.
class GnomeFamilyDesktop : public Desktop {
 public:
  enum class Flavour { Gnome, Cinnamon, Mate };
  GnomeFamilyDesktop(Flavour flavour, CommandRunner& runner, NumberedCopies& copies)
      : flavour_(flavour), runner_(runner), copies_(copies) {}
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  bool set(const char* key, const std::string& value);
  bool hasDarkPictureKey();

  Flavour flavour_;
  CommandRunner& runner_;
  NumberedCopies& copies_;
  std::optional<bool> hasDarkKey_;
};

// KDE Plasma 5 and 6: a script for plasmashell through whichever D-Bus tool is installed.
class KdeDesktop : public Desktop {
 public:
  KdeDesktop(CommandRunner& runner, NumberedCopies& copies) : runner_(runner), copies_(copies) {}
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

  // The script that sets the picture on every desktop of every screen.
  static std::string script(const std::string& picturePath, WallpaperStyle style);

 private:
  CommandRunner& runner_;
  NumberedCopies& copies_;
};

// XFCE: every monitor's and workspace's `last-image` property of xfdesktop, with the colour
// around a centred picture. `monitorNames` lists the monitors for a desktop that has no such
// property yet (by default the X server's RandR outputs).
class XfceDesktop : public Desktop {
 public:
  XfceDesktop(CommandRunner& runner, NumberedCopies& copies,
              std::function<std::vector<std::string>()> monitorNames = {});
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  CommandRunner& runner_;
  NumberedCopies& copies_;
  std::function<std::vector<std::string>()> monitorNames_;
};

// LXQt: pcmanfm-qt, which draws its desktop.
class LxqtDesktop : public Desktop {
 public:
  LxqtDesktop(CommandRunner& runner, NumberedCopies& copies) : runner_(runner), copies_(copies) {}
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  CommandRunner& runner_;
  NumberedCopies& copies_;
};

// sway: its own `output * bg` command, which restarts its background drawer.
class SwayDesktop : public Desktop {
 public:
  SwayDesktop(CommandRunner& runner, NumberedCopies& copies) : runner_(runner), copies_(copies) {}
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  CommandRunner& runner_;
  NumberedCopies& copies_;
};

// Other Wayland compositors with the layer-shell protocol: a swaybg of our own, replacing the
// one started for the previous picture.
class SwaybgDesktop : public Desktop {
 public:
  SwaybgDesktop(CommandRunner& runner, NumberedCopies& copies)
      : runner_(runner), copies_(copies) {}
  ~SwaybgDesktop() override = default;  // the last swaybg keeps showing the wallpaper
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  CommandRunner& runner_;
  NumberedCopies& copies_;
  std::optional<pid_t> running_;
};

// The user's own command from VERRELUNE_WALLPAPER_COMMAND.
class CommandDesktop : public Desktop {
 public:
  CommandDesktop(std::string commandLine, CommandRunner& runner)
      : commandLine_(std::move(commandLine)), runner_(runner) {}
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  std::string commandLine_;
  CommandRunner& runner_;
};

// The plain X11 root window: a background pixmap of our own, kept after we disconnect.
class X11Desktop : public Desktop {
 public:
  // An empty display name means $DISPLAY.
  explicit X11Desktop(std::string displayName = {}) : displayName_(std::move(displayName)) {}
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;

 private:
  std::string displayName_;
};

}  // namespace platform::posix
