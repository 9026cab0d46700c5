#include "wallpaper/Catalogue.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/Entourage.h"
#include "support/Paths.h"
#include "wallpaper/MoteurWallpaper.h"
#if defined(_WIN32)
#include "platform/win32/Win32FileSystem.h"
using SystemeFichiersReel = platform::win32::Win32FileSystem;
#else
#include "platform/posix/PosixFileSystem.h"
using SystemeFichiersReel = platform::posix::PosixFileSystem;
#endif

namespace fs = std::filesystem;
using platform::RegistryValue;

namespace {

using testsupport::Natif;

TEST(EstNomImage, AcceptsEveryLeadingPartOfTheListedExtensionsWhateverTheCase) {
  for (const char* nom : {"PHOTO.JPG", "photo.Jpeg", "a.bmp", "a.gif", "a.png", "a.tiff", "a.tif",
                          "a.tga", "a.rle", "a.b", "a.bm", "a.j", "a.jp", "a.jpe", "a.g", "a.gi",
                          "a.p", "a.pn", "a.t", "a.ti", "a.tg", "a.r", "a.rl", "name.", ".png"})
    EXPECT_TRUE(EstNomImage(nom)) << nom;
}

TEST(EstNomImage, JudgesOnlyTheLastExtension) {
  for (const char* nom : {"README", "a.jfif", "a.mp", "a.ico", "a.webp", "archive.tar.gz",
                          "holiday.png.bak", "a.jpgx", "a.pngg", "a.JPÉG"})
    EXPECT_FALSE(EstNomImage(nom)) << nom;
}

int SixPixels(const std::string& texte) { return 6 * static_cast<int>(texte.size()); }

TEST(CompacterChemin, ReplacesLeadingFoldersOneByOne) {
  const std::string chemin = Natif("/home/me/Pictures/");  // 18 characters, 108 pixels
  EXPECT_EQ(CompacterChemin(chemin, 108, SixPixels), Natif("/home/me/Pictures/"));
  EXPECT_EQ(CompacterChemin(chemin, 107, SixPixels), Natif("/.../me/Pictures/"));
  EXPECT_EQ(CompacterChemin(chemin, 90, SixPixels), Natif("/.../Pictures/"));
  EXPECT_EQ(CompacterChemin(chemin, 40, SixPixels), Natif("/.../"));
  EXPECT_EQ(CompacterChemin(chemin, 25, SixPixels), Natif(".../"));
  EXPECT_EQ(CompacterChemin(chemin, 1, SixPixels), "");
  // The last part is never shortened.
  EXPECT_EQ(CompacterChemin(Natif("/a/b/averyveryverylongname.jpg"), 60, SixPixels),
            "averyveryverylongname.jpg");
}

// Windows paths begin with a drive: it stays in front of the folders until they have all
// given way, then goes with the root.
TEST(CompacterChemin, KeepsTheDriveUntilEveryFolderHasGone) {
  if (!kLecteurs) GTEST_SKIP() << "paths have no drive here";
  const std::string chemin = "C:\\Users\\me\\Pictures\\";  // 21 characters, 126 pixels
  EXPECT_EQ(CompacterChemin(chemin, 126, SixPixels), chemin);
  EXPECT_EQ(CompacterChemin(chemin, 125, SixPixels), "C:\\...\\me\\Pictures\\");
  EXPECT_EQ(CompacterChemin(chemin, 100, SixPixels), "C:\\...\\Pictures\\");
  EXPECT_EQ(CompacterChemin(chemin, 50, SixPixels), "C:\\...\\");
  EXPECT_EQ(CompacterChemin(chemin, 30, SixPixels), "...\\");
  EXPECT_EQ(TexteBoutonDossier("D:\\", 185, SixPixels), "D:");
}

TEST(TexteBoutonDossier, FitsTheButtonLessFivePixelsWithoutTrailingSeparator) {
  EXPECT_EQ(TexteBoutonDossier(Natif("/home/me/Pictures/"), 113, SixPixels), Natif("/home/me/Pictures"));
  EXPECT_EQ(TexteBoutonDossier(Natif("/home/me/Pictures/"), 112, SixPixels), Natif("/.../me/Pictures"));
}

class Scan : public ::testing::Test, public testsupport::Entourage {
 public:
  Scan() { moteur.attacher(etat, *timer, reglages); }

  std::optional<RegistryValue> racineStockee() const { return valeur("RepertoireRacineDuScan"); }

