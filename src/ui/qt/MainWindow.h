#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>
#include <array>
#include <map>

#include "wallpaper/MainView.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QTabWidget;
class PictureComboBox;
class TForm1;

// The main window: a fixed dialog with two tabs. It shows what TForm1 tells it and forwards
// every event to TForm1's handlers.
class MainWindow : public QDialog, public MainView {
  Q_OBJECT
 public:
  MainWindow();
  ~MainWindow() override;

  // Connects the window's events to the logic; call once, before TForm1::FormCreate.
  void attacher(TForm1& form);

  QMenu* menuPanic() const { return popupMenuPanic_; }
  // The quick menu as plain entries, for notification areas that show it themselves.
  QMenu* menuExporte() const { return menuExporte_; }
  QAction* actionExportee(Controle c) const;
  QAction* entreeExportee(int k) const { return entreesExportees_.at(static_cast<std::size_t>(k)); }
  QAction* entreeImage(int k) const { return entreesImages_.at(static_cast<std::size_t>(k)); }
  // Runs `gestionnaire` once the event being handled is done with: handlers that may run the
  // event loop (showing the window builds thumbnails) must not run inside a menu's, the tray
  // icon's or a socket's own event code.
  void differer(std::function<void()> gestionnaire);
  QWidget* controle(Controle c) const;
  QAction* action(Controle c) const;
  bool afficherAuDemarrage() const { return afficherAuDemarrage_; }
  // Shows the window for the first time, centred on the primary screen.
  void afficherPremiereFois();

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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool eventFilter(QObject* objet, QEvent* evenement) override;

 private:
  void createControls();
  void createMenus();
  void createMenuExporte();
  void connectEvents();
  // Shows or hides a menu entry; a drawn entry's own widget too, or it stays painted where it
  // was in the menu's previous opening.
  static void montrerEntree(QAction* action, bool visible);
  // Normal, raised and active, also when the window manager had minimised it.
  void ramenerDevant();
  QIcon iconeVignette(int index);
  void remplirMenuExporte();
  // Fills the exported menu with a new choice once the current event is handled, or later.
  void preparerMenuExporte(int delaiMs = 0);
  void remplirMenuExportePrevu();

  TForm1* form_ = nullptr;
  bool afficherAuDemarrage_ = true;
  bool dejaCentree_ = false;
  std::map<Controle, QWidget*> controles_;
  std::map<Controle, QAction*> actions_;
  QTabWidget* tabBrowser_ = nullptr;
  PictureComboBox* comboWallpaper_ = nullptr;
  QLineEdit* editFreqDuree_ = nullptr;
  QComboBox* comboFreqTemps_ = nullptr;
  QCheckBox* checkChgtDemarrage_ = nullptr;
  QCheckBox* checkChgtTousLes_ = nullptr;
  QLabel* labelAboutSite_ = nullptr;
  QPushButton* btnFermer_ = nullptr;
  QMenu* popupMenuPanic_ = nullptr;
  QMenu* popUpMenuMonitor_ = nullptr;
  std::array<QAction*, 10> entreesImages_{};
  QMenu* menuExporte_ = nullptr;
  std::map<Controle, QAction*> actionsExportees_;
  std::array<QAction*, 10> entreesExportees_{};
  bool menuExportePret_ = false;  // filled since it last opened
  bool remplissagePrevu_ = false;
};
