#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include "imaging/JPEGImage.h"
#include "imaging/Picture.h"
#include "support/Entourage.h"
#include "support/Paths.h"
#include "wallpaper/Ajustement.h"
#include "wallpaper/FichierBmp.h"
#include "wallpaper/MoteurWallpaper.h"

namespace fs = std::filesystem;
using platform::RegistryValue;

namespace {

struct CasMode {
  int w, h;
  ModeAjustement mode;
  Taille bitmap;  // of "Reduce"
};

class ModesFullHd : public ::testing::TestWithParam<CasMode> {};

TEST_P(ModesFullHd, FitOnA1920x1080Screen) {
  const CasMode& c = GetParam();
  EXPECT_EQ(ChoisirMode(c.w, c.h, 1920, 1080), c.mode);
  if (c.mode == ModeAjustement::Reduce) {
    EXPECT_EQ(TailleReduite(c.w, c.h, 1920, 1080), c.bitmap);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ModesFullHd,
                         ::testing::Values(CasMode{1600, 900, ModeAjustement::Center, {}},
                                           CasMode{1900, 1000, ModeAjustement::Stretch, {}},
                                           CasMode{1200, 1050, ModeAjustement::Center, {}},
                                           CasMode{4000, 1000, ModeAjustement::Reduce, {1920, 480}},
                                           CasMode{3000, 3000, ModeAjustement::Reduce, {1080, 1080}},
                                           CasMode{1820, 980, ModeAjustement::Center, {}},
                                           CasMode{5120, 2880, ModeAjustement::Stretch, {}}));

TEST(CopieReduite, AtExactlyHalfEveryPixelIsTheSourcePixelAtTwiceItsPlace) {
  TBitmap source(PixelLayout::Bgr24, 4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 12; ++x) source.ScanLine(y)[x] = static_cast<std::uint8_t>(y * 40 + x * 3);
  const TBitmap cible = CopieReduite(source, {2, 2});
  ASSERT_EQ(cible.Layout(), PixelLayout::Bgr24);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x)
      for (int k = 0; k < 3; ++k)
        EXPECT_EQ(cible.ScanLine(y)[x * 3 + k], source.ScanLine(2 * y)[2 * x * 3 + k]) << x << y << k;
}

TEST(CopieReduite, EachInterpolationStepTruncates) {
  // Two source columns 10 and 15; a target of 4 columns reads them at fx = 0, 0.5, 1, 1.5.
  TBitmap source(PixelLayout::Bgr24, 2, 1);
  const std::uint8_t ligne[] = {10, 10, 10, 15, 15, 15};
  std::copy(std::begin(ligne), std::end(ligne), source.ScanLine(0).begin());
  const TBitmap cible = CopieReduite(source, {4, 1});
  EXPECT_EQ(cible.ScanLine(0)[0], 10);
  EXPECT_EQ(cible.ScanLine(0)[3], 12);  // 12.5 truncated
  EXPECT_EQ(cible.ScanLine(0)[6], 15);
  EXPECT_EQ(cible.ScanLine(0)[9], 15);  // x1 is clamped to the last column
}

TEST(EchelleApercu, ChoosesTheScaleFromTheFullSize) {
  EXPECT_EQ(EchelleApercu(2000, 100), TJPEGScale::Eighth);
  EXPECT_EQ(EchelleApercu(174, 174), TJPEGScale::FullSize);
  EXPECT_EQ(EchelleApercu(175, 10), TJPEGScale::Half);
  EXPECT_EQ(EchelleApercu(10, 350), TJPEGScale::Quarter);
}

struct CasRectangle {
  int gw, gh, sw, sh;
  Rect attendu;
};

class Vignettes : public ::testing::TestWithParam<CasRectangle> {};

TEST_P(Vignettes, PictureRectangleInTheCell) {
  const CasRectangle& c = GetParam();
  EXPECT_EQ(RectangleCentre(c.gw, c.gh, c.sw, c.sh, 60, 45), c.attendu);
}

INSTANTIATE_TEST_SUITE_P(Examples, Vignettes,
                         ::testing::Values(CasRectangle{800, 600, 1024, 768, {0, 0, 60, 45}},
                                           CasRectangle{3000, 1000, 1024, 768, {0, 12, 60, 33}},
                                           CasRectangle{1000, 2000, 1024, 768, {19, 0, 41, 45}},
                                           CasRectangle{600, 400, 1920, 1080, {-3, 0, 63, 45}}));

// Writes a small BMP of solid colour, byte by byte.
void EcrireBmp(const fs::path& chemin, int w, int h, Color couleur) {
  TBitmap image(PixelLayout::Bgr24, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      image.ScanLine(y)[3 * x] = couleur.blue;
      image.ScanLine(y)[3 * x + 1] = couleur.green;
      image.ScanLine(y)[3 * x + 2] = couleur.red;
    }
  EnregistrerBmp(image, chemin.string());
}

class Installation : public ::testing::Test, public testsupport::Entourage {
 protected:
  Installation() {
    dossier_ = fs::temp_directory_path() /
               ("install-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dossier_);
    fs::create_directories(dossier_ / "pics/Holidays/2019");
    moteur.attacher(etat, *timer, reglages);
    etat.DossierDonnees = (dossier_ / "data/Verrelune/").string();
    etat.FichierWallpaper = etat.DossierDonnees + "Verrelune.bmp";
    etat.RepertoireRacine = (dossier_ / "pics").string() + kSeparateur;
    etat.Aleatoire.seed(7);
    ecran.ecran = {0, 0, 1024, 768};
  }
  // Windows keeps a file that a thumbnail worker still reads: what cannot go yet stays.
  ~Installation() override {
    std::error_code ignore;
    fs::remove_all(dossier_, ignore);
  }

  std::string image(const std::string& nom, int w, int h, Color couleur = {200, 100, 50}) {
    const fs::path chemin = dossier_ / "pics" / nom;
    EcrireBmp(chemin, w, h, couleur);
    etat.Catalogue.push_back(chemin.string());
    return chemin.string();
  }

  fs::path dossier_;
  MoteurWallpaper moteur{services()};
};

TEST_F(Installation, InstallingWritesTheBitmapTheSettingsAndTheDesktopValues) {
  const std::string petite = image("small.bmp", 100, 300);
  bureau.fond = Color{58, 110, 165};
  moteur.InstallerWallpaper(0, true);
  ASSERT_TRUE(fs::exists(etat.FichierWallpaper));
  TPicture relue(formats);
  relue.LoadPicture(etat.FichierWallpaper);
  EXPECT_EQ(relue.Width(), 100);
  EXPECT_EQ(relue.Height(), 300);
  EXPECT_EQ(valeur("WallPaperActuel"), RegistryValue::ofText(petite));
  EXPECT_TRUE(valeur("DateTimeDernierChgt").has_value());
  EXPECT_EQ(registre.value(platform::kCleBureau, "Wallpaper"), RegistryValue::ofText(etat.FichierWallpaper));
  EXPECT_EQ(registre.value(platform::kCleBureau, "TileWallpaper"), RegistryValue::ofText("0"));
  EXPECT_EQ(registre.value(platform::kCleBureau, "WallpaperStyle"), RegistryValue::ofText("0"));
  EXPECT_EQ(bureau.appels, std::vector<std::string>{etat.FichierWallpaper + "|centre"});
  EXPECT_EQ(etat.Historique, std::vector<std::string>{"0"});
  EXPECT_EQ(vue.indices[Controle::ImgMonitor1], "small");
  EXPECT_EQ(vue.textes[Controle::LabelCheminCompletDuFichier], petite);
  EXPECT_EQ(vue.textes[Controle::MenuMonitorChemin], petite);
  // The preview: 30 pixels wide at left 60, on the desktop colour.
  ASSERT_EQ(vue.apercus, 1);
  EXPECT_EQ(vue.apercu.Pixel(60, 46), (Color{200, 100, 50}));
  EXPECT_EQ(vue.apercu.Pixel(89, 0), (Color{200, 100, 50}));
  EXPECT_EQ(vue.apercu.Pixel(59, 46), (Color{58, 110, 165}));
  EXPECT_EQ(vue.apercu.Pixel(90, 46), (Color{58, 110, 165}));
}

TEST_F(Installation, AStretchedPictureIsWrittenAtItsSizeWithStyleTwo) {
  image("wide.bmp", 1000, 760);
  moteur.InstallerWallpaper(0, false);
  EXPECT_EQ(registre.value(platform::kCleBureau, "WallpaperStyle"), RegistryValue::ofText("2"));
  EXPECT_EQ(bureau.appels.back(), etat.FichierWallpaper + "|stretch");
  EXPECT_TRUE(etat.Historique.empty());
}

TEST_F(Installation, AReducedPictureIsWrittenAt24BitsAtTheScreenSize) {
  image("panorama.bmp", 3000, 1000);
  moteur.InstallerWallpaper(0, true);
  std::ifstream bmp(etat.FichierWallpaper, std::ios::binary);
  std::uint8_t entete[30] = {};
  bmp.read(reinterpret_cast<char*>(entete), sizeof entete);
  EXPECT_EQ(entete[18] | entete[19] << 8, 1024);  // width
  EXPECT_EQ(entete[22] | entete[23] << 8, 341);   // 1024 x 1000 / 3000
  EXPECT_EQ(entete[28], 24);
}

// A data folder named with letters beyond ASCII, as a user's folder often is.
TEST_F(Installation, TheWallpaperFileGoesIntoAFolderWithAnAccentedName) {
  etat.DossierDonnees = dossier_.string() + kSeparateur + "Fr\xc3\xa9" "d\xc3\xa9ric" + kSeparateur;
  etat.FichierWallpaper = etat.DossierDonnees + "Verrelune.bmp";
  image("a.bmp", 50, 40);
  image("b.bmp", 60, 40);
  moteur.InstallerWallpaper(1, true);
  char signature[2] = {};
  std::ifstream(etat.FichierWallpaper, std::ios::binary).read(signature, 2);
  EXPECT_EQ(std::string(signature, 2), "BM");
  EXPECT_EQ(valeur("WallPaperActuel"), platform::RegistryValue::ofText(etat.Catalogue[1]));
}

TEST_F(Installation, ASubFolderPictureHasItsFolderOnASecondLineOfTheHint) {
  image(testsupport::Natif("Holidays/2019/sea.bmp"), 50, 40);
  moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(vue.indices[Controle::ImgMonitor2], testsupport::Natif("sea\r[Holidays/2019]"));
}

TEST_F(Installation, ACorruptPictureChangesNothingButGetsTheErrorCellAndAHistoryEntry) {
  image("good.bmp", 50, 40);
  moteur.InstallerWallpaper(0, true);
  const auto avant = fs::last_write_time(etat.FichierWallpaper);
  const auto date = valeur("DateTimeDernierChgt");
  timer->setInterval(4242);
  const fs::path mauvais = dossier_ / "pics/bad.jpg";
  std::ofstream(mauvais) << "not a picture";
  etat.Catalogue.push_back(mauvais.string());

  moteur.InstallerWallpaper(1, true);
  EXPECT_EQ(fs::last_write_time(etat.FichierWallpaper), avant);
  EXPECT_EQ(valeur("WallPaperActuel"), RegistryValue::ofText(etat.Catalogue[0]));
  EXPECT_EQ(valeur("DateTimeDernierChgt"), date);
  EXPECT_EQ(timer->interval(), 4242u);
  EXPECT_EQ(bureau.appels.size(), 1u);
  EXPECT_EQ(etat.Historique, (std::vector<std::string>{"0", "1"}));
  EXPECT_EQ(texte.textes, std::vector<std::string>{"Error"});
  // The preview still describes the previous picture.
  EXPECT_EQ(vue.textes[Controle::LabelCheminCompletDuFichier], etat.Catalogue[0]);
}

// Settings that cannot be written, or a disk that refuses the bitmap, are no fault of the
// picture: the failure reaches the caller with its reason, the picture keeps its thumbnail, and
// the wallpaper file and the desktop stay as they were.
TEST_F(Installation, AChangeTheSystemRefusesIsThrownWithItsReasonAndMarksNoPictureBroken) {
  image("one.bmp", 50, 40, {1, 2, 3});
  image("two.bmp", 60, 40, {4, 5, 6});
  moteur.InstallerWallpaper(0, true);
  const auto avant = fs::last_write_time(etat.FichierWallpaper);
  struct Cas {
    std::function<void(bool)> echouer;
    std::string raison;
  };
  std::vector<Cas> cas = {{[this](bool oui) { registre.setWritesFail(oui); },
                           "Echec à la définition des données pour 'Wallpaper'"}};
#if !defined(_WIN32)
  // A limit on the size of files fails the write the way a full disk does.
  rlimit limiteDeDepart{};
  ::getrlimit(RLIMIT_FSIZE, &limiteDeDepart);
  cas.push_back({[limiteDeDepart](bool oui) {
                   std::signal(SIGXFSZ, oui ? SIG_IGN : SIG_DFL);
                   rlimit limite = limiteDeDepart;
                   if (oui) limite.rlim_cur = 1000;
                   ::setrlimit(RLIMIT_FSIZE, &limite);
                 },
                 "Verrelune.bmp: " + std::string(std::strerror(EFBIG))});
#endif
  for (const Cas& c : cas) {
    c.echouer(true);
    std::string message;
    try {
      moteur.InstallerWallpaper(1, true);
    } catch (const std::exception& e) {
      message = e.what();
    }
    c.echouer(false);
    EXPECT_NE(message.find(c.raison), std::string::npos) << message;
    EXPECT_EQ(fs::last_write_time(etat.FichierWallpaper), avant);
    // No temporary file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(etat.DossierDonnees), fs::directory_iterator()), 1);
    EXPECT_EQ(bureau.appels.size(), 1u);
    EXPECT_EQ(valeur("WallPaperActuel"), RegistryValue::ofText(etat.Catalogue[0]));
    EXPECT_TRUE(texte.textes.empty()) << "the picture got the error cell";
    EXPECT_EQ(etat.Historique.back(), "1");
  }
}

#if !defined(_WIN32)
// In a data folder others can write to, a link planted at a predictable temporary name must
// not make the program overwrite the file it points to.
TEST_F(Installation, ALinkAtTheOldTemporaryNameIsNeverWrittenThrough) {
  image("one.bmp", 50, 40);
  fs::create_directories(etat.DossierDonnees);
  const fs::path victime = dossier_ / "victime";
  std::ofstream(victime) << "intact";
  fs::create_symlink(victime, etat.FichierWallpaper + ".tmp");
  moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(valeur("WallPaperActuel"), RegistryValue::ofText(etat.Catalogue[0]));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(etat.FichierWallpaper)));
  std::ifstream relu(victime);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(relu), {}), "intact");
}
#endif

