#include "app/TForm1.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "base/Exception.h"
#include "wallpaper/Chemins.h"
#include "wallpaper/Conversions.h"

namespace {

// A setting of the window that could not be stored, with the store's own message.
class EReglageNonStocke : public Exception {
 public:
  using Exception::Exception;
};

constexpr std::uint32_t kIntervalleInitialisation = 1;
constexpr std::uint32_t kIntervalleAntiDisparition = 30 * 60 * 1000;
constexpr std::uint32_t kBoutonGaucheRelache = 0x202;
constexpr std::uint32_t kBoutonDroitRelache = 0x205;
constexpr int kHauteurElementListe = 45;
constexpr std::size_t kTailleChampInfoBulle = 64;

std::string EnMinuscules(std::string texte) {
  std::transform(texte.begin(), texte.end(), texte.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return texte;
}

// The tip field holds 63 bytes and its terminating zero; a cut never splits a UTF-8 sequence.
std::string CouperInfoBulle(const std::string& texte) {
  if (texte.size() < kTailleChampInfoBulle) return texte;
  std::size_t fin = kTailleChampInfoBulle - 1;
  while (fin > 0 && (static_cast<unsigned char>(texte[fin]) & 0xC0) == 0x80) --fin;
  return texte.substr(0, fin);
}

bool DossierExiste(const std::string& chemin) {
  std::error_code erreur;
  return !chemin.empty() && std::filesystem::is_directory(CheminSysteme(chemin), erreur);
}

}  // namespace

bool DemandeDemarrageCache(const std::string& premierArgument) {
  const std::string argument = EnMinuscules(premierArgument);
  return argument.find("/background") != std::string::npos || argument == "--background";
}

int LignesListeOuverte(int hauteurZoneTravail, int haut, int hauteurChamp, int hauteurElement) {
  const int dessous = (hauteurZoneTravail - haut - hauteurChamp - 30) / hauteurElement;
  const int dessus = (haut + hauteurChamp - 30) / hauteurElement;
  return dessus > dessous ? dessus : dessous;
}

TForm1::TForm1(MainView& vue, OperationsWallpaper& moteur, ServicesPlateforme services,
               ParametresLancement lancement)
    : vue_(vue),
      moteur_(moteur),
      services_(services),
      lancement_(std::move(lancement)),
      reglages_(services.registre, services.locale, lancement_.cheminProgramme),
      timerInitialisation_(services.minuteries.createTimer()),
      timerChangerWallpaper_(services.minuteries.createTimer()),
      timerAntiDisparition_(services.minuteries.createTimer()) {
  moteur_.attacher(*this, *timerChangerWallpaper_, reglages_);
  timerInitialisation_->setInterval(kIntervalleInitialisation);
  timerInitialisation_->setOnTimer([this] { Executer([this] { TimerInitialisationTimer(); }); });
  timerChangerWallpaper_->setInterval(0);
  timerChangerWallpaper_->setOnTimer(
      [this] { Executer([this] { TimerChangerWallpaperTimer(); }); });
  timerAntiDisparition_->setInterval(kIntervalleAntiDisparition);
  timerAntiDisparition_->setOnTimer(
      [this] { Executer([this] { TimerAntiDisparitionTimer(); }); });
  timerAntiDisparition_->setEnabled(true);
}

TForm1::~TForm1() = default;

void TForm1::Executer(const std::function<void()>& gestionnaire) {
  try {
    gestionnaire();
  } catch (const std::exception& erreur) {
    services_.gestionnaireErreurs.showError(erreur.what());
  }
}

// A failing step of the window's creation or of the deferred start-up is reported once, and
// the start goes on with the defaults, so that the program always gets its window, its tray
// icon and its schedule.
void TForm1::EtapeCreation(const std::function<void()>& etape) {
  try {
    etape();
  } catch (const std::exception& erreur) {
    if (!erreurCreationSignalee_) {
      erreurCreationSignalee_ = true;
      services_.gestionnaireErreurs.showError(erreur.what());
    }
  }
}

void TForm1::FormCreate() {
  creationEnCours_ = true;
  erreurCreationSignalee_ = false;

  Aleatoire.seed(static_cast<std::mt19937::result_type>(
      services_.horloge.now().time_since_epoch().count()));
  EtapeCreation([this] { reglages_.InscrireDemarrage(); });

  vue_.setTitre(kTitreFenetre);
  vue_.setOngletActif(Controle::TabWallpaper);
  vue_.setTexte(Controle::LabelAboutProg, kNomProgramme);
  Historique.clear();

  DossierDonnees = AjouterSeparateurFinal(reglages_.LireDossierShell("AppData")) + "Verrelune" +
                   kSeparateur;
  DossierMesImages = AjouterSeparateurFinal(reglages_.LireDossierShell("My Pictures"));
  FichierWallpaper = AjouterSeparateurFinal(DossierDonnees) + "Verrelune" + ".bmp";

  Langue = LangueDepuisIdentifiant(services_.locale.systemLanguageId());
  AfficherLangue();

  RepertoireRacine = DossierMesImages;
  EtapeCreation([this] {
    RepertoireRacine = reglages_.LireChaine("RepertoireRacineDuScan", DossierMesImages);
  });
  if (!DossierExiste(RetirerSeparateurFinal(RepertoireRacine))) RepertoireRacine = DossierMesImages;

  bool chgtDemarrage = true;
  bool chgtTousLes = true;
  std::int32_t duree = 30;
  std::int32_t unite = 1;
  EtapeCreation([&] { chgtDemarrage = reglages_.LireBooleen("CheckChgtDemarrage", true); });
  EtapeCreation([&] { chgtTousLes = reglages_.LireBooleen("CheckChgtTousLes", true); });
  EtapeCreation([&] { duree = reglages_.LireEntier("EditFreqDuree", 30); });
  EtapeCreation([&] { unite = reglages_.LireEntier("ComboFreqTemps", 1); });
  EtapeCreation([&] { ModifierCheckChgtDemarrage(chgtDemarrage); });
  EtapeCreation([&] { ModifierCheckChgtTousLes(chgtTousLes); });
  EtapeCreation([&] { ModifierEditFreqDuree(std::to_string(duree)); });
  // A stored unit outside the list selects nothing, which makes the period 0.
  ComboFreqTemps = (unite >= 0 && unite < 4) ? unite : -1;
  vue_.setIndexSelectionne(Controle::ComboFreqTemps, ComboFreqTemps);

  EtapeCreation([this] { moteur_.InstallerWallpaper(OperationsWallpaper::kFondActuelSysteme, true); });

  IconeTray = platform::TrayIconRecord{};
  IconeTray.icon = "tray";
  IconeTray.tip = CouperInfoBulle(TexteInfoBulle);
  services_.iconeTray.add(IconeTray);
  iconeAjoutee_ = true;

  if (DemandeDemarrageCache(lancement_.premierArgument)) ActiverPanic();
  timerInitialisation_->setEnabled(true);
  creationEnCours_ = false;
}

// Each step goes on whatever the one before it met: a settings file that cannot be written
// (read-only, full disk) is reported once, with the window's creation, and the schedule, the
// start-up change and the thumbnails still come, so that changes resume once it can be written.
void TForm1::TimerInitialisationTimer() {
  timerInitialisation_->setEnabled(false);
  EtapeCreation([this] { moteur_.ScannerArborescence(false); });
  catalogueLu_ = true;
  // The scan lets events through; Quit may have been chosen meanwhile.
  if (QuitterDemande) return;
  if (CheckChgtDemarrage && moteur_.NombreImages() > 0)
    EtapeCreation([this] { moteur_.InstallerWallpaper(OperationsWallpaper::kHasard, true); });
  EtapeCreation([this] { moteur_.CalculerTimerChangerWallpaperInterval(); });
  timerChangerWallpaper_->setEnabled(CheckChgtTousLes);
  EtapeCreation([this] { moteur_.CreerVignettes(); });
}

bool TForm1::FormCloseQuery() {
  if (!QuitterDemande && vue_.fenetreVisible()) {
    ActiverPanic();
    return false;
  }
  return true;
}

void TForm1::FormClose() { vue_.terminerProgramme(); }

void TForm1::FormDestroy() {
  if (iconeAjoutee_) {
    services_.iconeTray.remove(IconeTray);
    iconeAjoutee_ = false;
  }
}

void TForm1::BtnFermerClick() { ActiverPanic(); }

void TForm1::BtnParcourirClick() {
  Historique.clear();
  for (Controle fleche : {Controle::ImgPrecedent1, Controle::ImgPrecedent2, Controle::ImgSuivant1,
                          Controle::ImgSuivant2})
    vue_.setVisible(fleche, false);
  moteur_.ScannerArborescence(true);
  if (!QuitterDemande) moteur_.CreerVignettes();
}

void TForm1::ComboWallpaperChange(int index) { moteur_.InstallerWallpaper(index, true); }

void TForm1::DessinerVignette(int index, Canvas& canvas) {
  moteur_.DessinerVignette(index, canvas, 0, 0);
}

void TForm1::MenuOuvrirClick() { DesactiverPanic(); }

void TForm1::MenuQuitterClick() {
  QuitterDemande = true;
  vue_.demanderFermeture();
}

void TForm1::ActiverPanic() {
  if (creationEnCours_) {
    vue_.nePasAfficherAuDemarrage();
  } else {
    vue_.masquerFenetre();
  }
}

void TForm1::DesactiverPanic(const std::function<void()>& affichee) {
  vue_.afficherFenetre();
  if (affichee) affichee();
  if (!ScanEnCours) moteur_.CreerVignettes();
}

void TForm1::AfficherLangue() {
  const TextesLangue& t = TextesDe(Langue);
  const std::pair<Controle, const char*> legendes[] = {
      {Controle::BtnFermer, t.BtnFermer},
      {Controle::TabWallpaper, t.TabWallpaper},
      {Controle::GroupImages, t.GroupImages},
      {Controle::LabelBtnParcourir, t.LabelBtnParcourir},
      {Controle::LabelComboWallpaper, t.LabelComboWallpaper},
      {Controle::LabelPasDImages, t.LabelPasDImages},
      {Controle::GroupMiseAJour, t.GroupMiseAJour},
      {Controle::CheckChgtDemarrage, t.CheckChgtDemarrage},
      {Controle::CheckChgtTousLes, t.CheckChgtTousLes},
      {Controle::TabAide, t.TabAide},
      {Controle::GroupAide, t.GroupAide},
      {Controle::LabelAide1, t.LabelAide1},
      {Controle::LabelAide2, t.LabelAide2},
      {Controle::LabelAide3, t.LabelAide3},
      {Controle::MenuWallpaperComm, t.MenuWallpaperComm},
      {Controle::MenuWallpaperOuvrirImage, t.MenuWallpaperOuvrirImage},
      {Controle::MenuWallpaperPrecedent, t.MenuWallpaperPrecedent},
      {Controle::MenuOuvrir, t.MenuOuvrir},
      {Controle::MenuQuitter, t.MenuQuitter},
      {Controle::MenuMonitorCopierChemin, t.MenuMonitorCopierChemin},
      {Controle::MenuMonitorOpenFile, t.MenuMonitorOpenFile},
      {Controle::MenuMonitorOpenDirectory, t.MenuMonitorOpenDirectory},
  };
  for (const auto& [controle, texte] : legendes) vue_.setTexte(controle, texte);
  vue_.setIndice(Controle::ProgressBar1, t.HintProgressBar1);
  vue_.setTexte(Controle::LabelAboutAuteur, kCreditsAuteur);
  vue_.setTexte(Controle::LabelAboutSite, kAdresseSite);
  TexteChanger = t.TexteChanger;
  TexteChoixDossier = t.TexteChoixDossier;
  TexteErreur = t.TexteErreur;
  TexteInfoBulle = t.TexteInfoBulle;
}

void TForm1::LabelAboutSiteClick() { services_.shell.open(kAdresseSite); }

void TForm1::LabelLienMouseMove(Controle label) { vue_.setSouligne(label, true); }

void TForm1::LabelLienMouseLeave(Controle label) { vue_.setSouligne(label, false); }

int TForm1::ComboWallpaperDropDown(int haut, int hauteurChamp) {
  return LignesListeOuverte(services_.ecran.workArea().height, haut, hauteurChamp,
                            kHauteurElementListe);
}

void TForm1::MessageIconeTray(std::uint32_t evenement) {
  if (evenement == kBoutonGaucheRelache) {
    moteur_.InstallerWallpaper(OperationsWallpaper::kHasard, true);
  } else if (evenement == kBoutonDroitRelache) {
    vue_.ouvrirMenuPanic();
  }
}

bool TForm1::CommandeExterne(const std::string& commande,
                             const std::function<void(const std::string&)>& repondre) {
  bool repondu = false;
  auto dire = [&](const std::string& echec) {
    if (!repondu && repondre) repondre(echec);
    repondu = true;
  };
  try {
    if (commande == "show") {
      // Said as soon as the window shows: building the thumbnails may take minutes.
      DesactiverPanic([&] { dire({}); });
      dire({});
    } else if (commande == "next") {
      const bool change = moteur_.InstallerWallpaper(OperationsWallpaper::kHasard, true);
      dire(change ? std::string() : RaisonSansChangement(false));
    } else if (commande == "previous") {
      dire(MenuMonitorPrecedentClick() ? std::string() : RaisonSansChangement(true));
    } else if (commande == "quit") {
      MenuQuitterClick();
      dire({});
    } else {
      dire("unknown command");
      return false;
    }
  } catch (const std::exception& erreur) {
    dire(erreur.what());
    throw;
  }
  return true;
}

std::string TForm1::RaisonSansChangement(bool precedent) const {
  if (QuitterDemande) return "the program is ending";
  if (precedent && PositionHistorique + 1 > static_cast<int>(Historique.size()) - 2)
    return "there is no earlier wallpaper to go back to";
  if (!precedent && moteur_.NombreImages() < 2) {
    return catalogueLu_ && !ScanEnCours ? "the pictures folder holds fewer than two pictures"
                                        : "the pictures folder is still being scanned";
  }
  return "the picture could not be read";
}

void TForm1::PopupMenuPanicPopup() {
  const int dernier = services_.ecran.geometry().width <= 640 ? 4 : 7;
  const int nombre = static_cast<int>(Catalogue.size());
  MenuWallpaperCommVisible = nombre > 0;
  MenuWallpaperHasardLegende = nombre > 0 ? TexteChanger : TextesDe(Langue).LabelPasDImages;
  vue_.setVisible(Controle::MenuWallpaperComm, MenuWallpaperCommVisible);
  vue_.setTexte(Controle::MenuWallpaperHasard, MenuWallpaperHasardLegende);

  std::string choisis = "~";
  for (int k = 0; k < static_cast<int>(MenuWallpaper.size()); ++k) {
    EntreeMenuImage& entree = MenuWallpaper[static_cast<std::size_t>(k)];
    entree.visible = k <= dernier && k < nombre;
    if (entree.visible) {
      std::uniform_int_distribution<int> tirage(0, nombre - 1);
      int index;
      do {
        index = tirage(Aleatoire);
      } while (choisis.find("~" + std::to_string(index) + "~") != std::string::npos);
      choisis += std::to_string(index) + "~";
      entree.tag = index;
      entree.legende = Catalogue[static_cast<std::size_t>(index)];
    }
    vue_.setEntreeMenuImage(k, entree.visible, entree.tag, entree.legende);
  }
}

void TForm1::MenuWallpaperXClick(int k) {
  if (k < 0 || k >= static_cast<int>(MenuWallpaper.size())) return;
  moteur_.InstallerWallpaper(MenuWallpaper[static_cast<std::size_t>(k)].tag, true);
}

void TForm1::MenuWallpaperHasardClick() {
  moteur_.InstallerWallpaper(OperationsWallpaper::kHasard, true);
}

void TForm1::MenuMonitorOpenFileClick() {
  if (!LabelCheminCompletDuFichier.empty()) services_.shell.open(LabelCheminCompletDuFichier);
}

void TForm1::MenuMonitorOpenDirectoryClick() {
  if (LabelCheminCompletDuFichier.empty()) return;
  const auto fin = LabelCheminCompletDuFichier.rfind(kSeparateur);
  services_.shell.open(fin == std::string::npos ? std::string()
                                                : LabelCheminCompletDuFichier.substr(0, fin + 1));
}

void TForm1::MenuMonitorCopierCheminClick() {
  if (!LabelCheminCompletDuFichier.empty())
    services_.shell.setClipboardText(LabelCheminCompletDuFichier);
}

// Steps count back from the newest entry; the oldest entry is never a target.
bool TForm1::MenuMonitorPrecedentClick() {
  const int n = static_cast<int>(Historique.size());
  const int p = PositionHistorique + 1;
  if (p > n - 2) return false;
  PositionHistorique = p;
  return moteur_.InstallerWallpaper(StrToInt(Historique[static_cast<std::size_t>(n - 1 - p)]), false);
}

void TForm1::MenuMonitorSuivantClick() {
  const int n = static_cast<int>(Historique.size());
  const int p = PositionHistorique - 1;
  if (p < 0 || n - 1 - p < 0 || n - 1 - p >= n) return;
  PositionHistorique = p;
  moteur_.InstallerWallpaper(StrToInt(Historique[static_cast<std::size_t>(n - 1 - p)]), false);
}

void TForm1::TimerAntiDisparitionTimer() { services_.iconeTray.modify(IconeTray); }

void TForm1::TimerChangerWallpaperTimer() {
  PositionHistorique = 0;
  moteur_.InstallerWallpaper(OperationsWallpaper::kHasard, true);
}

// The window never shows a setting that the next start would not find: what the user changed
// goes back when it cannot be stored. While the window is made there is no stored value yet
// to go back to, and the defaults stay.
void TForm1::ModifierCheckChgtDemarrage(bool coche) {
  ModifierCoche(CheckChgtDemarrage, Controle::CheckChgtDemarrage, &TForm1::CheckChgtDemarrageClick, coche);
}

void TForm1::ModifierCheckChgtTousLes(bool coche) {
  ModifierCoche(CheckChgtTousLes, Controle::CheckChgtTousLes, &TForm1::CheckChgtTousLesClick, coche);
}

void TForm1::ModifierCoche(bool& valeur, Controle controle, void (TForm1::*clic)(), bool coche) {
  if (coche == valeur) return;
  valeur = coche;
  vue_.setCoche(controle, coche);
  try {
    (this->*clic)();
  } catch (const EReglageNonStocke&) {
    if (!creationEnCours_) {
      valeur = !coche;
      vue_.setCoche(controle, !coche);
    }
    throw;
  }
}

void TForm1::ModifierEditFreqDuree(const std::string& texte) {
  if (texte == EditFreqDuree) return;
  const std::string avant = EditFreqDuree;
  EditFreqDuree = texte;
  vue_.setTexte(Controle::EditFreqDuree, texte);
  try {
    EditFreqDureeChange();
  } catch (const EReglageNonStocke&) {
    if (!creationEnCours_) {
      EditFreqDuree = avant;
      vue_.setTexte(Controle::EditFreqDuree, avant);
    }
    throw;
  }
}

void TForm1::ModifierComboFreqTemps(int index) {
  if (index == ComboFreqTemps) return;
  const int avant = ComboFreqTemps;
  ComboFreqTemps = index;
  vue_.setIndexSelectionne(Controle::ComboFreqTemps, index);
  try {
    ComboFreqTempsChange();
  } catch (const EReglageNonStocke&) {
    ComboFreqTemps = avant;
    vue_.setIndexSelectionne(Controle::ComboFreqTemps, avant);
    throw;
  }
}

void TForm1::Stocker(const std::function<void()>& ecriture) {
  try {
    ecriture();
  } catch (const std::exception& erreur) {
    throw EReglageNonStocke(erreur.what());
  }
}

void TForm1::CheckChgtDemarrageClick() {
  Stocker([this] {
    reglages_.InscrireDemarrage();
    reglages_.EcrireBooleen("CheckChgtDemarrage", CheckChgtDemarrage);
  });
}

void TForm1::CheckChgtTousLesClick() {
  Stocker([this] {
    reglages_.InscrireDemarrage();
    reglages_.EcrireBooleen("CheckChgtTousLes", CheckChgtTousLes);
  });
  timerChangerWallpaper_->setEnabled(CheckChgtTousLes);
}

void TForm1::EditFreqDureeChange() {
  if (EditFreqDuree.empty()) {
    ModifierEditFreqDuree("0");
    vue_.selectionnerTout(Controle::EditFreqDuree);
    services_.shell.beep();
  }
  const std::int32_t duree = StrToInt(EditFreqDuree);
  Stocker([&] { reglages_.EcrireEntier("EditFreqDuree", duree); });
  moteur_.CalculerTimerChangerWallpaperInterval();
}

void TForm1::EditFreqDureeKeyPress(char& caractere) {
  if (caractere == '\b' || (caractere >= '0' && caractere <= '9')) return;
  caractere = '\0';
  services_.shell.beep();
}

void TForm1::ComboFreqTempsChange() {
  Stocker([this] { reglages_.EcrireEntier("ComboFreqTemps", ComboFreqTemps); });
  moteur_.CalculerTimerChangerWallpaperInterval();
}
