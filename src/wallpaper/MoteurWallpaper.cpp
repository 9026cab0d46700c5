#include "wallpaper/MoteurWallpaper.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "imaging/JPEGImage.h"
#include "imaging/Picture.h"
#include "wallpaper/Catalogue.h"
#include "wallpaper/FichierBmp.h"
#include "wallpaper/Chemins.h"
#include "wallpaper/Conversions.h"
#include "wallpaper/Vignette.h"

namespace {

constexpr std::int64_t kFacteursUnites[] = {1'000, 60'000, 3'600'000, 86'400'000};
constexpr std::int64_t kIntervalleMaximal = 4'294'967'295;
constexpr std::chrono::milliseconds kDelaiEvenements{50};

// Puts back the cursor and the scan flag however the scan ends.
class FinDeScan {
 public:
  FinDeScan(MainView& vue, bool& enCours) : vue_(vue), enCours_(enCours) {}
  ~FinDeScan() {
    vue_.setCurseurAttente(false);
    enCours_ = false;
  }
  FinDeScan(const FinDeScan&) = delete;
  FinDeScan& operator=(const FinDeScan&) = delete;

 private:
  MainView& vue_;
  bool& enCours_;
};

}  // namespace

std::int64_t PeriodeChangement(const std::string& duree, int unite) {
  if (unite < 0 || unite > 3) return 0;
  const std::int64_t n = StrToInt(duree);
  // A minus sign can only be pasted in; it must not make the changes run in a loop.
  return n > 0 ? n * kFacteursUnites[unite] : 0;
}

MoteurWallpaper::MoteurWallpaper(ServicesMoteur services) : services_(services) {
  vignettes_.SetMaxResident(kVignettesEnMemoire);
}

MoteurWallpaper::~MoteurWallpaper() = default;

void MoteurWallpaper::attacher(EtatProgramme& etat, platform::Timer& timerChangerWallpaper,
                               AccesReglages& reglages) {
  etat_ = &etat;
  timer_ = &timerChangerWallpaper;
  reglages_ = &reglages;
}

int MoteurWallpaper::NombreImages() const {
  return etat_ ? static_cast<int>(etat_->Catalogue.size()) : 0;
}

void MoteurWallpaper::AfficherDossierSurBouton(const std::string& dossier) {
  MainView& vue = services_.vue;
  vue.setTexte(Controle::BtnParcourir,
               TexteBoutonDossier(dossier, vue.largeurControle(Controle::BtnParcourir),
                                  [&vue](const std::string& texte) { return vue.largeurTexte(texte); }));
}

void MoteurWallpaper::ScannerArborescence(bool demanderDossier) {
  EtatProgramme& etat = *etat_;
  MainView& vue = services_.vue;
  if (demanderDossier) {
    if (!services_.fichiers.folderExists(RetirerSeparateurFinal(etat.RepertoireRacine)))
      etat.RepertoireRacine.clear();
    const auto choix = vue.choisirDossier(etat.TexteChoixDossier, etat.RepertoireRacine);
    if (!choix) return;
    etat.RepertoireRacine = *choix;
  }

  ++scansCommences_;
  if (atelier_) atelier_->annuler();
  faites_.clear();
  echecs_.clear();
  etat.ScanEnCours = true;
  vue.setCurseurAttente(true);
  const FinDeScan fin(vue, etat.ScanEnCours);
  etat.Catalogue.clear();
  vignettes_.Clear();
  vue.viderListeImages();
  etat.VignettesFaites = "~";
  vue.setVisible(Controle::ProgressBar1, false);

  ScannerRepertoire(etat.RepertoireRacine);
  // Quit was chosen during the scan: nothing more is shown or written.
  if (etat.QuitterDemande) return;

  AfficherDossierSurBouton(etat.RepertoireRacine);
  const bool vide = etat.Catalogue.empty();
  vue.setVisible(Controle::ComboWallpaper, !vide);
  vue.setVisible(Controle::LabelPasDImages, vide);
  if (!vide) vue.setIndexSelectionne(Controle::ComboWallpaper, 0);
  reglages_->EcrireChaine("RepertoireRacineDuScan", etat.RepertoireRacine);
}