TEST_F(Installation, APictureOfZeroWidthIsAFailedLoad) {
  // A header that claims a width of 0.
  const fs::path vide = dossier_ / "pics/empty.bmp";
  std::ofstream f(vide, std::ios::binary);
  const std::uint8_t entete[54] = {'B', 'M', 54, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                   0,   0,   0,  0, 10, 0, 0, 0, 1, 0, 24, 0};
  f.write(reinterpret_cast<const char*>(entete), sizeof entete);
  f.close();
  etat.Catalogue.push_back(vide.string());
  moteur.InstallerWallpaper(0, true);
  EXPECT_FALSE(fs::exists(etat.FichierWallpaper));
  moteur.CreerVignette(0);
  EXPECT_EQ(etat.VignettesFaites.find("~0~"), std::string::npos);
}

TEST_F(Installation, ARandomPickNeverRepeatsTheCurrentWallpaper) {
  image("a.bmp", 20, 20);
  image("b.bmp", 20, 20);
  moteur.InstallerWallpaper(0, true);
  for (int i = 0; i < 20; ++i) {
    const auto actuel = valeur("WallPaperActuel");
    moteur.InstallerWallpaper(OperationsWallpaper::kHasard, true);
    EXPECT_NE(valeur("WallPaperActuel"), actuel);
  }
}

