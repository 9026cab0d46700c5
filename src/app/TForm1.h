#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Langue.h"
#include "wallpaper/EtatProgramme.h"
#include "wallpaper/MainView.h"
#include "app/Reglages.h"
#include "platform/Clock.h"
#include "platform/Locale.h"
#include "platform/Registry.h"
#include "platform/Timer.h"
#include "platform/TrayIcon.h"
#include "platform/Ui.h"
#include "wallpaper/OperationsWallpaper.h"

// What the window's logic needs from the system.
struct ServicesPlateforme {
  platform::Registry& registre;
  platform::Locale& locale;
  platform::Clock& horloge;
  platform::TimerFactory& minuteries;
  platform::Screen& ecran;
  platform::Shell& shell;
  platform::ErrorHandler& gestionnaireErreurs;
  platform::TrayIcon& iconeTray;
};

struct ParametresLancement {
  std::string cheminProgramme;  // full path of the running program file
  std::string premierArgument;  // the first command-line argument, empty when there is none
};

// True when the first argument asks for a start hidden in the tray.
bool DemandeDemarrageCache(const std::string& premierArgument);

// Rows the opened picture list shows: as many `hauteurElement`-pixel rows as fit below the
// field, or above it when more fit there. `haut` is the field's top on the screen.
int LignesListeOuverte(int hauteurZoneTravail, int haut, int hauteurChamp, int hauteurElement);

// The main window's logic and the program-wide state. Toolkit-free: the Qt window shows what
// it is told through MainView and forwards its events to the handlers below.
class TForm1 : public EtatProgramme {
 public:
  TForm1(MainView& vue, OperationsWallpaper& moteur, ServicesPlateforme services,
         ParametresLancement lancement);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Program-wide state beyond what the engine shares.
  platform::TrayIconRecord IconeTray;
  LangueInterface Langue = LangueInterface::Francais;

  platform::Timer& TimerInitialisation() { return *timerInitialisation_; }
  platform::Timer& TimerChangerWallpaper() { return *timerChangerWallpaper_; }
  platform::Timer& TimerAntiDisparition() { return *timerAntiDisparition_; }

  Reglages& reglages() { return reglages_; }

  // Life of the window.
  void FormCreate();
  void TimerInitialisationTimer();
  bool FormCloseQuery();  // true when the close may go ahead
  void FormClose();
  void FormDestroy();
  void BtnFermerClick();
  void BtnParcourirClick();
  // The user picked a picture in the list.
  void ComboWallpaperChange(int index);
  // Draws thumbnail `index` (built first if need be) at the top-left of the canvas.
  void DessinerVignette(int index, Canvas& canvas);
  void MenuOuvrirClick();
  void MenuQuitterClick();
  void ActiverPanic();
  // Shows the window; `affichee` runs once it shows, before the missing thumbnails are built.
  void DesactiverPanic(const std::function<void()>& affichee = {});

  // Language and the about block.
  void AfficherLangue();
  void LabelAboutSiteClick();
  void LabelLienMouseMove(Controle label);
  void LabelLienMouseLeave(Controle label);
  // Rows the opened picture list shows; `haut` is the field's top on the screen.
  int ComboWallpaperDropDown(int haut, int hauteurChamp);

  // Tray icon and its quick menu.
  void MessageIconeTray(std::uint32_t evenement);
  // Fills the quick menu each time it opens: up to eight distinct random pictures (five on a
  // screen of 640 pixels or less).
  void PopupMenuPanicPopup();
  void MenuWallpaperXClick(int k);
  void MenuWallpaperHasardClick();
  struct EntreeMenuImage {
    bool visible = false;
    int tag = 0;
    std::string legende;
  };
  std::array<EntreeMenuImage, 10> MenuWallpaper;
  bool MenuWallpaperCommVisible = true;
  std::string MenuWallpaperHasardLegende;

  // The preview, its menu and the history arrows.
  void MenuMonitorOpenFileClick();
  void MenuMonitorOpenDirectoryClick();
  void MenuMonitorCopierCheminClick();
  // True when it went back to an earlier wallpaper.
  bool MenuMonitorPrecedentClick();
  void MenuMonitorSuivantClick();
  void TimerAntiDisparitionTimer();
  void TimerChangerWallpaperTimer();

  // The schedule controls, changed by the user or by the program; the handlers run on every
  // change of state. A change the settings cannot store puts the control back as it was, and
  // the error goes on to the caller.
  void ModifierCheckChgtDemarrage(bool coche);
  void ModifierCheckChgtTousLes(bool coche);
  void ModifierEditFreqDuree(const std::string& texte);
  void ModifierComboFreqTemps(int index);  // a choice of the user
  // Filters a typed character of the duration field; '\0' drops it.
  void EditFreqDureeKeyPress(char& caractere);

  // A command from a second start of the program: "show", "next", "previous" or "quit".
  // `repondre` hears once how it went, as soon as that is known and before any error is shown:
  // empty text when it is carried out, otherwise why it was not. An error still goes on to
  // the caller. False for an unknown command.
  bool CommandeExterne(const std::string& commande,
                       const std::function<void(const std::string&)>& repondre = {});

  // Runs an event handler the way the application does: an error reaches the default error
  // handler instead of the caller.
  void Executer(const std::function<void()>& gestionnaire);

 private:
  // A check box changed: its value, stored by its click handler, or put back when it cannot be.
  void ModifierCoche(bool& valeur, Controle controle, void (TForm1::*clic)(), bool coche);
  void CheckChgtDemarrageClick();
  void CheckChgtTousLesClick();
  void EditFreqDureeChange();
  void ComboFreqTempsChange();
  // Stores a setting of the window; a failure comes out as EReglageNonStocke.
  void Stocker(const std::function<void()>& ecriture);
  // Why a wallpaper change that was asked for did not happen.
  std::string RaisonSansChangement(bool precedent) const;
  void EtapeCreation(const std::function<void()>& etape);

  MainView& vue_;
  OperationsWallpaper& moteur_;
  ServicesPlateforme services_;
  ParametresLancement lancement_;
  Reglages reglages_;

  std::unique_ptr<platform::Timer> timerInitialisation_;
  std::unique_ptr<platform::Timer> timerChangerWallpaper_;
  std::unique_ptr<platform::Timer> timerAntiDisparition_;

  bool creationEnCours_ = false;
  bool erreurCreationSignalee_ = false;
  bool iconeAjoutee_ = false;
  bool catalogueLu_ = false;  // the start-up scan is over
};