// Depth first without recursion, so that no tree is too deep for it. Each folder is listed
// once: a link that leads back to a folder already seen (a cycle, or a second way to the same
// folder) adds nothing.
void MoteurWallpaper::ScannerRepertoire(const std::string& dossier) {
  EtatProgramme& etat = *etat_;
  MainView& vue = services_.vue;
  struct Dossier {
    std::string chemin;  // with its trailing separator
    std::vector<platform::FolderEntry> entrees;
    std::size_t suivante = 0;
  };
  std::vector<Dossier> pile;
  std::set<std::pair<std::uint64_t, std::uint64_t>> vus;
  std::size_t affiches = etat.Catalogue.size();
  platform::DateTime derniersEvenements = services_.horloge.now();
  // Lets other events run; false when they ended this scan (a second scan, or Quit).
  auto laisserPasser = [&] {
    services_.pompe.processPendingEvents();
    derniersEvenements = services_.horloge.now();
    return etat.ScanEnCours && !etat.QuitterDemande;
  };

  auto ouvrir = [&](const std::string& chemin) {
    AfficherDossierSurBouton(chemin);
    auto liste = services_.fichiers.listFolder(chemin);
    Dossier d{AjouterSeparateurFinal(chemin), {}, 0};
    if (liste && vus.emplace(liste->device, liste->inode).second) d.entrees = std::move(liste->entries);
    pile.push_back(std::move(d));
  };

  ouvrir(dossier);
  while (!pile.empty()) {
    // Besides the turn at the end of each folder, events get through at least every 50 ms
    // whatever the tree's shape: down a deep chain of folders, or in a huge one, no folder
    // ends for a long time.
    const auto ecart = services_.horloge.now() - derniersEvenements;
    if ((ecart >= kDelaiEvenements || ecart.count() < 0) && !laisserPasser()) return;
    Dossier& courant = pile.back();
    if (courant.suivante == courant.entrees.size()) {
      vue.ajouterImages(etat.Catalogue, affiches);
      affiches = etat.Catalogue.size();
      vue.setTitre("Verrelune [" + std::to_string(etat.Catalogue.size()) + " images]");
      pile.pop_back();
      // Other events may run here, a second scan among them: it clears the flag when it
      // ends, and this one then abandons what is left. Quit abandons it too.
      if (!laisserPasser()) return;
      continue;
    }
    const platform::FolderEntry& entree = courant.entrees[courant.suivante++];
    if (entree.kind == platform::FolderEntry::Kind::Folder) {
      if (!etat.ScanEnCours) return;
      ouvrir(courant.chemin + entree.name + kSeparateur);
      continue;
    }
    if (entree.kind == platform::FolderEntry::Kind::File && EstNomImage(entree.name)) {
      if (!etat.ScanEnCours) return;
      etat.Catalogue.push_back(courant.chemin + entree.name);
      vignettes_.AddPlaceholder();
    }
    if (!etat.ScanEnCours) return;
  }
}

namespace {

constexpr std::size_t kHistoriqueMaximal = 101;

// A guard's failure: the picture is unusable, or a width or height of 0 would divide by zero.
void VerifierTaille(const TGraphic& image) {
  if (image.Width() <= 0 || image.Height() <= 0) throw EInvalidGraphic("Empty picture");
}

void ReglerEchelleApercu(TGraphic& image) {
  if (auto* jpeg = dynamic_cast<TJPEGImage*>(&image))
    jpeg->SetJpegScale(EchelleApercu(jpeg->Width(), jpeg->Height()));
}

// The same version of a file: found both times with the same size and modification time, or
// found neither time.
bool MemeVersion(const std::optional<CacheVignettes::Cle>& a, const std::optional<CacheVignettes::Cle>& b) {
  if (!a || !b) return !a && !b;
  return a->taille == b->taille && a->modification == b->modification;
}

}  // namespace