TEST_F(Installation, ARandomRequestWithOnePictureDoesNothing) {
  image("only.bmp", 20, 20);
  moteur.InstallerWallpaper(OperationsWallpaper::kHasard, true);
  EXPECT_TRUE(etat.Historique.empty());
  EXPECT_FALSE(fs::exists(etat.FichierWallpaper));
  etat.Catalogue.clear();
  moteur.InstallerWallpaper(0, true);
  EXPECT_TRUE(etat.Historique.empty());
}

TEST_F(Installation, TheHistoryKeepsTheLast101Entries) {
  image("a.bmp", 20, 20);
  for (int i = 0; i < 102; ++i) moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(etat.Historique.size(), 101u);
}

TEST_F(Installation, ShowingTheCurrentSystemWallpaperWritesNothingAndLeavesMinusNine) {
  registre.put(platform::kCleBureau, "Wallpaper", RegistryValue::ofText(image("shown.bmp", 40, 30)));
  etat.Catalogue.clear();
  const int ecritures = registre.writeCount();
  moteur.InstallerWallpaper(OperationsWallpaper::kFondActuelSysteme, true);
  EXPECT_EQ(registre.writeCount(), ecritures);
  EXPECT_EQ(etat.Historique, std::vector<std::string>{"-9"});
  EXPECT_EQ(vue.apercus, 1);
  EXPECT_EQ(vue.indices[Controle::ImgMonitor1], "");
  EXPECT_EQ(vue.textes[Controle::LabelCheminCompletDuFichier], "");
  EXPECT_TRUE(bureau.appels.empty());
}

