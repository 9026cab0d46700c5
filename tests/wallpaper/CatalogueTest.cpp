#include "wallpaper/Catalogue.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/posix/PosixFileSystem.h"
#include "support/Entourage.h"
#include "wallpaper/MoteurWallpaper.h"

namespace fs = std::filesystem;
using platform::RegistryValue;

namespace {

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
  const std::string chemin = "/home/me/Pictures/";  // 18 characters, 108 pixels
  EXPECT_EQ(CompacterChemin(chemin, 108, SixPixels), "/home/me/Pictures/");
  EXPECT_EQ(CompacterChemin(chemin, 107, SixPixels), "/.../me/Pictures/");
  EXPECT_EQ(CompacterChemin(chemin, 90, SixPixels), "/.../Pictures/");
  EXPECT_EQ(CompacterChemin(chemin, 40, SixPixels), "/.../");
  EXPECT_EQ(CompacterChemin(chemin, 25, SixPixels), ".../");
  EXPECT_EQ(CompacterChemin(chemin, 1, SixPixels), "");
  // The last part is never shortened.
  EXPECT_EQ(CompacterChemin("/a/b/averyveryverylongname.jpg", 60, SixPixels),
            "averyveryverylongname.jpg");
}

TEST(TexteBoutonDossier, FitsTheButtonLessFivePixelsWithoutTrailingSeparator) {
  EXPECT_EQ(TexteBoutonDossier("/home/me/Pictures/", 113, SixPixels), "/home/me/Pictures");
  EXPECT_EQ(TexteBoutonDossier("/home/me/Pictures/", 112, SixPixels), "/.../me/Pictures");
}

class Scan : public ::testing::Test, public testsupport::Entourage {
 public:
  Scan() { moteur.attacher(etat, *timer, reglages); }

  std::optional<RegistryValue> racineStockee() const { return valeur("RepertoireRacineDuScan"); }

  MoteurWallpaper moteur{services()};
};

TEST_F(Scan, CatalogueFollowsTheListingOrderDepthFirst) {
  fichiers.ajouter("/r/", "a.jpg");
  fichiers.ajouter("/r/", "Sub/");
  fichiers.ajouter("/r/", "z.jpg");
  fichiers.ajouter("/r/Sub/", "b.jpg");
  fichiers.ajouter("/r/Sub/", "notes.txt");
  etat.RepertoireRacine = "/r";
  moteur.ScannerArborescence(false);
  const std::vector<std::string> attendu{"/r/a.jpg", "/r/Sub/b.jpg", "/r/z.jpg"};
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
  EXPECT_EQ(racineStockee(), RegistryValue::ofText("/r"));
  EXPECT_EQ(vue.textes[Controle::BtnParcourir], "/r");
}

TEST_F(Scan, RootWithOrWithoutSeparatorGivesTheSamePaths) {
  fichiers.ajouter("/r/", "a.jpg");
  fichiers.ajouter("/", "top.png");
  for (const char* racine : {"/r", "/r/"}) {
    etat.RepertoireRacine = racine;
    moteur.ScannerArborescence(false);
    EXPECT_EQ(etat.Catalogue, std::vector<std::string>{"/r/a.jpg"}) << racine;
    EXPECT_EQ(racineStockee(), RegistryValue::ofText(racine));
  }
  etat.RepertoireRacine = "/";
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue.front(), "/top.png");
}

TEST_F(Scan, AnEmptyOrMissingRootShowsTheNoPicturesLabelAndIsStoredAllTheSame) {
  etat.RepertoireRacine = "/gone/";
  moteur.ScannerArborescence(false);
  EXPECT_TRUE(etat.Catalogue.empty());
  EXPECT_EQ(vue.titre, "Verrelune [0 images]");
  EXPECT_FALSE(vue.visibles[Controle::ComboWallpaper]);
  EXPECT_TRUE(vue.visibles[Controle::LabelPasDImages]);
  EXPECT_EQ(racineStockee(), RegistryValue::ofText("/gone/"));

  fichiers.ajouter("/r/", "a.jpg");
  vue.reponseDossier = "/r";
  moteur.ScannerArborescence(true);
  EXPECT_TRUE(vue.visibles[Controle::ComboWallpaper]);
  EXPECT_FALSE(vue.visibles[Controle::LabelPasDImages]);
  EXPECT_EQ(vue.selections[Controle::ComboWallpaper], 0);
}

TEST_F(Scan, AnUnreadableSubFolderContributesNothing) {
  fichiers.ajouter("/r/", "Locked/");
  fichiers.ajouter("/r/", "b.gif");
  fichiers.ajouter("/r/Locked/", "secret.jpg");
  fichiers.rendreIlisible("/r/Locked/");
  etat.RepertoireRacine = "/r/";
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{"/r/b.gif"});
}

TEST_F(Scan, TheChosenFolderBecomesTheRoot) {
  fichiers.ajouter("/old/", "x.jpg");
  fichiers.ajouter("/new/", "y.jpg");
  etat.RepertoireRacine = "/old/";
  vue.reponseDossier = "/new";
  moteur.ScannerArborescence(true);
  EXPECT_EQ(vue.dialogues, std::vector<std::string>{etat.TexteChoixDossier + "|/old/"});
  EXPECT_EQ(etat.RepertoireRacine, "/new");
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{"/new/y.jpg"});
  EXPECT_EQ(racineStockee(), RegistryValue::ofText("/new"));
}

