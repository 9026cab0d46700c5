#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>
#include <string>

#include "imaging/Canvas.h"
#include "imaging/FileFormats.h"
#include "imaging/ImageList.h"
#include "imaging/TextRenderer.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Ui.h"
#include "wallpaper/AccesReglages.h"
#include "wallpaper/AtelierVignettes.h"
#include "wallpaper/CacheVignettes.h"
#include "wallpaper/Ajustement.h"
#include "wallpaper/MainView.h"
#include "wallpaper/OperationsWallpaper.h"

// What the engine needs from the system.
struct ServicesMoteur {
  MainView& vue;
  platform::Clock& horloge;
  platform::EventPump& pompe;
  platform::FileSystem& fichiers;
  platform::Registry& registre;
  platform::Screen& ecran;
  platform::Desktop& bureau;
  TextRenderer& texte;
  const TFileFormatsList& formats = FileFormats();
  // Thumbnails kept between runs; none without it.
  CacheVignettes* cache = nullptr;
  // Workers that build thumbnails; 0 is one per core.
  unsigned filsVignettes = 0;
};

// The wallpaper engine: the catalogue scan, the installer, the change schedule and the
// thumbnails, working on the program's shared state.
class MoteurWallpaper : public OperationsWallpaper {
 public:
  explicit MoteurWallpaper(ServicesMoteur services);
  ~MoteurWallpaper() override;

  void attacher(EtatProgramme& etat, platform::Timer& timerChangerWallpaper,
                AccesReglages& reglages) override;
  void ScannerArborescence(bool demanderDossier) override;
  bool InstallerWallpaper(int index, bool enregistrerHistorique) override;
  void CalculerTimerChangerWallpaperInterval() override;
  void CreerVignettes() override;
  int NombreImages() const override;

  void DessinerVignette(int index, Canvas& canvas, int x, int y) override;

  // Lists one folder tree into the catalogue, depth first, in the file system's order.
  void ScannerRepertoire(const std::string& dossier);
  // Builds the thumbnail of catalogue picture `index` unless it is built already.
  void CreerVignette(int index);

  const TImageList& Vignettes() const { return vignettes_; }

  // Thumbnails kept in memory with their pixels; the others come back from the cache.
  static constexpr std::size_t kVignettesEnMemoire = 2048;

  static constexpr int kLargeurApercu = 150;
  static constexpr int kHauteurApercu = 92;

 private:
  // Sets the change timer's interval (cut to what it takes) and restarts its countdown.
  void ArmerTimer(std::int64_t periode);
  void AfficherDossierSurBouton(const std::string& dossier);
  void CelluleErreur(int index);
  bool EstFaite(std::size_t index) const;
  bool EchecConnu(std::size_t index) const;
  AtelierVignettes::Resultat Fabriquer(int index);
  void Poser(const AtelierVignettes::Resultat& resultat);
  // The desktop values of the wallpaper: its file, no tiling, centred or stretched. The
  // desktop itself is asked to show the file once the file is in place.
  void AppliquerValeursBureau(const std::string& chemin, ModeAjustement mode);
  void AppliquerRegleFleches();

  ServicesMoteur services_;
  EtatProgramme* etat_ = nullptr;
  platform::Timer* timer_ = nullptr;
  AccesReglages* reglages_ = nullptr;
  TImageList vignettes_;
  // Which thumbnails are built, as VignettesFaites says, without searching the text.
  std::vector<bool> faites_;
  // The pictures that could not be loaded, with their file as it was then. Such a picture is
  // read again only once its file has changed, or after a new scan: its error cell is drawn
  // from memory, however often the list is painted.
  std::unordered_map<std::size_t, std::optional<CacheVignettes::Cle>> echecs_;
  std::unique_ptr<AtelierVignettes> atelier_;
  int constructionDuScan_ = -1;  // the catalogue whose thumbnails are being built
  int scansCommences_ = 0;  // tells a running thumbnail build that the catalogue was replaced
  int recalculs_ = 0;        // tells an overdue change whether it succeeded (it recomputes)
};

// The period of the change timer in milliseconds, from the duration text and the selected
// unit (0 seconds, 1 minutes, 2 hours, 3 days; -1 none). No unit, or a negative duration,
// gives 0: the timer stays silent. A text that is not a number throws EConvertError.
std::int64_t PeriodeChangement(const std::string& duree, int unite);