// A desktop value that is not text cannot be shown: the call becomes a random change.
TEST_F(Installation, AMistypedDesktopWallpaperValueMakesARandomChange) {
  registre.put(platform::kCleBureau, "Wallpaper", RegistryValue::ofDword(5));
  image("a.bmp", 40, 30);
  image("b.bmp", 40, 30);
  moteur.InstallerWallpaper(OperationsWallpaper::kFondActuelSysteme, true);
  ASSERT_EQ(etat.Historique.size(), 1u);
  EXPECT_NE(etat.Historique.front(), "-9");
  EXPECT_EQ(registre.value(platform::kCleBureau, "Wallpaper"), RegistryValue::ofText(etat.FichierWallpaper));
  EXPECT_EQ(bureau.appels.size(), 1u);
}

struct CasFleches {
  int entrees;
  int position;
  bool precedent;
  bool suivant;
};

class RegleFleches : public Installation, public ::testing::WithParamInterface<CasFleches> {};

TEST_P(RegleFleches, ArrowsShowExactlyTheStepsThatArePossible) {
  image("a.bmp", 20, 20);
  etat.Historique.assign(static_cast<std::size_t>(GetParam().entrees - 1), "0");
  etat.PositionHistorique = GetParam().position;
  moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(vue.visibles[Controle::ImgPrecedent1], GetParam().precedent);
  EXPECT_EQ(vue.visibles[Controle::ImgPrecedent2], GetParam().precedent);
  EXPECT_EQ(vue.visibles[Controle::ImgSuivant1], GetParam().suivant);
  EXPECT_EQ(vue.visibles[Controle::ImgSuivant2], GetParam().suivant);
}

