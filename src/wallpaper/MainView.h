#pragma once

#include <cstddef>

#include "imaging/Canvas.h"
#include <optional>
#include <string>
#include <vector>

// The controls and menu entries of the main window that the program's logic talks to.
enum class Controle {
  TabBrowser,
  TabWallpaper,
  TabAide,
  ImgMonitorDeco1,
  ImgMonitor1,
  ImgPrecedent1,
  ImgSuivant1,
  LabelCheminCompletDuFichier,
  GroupImages,
  LabelBtnParcourir,
  BtnParcourir,
  LabelComboWallpaper,
  ComboWallpaper,
  LabelPasDImages,
  ProgressBar1,
  GroupMiseAJour,
  CheckChgtDemarrage,
  CheckChgtTousLes,
  EditFreqDuree,
  ComboFreqTemps,
  ImgMonitorDeco2,
  ImgMonitor2,
  ImgPrecedent2,
  ImgSuivant2,
  LabelAboutProg,
  LabelAboutAuteur,
  LabelAboutSite,
  GroupAide,
  LabelAide1,
  LabelAide2,
  LabelAide3,
  BtnFermer,
  // Quick menu of the tray icon.
  MenuWallpaperComm,
  MenuWallpaperHasard,
  MenuWallpaperOuvrirImage,
  MenuWallpaperPrecedent,
  MenuOuvrir,
  MenuQuitter,
  // Menu of the preview.
  MenuMonitorChemin,
  MenuMonitorCopierChemin,
  MenuMonitorOpenFile,
  MenuMonitorOpenDirectory,
};

// What the main window shows. The window forwards its events to TForm1 and shows what TForm1
// tells it here; no rule of the program lives in the view.
class MainView {
 public:
  virtual ~MainView() = default;

  virtual void setTitre(const std::string& titre) = 0;
  // Caption of a control or menu entry, or the text of an edit field.
  virtual void setTexte(Controle controle, const std::string& texte) = 0;
  // Tool-tip hint.
  virtual void setIndice(Controle controle, const std::string& indice) = 0;
  virtual void setVisible(Controle controle, bool visible) = 0;
  virtual void setCoche(Controle controle, bool coche) = 0;
  // Selected entry of a drop-down list, -1 for none.
  virtual void setIndexSelectionne(Controle controle, int index) = 0;
  virtual void setSouligne(Controle controle, bool souligne) = 0;
  virtual void setOngletActif(Controle onglet) = 0;
  // Gives an edit field the keyboard focus and selects all its text.
  virtual void selectionnerTout(Controle controle) = 0;

  // The window itself: shown, hidden to the tray (no window, no task-bar button), or kept from
  // appearing when the message loop starts.
  virtual void afficherFenetre() = 0;
  virtual void masquerFenetre() = 0;
  virtual void nePasAfficherAuDemarrage() = 0;
  virtual bool fenetreVisible() const = 0;
  // Asks the window to close; the close request comes back through TForm1::FormCloseQuery.
  virtual void demanderFermeture() = 0;
  // Ends the message loop: the program ends.
  virtual void terminerProgramme() = 0;

  // The picture list: emptied, then the catalogue's entries from `debut` on appended. The
  // catalogue is the program's own, which lives as long as the window: a view may read its
  // paths there rather than keep copies, until the list is next emptied.
  virtual void viderListeImages() = 0;
  virtual void ajouterImages(const std::vector<std::string>& catalogue, std::size_t debut) = 0;
  // The hourglass over the window while a long task runs.
  virtual void setCurseurAttente(bool attente) = 0;
  // Width in pixels of a text in the window's font.
  virtual int largeurTexte(const std::string& texte) = 0;
  virtual int largeurControle(Controle controle) = 0;
  // The folder chooser, modal, opened on `depart` (when it names a folder); nothing when the
  // user cancels.
  virtual std::optional<std::string> choisirDossier(const std::string& titre,
                                                    const std::string& depart) = 0;
  // Both previews of the current wallpaper show this picture.
  virtual void setApercu(const Canvas& apercu) = 0;
  virtual void setProgression(int maximum, int position) = 0;
  // The thumbnails changed: the picture list draws its items again. Never asked while the list
  // draws an item, which would draw it again and again.
  virtual void redessinerListe() = 0;

  // Picture entry k (0 to 9) of the quick menu: shown or hidden, the catalogue index it
  // installs and the picture's full path.
  virtual void setEntreeMenuImage(int k, bool visible, int tag, const std::string& chemin) = 0;
  // Brings the window forward when it is shown, then opens the quick menu at the mouse pointer.
  virtual void ouvrirMenuPanic() = 0;
};
