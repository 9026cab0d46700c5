// How fast the wallpaper engine does its three long jobs, against well-known tools on the same
// inputs:
//   wallpaper-bench thumbnails DIR      thumbnails per second, against vipsthumbnail --size 60x45
//   wallpaper-bench install FILE        one full installation on a 1920 x 1080 screen
//   wallpaper-bench scan DIR            a scan of the tree, against find on the same tree
//   wallpaper-bench library DIR         all thumbnails of a photo library: the first time on
//                                       one worker and on one per core, then at the next
//                                       start from the cache; time and peak memory of each
//   wallpaper-bench fill CACHE N        a cache filled with N cells of 8 KB, for start-up times
//   wallpaper-bench starts DIR CACHE B  three starts of a library with a cache bounded to B
//                                       bytes: pictures decoded at each
//   wallpaper-bench cells DIR           the bytes the cache keeps for the thumbnail of each
//                                       picture of DIR, against the pixels and plain deflate
// Inputs: bench/prepare-inputs.sh makes the JPEG folder; bench/make-tree.sh a 100,000-file
// tree; bench/make-library.sh JPEG_FOLDER N OUT a library of N photos.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "platform/posix/PosixFileSystem.h"
#include "support/Entourage.h"
#include "wallpaper/CelluleCompacte.h"
#include "wallpaper/Vignette.h"

namespace fs = std::filesystem;
using Horloge = std::chrono::steady_clock;