INSTANTIATE_TEST_SUITE_P(Table, RegleFleches,
                         ::testing::Values(CasFleches{2, 0, false, false}, CasFleches{3, 0, true, false},
                                           CasFleches{5, 1, true, true}, CasFleches{5, 2, true, true},
                                           CasFleches{5, 3, false, true}));

TEST_F(Installation, ThumbnailsAreBuiltOnceWithTheMaskAroundAndAnErrorCellForBadFiles) {
  image("panorama.bmp", 3000, 1000, {10, 200, 30});
  const fs::path mauvais = dossier_ / "pics/bad.png";
  std::ofstream(mauvais) << "?";
  etat.Catalogue.push_back(mauvais.string());
  fichiers.ajouter(etat.RepertoireRacine, "panorama.bmp");
  fichiers.ajouter(etat.RepertoireRacine, "bad.png");
  moteur.ScannerArborescence(false);
  ASSERT_EQ(etat.Catalogue.size(), 2u);
  vue.visible = true;
  moteur.CreerVignettes();
  EXPECT_EQ(etat.VignettesFaites, "~0~");
  EXPECT_EQ(vue.progression.front(), "0/2");
  EXPECT_EQ(vue.progression.back(), "2/2");
  EXPECT_FALSE(vue.visibles[Controle::ProgressBar1]);
  Canvas toile(60, 45);
  toile.FillRect({0, 0, 60, 45}, {1, 1, 1});
  moteur.DessinerVignette(0, toile, 0, 0);
  EXPECT_EQ(toile.Pixel(30, 5), (Color{1, 1, 1}));     // the transparent band above
  EXPECT_EQ(toile.Pixel(30, 22), (Color{10, 200, 30}));  // the picture, rows 12 to 32
  EXPECT_EQ(toile.Pixel(30, 40), (Color{1, 1, 1}));
  EXPECT_EQ(texte.textes, std::vector<std::string>{"Error"});
  moteur.CreerVignette(0);
  moteur.CreerVignette(2);
  EXPECT_EQ(etat.VignettesFaites, "~0~");
}

