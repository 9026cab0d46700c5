#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "wallpaper/MainView.h"
#include "imaging/TextRenderer.h"
#include "platform/Desktop.h"
#include "platform/Timer.h"
#include "platform/TrayIcon.h"
#include "platform/Ui.h"
#include "support/VirtualClock.h"
#include "wallpaper/OperationsWallpaper.h"

namespace testsupport {

// Timers that run on a VirtualClock: advancing time fires every timer that falls due, in
// order, exactly as often as a real timer would.
class VirtualTimerFactory;

class VirtualTimer : public platform::Timer {
 public:
  explicit VirtualTimer(VirtualTimerFactory& owner);
  ~VirtualTimer() override;
  void setInterval(std::uint32_t milliseconds) override;
  std::uint32_t interval() const override { return interval_; }
  void setEnabled(bool enabled) override;
  bool enabled() const override { return enabled_; }

  // When it fires next, in milliseconds of the factory's time; nothing when it never will.
  bool due(std::uint64_t& at) const;
  void fireNow();
  int fired = 0;

 private:
  void restart();
  VirtualTimerFactory& owner_;
  std::uint32_t interval_ = 0;
  bool enabled_ = false;
  std::uint64_t start_ = 0;
};

class VirtualTimerFactory : public platform::TimerFactory {
 public:
  explicit VirtualTimerFactory(VirtualClock& clock) : clock_(clock) {}
  std::unique_ptr<platform::Timer> createTimer() override;

  std::uint64_t nowMs() const { return now_; }
  // Moves the clock and fires the timers that fall due on the way.
  void advance(std::chrono::milliseconds by);
  std::vector<VirtualTimer*> timers;

 private:
  VirtualClock& clock_;
  std::uint64_t now_ = 0;
};

// A main window that only remembers what it was told.
class RecordingView : public MainView {
 public:
  void setTitre(const std::string& titre) override { this->titre = titre; }
  void setTexte(Controle c, const std::string& texte) override { textes[c] = texte; }
  void setIndice(Controle c, const std::string& indice) override { indices[c] = indice; }
  void setVisible(Controle c, bool visible) override { visibles[c] = visible; }
  void setCoche(Controle c, bool coche) override { coches[c] = coche; }
  void setIndexSelectionne(Controle c, int index) override { selections[c] = index; }
  void setSouligne(Controle c, bool souligne) override { soulignes[c] = souligne; }
  void setOngletActif(Controle onglet) override { ongletActif = onglet; }
  void selectionnerTout(Controle c) override { toutSelectionne.push_back(c); }
  void afficherFenetre() override { visible = true; journal.push_back("afficher"); }
  void masquerFenetre() override { visible = false; journal.push_back("masquer"); }
  void nePasAfficherAuDemarrage() override { afficherAuDemarrage = false; journal.push_back("pasAuDemarrage"); }
  bool fenetreVisible() const override { return visible; }
  void demanderFermeture() override { journal.push_back("fermeture"); if (surFermeture) surFermeture(); }
  void terminerProgramme() override { termine = true; journal.push_back("terminer"); }

  std::string titre;
  std::map<Controle, std::string> textes;
  std::map<Controle, std::string> indices;
  std::map<Controle, bool> visibles;
  std::map<Controle, bool> coches;
  std::map<Controle, int> selections;
  std::map<Controle, bool> soulignes;
  Controle ongletActif = Controle::TabAide;
  std::vector<Controle> toutSelectionne;
  bool visible = false;
  bool afficherAuDemarrage = true;
  bool termine = false;
  std::vector<std::string> journal;
  std::function<void()> surFermeture;

  void viderListeImages() override { liste.clear(); }
  void ajouterImages(const std::vector<std::string>& catalogue, std::size_t debut) override {
    liste.insert(liste.end(), catalogue.begin() + static_cast<std::ptrdiff_t>(debut), catalogue.end());
    ++ajouts;
  }
  void setCurseurAttente(bool attente) override { curseurAttente = attente; }
  // Six pixels a character, as a narrow interface font.
  int largeurTexte(const std::string& texte) override { return 6 * static_cast<int>(texte.size()); }
  int largeurControle(Controle) override { return 185; }
  std::optional<std::string> choisirDossier(const std::string& titre, const std::string& depart) override {
    dialogues.push_back(titre + "|" + depart);
    return reponseDossier;
  }

