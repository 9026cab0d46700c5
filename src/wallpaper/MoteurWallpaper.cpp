#include "wallpaper/MoteurWallpaper.h"

void MoteurWallpaper::ScannerArborescence(bool) {}
void MoteurWallpaper::InstallerWallpaper(int, bool) {}
void MoteurWallpaper::CalculerTimerChangerWallpaperInterval() {}
void MoteurWallpaper::CreerVignettes() {}
int MoteurWallpaper::NombreImages() const { return 0; }