// A picture kind that never reads, and counts how often it was asked to.
class TLectureRatee : public TGraphic {
 public:
  static const TGraphicClass& Class() {
    static const TGraphicClass classe = TGraphicClass::Of<TLectureRatee>("TLectureRatee", TGraphic::Class());
    return classe;
  }
  VERRELUNE_GRAPHIC_CLASS_TYPE
  int Width() const override { return 0; }
  int Height() const override { return 0; }
  void DrawStretched(Canvas&, const Rect&) override {}
  void ReadPictureStream(TPictureStream&) override {
    ++lectures;
    throw EInvalidGraphic("unreadable");
  }
  void AssignTo(TBitmap&) override {}
  static inline int lectures = 0;
};

// The list paints its items at every repaint: a broken picture is read once, and again only
// once its file changes (size or time), after a new scan, or when it is chosen. Painting its
// item asks for no repaint, which would paint it again.
TEST_F(Installation, ABrokenPictureIsReadOnceUntilItsFileChangesOrANewScan) {
  formats.Add("jpg", "unreadable", TLectureRatee::Class());
  TLectureRatee::lectures = 0;
  const fs::path mauvais = dossier_ / "pics/bad.jpg";
  std::ofstream(mauvais) << "?";
  fichiers.ajouter(etat.RepertoireRacine, "bad.jpg");
  moteur.ScannerArborescence(false);
  vue.visible = true;
  Canvas toile(60, 45);
  auto peindre = [&] {
    for (int k = 0; k < 50; ++k) moteur.DessinerVignette(0, toile, 0, 0);
  };
  peindre();
  EXPECT_EQ(vue.redessins, 0);
  moteur.CreerVignettes();
  EXPECT_EQ(TLectureRatee::lectures, 1);
  EXPECT_EQ(texte.textes, std::vector<std::string>{"Error"});
  EXPECT_EQ(etat.VignettesFaites, "~");

  std::ofstream(mauvais, std::ios::app) << "?";
  peindre();
  EXPECT_EQ(TLectureRatee::lectures, 2) << "new size";
  const auto heure = fs::last_write_time(mauvais);
  std::ofstream(mauvais) << "!!";
  fs::last_write_time(mauvais, heure + std::chrono::seconds(1));
  peindre();
  EXPECT_EQ(TLectureRatee::lectures, 3) << "new time";
  moteur.ScannerArborescence(false);
  peindre();
  EXPECT_EQ(TLectureRatee::lectures, 4) << "new scan";
  moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(vue.redessins, 1) << "the list shows the error cell of a chosen picture";
  peindre();
  EXPECT_EQ(TLectureRatee::lectures, 5);
}

