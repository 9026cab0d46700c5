#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Ui.h"
#include "wallpaper/AccesReglages.h"
#include "wallpaper/MainView.h"
#include "wallpaper/OperationsWallpaper.h"

// What the engine needs from the system.
struct ServicesMoteur {
  MainView& vue;
  platform::Clock& horloge;
  platform::EventPump& pompe;
  platform::FileSystem& fichiers;
};

// The wallpaper engine: the catalogue scan, the installer, the change schedule and the
// thumbnails, working on the program's shared state.
class MoteurWallpaper : public OperationsWallpaper {
 public:
  explicit MoteurWallpaper(ServicesMoteur services);

  void attacher(EtatProgramme& etat, platform::Timer& timerChangerWallpaper,
                AccesReglages& reglages) override;
  void ScannerArborescence(bool demanderDossier) override;
  void InstallerWallpaper(int index, bool enregistrerHistorique) override;
  void CalculerTimerChangerWallpaperInterval() override;
  void CreerVignettes() override;
  int NombreImages() const override;

  // Lists one folder tree into the catalogue, depth first, in the file system's order.
  void ScannerRepertoire(const std::string& dossier);

 private:
  void AfficherDossierSurBouton(const std::string& dossier);

  ServicesMoteur services_;
  EtatProgramme* etat_ = nullptr;
  platform::Timer* timer_ = nullptr;
  AccesReglages* reglages_ = nullptr;
};

// The period of the change timer in milliseconds, from the duration text and the selected
// unit (0 seconds, 1 minutes, 2 hours, 3 days; -1 none). No unit, or a negative duration,
// gives 0: the timer stays silent. A text that is not a number throws EConvertError.
std::int64_t PeriodeChangement(const std::string& duree, int unite);