// Every change of wallpaper comes here. Loading, fitting and drawing happen before anything is
// written; the new bitmap goes to a temporary file, the settings are written, and only then
// does the file take its place, so a failure at any step leaves the wallpaper file, the
// settings and the timer as they were.
bool MoteurWallpaper::InstallerWallpaper(int index, bool enregistrerHistorique) {
  EtatProgramme& etat = *etat_;
  MainView& vue = services_.vue;
  const int nombre = static_cast<int>(etat.Catalogue.size());
  // Once Quit is chosen nothing more is written, even by an event that was already on its way.
  if (etat.QuitterDemande) return false;
  if (index != kFondActuelSysteme && nombre == 0) return false;

  bool affichageSeul = false;
  std::string chemin;
  if (index == kFondActuelSysteme) {
    affichageSeul = true;
    if (auto cle = services_.registre.openKey(platform::kCleBureau, false)) {
      if (auto valeur = cle->readText("Wallpaper")) {
        chemin = *valeur;
      } else if (cle->readDword("Wallpaper")) {
        // A value of the wrong type: make a real change instead.
        index = kHasard;
        affichageSeul = false;
      }
    }
  }
  if (index == kHasard) {
    if (nombre < 2) return false;
    const std::string actuel = reglages_->LireChaine("WallPaperActuel", "");
    std::uniform_int_distribution<int> tirage(0, nombre - 1);
    do {
      index = tirage(etat.Aleatoire);
    } while (etat.Catalogue[static_cast<std::size_t>(index)] == actuel);
  }
  const std::string entree =
      index >= 0 && index < nombre ? etat.Catalogue[static_cast<std::size_t>(index)] : std::string();
  if (!affichageSeul) chemin = entree;

  const bool dansCatalogue = !affichageSeul && index >= 0 && index < nombre;
  // Taken before the picture is read, so that a failure belongs to the file as it was read.
  const platform::Size ecran = services_.ecran.pixelSize();
  const auto fichier = dansCatalogue ? CacheVignettes::CleDe(chemin, ecran.width, ecran.height) : std::nullopt;
  bool reussi = false;
  bool installation = false;  // past the picture's own steps: a failure is the system's
  std::exception_ptr echecSysteme;
  try {
    TPicture image(services_.formats);
    image.LoadPicture(chemin);
    TGraphic& graphique = *image.Graphic();
    VerifierTaille(graphique);
    // The wallpaper fills the screen's pixels, whatever the desktop's scaling.
    const int w = graphique.Width();
    const int h = graphique.Height();
    const ModeAjustement mode = ChoisirMode(w, h, ecran.width, ecran.height);

    TBitmap fond;
    if (!affichageSeul) {
      fond.CopyToBitmap(graphique);
      if (mode == ModeAjustement::Reduce) {
        fond.SetPixelLayout(PixelLayout::Bgr24);
        fond = CopieReduite(fond, TailleReduite(w, h, ecran.width, ecran.height));
      }
    }

    ReglerEchelleApercu(graphique);
    VerifierTaille(graphique);
    Canvas apercu(kLargeurApercu, kHauteurApercu);
    if (mode == ModeAjustement::Stretch) {
      graphique.DrawStretched(apercu, Rect{0, 0, kLargeurApercu, kHauteurApercu});
    } else {
      apercu.FillRect(Rect{0, 0, kLargeurApercu, kHauteurApercu},
                      services_.bureau.backgroundColour());
      graphique.DrawStretched(apercu, RectangleCentre(graphique.Width(), graphique.Height(),
                                                      ecran.width, ecran.height, kLargeurApercu,
                                                      kHauteurApercu));
    }

    installation = true;
    if (!affichageSeul) {
      std::filesystem::create_directories(CheminSysteme(etat.DossierDonnees));
      const std::string temporaire = EnregistrerBmpTemporaire(fond, etat.FichierWallpaper);
      try {
        AppliquerValeursBureau(etat.FichierWallpaper, mode);
        reglages_->EcrireDateHeure("DateTimeDernierChgt", services_.horloge.now());
        reglages_->EcrireChaine("WallPaperActuel", chemin);
        std::filesystem::rename(CheminSysteme(temporaire), CheminSysteme(etat.FichierWallpaper));
      } catch (...) {
        std::error_code ignore;
        std::filesystem::remove(CheminSysteme(temporaire), ignore);
        throw;
      }
      services_.bureau.applyWallpaper(etat.FichierWallpaper, mode == ModeAjustement::Stretch
                                                                  ? platform::WallpaperStyle::Stretch
                                                                  : platform::WallpaperStyle::Centre);
    }

    vue.setApercu(apercu);
    const std::string nom = NomAffiche(entree);
    const std::string sousDossier = SousDossier(entree, etat.RepertoireRacine);
    const std::string indice = sousDossier.empty() ? nom : nom + "\r[" + sousDossier + "]";
    for (Controle c : {Controle::ImgMonitor1, Controle::ImgMonitor2}) vue.setIndice(c, indice);
    vue.setTexte(Controle::MenuMonitorChemin, entree);
    vue.setTexte(Controle::LabelCheminCompletDuFichier, entree);
    etat.LabelCheminCompletDuFichier = entree;
    reussi = true;
  } catch (const std::exception&) {
    if (installation && !affichageSeul) {
      // The picture is sound; the disk or the settings refused the change.
      echecSysteme = std::current_exception();
    } else if (!affichageSeul) {
      // A picture that cannot be loaded is not read again for its thumbnail.
      if (dansCatalogue) echecs_[static_cast<std::size_t>(index)] = fichier;
      CelluleErreur(index);
      vue.redessinerListe();
    }
  }

  if (enregistrerHistorique) {
    etat.Historique.push_back(std::to_string(index));
    if (etat.Historique.size() > kHistoriqueMaximal) etat.Historique.erase(etat.Historique.begin());
  }
  AppliquerRegleFleches();
  if (echecSysteme) std::rethrow_exception(echecSysteme);

  // The change is made: the schedule counts from now. A duration that is not a number cannot
  // undo it; the timer then keeps its interval, and the error was shown when it was typed.
  if (reussi && !affichageSeul) {
    try {
      CalculerTimerChangerWallpaperInterval();
    } catch (const std::exception&) {
    }
  }
  return reussi;
}