// A screen of 1920 x 1080 pixels scaled to 200 %, whose geometry is 960 x 540: pictures are
// fitted to its pixels, the wallpaper as the thumbnails, built on demand or in bulk.
TEST_F(Installation, OnAScaledScreenPicturesAreFittedToItsPixels) {
  ecran.ecran = {0, 0, 960, 540};
  ecran.pixels = platform::Size{1920, 1080};
  image("large.bmp", 2560, 1600);
  moteur.InstallerWallpaper(0, true);
  TPicture reduite(formats);
  reduite.LoadPicture(etat.FichierWallpaper);
  EXPECT_EQ(reduite.Width(), 1728);
  EXPECT_EQ(reduite.Height(), 1080);

  // Centred on the pixels, stretched on the geometry. Its left edge is red: a stretched
  // thumbnail shows it, a centred one crops it.
  TBitmap bord(PixelLayout::Bgr24, 1600, 900);
  for (int y = 0; y < 900; ++y)
    for (int x = 0; x < 1600; ++x) bord.ScanLine(y)[3 * x + (x < 100 ? 2 : 1)] = 200;
  for (const char* nom : {"edge.bmp", "edge-copy.bmp"}) {
    EnregistrerBmp(bord, (dossier_ / "pics" / nom).string());
    fichiers.ajouter(etat.RepertoireRacine, nom);
  }
  moteur.ScannerArborescence(false);
  ASSERT_EQ(etat.Catalogue.size(), 2u);
  moteur.InstallerWallpaper(0, true);
  TPicture centree(formats);
  centree.LoadPicture(etat.FichierWallpaper);
  EXPECT_EQ(centree.Width(), 1600);
  EXPECT_EQ(bureau.appels.back(), etat.FichierWallpaper + "|centre");
  moteur.CreerVignette(0);
  vue.visible = true;
  moteur.CreerVignettes();
  for (int k : {0, 1}) {
    Canvas toile(60, 45);
    moteur.DessinerVignette(k, toile, 0, 0);
    EXPECT_EQ(toile.Pixel(0, 22), (Color{0, 200, 0})) << k;
  }
}

TEST_F(Installation, NoBulkThumbnailsWhileTheWindowIsHidden) {
  image("a.bmp", 20, 20);
  vue.visible = false;
  moteur.CreerVignettes();
  EXPECT_TRUE(vue.progression.empty());
  EXPECT_EQ(etat.VignettesFaites, "");
}

}  // namespace

namespace {

TEST_F(Installation, PngGifAndTargaPicturesInstallAndGetTheirThumbnails) {
  struct Cas {
    const char* fichier;
    int largeur;
  };
  etat.VignettesFaites = "~";
  int indice = 0;
  for (const Cas& cas : {Cas{"pngsuite/basn2c08.png", 32}, Cas{"gif/interlaced.gif", 23},
                         Cas{"targa/type10-24-bottom-up.tga", 23}}) {
    SCOPED_TRACE(cas.fichier);
    const fs::path image = dossier_ / "pics" / fs::path(cas.fichier).filename();
    fs::copy_file(testsupport::corpusDir() + "/" + cas.fichier, image);
    etat.Catalogue.push_back(image.string());
    moteur.InstallerWallpaper(indice, true);
    EXPECT_EQ(valeur("WallPaperActuel"), RegistryValue::ofText(image.string()));
    TPicture relue(formats);
    relue.LoadPicture(etat.FichierWallpaper);
    EXPECT_EQ(relue.Width(), cas.largeur);
    moteur.CreerVignette(indice);
    EXPECT_NE(etat.VignettesFaites.find("~" + std::to_string(indice) + "~"), std::string::npos);
    ++indice;
  }
  EXPECT_TRUE(texte.textes.empty());
}

}  // namespace

