#pragma once

#include "wallpaper/OperationsWallpaper.h"

// The engine of a program that has no catalogue yet: every operation is a no-op and the
// catalogue stays empty, so the window, the tray icon and the settings work on their own.
class MoteurWallpaper : public OperationsWallpaper {
 public:
  void ScannerArborescence(bool demanderDossier) override;
  void InstallerWallpaper(int index, bool enregistrerHistorique) override;
  void CalculerTimerChangerWallpaperInterval() override;
  void CreerVignettes() override;
  int NombreImages() const override;
};
