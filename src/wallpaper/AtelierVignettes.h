#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/FileFormats.h"
#include "wallpaper/CacheVignettes.h"

// Builds thumbnails on worker threads, one per core, while the window's thread only hands out
// pictures and takes finished cells. A cell kept in the cache is taken from there; a cell that
// is built is kept there for the next start.
class AtelierVignettes {
 public:
  struct Travail {
    int index;
    std::string chemin;
  };
  struct Resultat {
    int index;
    std::optional<Canvas> cellule;  // nothing: the picture cannot be loaded
    // The file as it was found before it was read (nothing when it could not be found), so
    // that a failure belongs to that version of the file only.
    std::optional<CacheVignettes::Cle> fichier;
  };

  // `reveil` is called from a worker each time a cell is finished, to wake the window's
  // thread; `fils` 0 means one worker per core.
  AtelierVignettes(const TFileFormatsList& formats, CacheVignettes* cache, std::function<void()> reveil,
                   unsigned fils = 0);
  // Stops the workers, each once the picture it is on is done.
  ~AtelierVignettes();
  AtelierVignettes(const AtelierVignettes&) = delete;
  AtelierVignettes& operator=(const AtelierVignettes&) = delete;

  // A new batch: the pictures to build, in order, for a screen of largeur x hauteur. What was
  // left of the previous batch is dropped. Returns the batch's number.
  std::uint64_t lancer(std::vector<Travail> travaux, int largeurEcran, int hauteurEcran);
  // Drops what is left of the current batch; cells on their way are not delivered.
  void annuler();
  // The cells of batch `lot` finished since the last call.
  std::vector<Resultat> prendre(std::uint64_t lot);
  unsigned fils() const { return static_cast<unsigned>(fils_.size()); }

 private:
  void travailler();

  const TFileFormatsList& formats_;
  CacheVignettes* cache_;
  std::function<void()> reveil_;
  std::mutex verrou_;
  std::condition_variable travailAttend_;
  std::deque<Travail> file_;
  std::vector<Resultat> faits_;
  std::uint64_t lot_ = 0;
  int largeurEcran_ = 0;
  int hauteurEcran_ = 0;
  bool fin_ = false;
  std::vector<std::thread> fils_;
};

// The cell of catalogue picture `index` at `chemin`, from the cache when it holds it for the
// file as it is, else made now and kept there. Touches no shared state but the cache.
AtelierVignettes::Resultat FaireCellule(int index, const std::string& chemin, const TFileFormatsList& formats,
                                        CacheVignettes* cache, int largeurEcran, int hauteurEcran);
