#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "imaging/Canvas.h"
#include "wallpaper/MainView.h"

class TForm1;

// Message of the tray icon's events: the first user message number plus 100.
inline constexpr UINT kMessageIconeTray = WM_USER + 100;

// The main window with native controls: a fixed dialog frame of 377 x 472 pixels with a tab
// control of two pages. It shows what TForm1 tells it and forwards every event to TForm1's
// handlers; events that may run the message loop (a tray click, a menu choice) are handled
// once their own message is done with.
class FenetrePrincipale : public MainView {
 public:
  // Commands of the menus.
  enum : UINT {
    kCmdEnTete = 1000,
    kCmdImage0 = 1010,  // to 1019
    kCmdHasard = 1020,
    kCmdOuvrirImage,
    kCmdPrecedent,
    kCmdOuvrir,
    kCmdQuitter,
    kCmdCopierChemin = 1100,
    kCmdOuvrirFichier,
    kCmdOuvrirDossier,
  };

  explicit FenetrePrincipale(HINSTANCE instance);
  ~FenetrePrincipale() override;
  FenetrePrincipale(const FenetrePrincipale&) = delete;
  FenetrePrincipale& operator=(const FenetrePrincipale&) = delete;

  // Connects the window's events to the logic; call once, before TForm1::FormCreate.
  void attacher(TForm1& form) { form_ = &form; }
  // Before the logic goes: what the window still receives is no longer forwarded.
  void detacher() { form_ = nullptr; }
  HWND handle() const { return fenetre_; }
  HFONT police() const { return police_; }
  HICON iconeTray() const { return icones_.tray; }
  bool afficherAuDemarrage() const { return afficherAuDemarrage_; }
  // Shows the window for the first time, centred on the work area.
  void afficherPremiereFois();
  // Runs `gestionnaire` once the message being handled is done with.
  void differer(std::function<void()> gestionnaire);

  // MainView
  void setTitre(const std::string& titre) override;
  void setTexte(Controle controle, const std::string& texte) override;
  void setIndice(Controle controle, const std::string& indice) override;
  void setVisible(Controle controle, bool visible) override;
  void setCoche(Controle controle, bool coche) override;
  void setIndexSelectionne(Controle controle, int index) override;
  void setSouligne(Controle controle, bool souligne) override;
  void setOngletActif(Controle onglet) override;
  void selectionnerTout(Controle controle) override;
  void afficherFenetre() override;
  void masquerFenetre() override;
  void nePasAfficherAuDemarrage() override;
  bool fenetreVisible() const override;
  void demanderFermeture() override;
  void terminerProgramme() override;
  void viderListeImages() override;
  void ajouterImages(const std::vector<std::string>& catalogue, std::size_t debut) override;
  void setCurseurAttente(bool attente) override;
  int largeurTexte(const std::string& texte) override;
  int largeurControle(Controle controle) override;
  std::optional<std::string> choisirDossier(const std::string& titre,
                                            const std::string& depart) override;
  void setApercu(const Canvas& apercu) override;
  void setProgression(int maximum, int position) override;
  void redessinerListe() override;
  void setEntreeMenuImage(int k, bool visible, int tag, const std::string& chemin) override;
  void ouvrirMenuPanic() override;

 private:
  // An image control: an icon of the artwork, or the preview's picture.
  struct Image {
    Controle controle;
    HICON icone = nullptr;
    bool apercu = false;
    bool main = false;           // hand cursor
    bool transparente = false;   // lets the mouse through to what lies below
  };
  struct EntreeImage {
    bool visible = false;
    int tag = 0;
    std::string chemin;
  };
  struct Icones {
    HICON programme = nullptr;
    HICON tray = nullptr;
    HICON hasard = nullptr;
    HICON ouvrir = nullptr;
    HICON precedent = nullptr;
    HICON moniteur = nullptr;
    HICON flecheGauche = nullptr;
    HICON flecheDroite = nullptr;
  };

  static LRESULT CALLBACK ProcFenetre(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ProcPage(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ProcImage(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ProcSousClasse(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR donnees);
  LRESULT message(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT messageImage(Image& image, HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT messageSousClasse(HWND fenetre, UINT message, WPARAM wParam, LPARAM lParam);

  void enregistrerClasses();
  void creerControles();
  HWND creer(HWND parent, Controle c, const char* classe, DWORD style, int gauche, int haut,
             int largeur, int hauteur, DWORD styleEtendu = 0);
  HWND creerImage(HWND parent, Controle c, int gauche, int haut, int largeur, int hauteur, HICON icone,
                  bool main);
  void ajouterInfoBulle(Controle c);
  HWND controle(Controle c) const;
  void executer(const std::function<void(TForm1&)>& gestionnaire);

  void commande(int id, int notification, HWND source);
  void dessinerElement(DRAWITEMSTRUCT& dessin);
  void mesurerElement(MEASUREITEMSTRUCT& mesure);
  void dessinerImage(const Image& image, HDC dc, const RECT& zone);
  // A picture of the catalogue as the list and the quick menu show it: the thumbnail, the
  // name, and below it the bracketed sub-folder when it has one.
  void dessinerElementImage(HDC dc, RECT zone, int index, const std::string& chemin, COLORREF fond,
                            COLORREF texte);
  void dessinerEntreeIcone(HDC dc, RECT zone, HICON icone, const std::string& texte, bool selectionnee,
                           bool gras);
  void montrerPage(int page);
  // Width of a quick menu entry with an icon: the icon and its text.
  int largeurEntreeIcone(UINT commande);
  // Places the help texts so that each shows whole in the window's font.
  void disposerAides();
  void ouvrirMenuApercu();
  void listeOuverte();
  void clicImage(Controle c);

  HINSTANCE instance_;
  TForm1* form_ = nullptr;
  HWND fenetre_ = nullptr;
  HWND onglets_ = nullptr;
  std::array<HWND, 2> pages_{};
  HWND infoBulles_ = nullptr;
  HFONT police_ = nullptr;
  HFONT policeAPropos_ = nullptr;
  HFONT policeLien_ = nullptr;
  HFONT policeLienSoulignee_ = nullptr;
  Icones icones_;
  std::map<Controle, HWND> controles_;
  std::map<HWND, std::unique_ptr<Image>> images_;
  std::map<Controle, std::string> textes_;   // menu entries and hints
  std::map<Controle, bool> visibles_;        // menu entries
  std::array<EntreeImage, 10> entreesImages_;
  std::optional<Canvas> apercu_;
  std::deque<std::function<void()>> differes_;
  bool afficherAuDemarrage_ = true;
  bool dejaCentree_ = false;
  bool attente_ = false;
  bool texteParProgramme_ = false;
  bool survolLien_ = false;
  int selectionAvantOuverture_ = -1;
};