namespace {

double Secondes(Horloge::time_point debut) {
  return std::chrono::duration<double>(Horloge::now() - debut).count();
}

double Commande(const std::string& ligne) {
  const auto debut = Horloge::now();
  if (std::system(ligne.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", ligne.c_str());
  return Secondes(debut);
}

// The engine with everything around it in memory, as the tests have it, but real files.
struct Banc : testsupport::Entourage {
  Banc() {
    moteur.attacher(etat, *timer, reglages);
    ecran.ecran = {0, 0, 1920, 1080};
    vue.visible = true;
    etat.DossierDonnees = (fs::temp_directory_path() / "wallpaper-bench/").string();
    etat.FichierWallpaper = etat.DossierDonnees + "Verrelune.bmp";
  }
  platform::posix::PosixFileSystem disque;
  MoteurWallpaper moteur{services(disque)};
};

int Vignettes(const std::string& dossier) {
  Banc banc;
  banc.etat.RepertoireRacine = dossier;
  banc.moteur.ScannerArborescence(false);
  const std::size_t n = banc.etat.Catalogue.size();
  if (n == 0) return std::fprintf(stderr, "no pictures in %s\n", dossier.c_str()), 1;
  const auto debut = Horloge::now();
  banc.moteur.CreerVignettes();
  const double nous = Secondes(debut);

  const fs::path sortie = fs::temp_directory_path() / "wallpaper-bench-vips";
  fs::create_directories(sortie);
  std::string ligne = "vipsthumbnail --size 60x45 -o '" + sortie.string() + "/%s.png'";
  for (const auto& chemin : banc.etat.Catalogue) ligne += " '" + chemin + "'";
  const double vips = Commande(ligne);
  std::printf("thumbnails: %zu pictures\n", n);
  std::printf("  verrelune      %8.1f per second (%.3f s)\n", n / nous, nous);
  std::printf("  vipsthumbnail  %8.1f per second (%.3f s)\n", n / vips, vips);
  std::printf("  ratio (ours / vips, above 1 is faster): %.2f\n", vips / nous);
  return 0;
}

int Installation(const std::string& fichier) {
  Banc banc;
  banc.etat.Catalogue = {fichier, fichier + ".absent.jpg"};
  const auto debut = Horloge::now();
  banc.moteur.InstallerWallpaper(0, true);
  const double duree = Secondes(debut);
  const auto style = banc.registre.value(platform::kCleBureau, "WallpaperStyle");
  std::printf("install %s on 1920 x 1080: %.3f s, style %s, file %ju bytes\n", fichier.c_str(),
              duree, style ? style->text.c_str() : "none",
              static_cast<std::uintmax_t>(fs::exists(banc.etat.FichierWallpaper)
                                              ? fs::file_size(banc.etat.FichierWallpaper)
                                              : 0));
  return 0;
}

int Scan(const std::string& dossier) {
  Banc banc;
  banc.etat.RepertoireRacine = dossier;
  // Once to warm the file system's caches for both.
  banc.moteur.ScannerArborescence(false);
  Commande("find '" + dossier + "' -type f > /dev/null");
  const auto debut = Horloge::now();
  banc.moteur.ScannerArborescence(false);
  const double nous = Secondes(debut);
  const double find = Commande("find '" + dossier + "' -type f > /dev/null");
  std::printf("scan of %zu pictures: verrelune %.3f s, find %.3f s, ratio %.2f\n",
              banc.etat.Catalogue.size(), nous, find, nous / find);
  return 0;
}

// One run of the thumbnail build in a process of its own, so that its peak memory is its own:
// scan, then build every thumbnail with the cache in `cache` on `fils` workers (0: one per
// core). Prints seconds, thumbnails written to the cache, peak resident memory.
void UnDemarrage(const std::string& dossier, const std::string& cache, unsigned fils, const char* nom) {
  std::fflush(stdout);
  const pid_t enfant = ::fork();
  if (enfant == 0) {
    Banc banc;
    CacheVignettes vignettes(cache);
    ServicesMoteur services = banc.services(banc.disque);
    services.cache = &vignettes;
    services.filsVignettes = fils;
    MoteurWallpaper moteur(services);
    moteur.attacher(banc.etat, *banc.timer, banc.reglages);
    banc.etat.RepertoireRacine = dossier;
    moteur.ScannerArborescence(false);
    const std::size_t avant = vignettes.nombre();
    const auto debut = Horloge::now();
    moteur.CreerVignettes();
    const double duree = Secondes(debut);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("  %-26s %8.2f s  %9.1f per second  %7zu decoded  peak RSS %7.1f MB\n", nom, duree,
                banc.etat.Catalogue.size() / duree, vignettes.nombre() - avant, usage.ru_maxrss / 1024.0);
    std::fflush(stdout);
    std::_Exit(0);
  }
  ::waitpid(enfant, nullptr, 0);
}

int Bibliotheque(const std::string& dossier) {
  const fs::path caches = fs::temp_directory_path() / "wallpaper-bench-caches";
  fs::remove_all(caches);
  std::printf("library %s\n", dossier.c_str());
  UnDemarrage(dossier, (caches / "one").string(), 1, "first build, 1 worker");
  UnDemarrage(dossier, (caches / "all").string(), 0, "first build, every core");
  UnDemarrage(dossier, (caches / "all").string(), 0, "next start, from the cache");
  fs::remove_all(caches);
  return 0;
}

// The cell of each picture on a 1920 x 1080 screen: its pixels (3 bytes each), deflated as they
// are (what the cache kept before), and in the cache's form, which must give them back exactly.
int Cellules(const std::string& dossier) {
  Banc banc;
  std::size_t n = 0, brut = 0, deflate = 0, compacte = 0;
  for (const auto& entree : fs::recursive_directory_iterator(dossier)) {
    if (!entree.is_regular_file()) continue;
    const auto cellule = FabriquerVignette(entree.path().string(), banc.formats, 1920, 1080);
    if (!cellule) continue;
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < 45; ++y)
      for (int x = 0; x < 60; ++x)
        for (int c = 0; c < 3; ++c) pixels.push_back(cellule->ScanLine(y)[static_cast<std::size_t>(x * 4 + c)]);
    uLongf taille = compressBound(pixels.size());
    std::vector<std::uint8_t> sortie(taille);
    compress2(sortie.data(), &taille, pixels.data(), pixels.size(), 1);
    const auto forme = CompresserCellule(*cellule);
    const auto retour = DecompresserCellule(forme.data(), forme.size());
    for (int y = 0; y < 45 && retour; ++y)
      for (int x = 0; x < 60; ++x)
        if (retour->Pixel(x, y) != cellule->Pixel(x, y)) return std::fprintf(stderr, "lossy: %s\n", entree.path().c_str()), 1;
    std::printf("  %6zu %6lu %6zu  %s\n", pixels.size(), taille, forme.size(), entree.path().filename().c_str());
    ++n, brut += pixels.size(), deflate += taille, compacte += forme.size();
  }
  if (n == 0) return std::fprintf(stderr, "no pictures in %s\n", dossier.c_str()), 1;
  std::printf("%zu cells, bytes per cell: pixels %zu, deflated pixels %zu, cache form %zu\n", n, brut / n,
              deflate / n, compacte / n);
  return 0;
}

// Fills the cache in CACHE with N cells that hardly compress (8 KB each), under made-up paths:
// a cache as full as a large library's, made in seconds.
int Remplir(const std::string& cache, long n) {
  CacheVignettes vignettes(cache);
  std::uint32_t graine = 1;
  Canvas cellule(60, 45);
  for (long i = 0; i < n; ++i) {
    for (int y = 0; y < 45; ++y)
      for (int x = 0; x < 60; ++x) {
        graine = graine * 1664525u + 1013904223u;
        cellule.SetPixel(x, y, Color{static_cast<std::uint8_t>(graine >> 24), static_cast<std::uint8_t>(graine >> 16),
                                     static_cast<std::uint8_t>(graine >> 8)});
      }
    vignettes.ecrire({"/fill/" + std::to_string(i), 1, 1, 1920, 1080}, cellule);
  }
  std::printf("%zu cells in %s\n", vignettes.nombre(), cache.c_str());
  return 0;
}

// Three starts of a library with the cache in CACHE bounded to BOUND bytes, each in a process
// of its own: pictures decoded at each (those whose cell the cache did not give), and time.
int Demarrages(const std::string& dossier, const std::string& cache, std::uint64_t borne) {
  for (int demarrage = 1; demarrage <= 3; ++demarrage) {
    std::fflush(stdout);
    const pid_t enfant = ::fork();
    if (enfant == 0) {
      Banc banc;
      CacheVignettes vignettes(cache, borne);
      ServicesMoteur services = banc.services(banc.disque);
      services.cache = &vignettes;
      MoteurWallpaper moteur(services);
      moteur.attacher(banc.etat, *banc.timer, banc.reglages);
      banc.etat.RepertoireRacine = dossier;
      moteur.ScannerArborescence(false);
      std::size_t trouvees = 0;
      for (const auto& chemin : banc.etat.Catalogue)
        if (const auto cle = CacheVignettes::CleDe(chemin, 1920, 1080); cle && vignettes.lire(*cle)) ++trouvees;
      const auto debut = Horloge::now();
      moteur.CreerVignettes();
      std::printf("  start %d: %zu pictures, %zu decoded, %.2f s, %zu cells kept\n", demarrage,
                  banc.etat.Catalogue.size(), banc.etat.Catalogue.size() - trouvees, Secondes(debut),
                  vignettes.nombre());
      std::fflush(stdout);
      std::_Exit(0);
    }
    ::waitpid(enfant, nullptr, 0);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "thumbnails") return Vignettes(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "install") return Installation(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "scan") return Scan(argv[2]);
  if (argc == 3 && std::string(argv[1]) == "library") return Bibliotheque(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "fill") return Remplir(argv[2], std::atol(argv[3]));
  if (argc == 5 && std::string(argv[1]) == "starts")
    return Demarrages(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  if (argc == 3 && std::string(argv[1]) == "cells") return Cellules(argv[2]);
  std::fprintf(stderr, "usage: wallpaper-bench thumbnails DIR | install FILE | scan DIR | library DIR | cells DIR | fill CACHE N | starts DIR CACHE BOUND\n");
  return 2;
}