TEST_F(Scan, CancellingTheDialogChangesNothing) {
  fichiers.ajouter("/r/", "a.jpg");
  etat.RepertoireRacine = "/r/";
  moteur.ScannerArborescence(false);
  const int ecritures = registre.writeCount();
  vue.reponseDossier.reset();
  moteur.ScannerArborescence(true);
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{"/r/a.jpg"});
  EXPECT_EQ(etat.RepertoireRacine, "/r/");
  EXPECT_EQ(registre.writeCount(), ecritures);
}

TEST_F(Scan, CancellingWhileTheRootIsGoneLeavesTheRootEmpty) {
  registre.put("SOFTWARE\\Verrelune", "RepertoireRacineDuScan", RegistryValue::ofText("/gone/"));
  etat.RepertoireRacine = "/gone/";
  moteur.ScannerArborescence(true);
  EXPECT_EQ(vue.dialogues.back(), etat.TexteChoixDossier + "|");
  EXPECT_EQ(etat.RepertoireRacine, "");
  EXPECT_EQ(racineStockee(), RegistryValue::ofText("/gone/"));
}

TEST_F(Scan, ASecondScanFromInsideTheFirstWinsAndTheFirstAbandons) {
  fichiers.ajouter("/one/", "A/");
  fichiers.ajouter("/one/", "B/");
  fichiers.ajouter("/one/A/", "a.jpg");
  fichiers.ajouter("/one/B/", "b.jpg");
  fichiers.ajouter("/two/", "c.jpg");
  etat.RepertoireRacine = "/one/";
  pompe.evenement = [this] {
    vue.reponseDossier = "/two/";
    moteur.ScannerArborescence(true);
  };
  moteur.ScannerArborescence(false);
  EXPECT_EQ(etat.Catalogue, std::vector<std::string>{"/two/c.jpg"});
  EXPECT_EQ(racineStockee(), RegistryValue::ofText("/two/"));
  EXPECT_FALSE(etat.ScanEnCours);
  // /one/B/ was never listed: the first scan abandoned it.
  EXPECT_EQ(std::count(fichiers.listes.begin(), fichiers.listes.end(), "/one/B/"), 0);
}

TEST_F(Scan, AHundredThousandFilesKeepTheWindowResponsiveOncePerFolder) {
  fichiers.generateur = [](const std::string& chemin) -> std::optional<platform::FolderListing> {
    platform::FolderListing liste;
    liste.inode = std::hash<std::string>{}(chemin);
    if (chemin == "/big/") {
      for (int d = 0; d < 100; ++d)
        liste.entries.push_back({"d" + std::to_string(d), platform::FolderEntry::Kind::Folder});
    } else {
      for (int f = 0; f < 1000; ++f)
        liste.entries.push_back({"p" + std::to_string(f) + ".jpg", platform::FolderEntry::Kind::File});
    }
    return liste;
  };
  etat.RepertoireRacine = "/big/";
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
  etat.RepertoireRacine = "/";
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
    for (const fs::path& f : {racine_ / "a.jpg", racine_ / "Sub/b.PNG", racine_ / ".hidden/c.gif",
                              racine_ / "caf\xe9.jpg", racine_ / "readme.txt"})
      std::ofstream(f) << "x";
    fs::create_directory_symlink(racine_, racine_ / "Sub/loop");       // a cycle
    fs::create_directory_symlink(racine_ / "Sub", racine_ / "again");  // a second way in
    fs::create_symlink(racine_ / "nowhere", racine_ / "dangling.jpg");
  }
  void TearDown() override { fs::remove_all(racine_); }

  fs::path racine_;
  platform::posix::PosixFileSystem posix;
  MoteurWallpaper reel{services(posix)};
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
  EXPECT_EQ(std::count(noms.begin(), noms.end(), "/caf\xe9.jpg"), 1);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), "/a.jpg"), 1);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), "/.hidden/c.gif"), 1);
  EXPECT_EQ(std::count(noms.begin(), noms.end(), "/Sub/b.PNG") +
                std::count(noms.begin(), noms.end(), "/again/b.PNG"),
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
  etat.RepertoireRacine = "/";
  pompe.evenement = [this] { etat.QuitterDemande = true; };
  moteur.ScannerArborescence(false);
  EXPECT_EQ(pompe.tours, 1);
  EXPECT_EQ(fichiers.listes.size(), 5u) << "the first turn comes after 50 ms of scanning";
  EXPECT_FALSE(valeur("RepertoireRacineDuScan"));
}

TEST(TexteBoutonDossier, MeasuresLittleMoreThanThePathHoweverDeep) {
  std::string chemin = "/";
  for (int i = 0; i < 3000; ++i) chemin += "dossier/";
  std::size_t mesures = 0;
  const auto largeur = [&mesures](const std::string& texte) {
    mesures += texte.size();
    return 6 * static_cast<int>(texte.size());
  };
  EXPECT_EQ(TexteBoutonDossier(chemin, 185, largeur), "/.../dossier/dossier/dossier");
  EXPECT_LT(mesures, 2 * chemin.size());
}

}  // namespace
