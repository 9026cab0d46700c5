#pragma once

#include "platform/Desktop.h"

namespace platform::win32 {

// Asks the system to show the wallpaper file: SystemParametersInfoA, action 20 (set the desktop
// wallpaper), recorded in the user's profile. The style values are already in
// Control Panel\Desktop, where the system reads them.
class Win32Desktop : public Desktop {
 public:
  bool applyWallpaper(const std::string& bmpPath, WallpaperStyle style) override;
  // The system's desktop colour (COLOR_DESKTOP), which the user sets in Control Panel\Colors.
  Color backgroundColour() const override;
};

}  // namespace platform::win32
