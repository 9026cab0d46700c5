#include "wallpaper/CacheVignettes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

#include "support/Entourage.h"
#include "wallpaper/FichierBmp.h"
#include "wallpaper/MoteurWallpaper.h"

namespace fs = std::filesystem;

namespace {

Canvas Cellule(std::uint8_t graine) {
  Canvas cellule(60, 45);
  for (int y = 0; y < 45; ++y)
    for (int x = 0; x < 60; ++x)
      cellule.SetPixel(x, y, Color{static_cast<std::uint8_t>(x * graine), static_cast<std::uint8_t>(y + graine),
                                   static_cast<std::uint8_t>(x ^ y)});
  return cellule;
}

// A cell that hardly compresses: 8 KB in the cache, whatever its form.
Canvas Bruit(std::uint32_t graine) {
  Canvas cellule(60, 45);
  for (int y = 0; y < 45; ++y)
    for (int x = 0; x < 60; ++x) {
      graine = graine * 1664525u + 1013904223u;
      cellule.SetPixel(x, y, Color{static_cast<std::uint8_t>(graine >> 24), static_cast<std::uint8_t>(graine >> 16),
                                   static_cast<std::uint8_t>(graine >> 8)});
    }
  return cellule;
}

bool MemesPixels(const Canvas& a, const Canvas& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  return true;
}

class Cache : public ::testing::Test {
 protected:
  Cache() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string nom = "cache-" + std::to_string(::getpid()) + "-" + test->test_suite_name() + "-" + test->name();
    std::replace(nom.begin(), nom.end(), '/', '-');
    dossier_ = fs::temp_directory_path() / nom;
    fs::remove_all(dossier_);
  }
  ~Cache() override { fs::remove_all(dossier_); }
  static CacheVignettes::Cle Cle(const std::string& chemin, std::uint64_t taille = 100) {
    return {chemin, taille, 1'700'000'000'000'000'000, 1920, 1080};
  }
  fs::path dossier_;
};

TEST_F(Cache, KeepsCellsFromOneRunToTheNextForTheSameFileAndScreen) {
  {
    CacheVignettes cache(dossier_.string());
    ASSERT_TRUE(cache.enEcriture());
    cache.ecrire(Cle("/p/a.jpg"), Cellule(1));
    cache.ecrire(Cle("/p/b.jpg"), Cellule(2));
    cache.ecrire(Cle("/p/a.jpg", 101), Cellule(3));  // the picture changed
  }
  CacheVignettes cache(dossier_.string());
  EXPECT_EQ(cache.nombre(), 2u);
  const auto a = cache.lire(Cle("/p/a.jpg", 101));
  ASSERT_TRUE(a);
  EXPECT_TRUE(MemesPixels(*a, Cellule(3)));
  EXPECT_TRUE(MemesPixels(*cache.lire(Cle("/p/b.jpg")), Cellule(2)));
  // Another size, time or screen, or another path, misses.
  auto autre = Cle("/p/b.jpg");
  for (auto changer : std::vector<std::function<void(CacheVignettes::Cle&)>>{
           [](auto& c) { c.taille = 7; }, [](auto& c) { c.modification += 1; },
           [](auto& c) { c.largeurEcran = 1280; }, [](auto& c) { c.chemin = "/p/c.jpg"; }}) {
    CacheVignettes::Cle cle = Cle("/p/b.jpg");
    changer(cle);
    EXPECT_FALSE(cache.lire(cle));
  }
}

// A crash may cut the last records short; a foreign or damaged file is never trusted.
TEST_F(Cache, DamagedFilesLoseCellsNeverTheCache) {
  {
    CacheVignettes cache(dossier_.string());
    for (int i = 0; i < 10; ++i) cache.ecrire(Cle("/p/" + std::to_string(i)), Cellule(static_cast<std::uint8_t>(i)));
  }
  const fs::path index = dossier_ / "thumbnails.index";
  const fs::path donnees = dossier_ / "thumbnails.data";
  fs::resize_file(index, fs::file_size(index) - 10);  // the last record cut short
  {
    std::fstream f(donnees, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(fs::file_size(donnees) / 2));
    f.put('\x5a').put('\xa5');  // one cell in the middle damaged
  }
  {
    CacheVignettes cache(dossier_.string());
    EXPECT_EQ(cache.nombre(), 9u);
    int lues = 0;
    for (int i = 0; i < 10; ++i)
      if (const auto c = cache.lire(Cle("/p/" + std::to_string(i)))) {
        ++lues;
        EXPECT_TRUE(MemesPixels(*c, Cellule(static_cast<std::uint8_t>(i))));
      }
    EXPECT_EQ(lues, 8);
    cache.ecrire(Cle("/p/9"), Cellule(9));  // appended after the last good record
  }
  EXPECT_TRUE(CacheVignettes(dossier_.string()).lire(Cle("/p/9")));

  // Foreign files: started afresh, and usable.
  std::ofstream(index, std::ios::binary | std::ios::trunc) << "not a cache at all";
  CacheVignettes cache(dossier_.string());
  EXPECT_EQ(cache.nombre(), 0u);
  cache.ecrire(Cle("/p/x"), Cellule(5));
  EXPECT_TRUE(cache.lire(Cle("/p/x")));
}