void MoteurWallpaper::AppliquerValeursBureau(const std::string& chemin, ModeAjustement mode) {
  auto cle = services_.registre.openKey(platform::kCleBureau, true);
  if (!cle) throw platform::ERegistryException("Wallpaper");
  cle->writeText("Wallpaper", chemin);
  cle->writeText("TileWallpaper", "0");
  cle->writeText("WallpaperStyle", mode == ModeAjustement::Stretch ? "2" : "0");
}

// The arrows are shown exactly when a step back or forward is possible, from three entries on.
void MoteurWallpaper::AppliquerRegleFleches() {
  const int n = static_cast<int>(etat_->Historique.size());
  const int p = etat_->PositionHistorique;
  const bool precedent = n >= 3 && (p == 0 || n - 2 > p);
  const bool suivant = n >= 3 && p > 0;
  MainView& vue = services_.vue;
  vue.setVisible(Controle::ImgPrecedent1, precedent);
  vue.setVisible(Controle::ImgPrecedent2, precedent);
  vue.setVisible(Controle::ImgSuivant1, suivant);
  vue.setVisible(Controle::ImgSuivant2, suivant);
}

// Also made while the list paints the item: it asks for no repaint, which would make the list
// paint it again.
void MoteurWallpaper::CelluleErreur(int index) {
  Canvas cellule(TImageList::kThumbnailWidth, TImageList::kThumbnailHeight);
  const Rect tout{0, 0, TImageList::kThumbnailWidth, TImageList::kThumbnailHeight};
  cellule.FillRect(tout, kThumbnailMaskColour);
  services_.texte.DrawText(cellule, etat_->TexteErreur, tout,
                           TextCenter | TextVCenter | TextSingleLine, TextStyle{});
  vignettes_.ReplaceMasked(static_cast<std::size_t>(index), cellule, kThumbnailMaskColour);
}

