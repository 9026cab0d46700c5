// The whole program in one process: the real window, engine, pictures on disk and the X
// server's root window, with settings in memory.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTest>
#include <filesystem>

#include "app/TForm1.h"
#include "ui/TestApplication.h"
#include "imaging/JPEGImage.h"
#include "imaging/PictureReaders.h"
#include "png/PNGObject.h"
#include "platform/MemoryRegistry.h"
#include "platform/posix/desktop/Backends.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixLocale.h"
#include "support/FakeLocale.h"
#include "support/Fakes.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/QtTextRenderer.h"
#include "wallpaper/Chemins.h"
#include "wallpaper/FichierBmp.h"
#include "wallpaper/MoteurWallpaper.h"

namespace fs = std::filesystem;

namespace {

// The colour at the centre of the root window's background pixmap, or nothing without one.
std::optional<Color> CentreDuFond() {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) return std::nullopt;
  const xcb_screen_t* ecran = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const char nomAtome[] = "_XROOTPMAP_ID";
  auto* atome = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof nomAtome - 1, nomAtome), nullptr);
  std::optional<Color> resultat;
  if (atome && atome->atom != XCB_NONE) {
    auto* propriete = xcb_get_property_reply(
        c, xcb_get_property(c, 0, ecran->root, atome->atom, XCB_ATOM_PIXMAP, 0, 1), nullptr);
    if (propriete && xcb_get_property_value_length(propriete) == 4) {
      const auto pixmap = *static_cast<xcb_pixmap_t*>(xcb_get_property_value(propriete));
      auto* image = xcb_get_image_reply(
          c,
          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, static_cast<int16_t>(ecran->width_in_pixels / 2),
                        static_cast<int16_t>(ecran->height_in_pixels / 2), 1, 1, ~0u),
          nullptr);
      if (image && xcb_get_image_data_length(image) >= 3) {
        const uint8_t* p = xcb_get_image_data(image);
        resultat = Color{p[2], p[1], p[0]};
      }
      free(image);
    }
    free(propriete);
  }
  free(atome);
  xcb_disconnect(c);
  return resultat;
}

bool Attendre(const std::function<bool()>& condition, int millisecondes) {
  QElapsedTimer chrono;
  chrono.start();
  while (!condition()) {
    if (chrono.elapsed() > millisecondes) return false;
    QTest::qWait(20);
  }
  return true;
}

class BoutEnBout : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server";
    Application();
    RegisterJpegFormats(formats);
    RegisterPictureReaders(formats);
    RegisterPngFormat(formats);
    dossier_ = fs::temp_directory_path() / ("e2e-" + std::to_string(::getpid()));
    fs::remove_all(dossier_);
    fs::create_directories(dossier_ / "Pictures/Sub");
    fs::create_directories(dossier_ / "data");
    // Three solid pictures, each smaller than any screen by more than 100 pixels: centred.
    Peindre("Pictures/red.bmp", {220, 20, 20});
    Peindre("Pictures/Sub/green.bmp", {20, 200, 40});
    Peindre("Pictures/blue.bmp", {30, 40, 210});
    registre.createKey(platform::kCleDemarrage);
    registre.put(platform::kCleDossiersShell, "AppData",
                 platform::RegistryValue::ofText((dossier_ / "data").string()));
    registre.put(platform::kCleDossiersShell, "My Pictures",
                 platform::RegistryValue::ofText((dossier_ / "Pictures").string()));
  }
  void TearDown() override {
    if (form) form->FormDestroy();
    fs::remove_all(dossier_);
  }

  void Peindre(const std::string& nom, Color c) {
    TBitmap image(PixelLayout::Bgr24, 200, 150);
    for (int y = 0; y < 150; ++y)
      for (int x = 0; x < 200; ++x) {
        image.ScanLine(y)[3 * x] = c.blue;
        image.ScanLine(y)[3 * x + 1] = c.green;
        image.ScanLine(y)[3 * x + 2] = c.red;
      }
    EnregistrerBmp(image, (dossier_ / nom).string());
  }

  void Demarrer() {
    form = std::make_unique<TForm1>(
        fenetre, moteur,
        ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs, tray},
        ParametresLancement{"/usr/bin/verrelune", ""});
    fenetre.attacher(*form);
    form->FormCreate();
    fenetre.afficherPremiereFois();
  }

  std::string Actuel() const {
    const auto v = registre.value("SOFTWARE\\Verrelune", "WallPaperActuel");
    return v ? v->text : std::string();
  }
  std::string Fichier() const { return (dossier_ / "data/Verrelune/Verrelune.bmp").string(); }

  QApplication& application = Application();  // before any widget
  fs::path dossier_;
  TFileFormatsList formats;
  platform::MemoryRegistry registre;
  testsupport::FakeLocale locale{0x0409};
  platform::posix::SystemClock horloge;
  QtTimerFactory minuteries;
  QtScreen ecran;
  QtEventPump pompe;
  testsupport::RecordingShell shell;
  testsupport::RecordingErrorHandler erreurs;
  testsupport::RecordingTrayIcon tray;
  platform::posix::PosixFileSystem fichiers;
  platform::posix::X11Desktop bureau;
  MainWindow fenetre;
  QtTextRenderer texte{fenetre.font()};
  MoteurWallpaper moteur{
      ServicesMoteur{fenetre, horloge, pompe, fichiers, registre, ecran, bureau, texte, formats}};
  std::unique_ptr<TForm1> form;
};