TEST_F(Cache, StaysWithinItsBoundAndKeepsTheNewestCells) {
  constexpr std::uint64_t kBorne = 64 * 1024;
  {
    CacheVignettes cache(dossier_.string(), kBorne);
    for (int i = 0; i < 200; ++i) cache.ecrire(Cle("/p/" + std::to_string(i)), Bruit(static_cast<std::uint32_t>(i)));
  }
  EXPECT_LE(fs::file_size(dossier_ / "thumbnails.data"), kBorne);
  CacheVignettes cache(dossier_.string(), kBorne);
  // Full, and none of its cells in use: the cache makes room on its own thread.
  cache.ecrire(Cle("/p/nouvelle"), Bruit(1000));
  cache.attendreCompactage();
  EXPECT_LE(fs::file_size(dossier_ / "thumbnails.data"), kBorne / 4 * 3);
  EXPECT_GT(cache.nombre(), 0u);
  // The newest cells kept are the last ones written before the cache filled.
  int premiere = -1;
  for (int i = 0; i < 200 && premiere < 0; ++i)
    if (cache.lire(Cle("/p/" + std::to_string(i)))) premiere = i;
  ASSERT_GE(premiere, 0);
  EXPECT_GT(premiere, 0);
}

// A library larger than the bound keeps the same part of itself from one start to the next:
// every cell kept is found again, and only the others are decoded again.
TEST_F(Cache, ALibraryLargerThanTheBoundSettles) {
  constexpr std::uint64_t kBorne = 96 * 1024;
  constexpr int kImages = 40;
  std::vector<std::uint64_t> empreintes;
  for (int i = 0; i < kImages; ++i) empreintes.push_back(CacheVignettes::Empreinte("/p/" + std::to_string(i)));
  std::vector<int> trouvees;
  std::size_t gardees = 0;
  for (int demarrage = 0; demarrage < 3; ++demarrage) {
    CacheVignettes cache(dossier_.string(), kBorne);
    if (demarrage > 0) {
      EXPECT_EQ(cache.nombre(), gardees) << demarrage;
    }
    cache.utiliser(empreintes);
    int lues = 0;
    for (int i = 0; i < kImages; ++i) {
      const auto cle = Cle("/p/" + std::to_string(i));
      if (cache.lire(cle))
        ++lues;
      else
        cache.ecrire(cle, Bruit(static_cast<std::uint32_t>(i)));
    }
    cache.attendreCompactage();
    trouvees.push_back(lues);
    gardees = cache.nombre();
  }
  EXPECT_GT(gardees, 0u);
  EXPECT_LT(gardees, static_cast<std::size_t>(kImages));
  EXPECT_EQ(trouvees[1], static_cast<int>(gardees));
  EXPECT_EQ(trouvees[2], static_cast<int>(gardees));
}

// The path is not kept with its cell: a long path costs no more room than a short one.
TEST_F(Cache, ACellTakesTheSameRoomWhateverItsPath) {
  CacheVignettes cache(dossier_.string());
  cache.ecrire(Cle("/p/court.jpg"), Bruit(1));
  const auto courte = fs::file_size(dossier_ / "thumbnails.data");
  cache.ecrire(Cle("/p/" + std::string(4000, 'l') + ".jpg"), Bruit(1));
  EXPECT_EQ(fs::file_size(dossier_ / "thumbnails.data") - courte, courte - 8);
  EXPECT_TRUE(cache.lire(Cle("/p/" + std::string(4000, 'l') + ".jpg")));
}

TEST_F(Cache, ASecondProgramReadsButDoesNotWrite) {
  CacheVignettes premier(dossier_.string());
  premier.ecrire(Cle("/p/a"), Cellule(1));
  CacheVignettes second(dossier_.string());
  EXPECT_TRUE(premier.enEcriture());
  EXPECT_FALSE(second.enEcriture());
  EXPECT_TRUE(second.lire(Cle("/p/a")));
  second.ecrire(Cle("/p/b"), Cellule(2));
  EXPECT_FALSE(premier.lire(Cle("/p/b")));
}