  void setApercu(const Canvas& image) override {
    apercu = image;
    ++apercus;
  }
  void setProgression(int maximum, int position) override {
    progression.push_back(std::to_string(position) + "/" + std::to_string(maximum));
  }
  void redessinerListe() override { ++redessins; }
  void setEntreeMenuImage(int k, bool visible, int tag, const std::string& chemin) override {
    entreesMenu[k] = visible ? std::to_string(tag) + ":" + chemin : std::string("-");
  }
  void ouvrirMenuPanic() override { journal.push_back("menuPanic"); }
  std::map<int, std::string> entreesMenu;

  std::vector<std::string> liste;
  Canvas apercu;
  int apercus = 0;
  std::vector<std::string> progression;
  int redessins = 0;
  int ajouts = 0;
  bool curseurAttente = false;
  std::vector<std::string> dialogues;
  std::optional<std::string> reponseDossier;
};

// The engine's operations, written down in the order they are called.
class RecordingEngine : public OperationsWallpaper {
 public:
  explicit RecordingEngine(std::vector<std::string>& journal) : journal_(journal) {}
  void ScannerArborescence(bool demander) override {
    journal_.push_back(std::string("ScannerArborescence(") + (demander ? "true" : "false") + ")");
  }
  bool InstallerWallpaper(int index, bool enregistrer) override {
    journal_.push_back("InstallerWallpaper(" + std::to_string(index) + "," +
                       (enregistrer ? "true" : "false") + ")");
    if (!echecInstallation.empty()) throw Exception(echecInstallation);
    return installe;
  }
  bool installe = true;
  std::string echecInstallation;  // thrown by the installer when set
  void CalculerTimerChangerWallpaperInterval() override {
    journal_.push_back("CalculerTimerChangerWallpaperInterval");
  }
  void CreerVignettes() override { journal_.push_back("CreerVignettes"); }
  void attacher(EtatProgramme&, platform::Timer&, AccesReglages&) override { attache = true; }
  bool attache = false;
  int NombreImages() const override { return nombreImages; }
  void DessinerVignette(int index, Canvas&, int, int) override {
    journal_.push_back("DessinerVignette(" + std::to_string(index) + ")");
  }
  int nombreImages = 0;

 private:
  std::vector<std::string>& journal_;
};

// A screen of `ecran`'s size; `pixels`, when set, makes it a scaled one with more pixels.
class FakeScreen : public platform::Screen {
 public:
  platform::Rect geometry() override { return ecran; }
  platform::Rect workArea() override { return zoneTravail; }
  platform::Size pixelSize() override { return pixels ? *pixels : platform::Screen::pixelSize(); }
  platform::Rect ecran{0, 0, 1024, 768};
  platform::Rect zoneTravail{0, 0, 1024, 738};
  std::optional<platform::Size> pixels;
};

class RecordingShell : public platform::Shell {
 public:
  void open(const std::string& cible) override { ouverts.push_back(cible); }
  void setClipboardText(const std::string& texte) override { pressePapiers = texte; }
  void beep() override { ++bips; }
  std::vector<std::string> ouverts;
  std::string pressePapiers;
  int bips = 0;
};

class RecordingErrorHandler : public platform::ErrorHandler {
 public:
  void showError(const std::string& message) override { messages.push_back(message); }
  std::vector<std::string> messages;
};

class RecordingDesktop : public platform::Desktop {
 public:
  bool applyWallpaper(const std::string& path, platform::WallpaperStyle style) override {
    appels.push_back(path + (style == platform::WallpaperStyle::Stretch ? "|stretch" : "|centre"));
    return true;
  }
  Color backgroundColour() const override { return fond; }
  std::vector<std::string> appels;
  Color fond{0, 0, 0};
};

// Text drawn as a solid block of the text's colour over the centre of its rectangle, so tests
// can see that a text was written where it should be.
class BlockTextRenderer : public TextRenderer {
 public:
  void DrawText(Canvas& canvas, const std::string& text, const Rect& rect, unsigned,
                const TextStyle& style) override {
    textes.push_back(text);
    const int cx = (rect.left + rect.right) / 2;
    const int cy = (rect.top + rect.bottom) / 2;
    canvas.FillRect(Rect{cx - 2, cy - 2, cx + 2, cy + 2}, style.color);
  }
  int TextWidth(const std::string& text, const TextStyle&) override {
    return 6 * static_cast<int>(text.size());
  }
  std::vector<std::string> textes;
};

class RecordingTrayIcon : public platform::TrayIcon {
 public:
  void add(const platform::TrayIconRecord& r) override { operations.push_back("add:" + r.tip); present = true; }
  void modify(const platform::TrayIconRecord& r) override { operations.push_back("modify:" + r.tip); }
  void remove(const platform::TrayIconRecord&) override { operations.push_back("remove"); present = false; }
  std::vector<std::string> operations;
  bool present = false;
};

}  // namespace testsupport