  MoteurWallpaper moteur{services()};
};

TEST_F(Scan, CatalogueFollowsTheListingOrderDepthFirst) {
  fichiers.ajouter(Natif("/r/"), "a.jpg");
  fichiers.ajouter(Natif("/r/"), "Sub/");
  fichiers.ajouter(Natif("/r/"), "z.jpg");
  fichiers.ajouter(Natif("/r/Sub/"), "b.jpg");
  fichiers.ajouter(Natif("/r/Sub/"), "notes.txt");
  etat.RepertoireRacine = Natif("/r");
  moteur.ScannerArborescence(false);
  const std::vector<std::string> attendu{Natif("/r/a.jpg"), Natif("/r/Sub/b.jpg"), Natif("/r/z.jpg")};
  EXPECT_EQ(etat.Catalogue, attendu);
  EXPECT_EQ(vue.liste, attendu);
  EXPECT_EQ(vue.titre, "Verrelune [3 images]");
  EXPECT_EQ(pompe.tours, 2);  // once per folder
  EXPECT_EQ(etat.VignettesFaites, "~");
  EXPECT_FALSE(etat.ScanEnCours);
  EXPECT_FALSE(vue.curseurAttente);
  EXPECT_TRUE(vue.visibles[Controle::ComboWallpaper]);
  EXPECT_FALSE(vue.visibles[Controle::LabelPasDImages]);
  EXPECT_EQ(vue.selections[Controle::ComboWallpaper], 0);
  EXPECT_EQ(racineStockee(), RegistryValue::ofText(Natif("/r")));
  EXPECT_EQ(vue.textes[Controle::BtnParcourir], Natif("/r"));
}

TEST_F(Scan, RootWithOrWithoutSeparatorGivesTheSamePaths) {
  fichiers.ajouter(Natif("/r/"), "a.jpg");
  fichiers.ajouter(Natif("/"), "top.png");
  for (const std::string& racine : {Natif("/r"), Natif("/r/")}) {
    etat.RepertoireRacine = racine;
    moteur.ScannerArborescence(false);
    EXPECT_EQ(etat.Catalogue, std::vector<std::string>{Natif("/r/a.jpg")}) << racine;
    EXPECT_EQ(racineStockee(), RegistryValue::ofText(racine));
  }
  etat.RepertoireRacine = Natif("/");
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue.front(), Natif("/top.png"));
}

TEST_F(Scan, ADriveRootGivesNoDoubledSeparator) {
  if (!kLecteurs) GTEST_SKIP() << "paths have no drive here";
  fichiers.ajouter("D:\\", "a.jpg");
  fichiers.ajouter("D:\\", "Sub/");
  fichiers.ajouter("D:\\Sub\\", "b.png");
  etat.RepertoireRacine = "D:\\";
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue, (std::vector<std::string>{"D:\\a.jpg", "D:\\Sub\\b.png"}));
  EXPECT_EQ(vue.textes[Controle::BtnParcourir], "D:");
}

TEST_F(Scan, AnEmptyOrMissingRootShowsTheNoPicturesLabelAndIsStoredAllTheSame) {
  etat.RepertoireRacine = Natif("/gone/");
  moteur.ScannerArborescence(false);
  EXPECT_TRUE(etat.Catalogue.empty());
  EXPECT_EQ(vue.titre, "Verrelune [0 images]");
  EXPECT_FALSE(vue.visibles[Controle::ComboWallpaper]);
  EXPECT_TRUE(vue.visibles[Controle::LabelPasDImages]);
  EXPECT_EQ(racineStockee(), RegistryValue::ofText(Natif("/gone/")));

  fichiers.ajouter(Natif("/r/"), "a.jpg");
  vue.reponseDossier = Natif("/r");
  moteur.ScannerArborescence(true);
  EXPECT_TRUE(vue.visibles[Controle::ComboWallpaper]);
  EXPECT_FALSE(vue.visibles[Controle::LabelPasDImages]);
  EXPECT_EQ(vue.selections[Controle::ComboWallpaper], 0);
}

TEST_F(Scan, AnUnreadableSubFolderContributesNothing) {
  fichiers.ajouter(Natif("/r/"), "Locked/");
  fichiers.ajouter(Natif("/r/"), "b.gif");
  fichiers.ajouter(Natif("/r/Locked/"), "secret.jpg");
  fichiers.rendreIlisible(Natif("/r/Locked/"));
  etat.RepertoireRacine = Natif("/r/");
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{Natif("/r/b.gif")});
}