void MoteurWallpaper::CalculerTimerChangerWallpaperInterval() {
  ++recalculs_;
  EtatProgramme& etat = *etat_;
  std::int64_t periode = PeriodeChangement(etat.EditFreqDuree, etat.ComboFreqTemps);
  if (periode == 0) {
    timer_->setInterval(0);
    return;
  }
  // A settings file that cannot be written (a read-only or full folder) must not keep the
  // schedule from being armed: the time of the last change then counts as now, and the error
  // reaches the caller once the timer is set.
  std::exception_ptr ecritureRatee;
  if (etat.CheckChgtTousLes) {
    const platform::DateTime maintenant = services_.horloge.now();
    platform::DateTime dernier = maintenant;
    try {
      dernier = reglages_->LireDateHeure("DateTimeDernierChgt", maintenant);
    } catch (const platform::ERegistryException&) {
      ecritureRatee = std::current_exception();
    }
    const auto ecart = std::chrono::duration_cast<std::chrono::milliseconds>(
        maintenant > dernier ? maintenant - dernier : dernier - maintenant);
    const std::int64_t ecoule = ecart.count();
    if (ecoule >= periode) {
      // Overdue: change now; a successful change comes back here and arms a full period. A
      // picture that fails (or a catalogue too small to choose from) must not leave the timer
      // silent for the rest of the session: the next try comes a full period from now.
      const int avant = ++recalculs_;
      try {
        InstallerWallpaper(kHasard, true);
      } catch (...) {
        ArmerTimer(periode);
        throw;
      }
      if (recalculs_ == avant) ArmerTimer(periode);
      return;
    }
    if (periode > 2000 && ecoule > 1000) periode -= ecoule;
  }
  ArmerTimer(periode);
  if (ecritureRatee) std::rethrow_exception(ecritureRatee);
}

void MoteurWallpaper::ArmerTimer(std::int64_t periode) {
  timer_->setInterval(static_cast<std::uint32_t>(std::min(periode, kIntervalleMaximal)));
  if (timer_->enabled()) {
    timer_->setEnabled(false);
    timer_->setEnabled(true);
  }
}

bool MoteurWallpaper::EstFaite(std::size_t index) const {
  return index < faites_.size() && faites_[index];
}

// A picture that failed, whose file is still as it was then.
bool MoteurWallpaper::EchecConnu(std::size_t index) const {
  const auto echec = echecs_.find(index);
  return echec != echecs_.end() && MemeVersion(echec->second, CacheVignettes::CleDe(etat_->Catalogue[index], 0, 0));
}

// The cell of picture `index` from the cache, or made now; no cell when the picture cannot be
// loaded.
AtelierVignettes::Resultat MoteurWallpaper::Fabriquer(int index) {
  const platform::Size ecran = services_.ecran.pixelSize();
  return FaireCellule(index, etat_->Catalogue[static_cast<std::size_t>(index)], services_.formats,
                      services_.cache, ecran.width, ecran.height);
}

// A finished thumbnail takes its slot, or the error cell does; only a thumbnail counts as built.
void MoteurWallpaper::Poser(const AtelierVignettes::Resultat& resultat) {
  const auto i = static_cast<std::size_t>(resultat.index);
  if (!resultat.cellule) {
    echecs_[i] = resultat.fichier;
    CelluleErreur(resultat.index);
    return;
  }
  echecs_.erase(i);
  if (!EstFaite(i)) {
    if (faites_.size() <= i) faites_.resize(etat_->Catalogue.size());
    faites_[i] = true;
    etat_->VignettesFaites += std::to_string(resultat.index) + "~";
  }
  vignettes_.ReplaceMasked(i, *resultat.cellule, kThumbnailMaskColour);
}

