#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "imaging/Canvas.h"

// Thumbnails kept from one run to the next, so that a picture is decoded once and not at every
// start. A thumbnail belongs to a picture file as it is (its path, size and modification time)
// and to the screen size it was made for; a changed picture, or another screen, misses.
//
// Two files in one folder: `thumbnails.data` holds the cells one after another in a compact
// lossless form (CelluleCompacte.h), each with its key; `thumbnails.index` one small record per
// cell saying where it lies. Both only grow while the program runs, data before index. Every
// record carries a checksum and every size and offset is checked against the files: a record
// cut short by a crash ends the index there, a cell that does not check is a miss, and a
// foreign or broken file (or one of an older version) is started afresh. So the cache may lose
// its last cells, never becomes unreadable, and is never trusted.
//
// The index is read on the cache's own thread, and every use waits for it. The data never
// passes its size bound. Room is made on that thread too, never on the way to the window: at start when most of the data is dead (cells of pictures that changed),
// and during a run when the cache is full and holds cells the run does not use. The cells the
// run uses (those of the pictures handed to the workers, read or written) are kept first, so
// that a library too large for the bound keeps the same part of itself from one start to the
// next instead of decoding another part at every start.
//
// Safe to use from several threads at once. A second program that finds the cache in use by
// another reads it and writes nothing.
class CacheVignettes {
 public:
  struct Cle {
    std::string chemin;
    std::uint64_t taille = 0;
    std::int64_t modification = 0;  // nanoseconds
    int largeurEcran = 0;
    int hauteurEcran = 0;
  };

  static constexpr std::uint64_t kTailleMax = 512ull * 1024 * 1024;

  // Opens the cache in `dossier`, making it if need be; a cache that cannot be opened is
  // simply not used (every look-up misses), and says so once on stderr.
  explicit CacheVignettes(const std::string& dossier, std::uint64_t tailleMax = kTailleMax);
  ~CacheVignettes();
  CacheVignettes(const CacheVignettes&) = delete;
  CacheVignettes& operator=(const CacheVignettes&) = delete;

  bool ouvert() const;
  bool enEcriture() const;
  std::size_t nombre() const;

  // The cell kept for this key, or nothing.
  std::optional<Canvas> lire(const Cle& cle);
  // Keeps `cellule` (60 x 45) for this key.
  void ecrire(const Cle& cle, const Canvas& cellule);
  // The cells of these paths (by their Empreinte) are in use in this run: kept first when
  // room is made.
  void utiliser(const std::vector<std::uint64_t>& empreintes);
  // Waits until no room is being made (for tests and measurements).
  void attendreCompactage();

  // The digest of a path under which its cell is found; stable from one run to the next.
  static std::uint64_t Empreinte(const std::string& chemin);

  // The key of the picture file at `chemin` as it is now; nothing when it cannot be read.
  static std::optional<Cle> CleDe(const std::string& chemin, int largeurEcran, int hauteurEcran);

 private:
  struct Entree {
    std::uint64_t taille;
    std::int64_t modification;
    std::uint16_t largeurEcran;
    std::uint16_t hauteurEcran;
    std::uint64_t position;
    std::uint32_t longueur;
    std::uint32_t controle;
    std::uint64_t usage = 0;  // in use in this run since this tick; 0: not in use
  };
  // crc, path hash, size, modification time, screen width and height, position, length, and
  // the cell's own checksum.
  static constexpr std::size_t kTailleRecord = 4 + 8 + 8 + 8 + 2 + 2 + 8 + 4 + 4;
  static std::array<std::uint8_t, kTailleRecord> Ligne(std::uint64_t empreinte, const Entree& e);
  bool charger();
  void preparer();
  void fermer();
  void attendrePret(std::unique_lock<std::mutex>& verrou) const;
  bool recommencer();
  // Starts making room on the cache's thread, unless it is already at it; under verrou_.
  void lancerCompactage();
  void compacter();
  void marquer(Entree& e);
  std::optional<Canvas> lireCellule(const Cle& cle, const Entree& entree);
  void signaler(const std::string& fichier, const std::string& pourquoi);

  std::string dossier_;
  std::uint64_t tailleMax_;
  std::FILE* index_ = nullptr;
  std::FILE* donnees_ = nullptr;
  bool ecriture_ = false;
  bool signale_ = false;  // a file that cannot be used was reported
  int verrou_fichier_ = -1;  // holds the writer's lock
  std::uint64_t finDonnees_ = 0;
  std::uint64_t finIndex_ = 0;
  std::unordered_map<std::uint64_t, Entree> entrees_;  // by the hash of the path
  std::uint64_t octetsUtilises_ = 0;  // data of the cells in use in this run
  std::uint64_t horloge_ = 0;         // ticks of use
  std::thread compactage_;
  bool pret_ = true;             // the index is read
  bool compactageVoulu_ = false;
  bool compactageEnCours_ = false;  // or the index being read
  bool arret_ = false;
  mutable std::condition_variable compactageFini_;
  mutable std::mutex verrou_;
};