TEST_F(Scan, TheChosenFolderBecomesTheRoot) {
  fichiers.ajouter(Natif("/old/"), "x.jpg");
  fichiers.ajouter(Natif("/new/"), "y.jpg");
  etat.RepertoireRacine = Natif("/old/");
  vue.reponseDossier = Natif("/new");
  moteur.ScannerArborescence(true);
  EXPECT_EQ(vue.dialogues, std::vector<std::string>{etat.TexteChoixDossier + "|" + Natif("/old/")});
  EXPECT_EQ(etat.RepertoireRacine, Natif("/new"));
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{Natif("/new/y.jpg")});
  EXPECT_EQ(racineStockee(), RegistryValue::ofText(Natif("/new")));
}

TEST_F(Scan, CancellingTheDialogChangesNothing) {
  fichiers.ajouter(Natif("/r/"), "a.jpg");
  etat.RepertoireRacine = Natif("/r/");
  moteur.ScannerArborescence(false);
  const int ecritures = registre.writeCount();
  vue.reponseDossier.reset();
  moteur.ScannerArborescence(true);
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{Natif("/r/a.jpg")});
  EXPECT_EQ(etat.RepertoireRacine, Natif("/r/"));
  EXPECT_EQ(registre.writeCount(), ecritures);
}

TEST_F(Scan, CancellingWhileTheRootIsGoneLeavesTheRootEmpty) {
  registre.put("SOFTWARE\\Verrelune", "RepertoireRacineDuScan", RegistryValue::ofText(Natif("/gone/")));
  etat.RepertoireRacine = Natif("/gone/");
  moteur.ScannerArborescence(true);
  EXPECT_EQ(vue.dialogues.back(), etat.TexteChoixDossier + "|");
  EXPECT_EQ(etat.RepertoireRacine, "");
  EXPECT_EQ(racineStockee(), RegistryValue::ofText(Natif("/gone/")));
}

TEST_F(Scan, ASecondScanFromInsideTheFirstWinsAndTheFirstAbandons) {
  fichiers.ajouter(Natif("/one/"), "A/");
  fichiers.ajouter(Natif("/one/"), "B/");
  fichiers.ajouter(Natif("/one/A/"), "a.jpg");
  fichiers.ajouter(Natif("/one/B/"), "b.jpg");
  fichiers.ajouter(Natif("/two/"), "c.jpg");
  etat.RepertoireRacine = Natif("/one/");
  pompe.evenement = [this] {
    vue.reponseDossier = Natif("/two/");
    moteur.ScannerArborescence(true);
  };
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{Natif("/two/c.jpg")});
  EXPECT_EQ(racineStockee(), RegistryValue::ofText(Natif("/two/")));
  EXPECT_FALSE(etat.ScanEnCours);
  // /one/B/ was never listed: the first scan abandoned it.
  EXPECT_EQ(std::count(fichiers.listes.begin(), fichiers.listes.end(), Natif("/one/B/")), 0);
}

TEST_F(Scan, AHundredThousandFilesKeepTheWindowResponsiveOncePerFolder) {
  fichiers.generateur = [](const std::string& chemin) -> std::optional<platform::FolderListing> {
    platform::FolderListing liste;
    liste.inode = std::hash<std::string>{}(chemin);
    if (chemin == Natif("/big/")) {
      for (int d = 0; d < 100; ++d)
        liste.entries.push_back({"d" + std::to_string(d), platform::FolderEntry::Kind::Folder});
    } else {
      for (int f = 0; f < 1000; ++f)
        liste.entries.push_back({"p" + std::to_string(f) + ".jpg", platform::FolderEntry::Kind::File});
    }
    return liste;
  };
  etat.RepertoireRacine = Natif("/big/");
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue.size(), 100000u);
  EXPECT_EQ(pompe.tours, 101);
  EXPECT_EQ(vue.liste.size(), 100000u);
  EXPECT_EQ(vue.titre, "Verrelune [100000 images]");
}

// A scan of a tree far deeper than a small stack could recurse into, run on such a stack.
TEST_F(Scan, DeepTreesNeedNoRecursion) {
  constexpr int kProfondeur = 3000;
  fichiers.generateur = [](const std::string& chemin) -> std::optional<platform::FolderListing> {
    platform::FolderListing liste;
    liste.inode = chemin.size();
    if (chemin.size() < 2 * kProfondeur) liste.entries.push_back({"d", platform::FolderEntry::Kind::Folder});
    liste.entries.push_back({"p.png", platform::FolderEntry::Kind::File});
    return liste;
  };
  etat.RepertoireRacine = Natif("/");
  pthread_attr_t attributs;
  pthread_attr_init(&attributs);
  pthread_attr_setstacksize(&attributs, 256 * 1024);
  pthread_t fil;
  auto corps = [](void* moi) -> void* {
    static_cast<Scan*>(moi)->moteur.ScannerArborescence(false);
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&fil, &attributs, corps, this), 0);
  pthread_join(fil, nullptr);
  pthread_attr_destroy(&attributs);
  EXPECT_EQ(etat.Catalogue.size(), static_cast<std::size_t>(kProfondeur + 1));
}

