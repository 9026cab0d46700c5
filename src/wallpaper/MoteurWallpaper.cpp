#include "wallpaper/MoteurWallpaper.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include "wallpaper/Catalogue.h"
#include "wallpaper/Chemins.h"
#include "wallpaper/Conversions.h"

namespace {

constexpr std::int64_t kFacteursUnites[] = {1'000, 60'000, 3'600'000, 86'400'000};
constexpr std::int64_t kIntervalleMaximal = 4'294'967'295;

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

MoteurWallpaper::MoteurWallpaper(ServicesMoteur services) : services_(services) {}

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

  etat.ScanEnCours = true;
  vue.setCurseurAttente(true);
  const FinDeScan fin(vue, etat.ScanEnCours);
  etat.Catalogue.clear();
  vue.viderListeImages();
  etat.VignettesFaites = "~";
  vue.setVisible(Controle::ProgressBar1, false);

  ScannerRepertoire(etat.RepertoireRacine);

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

  auto ouvrir = [&](const std::string& chemin) {
    AfficherDossierSurBouton(chemin);
    auto liste = services_.fichiers.listFolder(chemin);
    Dossier d{AjouterSeparateurFinal(chemin), {}, 0};
    if (liste && vus.emplace(liste->device, liste->inode).second) d.entrees = std::move(liste->entries);
    pile.push_back(std::move(d));
  };

  ouvrir(dossier);
  while (!pile.empty()) {
    Dossier& courant = pile.back();
    if (courant.suivante == courant.entrees.size()) {
      vue.ajouterImages(etat.Catalogue, affiches);
      affiches = etat.Catalogue.size();
      vue.setTitre("Verrelune [" + std::to_string(etat.Catalogue.size()) + " images]");
      pile.pop_back();
      // Other events may run here, a second scan among them: it clears the flag when it
      // ends, and this one then abandons what is left.
      services_.pompe.processPendingEvents();
      if (!etat.ScanEnCours) return;
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
    }
    if (!etat.ScanEnCours) return;
  }
}

void MoteurWallpaper::InstallerWallpaper(int, bool) {}

void MoteurWallpaper::CalculerTimerChangerWallpaperInterval() {
  EtatProgramme& etat = *etat_;
  std::int64_t periode = PeriodeChangement(etat.EditFreqDuree, etat.ComboFreqTemps);
  if (periode == 0) {
    timer_->setInterval(0);
    return;
  }
  if (etat.CheckChgtTousLes) {
    const platform::DateTime maintenant = services_.horloge.now();
    const platform::DateTime dernier =
        reglages_->LireDateHeure("DateTimeDernierChgt", maintenant);
    const auto ecart = std::chrono::duration_cast<std::chrono::milliseconds>(
        maintenant > dernier ? maintenant - dernier : dernier - maintenant);
    const std::int64_t ecoule = ecart.count();
    if (ecoule >= periode) {
      // Overdue: change now; a successful change comes back here and arms a full period.
      InstallerWallpaper(kHasard, true);
      return;
    }
    if (periode > 2000 && ecoule > 1000) periode -= ecoule;
  }
  timer_->setInterval(static_cast<std::uint32_t>(std::min(periode, kIntervalleMaximal)));
  if (timer_->enabled()) {
    timer_->setEnabled(false);
    timer_->setEnabled(true);
  }
}

void MoteurWallpaper::CreerVignettes() {}
