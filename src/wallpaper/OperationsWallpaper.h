#pragma once

#include <cstdint>

#include "imaging/Canvas.h"
#include "platform/Timer.h"
#include "wallpaper/AccesReglages.h"
#include "wallpaper/EtatProgramme.h"

// The wallpaper engine as the window sees it: the folder scan, the installer, the change
// schedule and the thumbnails.
class OperationsWallpaper {
 public:
  virtual ~OperationsWallpaper() = default;

  // Installer index codes.
  static constexpr int kHasard = -8;           // a random picture other than the current one
  static constexpr int kFondActuelSysteme = -9;  // show the current system wallpaper only

  // Gives the engine the program's state, its change timer and its settings, once, as the
  // window is made.
  virtual void attacher(EtatProgramme& etat, platform::Timer& timerChangerWallpaper,
                        AccesReglages& reglages) = 0;

  // Scans the catalogue from the root folder; with `demanderDossier` the user picks it first.
  virtual void ScannerArborescence(bool demanderDossier) = 0;
  // Installs catalogue picture `index` (or one of the codes above) as the wallpaper; true when
  // it changed (for kFondActuelSysteme: when the preview shows it). A picture that cannot be
  // read gives false and its error cell. When the system cannot take the change (a full disk,
  // settings that cannot be written), the error is thrown once the history has its entry: the
  // picture keeps its thumbnail, and the failure is the user's to hear.
  virtual bool InstallerWallpaper(int index, bool enregistrerHistorique) = 0;
  // Recomputes the change timer's interval; may itself start an overdue change.
  virtual void CalculerTimerChangerWallpaperInterval() = 0;
  // Builds the missing thumbnails while the window is shown.
  virtual void CreerVignettes() = 0;
  // Number of pictures in the catalogue.
  virtual int NombreImages() const = 0;
  // Draws the thumbnail of catalogue picture `index` at (x, y), building it first. Called from
  // the list's painting: a picture that cannot be loaded is not read again at every call.
  virtual void DessinerVignette(int index, Canvas& canvas, int x, int y) = 0;
};
