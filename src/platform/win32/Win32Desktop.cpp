#include "platform/win32/Win32Desktop.h"

#include <windows.h>

namespace platform::win32 {

bool Win32Desktop::applyWallpaper(const std::string& bmpPath, WallpaperStyle) {
  constexpr UINT kFixerFondDEcran = 20;   // SPI_SETDESKWALLPAPER
  constexpr UINT kProfilUtilisateur = 1;  // SPIF_UPDATEINIFILE, without a broadcast
  return SystemParametersInfoA(kFixerFondDEcran, 0, const_cast<char*>(bmpPath.c_str()),
                               kProfilUtilisateur) != 0;
}

Color Win32Desktop::backgroundColour() const {
  const COLORREF couleur = GetSysColor(COLOR_DESKTOP);
  return Color{GetRValue(couleur), GetGValue(couleur), GetBValue(couleur)};
}

}  // namespace platform::win32