// The same rules on a real folder tree: links, hidden files and names that are not UTF-8.
class ScanReel : public Scan {
 protected:
  void SetUp() override {
    racine_ = fs::temp_directory_path() / ("scan-" + std::to_string(::getpid()));
    fs::remove_all(racine_);
    fs::create_directories(racine_ / "Sub");
    fs::create_directories(racine_ / ".hidden");
    // Made with the program's own 8-bit names.
    for (const char* f : {"a.jpg", "Sub/b.PNG", ".hidden/c.gif", kNomAccentue, "readme.txt"})
      std::ofstream(racine_.string() + Natif(std::string("/") + f)) << "x";
#if !defined(_WIN32)
    fs::create_directory_symlink(racine_, racine_ / "Sub/loop");       // a cycle
    fs::create_directory_symlink(racine_ / "Sub", racine_ / "again");  // a second way in
    fs::create_symlink(racine_ / "nowhere", racine_ / "dangling.jpg");
#endif
  }

  // Linux names are any bytes, not only UTF-8; Windows names are UTF-8 in the program's code page.
#if defined(_WIN32)
  static constexpr const char* kNomAccentue = "caf\xc3\xa9.jpg";
#else
  static constexpr const char* kNomAccentue = "caf\xe9.jpg";
#endif
  void TearDown() override { fs::remove_all(racine_); }

  fs::path racine_;
  SystemeFichiersReel systeme;
  MoteurWallpaper reel{services(systeme)};
};

TEST_F(ScanReel, EveryFolderIsListedOnceAndEveryPictureFoundOnce) {
  reel.attacher(etat, *timer, reglages);
  etat.RepertoireRacine = racine_.string();
  reel.ScannerArborescence(false);
  std::vector<std::string> noms;
  for (const auto& chemin : etat.Catalogue) noms.push_back(chemin.substr(racine_.string().size()));
  std::sort(noms.begin(), noms.end());
  // "again" and "Sub" are the same folder: whichever the listing meets first is scanned.
  ASSERT_EQ(noms.size(), 4u) << testing::PrintToString(noms);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), Natif("/") + kNomAccentue), 1);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), Natif("/a.jpg")), 1);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), Natif("/.hidden/c.gif")), 1);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), Natif("/Sub/b.PNG")) +
                std::count(noms.begin(), noms.end(), Natif("/again/b.PNG")),
            1);
}

}  // namespace

namespace {

// Down a chain of folders no folder ends until the bottom: events still get through every
// 50 ms, so Quit is answered at once; and the button's text costs about one measurement of the
// path per folder, not one per leading folder.
TEST_F(Scan, ADeepChainLetsEventsThroughAndQuitStopsIt) {
  constexpr int kProfondeur = 1000;
  fichiers.generateur = [this](const std::string& chemin) -> std::optional<platform::FolderListing> {
    horloge.advance(std::chrono::milliseconds(10));
    platform::FolderListing liste;
    liste.inode = chemin.size();
    if (chemin.size() < 2 * kProfondeur) liste.entries.push_back({"d", platform::FolderEntry::Kind::Folder});
    liste.entries.push_back({"p.png", platform::FolderEntry::Kind::File});
    return liste;
  };
  etat.RepertoireRacine = Natif("/");
  pompe.evenement = [this] { etat.QuitterDemande = true; };
  moteur.ScannerArborescence(false);
  EXPECT_EQ(pompe.tours, 1);
  EXPECT_EQ(fichiers.listes.size(), 5u) << "the first turn comes after 50 ms of scanning";
  EXPECT_FALSE(valeur("RepertoireRacineDuScan"));
}

TEST(TexteBoutonDossier, MeasuresLittleMoreThanThePathHoweverDeep) {
  std::string chemin = Natif("/");
  for (int i = 0; i < 3000; ++i) chemin += Natif("dossier/");
  std::size_t mesures = 0;
  const auto largeur = [&mesures](const std::string& texte) {
    mesures += texte.size();
    return 6 * static_cast<int>(texte.size());
  };
  EXPECT_EQ(TexteBoutonDossier(chemin, 185, largeur), Natif("/.../dossier/dossier/dossier"));
  EXPECT_LT(mesures, 2 * chemin.size());
}

}  // namespace