void MoteurWallpaper::CreerVignette(int index) {
  EtatProgramme& etat = *etat_;
  if (index < 0 || index >= static_cast<int>(etat.Catalogue.size())) return;
  const auto i = static_cast<std::size_t>(index);
  if (EstFaite(i)) {
    if (vignettes_.HasPixels(i)) return;
    // Built, but its pixels went to make room: from the cache, or made again.
    AtelierVignettes::Resultat resultat = Fabriquer(index);
    if (resultat.cellule) {
      vignettes_.ReplaceMasked(i, *resultat.cellule, kThumbnailMaskColour);
      return;
    }
    faites_[i] = false;
    const std::string marque = "~" + std::to_string(index) + "~";
    const auto ou = etat.VignettesFaites.find(marque);
    if (ou != std::string::npos) etat.VignettesFaites.erase(ou + 1, marque.size() - 1);
    Poser(resultat);
    return;
  }
  if (EchecConnu(i)) {
    // Its error cell may have gone to make room: it is made again without reading the file.
    if (!vignettes_.HasPixels(i)) CelluleErreur(index);
    return;
  }
  Poser(Fabriquer(index));
}

// The workers build the missing thumbnails; this thread takes each finished one, shows the
// progress and lets events run while it waits. Events may show another catalogue (a new
// scan, whose own build takes over), hide the window or quit: the rest of the work is dropped.
void MoteurWallpaper::CreerVignettes() {
  EtatProgramme& etat = *etat_;
  MainView& vue = services_.vue;
  const int nombre = static_cast<int>(etat.Catalogue.size());
  if (nombre == 0 || !vue.fenetreVisible() || etat.QuitterDemande) return;
  const int scan = scansCommences_;
  // Asked again from inside the build of this same catalogue (the window shown once more):
  // that build goes on.
  if (constructionDuScan_ == scan) return;
  const int precedente = constructionDuScan_;
  constructionDuScan_ = scan;

  std::vector<AtelierVignettes::Travail> travaux;
  int faites = 0;
  for (int i = 0; i < nombre; ++i) {
    if (EstFaite(static_cast<std::size_t>(i)) || EchecConnu(static_cast<std::size_t>(i)))
      ++faites;
    else
      travaux.push_back({i, etat.Catalogue[static_cast<std::size_t>(i)]});
  }
  vue.setProgression(nombre, faites);
  vue.setVisible(Controle::ProgressBar1, true);
  if (!atelier_) {
    atelier_ = std::make_unique<AtelierVignettes>(services_.formats, services_.cache,
                                                  [this] { services_.pompe.wakeUp(); },
                                                  services_.filsVignettes);
  }
  const platform::Size ecran = services_.ecran.pixelSize();
  const std::uint64_t lot = atelier_->lancer(std::move(travaux), ecran.width, ecran.height);
  while (faites < nombre) {
    for (const AtelierVignettes::Resultat& resultat : atelier_->prendre(lot)) {
      // Drawn on demand meanwhile: it stays as it is.
      if (!EstFaite(static_cast<std::size_t>(resultat.index))) Poser(resultat);
      ++faites;
    }
    vue.setProgression(nombre, faites);
    vue.redessinerListe();
    if (faites >= nombre) break;
    services_.pompe.waitForEvents();
    if (!vue.fenetreVisible() || scan != scansCommences_ || etat.QuitterDemande) {
      if (scan == scansCommences_) atelier_->annuler();
      break;
    }
  }
  vue.setVisible(Controle::ProgressBar1, false);
  constructionDuScan_ = precedente;
}

void MoteurWallpaper::DessinerVignette(int index, Canvas& canvas, int x, int y) {
  CreerVignette(index);
  vignettes_.Draw(canvas, x, y, static_cast<std::size_t>(index));
}