#ifndef _WIN32
// (Links, pipes and modes as a Linux user's folder can hold them.)
// What stands at the names of the cache's files, or at the name compaction once used, is never
// written: a hard link there leads to a file of the user's. The cache starts afresh beside it,
// says so once, and works.
enum class Obstacle { LienDur, LienSymbolique, Fifo, Dossier, LectureSeule };
struct Plante {
  const char* nom;
  Obstacle obstacle;
};
class CacheObstacle : public Cache, public ::testing::WithParamInterface<Plante> {};

TEST_P(CacheObstacle, IsNeverWrittenAndTheCacheStillWorks) {
  const fs::path cacheDossier = dossier_ / "cache";
  const fs::path utilisateur = dossier_ / "precieux";
  fs::create_directories(cacheDossier);
  std::ofstream(utilisateur, std::ios::binary) << "precious";
  const fs::path place = cacheDossier / GetParam().nom;
  switch (GetParam().obstacle) {
    case Obstacle::LienDur: fs::create_hard_link(utilisateur, place); break;
    case Obstacle::LienSymbolique: fs::create_symlink(utilisateur, place); break;
    case Obstacle::Fifo: ASSERT_EQ(::mkfifo(place.c_str(), 0600), 0); break;
    case Obstacle::Dossier: fs::create_directories(place / "x"); break;
    case Obstacle::LectureSeule:
      std::ofstream(place) << "x";
      fs::permissions(place, fs::perms::owner_read);
      break;
  }
  constexpr std::uint64_t kBorne = 64 * 1024;  // the second run compacts
  ::testing::internal::CaptureStderr();
  for (int run = 0; run < 2; ++run) {
    CacheVignettes cache(cacheDossier.string(), kBorne);
    ASSERT_TRUE(cache.enEcriture()) << run;
    cache.ecrire(Cle("/p/run" + std::to_string(run)), Cellule(7));
    EXPECT_TRUE(cache.lire(Cle("/p/run" + std::to_string(run)))) << run;
    for (int i = 0; i < 100; ++i) cache.ecrire(Cle("/p/" + std::to_string(i)), Cellule(static_cast<std::uint8_t>(i)));
  }
  const std::string dit = ::testing::internal::GetCapturedStderr();
  std::ifstream lu(utilisateur, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(lu), {}), "precious");
  // Said at each start while the obstacle stays (a folder), once when its name is taken back.
  long lignes = GetParam().obstacle == Obstacle::Dossier ? 2 : 1;
  if (std::string(GetParam().nom).ends_with(".new") ||
      (GetParam().obstacle == Obstacle::LectureSeule && ::geteuid() == 0))
    lignes = 0;
  EXPECT_EQ(std::count(dit.begin(), dit.end(), '\n'), lignes) << dit;
  if (GetParam().obstacle == Obstacle::Dossier) {
    EXPECT_TRUE(fs::exists(place / "x"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Noms, CacheObstacle,
    ::testing::Values(Plante{"thumbnails.data", Obstacle::LienDur}, Plante{"thumbnails.index", Obstacle::LienDur},
                      Plante{"thumbnails.data.new", Obstacle::LienDur},
                      Plante{"thumbnails.index.new", Obstacle::LienDur},
                      Plante{"thumbnails.data", Obstacle::LienSymbolique}, Plante{"thumbnails.index", Obstacle::Fifo},
                      Plante{"thumbnails.data", Obstacle::Dossier}, Plante{"thumbnails.index", Obstacle::LectureSeule}));
#endif

// With the cache, a second start builds no thumbnail: the cells come back as they were made,
// and a picture that changed is made again.
class CacheEtMoteur : public Cache, public testsupport::Entourage {};

TEST_F(CacheEtMoteur, ASecondStartDecodesNothingAndNoticesAChangedPicture) {
  fs::create_directories(dossier_ / "pics");
  std::vector<std::string> chemins;
  for (int i = 0; i < 6; ++i) {
    TBitmap image(PixelLayout::Bgr24, 300 + 40 * i, 200);
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < (300 + 40 * i) * 3; ++x) image.ScanLine(y)[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(x * (i + 1) + y);
    chemins.push_back((dossier_ / "pics" / ("p" + std::to_string(i) + ".bmp")).string());
    EnregistrerBmp(image, chemins.back());
    fichiers.ajouter(dossier_.string() + "/pics/", "p" + std::to_string(i) + ".bmp");
  }
  etat.RepertoireRacine = (dossier_ / "pics/").string();
  vue.visible = true;
  auto cellules = [this](MoteurWallpaper& moteur) {
    std::vector<Canvas> toutes;
    for (int i = 0; i < 6; ++i) {
      Canvas toile(60, 45);
      moteur.DessinerVignette(i, toile, 0, 0);
      toutes.push_back(toile);
    }
    return toutes;
  };
  std::vector<Canvas> sansCache;
  {
    MoteurWallpaper moteur(services());
    moteur.attacher(etat, *timer, reglages);
    moteur.ScannerArborescence(false);
    sansCache = cellules(moteur);  // built one by one, on this thread
  }
  {
    CacheVignettes cache((dossier_ / "cache").string());
    ServicesMoteur s = services();
    s.cache = &cache;
    MoteurWallpaper moteur(s);
    moteur.attacher(etat, *timer, reglages);
    moteur.ScannerArborescence(false);
    moteur.CreerVignettes();  // built by the workers
    const auto avecCache = cellules(moteur);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(MemesPixels(sansCache[static_cast<std::size_t>(i)], avecCache[static_cast<std::size_t>(i)])) << i;
  }
  // The pictures are replaced by unreadable bytes of the same size and time: only the cache
  // can give their thumbnails now. Picture 5 really changes.
  for (int i = 0; i < 5; ++i) {
    const auto heure = fs::last_write_time(chemins[static_cast<std::size_t>(i)]);
    const auto taille = fs::file_size(chemins[static_cast<std::size_t>(i)]);
    std::ofstream(chemins[static_cast<std::size_t>(i)], std::ios::binary | std::ios::trunc) << std::string(taille, '\0');
    fs::last_write_time(chemins[static_cast<std::size_t>(i)], heure);
  }
  std::ofstream(chemins[5], std::ios::binary | std::ios::trunc) << "now broken";
  CacheVignettes cache((dossier_ / "cache").string());
  ServicesMoteur s = services();
  s.cache = &cache;
  MoteurWallpaper moteur(s);
  moteur.attacher(etat, *timer, reglages);
  moteur.ScannerArborescence(false);
  texte.textes.clear();
  moteur.CreerVignettes();
  for (int i = 0; i < 5; ++i)
    EXPECT_NE(etat.VignettesFaites.find("~" + std::to_string(i) + "~"), std::string::npos) << i << " from the cache";
  EXPECT_EQ(etat.VignettesFaites.find("~5~"), std::string::npos);
  EXPECT_EQ(texte.textes, std::vector<std::string>{"Error"}) << "the changed picture was tried";
  const auto depuisCache = cellules(moteur);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(MemesPixels(sansCache[static_cast<std::size_t>(i)], depuisCache[static_cast<std::size_t>(i)])) << i;
}

}  // namespace

namespace {

// Whatever the catalogue's size, only so many cells keep their pixels; the others come back
// from the cache when they are drawn.
TEST_F(CacheEtMoteur, OnlyTheRecentCellsStayInMemory) {
  fs::create_directories(dossier_ / "pics");
  TBitmap image(PixelLayout::Bgr24, 120, 90);
  for (int y = 0; y < 90; ++y)
    for (int x = 0; x < 360; ++x) image.ScanLine(y)[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(x + y);
  EnregistrerBmp(image, (dossier_ / "pics/p0.bmp").string());
  const int nombre = static_cast<int>(MoteurWallpaper::kVignettesEnMemoire) + 50;
  fichiers.ajouter(dossier_.string() + "/pics/", "p0.bmp");
  for (int i = 1; i < nombre; ++i) {
    fs::create_hard_link(dossier_ / "pics/p0.bmp", dossier_ / "pics" / ("p" + std::to_string(i) + ".bmp"));
    fichiers.ajouter(dossier_.string() + "/pics/", "p" + std::to_string(i) + ".bmp");
  }
  CacheVignettes cache((dossier_ / "cache").string());
  ServicesMoteur s = services();
  s.cache = &cache;
  MoteurWallpaper moteur(s);
  moteur.attacher(etat, *timer, reglages);
  etat.RepertoireRacine = (dossier_ / "pics/").string();
  moteur.ScannerArborescence(false);
  vue.visible = true;
  moteur.CreerVignettes();
  EXPECT_EQ(moteur.Vignettes().ResidentCount(), MoteurWallpaper::kVignettesEnMemoire);
  Canvas premiere(60, 45), derniere(60, 45);
  moteur.DessinerVignette(nombre - 1, derniere, 0, 0);
  const bool gardee = moteur.Vignettes().HasPixels(0);
  moteur.DessinerVignette(0, premiere, 0, 0);
  EXPECT_TRUE(MemesPixels(premiere, derniere)) << "same picture, same thumbnail, kept or not: " << gardee;
  EXPECT_EQ(moteur.Vignettes().ResidentCount(), MoteurWallpaper::kVignettesEnMemoire);
}

}  // namespace