const std::map<std::string, Color> kCouleurs = {
    {"red", {220, 20, 20}}, {"green", {20, 200, 40}}, {"blue", {30, 40, 210}}};

Color CouleurDe(const std::string& chemin) { return kCouleurs.at(NomAffiche(chemin)); }

TEST_F(BoutEnBout, StartUpChangeThenAPickFromTheListThenTheScheduleEveryTwoSeconds) {
  Demarrer();
  // The deferred start-up: scan, change, timer, thumbnails.
  ASSERT_TRUE(Attendre([&] { return fs::exists(Fichier()) && !Actuel().empty(); }, 10000));
  EXPECT_EQ(fenetre.windowTitle(), "Verrelune [3 images]");
  EXPECT_EQ(CentreDuFond(), CouleurDe(Actuel()));
  // The workers finish in any order: each thumbnail is recorded once.
  ASSERT_TRUE(Attendre(
      [&] {
        const std::string& faites = form->VignettesFaites;
        return faites.size() == 7 && faites.find("~0~") != std::string::npos &&
               faites.find("~1~") != std::string::npos && faites.find("~2~") != std::string::npos;
      },
      10000))
      << form->VignettesFaites;
  EXPECT_TRUE(erreurs.messages.empty());

  // The user picks another picture in the list.
  auto* liste = static_cast<QComboBox*>(fenetre.controle(Controle::ComboWallpaper));
  ASSERT_EQ(liste->count(), 3);
  const std::string avant = Actuel();
  int choix = 0;
  while (form->Catalogue[static_cast<std::size_t>(choix)] == avant) ++choix;
  liste->setCurrentIndex(choix);
  emit liste->activated(choix);
  EXPECT_EQ(Actuel(), form->Catalogue[static_cast<std::size_t>(choix)]);
  EXPECT_EQ(CentreDuFond(), CouleurDe(Actuel()));

  // Every two seconds from now on.
  form->ModifierComboFreqTemps(0);
  form->ModifierEditFreqDuree("2");
  const std::string apresChoix = Actuel();
  ASSERT_TRUE(Attendre([&] { return Actuel() != apresChoix; }, 6000));
  EXPECT_EQ(CentreDuFond(), CouleurDe(Actuel()));
  const std::string apresUn = Actuel();
  ASSERT_TRUE(Attendre([&] { return Actuel() != apresUn; }, 6000));
}

}  // namespace