namespace {

// A picture that cannot be decoded must not switch the schedule off, and a duration that is not
// a number must not turn a change that happened into a failure.
TEST_F(Installation, AFailedOverdueChangeStillArmsTheSchedule) {
  for (const char* nom : {"bad1.png", "bad2.png"}) {
    std::ofstream(dossier_ / "pics" / nom) << "?";
    etat.Catalogue.push_back((dossier_ / "pics" / nom).string());
  }
  etat.CheckChgtTousLes = true;
  etat.EditFreqDuree = "30";
  etat.ComboFreqTemps = 1;
  reglages.EcrireDateHeure("DateTimeDernierChgt", horloge.now() - std::chrono::hours(2));
  timer->setEnabled(true);
  moteur.CalculerTimerChangerWallpaperInterval();
  EXPECT_FALSE(fs::exists(etat.FichierWallpaper));
  EXPECT_EQ(timer->interval(), 30u * 60'000);
}

TEST_F(Installation, AChangeSucceedsWhateverTheDurationFieldHolds) {
  image("a.bmp", 20, 20);
  etat.CheckChgtTousLes = true;
  etat.EditFreqDuree = "12x";
  etat.ComboFreqTemps = 1;
  timer->setInterval(4321);
  moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(valeur("WallPaperActuel"), RegistryValue::ofText(etat.Catalogue[0]));
  EXPECT_EQ(vue.apercus, 1);
  EXPECT_EQ(vue.textes[Controle::LabelCheminCompletDuFichier], etat.Catalogue[0]);
  EXPECT_TRUE(texte.textes.empty()) << "no error cell";
  EXPECT_EQ(timer->interval(), 4321u);
}

// Events run while the thumbnails are built; what they do must not be undone or outrun by the
// build.
TEST_F(Installation, QuitOrANewScanDuringTheThumbnailBuildStopsIt) {
  // Enough work that the build is far from done when the first event comes.
  image("p0.bmp", 1600, 1200);
  fichiers.ajouter(etat.RepertoireRacine, "p0.bmp");
  for (int i = 1; i < 400; ++i) {
    const std::string nom = "p" + std::to_string(i) + ".bmp";
    fs::create_hard_link(dossier_ / "pics/p0.bmp", dossier_ / "pics" / nom);
    fichiers.ajouter(etat.RepertoireRacine, nom);
  }
  moteur.ScannerArborescence(false);
  vue.visible = true;
  pompe.evenement = [this] { etat.QuitterDemande = true; };
  moteur.CreerVignettes();
  EXPECT_LT(std::count(etat.VignettesFaites.begin(), etat.VignettesFaites.end(), '~'), 400);
  EXPECT_FALSE(vue.visibles[Controle::ProgressBar1]);

  // A second scan from inside the build builds its own catalogue's thumbnails; the first build
  // stops there.
  etat.QuitterDemande = false;
  fichiers = testsupport::FakeFileSystem();
  for (const char* nom : {"a.bmp", "b.bmp"}) {
    image(nom, 20, 20);
    fichiers.ajouter(etat.RepertoireRacine, nom);
  }
  pompe.evenement = [this] {
    moteur.ScannerArborescence(false);
    moteur.CreerVignettes();
  };
  moteur.CreerVignettes();
  EXPECT_EQ(etat.Catalogue.size(), 2u);
  EXPECT_EQ(etat.VignettesFaites.size(), 5u) << etat.VignettesFaites;  // ~0~1~ or ~1~0~
  EXPECT_EQ(vue.progression.back(), "2/2");
  EXPECT_FALSE(vue.visibles[Controle::ProgressBar1]);
}

TEST_F(Installation, QuitDuringTheScanStopsItAndWritesNothingMore) {
  fichiers.ajouter(etat.RepertoireRacine, "Sub/");
  fichiers.ajouter(etat.RepertoireRacine + "Sub/", "a.bmp");
  fichiers.ajouter(etat.RepertoireRacine, "b.bmp");
  pompe.evenement = [this] { etat.QuitterDemande = true; };
  const int ecritures = registre.writeCount();
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue.size(), 1u);
  EXPECT_EQ(registre.writeCount(), ecritures);
  EXPECT_FALSE(etat.ScanEnCours);
  moteur.InstallerWallpaper(0, true);
  EXPECT_EQ(registre.writeCount(), ecritures);
}

}  // namespace
