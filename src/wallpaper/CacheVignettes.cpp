#include "wallpaper/CacheVignettes.h"

#include <zlib.h>

#include <thread>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/TemporaryName.h"
#include "wallpaper/CelluleCompacte.h"
#include "wallpaper/Chemins.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#define fseeko _fseeki64
#define ftello _ftelli64
using Decalage = long long;
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
using Decalage = off_t;
#endif

namespace fs = std::filesystem;

namespace {

// Version 2: cells in their compact form, keyed by two digests of the path instead of the path.
// Files of version 1 are foreign files: the cache starts afresh over them.
constexpr char kEnteteIndex[8] = {'V', 'R', 'L', 'N', 'T', 'I', 'X', '2'};
constexpr char kEnteteDonnees[8] = {'V', 'R', 'L', 'N', 'T', 'D', 'T', '2'};
constexpr std::size_t kTailleEntete = 8;
constexpr int kLargeur = 60;
constexpr int kHauteur = 45;
// Second digest, size, modification time, screen width and height.
constexpr std::size_t kTailleCle = 8 + 8 + 8 + 2 + 2;
// Sanity bounds on what a file may claim.
constexpr std::uint64_t kIndexMax = 64ull * 1024 * 1024;
constexpr std::uint32_t kCelluleMax = 1024 * 1024;
constexpr std::uint32_t kCheminMax = 64 * 1024;
// Below this the dead cells of changed pictures are not worth a rewrite.
constexpr std::uint64_t kCompactageMin = 16ull * 1024 * 1024;

// A second digest of the path, of another kind than the index's, kept with the cell: two paths
// whose digests both agree (one chance in 2^128) are all it would take to show one picture's
// thumbnail for another, where keeping the path itself cost up to 4 KB a cell.
std::uint64_t SecondeEmpreinte(const std::string& texte) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ texte.size();
  for (unsigned char c : texte) {
    h = (h ^ c) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 29;
  }
  return h;
}

std::uint32_t Controle(const std::uint8_t* octets, std::size_t n) {
  return static_cast<std::uint32_t>(crc32(0L, octets, static_cast<uInt>(n)));
}

// Little-endian numbers written at a place of a buffer already of the right size.
std::size_t Poser(std::uint8_t* p, std::size_t place, std::uint64_t valeur, int octets) {
  for (int i = 0; i < octets; ++i) p[place + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(valeur >> (8 * i));
  return place + static_cast<std::size_t>(octets);
}

std::uint64_t Prendre(const std::uint8_t* p, int octets) {
  std::uint64_t valeur = 0;
  for (int i = octets - 1; i >= 0; --i) valeur = valeur << 8 | p[i];
  return valeur;
}

std::uint64_t TailleFichier(std::FILE* f) {
  if (fseeko(f, 0, SEEK_END) != 0) return 0;
  const auto fin = ftello(f);
  return fin < 0 ? 0 : static_cast<std::uint64_t>(fin);
}

bool EcrireA(std::FILE* f, std::uint64_t position, const void* octets, std::size_t n) {
  return fseeko(f, static_cast<Decalage>(position), SEEK_SET) == 0 && std::fwrite(octets, 1, n, f) == n &&
         std::fflush(f) == 0;
}

bool LireA(std::FILE* f, std::uint64_t position, void* octets, std::size_t n) {
  return fseeko(f, static_cast<Decalage>(position), SEEK_SET) == 0 && std::fread(octets, 1, n, f) == n;
}

bool Tronquer(std::FILE* f, std::uint64_t taille) {
  std::fflush(f);
#if defined(_WIN32)
  return _chsize_s(_fileno(f), static_cast<long long>(taille)) == 0;
#else
  return ::ftruncate(fileno(f), static_cast<off_t>(taille)) == 0;
#endif
}

#if defined(_WIN32)
// Opens (making it) a file of the cache for reading and writing.
std::FILE* Ouvrir(const fs::path& chemin, bool, std::string&) {
  std::FILE* f = _wfopen(chemin.c_str(), L"r+b");
  return f ? f : _wfopen(chemin.c_str(), L"w+b");
}
#else
// Why the file at `chemin`, opened as `descripteur`, is no file for the cache to write: not a
// regular file of the user's, or a file with another name elsewhere (a hard link to a file of
// the user's would be filled with cells). Empty when it is fine.
std::string Inutilisable(int descripteur) {
  struct stat etat {};
  if (::fstat(descripteur, &etat) != 0) return std::strerror(errno);
  if (!S_ISREG(etat.st_mode)) return "it is not a regular file";
  if (etat.st_uid != ::geteuid()) return "it belongs to another user";
  if (etat.st_nlink != 1) return "it has other names (hard links)";
  return {};
}

// Opens a file of the cache for reading and writing, as every file the program writes is: never
// through a symbolic link, never into a file that is not the cache's own. A missing file is made
// (exclusive, readable by its owner only). Something else at its name (a link, a named pipe, a
// folder, a file that cannot be written) is never written: when `remplacer`, a fresh empty file
// made under a temporary name takes its name, or when even the rename fails serves this run
// without a name; `pourquoi` then says what was wrong. Nothing when no file can be had.
std::FILE* Ouvrir(const fs::path& chemin, bool remplacer, std::string& pourquoi) {
  int descripteur = ::open(chemin.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descripteur >= 0) {
    pourquoi = Inutilisable(descripteur);
    if (!pourquoi.empty()) {
      ::close(descripteur);
      descripteur = -1;
    }
  } else if (errno == ENOENT) {
    if (!remplacer) return nullptr;
    descripteur = ::open(chemin.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descripteur < 0) pourquoi = std::strerror(errno);
  } else {
    pourquoi = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
  }
  if (descripteur < 0 && remplacer) {
    const std::string dossier = chemin.parent_path().string();
    const std::string nom = chemin.filename().string();
    for (int essai = 0; essai < 100 && descripteur < 0; ++essai) {
      const std::string temporaire = dossier + "/" + temporaryNameFor(nom, static_cast<long>(::getpid()));
      descripteur = ::open(temporaire.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (descripteur < 0) {
        if (errno != EEXIST) break;
        continue;
      }
      // Replaces the name only, never what it led to; a folder in the way stays, and the
      // file then has no name.
      if (::rename(temporaire.c_str(), chemin.c_str()) != 0) ::unlink(temporaire.c_str());
    }
  }
  if (descripteur < 0) return nullptr;
  std::FILE* f = ::fdopen(descripteur, "r+b");
  if (!f) ::close(descripteur);
  return f;
}
#endif

// A new file that will replace `nom` in `dossier` once written, under a name of its own: made
// exclusive and never through a link, so that nothing planted at a name fixed in advance is
// ever written. `temporaire` is its name.
std::FILE* OuvrirNouveau(const fs::path& dossier, const std::string& nom, fs::path& temporaire) {
#if defined(_WIN32)
  temporaire = dossier / (nom + ".new");
  return _wfopen(temporaire.c_str(), L"w+b");
#else
  for (int essai = 0; essai < 100; ++essai) {
    temporaire = dossier / temporaryNameFor(nom, static_cast<long>(::getpid()));
    const int descripteur =
        ::open(temporaire.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descripteur < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::FILE* f = ::fdopen(descripteur, "r+b");
    if (!f) {
      ::close(descripteur);
      ::unlink(temporaire.c_str());
    }
    return f;
  }
  return nullptr;
#endif
}

// The data record of a cell: its key, then its compact form.
std::vector<std::uint8_t> RecordDonnees(const CacheVignettes::Cle& cle, const Canvas& cellule) {
  const std::vector<std::uint8_t> comprime = CompresserCellule(cellule);
  if (comprime.empty()) return {};
  std::vector<std::uint8_t> record(kTailleCle + comprime.size());
  std::uint8_t* p = record.data();
  std::size_t place = Poser(p, 0, SecondeEmpreinte(cle.chemin), 8);
  place = Poser(p, place, cle.taille, 8);
  place = Poser(p, place, static_cast<std::uint64_t>(cle.modification), 8);
  place = Poser(p, place, static_cast<std::uint16_t>(cle.largeurEcran), 2);
  place = Poser(p, place, static_cast<std::uint16_t>(cle.hauteurEcran), 2);
  std::memcpy(p + place, comprime.data(), comprime.size());
  return record;
}

}  // namespace

// The index record of a cell, its checksum first.
std::array<std::uint8_t, CacheVignettes::kTailleRecord> CacheVignettes::Ligne(std::uint64_t empreinte, const Entree& e) {
  std::array<std::uint8_t, kTailleRecord> ligne{};
  std::uint8_t* p = ligne.data();
  std::size_t place = Poser(p, 4, empreinte, 8);
  place = Poser(p, place, e.taille, 8);
  place = Poser(p, place, static_cast<std::uint64_t>(e.modification), 8);
  place = Poser(p, place, e.largeurEcran, 2);
  place = Poser(p, place, e.hauteurEcran, 2);
  place = Poser(p, place, e.position, 8);
  place = Poser(p, place, e.longueur, 4);
  Poser(p, place, e.controle, 4);
  Poser(p, 0, Controle(p + 4, kTailleRecord - 4), 4);
  return ligne;
}

namespace {

// VERRELUNE_THUMBNAIL_CACHE_BYTES lowers the default bound: a library larger than the bound can
// then be tried without filling the disk.
std::uint64_t Borne(std::uint64_t tailleMax) {
  const char* texte = std::getenv("VERRELUNE_THUMBNAIL_CACHE_BYTES");
  if (tailleMax != CacheVignettes::kTailleMax || !texte) return tailleMax;
  const unsigned long long demandee = std::strtoull(texte, nullptr, 10);
  return demandee > 0 && demandee < tailleMax ? demandee : tailleMax;
}

}  // namespace

CacheVignettes::CacheVignettes(const std::string& dossier, std::uint64_t tailleMax)
    : dossier_(dossier), tailleMax_(Borne(tailleMax)) {
  std::error_code erreur;
  const fs::path chemin = CheminSysteme(dossier_);
  fs::create_directories(chemin, erreur);
  // One program writes the cache at a time; another only reads it.
  std::string pourquoi;
#if !defined(_WIN32)
  if (std::FILE* verrou = Ouvrir(chemin / "thumbnails.lock", true, pourquoi)) {
    verrou_fichier_ = ::fcntl(::fileno(verrou), F_DUPFD_CLOEXEC, 0);
    std::fclose(verrou);
  }
  if (!pourquoi.empty()) signaler("thumbnails.lock", pourquoi);
  ecriture_ = verrou_fichier_ >= 0 && ::flock(verrou_fichier_, LOCK_EX | LOCK_NB) == 0;
#else
  // The lock file open without sharing is the lock.
  ecriture_ = _wsopen_s(&verrou_fichier_, (chemin / "thumbnails.lock").c_str(),
                        _O_RDWR | _O_CREAT | _O_NOINHERIT, _SH_DENYRW, _S_IREAD | _S_IWRITE) == 0;
#endif
  for (auto [fichier, nom] : {std::pair{&index_, "thumbnails.index"}, std::pair{&donnees_, "thumbnails.data"}}) {
    pourquoi.clear();
    *fichier = Ouvrir(chemin / nom, ecriture_, pourquoi);
    if (!pourquoi.empty()) signaler(nom, pourquoi);
  }
  if (!index_ || !donnees_) {
    fermer();
    return;
  }
  // The index is read on the cache's own thread, so that a large cache never delays the
  // window; every use of the cache waits until it is read.
  std::lock_guard verrou(verrou_);
  pret_ = false;
  compactageEnCours_ = true;
  compactage_ = std::thread([this] { preparer(); });
}

// The files cannot be used: every look-up misses.
void CacheVignettes::fermer() {
  if (index_) std::fclose(index_);
  if (donnees_) std::fclose(donnees_);
  index_ = donnees_ = nullptr;
  if (ecriture_) signaler("", "");
  ecriture_ = false;
}

void CacheVignettes::preparer() {
  std::unique_lock verrou(verrou_);
  bool compacter = false;
  if (!charger())
    fermer();
  else
    compacter = compactageVoulu_ && !arret_;
  pret_ = true;
  if (!compacter) {
    compactageEnCours_ = false;
    compactageFini_.notify_all();
    return;
  }
  // Mostly dead data, or a bound lowered since the last run: room is made now, the cache in use
  // meanwhile.
  compactageFini_.notify_all();
  verrou.unlock();
  this->compacter();
}

void CacheVignettes::attendrePret(std::unique_lock<std::mutex>& verrou) const {
  compactageFini_.wait(verrou, [this] { return pret_; });
}

bool CacheVignettes::ouvert() const {
  std::unique_lock verrou(verrou_);
  attendrePret(verrou);
  return donnees_ != nullptr;
}

bool CacheVignettes::enEcriture() const {
  std::unique_lock verrou(verrou_);
  attendrePret(verrou);
  return ecriture_;
}

// Once a run: a cache that cannot use its files decodes every picture at every start, which
// is worth knowing.
void CacheVignettes::signaler(const std::string& fichier, const std::string& pourquoi) {
  if (signale_) return;
  signale_ = true;
  if (fichier.empty())
    std::fprintf(stderr,
                 "verrelune: the thumbnail cache in %s cannot be used; thumbnails are made again at "
                 "every start.\n",
                 dossier_.c_str());
  else
    std::fprintf(stderr,
                 "verrelune: the thumbnail cache file %s/%s cannot be used (%s); the cache starts "
                 "afresh beside it.\n",
                 dossier_.c_str(), fichier.c_str(), pourquoi.c_str());
}

CacheVignettes::~CacheVignettes() {
  {
    std::lock_guard verrou(verrou_);
    arret_ = true;
  }
  if (compactage_.joinable()) compactage_.join();
  if (index_) std::fclose(index_);
  if (donnees_) std::fclose(donnees_);
#if !defined(_WIN32)
  if (verrou_fichier_ >= 0) ::close(verrou_fichier_);
#else
  if (verrou_fichier_ >= 0) _close(verrou_fichier_);
#endif
}

std::uint64_t CacheVignettes::Empreinte(const std::string& chemin) {
  // FNV-1a: stable from one run to the next, unlike std::hash.
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : chemin) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::size_t CacheVignettes::nombre() const {
  std::unique_lock verrou(verrou_);
  attendrePret(verrou);
  return entrees_.size();
}

bool CacheVignettes::recommencer() {
  entrees_.clear();
  if (!ecriture_ || !Tronquer(index_, 0) || !Tronquer(donnees_, 0)) return false;
  if (!EcrireA(index_, 0, kEnteteIndex, kTailleEntete) || !EcrireA(donnees_, 0, kEnteteDonnees, kTailleEntete))
    return false;
  finIndex_ = finDonnees_ = kTailleEntete;
  return true;
}

bool CacheVignettes::charger() {
  const std::uint64_t tailleIndex = TailleFichier(index_);
  finDonnees_ = TailleFichier(donnees_);
  char entete[kTailleEntete];
  const bool indexBon = tailleIndex >= kTailleEntete && tailleIndex <= kIndexMax &&
                        LireA(index_, 0, entete, kTailleEntete) &&
                        std::memcmp(entete, kEnteteIndex, kTailleEntete) == 0;
  const bool donneesBonnes = finDonnees_ >= kTailleEntete && LireA(donnees_, 0, entete, kTailleEntete) &&
                             std::memcmp(entete, kEnteteDonnees, kTailleEntete) == 0;
  if (!indexBon || !donneesBonnes) return recommencer();

  std::vector<std::uint8_t> index(static_cast<std::size_t>(tailleIndex - kTailleEntete));
  if (!LireA(index_, kTailleEntete, index.data(), index.size())) return recommencer();
  std::size_t lus = 0;
  for (; lus + kTailleRecord <= index.size(); lus += kTailleRecord) {
    const std::uint8_t* r = &index[lus];
    if (Prendre(r, 4) != Controle(r + 4, kTailleRecord - 4)) break;
    Entree e{};
    const std::uint64_t empreinte = Prendre(r + 4, 8);
    e.taille = Prendre(r + 12, 8);
    e.modification = static_cast<std::int64_t>(Prendre(r + 20, 8));
    e.largeurEcran = static_cast<std::uint16_t>(Prendre(r + 28, 2));
    e.hauteurEcran = static_cast<std::uint16_t>(Prendre(r + 30, 2));
    e.position = Prendre(r + 32, 8);
    e.longueur = static_cast<std::uint32_t>(Prendre(r + 40, 4));
    e.controle = static_cast<std::uint32_t>(Prendre(r + 44, 4));
    if (e.position < kTailleEntete || e.longueur > kCelluleMax || e.position + e.longueur > finDonnees_) break;
    entrees_[empreinte] = e;
  }
  finIndex_ = kTailleEntete + lus;
  // What follows the last good record (a record cut short, or garbage) goes, so that new
  // records are not appended after it.
  if (ecriture_ && finIndex_ < tailleIndex && !Tronquer(index_, finIndex_)) ecriture_ = false;

  std::uint64_t vivants = 0;
  for (const auto& [empreinte, e] : entrees_) vivants += e.longueur;
  // Mostly dead cells, or a bound lowered since the last run: room is made at once (a full
  // cache makes its room when the run shows what it uses).
  compactageVoulu_ = ecriture_ && ((finDonnees_ > kCompactageMin && vivants < finDonnees_ / 2) ||
                                   finDonnees_ > tailleMax_);
  return true;
}

void CacheVignettes::lancerCompactage() {
  if (compactageEnCours_ || arret_ || !ecriture_) return;
  // The thread of the last compaction has ended, or is about to: it only returns after it
  // has let go of the lock.
  if (compactage_.joinable()) compactage_.join();
  compactageEnCours_ = true;
  compactage_ = std::thread([this] { compacter(); });
}

void CacheVignettes::attendreCompactage() {
  std::unique_lock verrou(verrou_);
  compactageFini_.wait(verrou, [this] { return !compactageEnCours_; });
}

void CacheVignettes::marquer(Entree& e) {
  if (e.usage == 0) octetsUtilises_ += e.longueur;
  e.usage = ++horloge_;
}

void CacheVignettes::utiliser(const std::vector<std::uint64_t>& empreintes) {
  std::unique_lock verrou(verrou_);
  attendrePret(verrou);
  for (std::uint64_t empreinte : empreintes) {
    const auto trouvee = entrees_.find(empreinte);
    if (trouvee != entrees_.end()) marquer(trouvee->second);
  }
}

// Rewrites both files beside the old ones with the cells worth keeping, then puts them in
// their place. The cells in use in this run come first, the most recently used first, then
// the others, newest first, within three quarters of the bound, or all the cells in use when
// they take more. Cells are copied one at a time, each under the lock for as long as it is
// read, so the workers go on reading and writing meanwhile; what they wrote is copied at the
// end, under the lock, before the new files take the old ones' place.
void CacheVignettes::compacter() {
  std::vector<std::pair<std::uint64_t, Entree>> gardees;
  std::uint64_t finAuDebut, budget;
  {
    std::lock_guard verrou(verrou_);
    gardees.assign(entrees_.begin(), entrees_.end());
    finAuDebut = finDonnees_;
    budget = std::max(tailleMax_ / 4 * 3, std::min(octetsUtilises_, tailleMax_));
  }
  std::sort(gardees.begin(), gardees.end(), [](const auto& a, const auto& b) {
    return a.second.usage != b.second.usage ? a.second.usage > b.second.usage
                                            : a.second.position > b.second.position;
  });
  const fs::path dossier = CheminSysteme(dossier_);
  fs::path nomIndex, nomDonnees;
  std::FILE* index = OuvrirNouveau(dossier, "thumbnails.index", nomIndex);
  std::FILE* donnees = index ? OuvrirNouveau(dossier, "thumbnails.data", nomDonnees) : nullptr;
  bool bon = index && donnees && std::fwrite(kEnteteIndex, 1, kTailleEntete, index) == kTailleEntete &&
             std::fwrite(kEnteteDonnees, 1, kTailleEntete, donnees) == kTailleEntete;
  std::unordered_map<std::uint64_t, Entree> nouvelles;
  std::uint64_t finDonnees = kTailleEntete;
  std::uint64_t finIndex = kTailleEntete;
  std::vector<std::uint8_t> record;
  // Appends one cell read from the old data; `verrou_` is held by the caller or here.
  const auto copier = [&](std::uint64_t empreinte, const Entree& e) {
    record.resize(e.longueur);
    if (!LireA(donnees_, e.position, record.data(), record.size()) ||
        Controle(record.data(), record.size()) != e.controle)
      return;
    Entree nouvelle = e;
    nouvelle.position = finDonnees;
    const auto ligne = Ligne(empreinte, nouvelle);
    bon = bon && std::fwrite(record.data(), 1, record.size(), donnees) == record.size() &&
          std::fwrite(ligne.data(), 1, ligne.size(), index) == ligne.size();
    finDonnees += e.longueur;
    finIndex += kTailleRecord;
    nouvelles[empreinte] = nouvelle;
  };
  for (const auto& [empreinte, e] : gardees) {
    if (!bon) break;
    if (finDonnees + e.longueur > budget) continue;
    std::lock_guard verrou(verrou_);
    if (arret_) {
      bon = false;
      break;
    }
    copier(empreinte, e);
  }

  std::lock_guard verrou(verrou_);
  // Cells written since the choice was made, and the use made of the others meanwhile.
  for (const auto& [empreinte, e] : entrees_) {
    if (!bon || arret_) break;
    if (e.position >= finAuDebut) {
      nouvelles.erase(empreinte);
      if (finDonnees + e.longueur <= tailleMax_) copier(empreinte, e);
    } else if (const auto n = nouvelles.find(empreinte); n != nouvelles.end()) {
      n->second.usage = e.usage;
    }
  }
  bon = bon && !arret_ && std::fflush(index) == 0 && std::fflush(donnees) == 0;
  std::error_code erreur;
  if (bon) {
#if defined(_WIN32)
    // Windows replaces no file that is still open.
    std::fclose(index);
    std::fclose(donnees);
    index = donnees = nullptr;
    std::fclose(index_);
    std::fclose(donnees_);
    index_ = donnees_ = nullptr;
#endif
    // Data first: an index that outlives its data only meets cells that fail their checks.
    fs::rename(nomDonnees, dossier / "thumbnails.data", erreur);
    if (!erreur) fs::rename(nomIndex, dossier / "thumbnails.index", erreur);
  }
  const bool remplaces = bon && !erreur;
#if !defined(_WIN32)
  if (remplaces) {
    std::swap(index, index_);
    std::swap(donnees, donnees_);
  }
#endif
  // The old files, or the new ones that did not take their place (closed before they go, as
  // Windows removes no open file).
  if (index) std::fclose(index);
  if (donnees) std::fclose(donnees);
  if (!remplaces) {
    if (!nomDonnees.empty()) fs::remove(nomDonnees, erreur);
    if (!nomIndex.empty()) fs::remove(nomIndex, erreur);
  }
#if defined(_WIN32)
  if (!index_) {
    // The new files, or the old ones closed for a replacement that failed.
    std::string pourquoi;
    index_ = Ouvrir(dossier / "thumbnails.index", false, pourquoi);
    donnees_ = Ouvrir(dossier / "thumbnails.data", false, pourquoi);
  }
#endif
  if (!index_ || !donnees_) {
    ecriture_ = false;
    entrees_.clear();
  } else if (remplaces) {
    entrees_ = std::move(nouvelles);
    finDonnees_ = finDonnees;
    finIndex_ = finIndex;
    octetsUtilises_ = 0;
    for (const auto& [empreinte, e] : entrees_)
      if (e.usage != 0) octetsUtilises_ += e.longueur;
  }
  compactageEnCours_ = false;
  compactageFini_.notify_all();
}

std::optional<Canvas> CacheVignettes::lire(const Cle& cle) {
  std::unique_lock verrou(verrou_);
  attendrePret(verrou);
  if (!donnees_) return std::nullopt;
  const auto trouvee = entrees_.find(Empreinte(cle.chemin));
  if (trouvee == entrees_.end()) return std::nullopt;
  Entree& e = trouvee->second;
  if (e.taille != cle.taille || e.modification != cle.modification ||
      e.largeurEcran != cle.largeurEcran || e.hauteurEcran != cle.hauteurEcran)
    return std::nullopt;
  auto cellule = lireCellule(cle, e);
  if (cellule) marquer(e);
  return cellule;
}

std::optional<Canvas> CacheVignettes::lireCellule(const Cle& cle, const Entree& e) {
  std::vector<std::uint8_t> record(e.longueur);
  if (!LireA(donnees_, e.position, record.data(), record.size()) ||
      Controle(record.data(), record.size()) != e.controle || record.size() < kTailleCle)
    return std::nullopt;
  // The key inside the record must be this picture's: two paths may share a digest.
  const std::uint8_t* p = record.data();
  if (Prendre(p, 8) != SecondeEmpreinte(cle.chemin) || Prendre(p + 8, 8) != cle.taille ||
      static_cast<std::int64_t>(Prendre(p + 16, 8)) != cle.modification ||
      Prendre(p + 24, 2) != static_cast<std::uint16_t>(cle.largeurEcran) ||
      Prendre(p + 26, 2) != static_cast<std::uint16_t>(cle.hauteurEcran))
    return std::nullopt;
  return DecompresserCellule(p + kTailleCle, record.size() - kTailleCle);
}

void CacheVignettes::ecrire(const Cle& cle, const Canvas& cellule) {
  if (cellule.Width() != kLargeur || cellule.Height() != kHauteur) return;
  const std::vector<std::uint8_t> record = RecordDonnees(cle, cellule);
  std::unique_lock verrou(verrou_);
  attendrePret(verrou);
  if (!ecriture_ || record.empty()) return;
  if (finDonnees_ + record.size() > tailleMax_) {
    // Full: room is made when an eighth of the data at least is dead or not in use in this
    // run. Otherwise what is kept stays as it is, and this picture is decoded at the next start
    // too: a library larger than the bound keeps the same part of itself.
    if (finDonnees_ - std::min(finDonnees_, octetsUtilises_) >= tailleMax_ / 8) lancerCompactage();
    return;
  }
  Entree e{cle.taille, cle.modification, static_cast<std::uint16_t>(cle.largeurEcran),
           static_cast<std::uint16_t>(cle.hauteurEcran), finDonnees_,
           static_cast<std::uint32_t>(record.size()), Controle(record.data(), record.size())};
  const std::uint64_t empreinte = Empreinte(cle.chemin);
  const auto ligne = Ligne(empreinte, e);
  // The cell first: an index record never points at data that is not there.
  if (!EcrireA(donnees_, finDonnees_, record.data(), record.size()) ||
      !EcrireA(index_, finIndex_, ligne.data(), ligne.size())) {
    ecriture_ = false;
    return;
  }
  finDonnees_ += record.size();
  finIndex_ += kTailleRecord;
  Entree& place = entrees_[empreinte];
  if (place.usage != 0) octetsUtilises_ -= place.longueur;
  place = e;
  marquer(place);
}

std::optional<CacheVignettes::Cle> CacheVignettes::CleDe(const std::string& chemin, int largeurEcran,
                                                         int hauteurEcran) {
#if defined(_WIN32)
  std::error_code erreur;
  const auto taille = fs::file_size(CheminSysteme(chemin), erreur);
  if (erreur) return std::nullopt;
  const auto heure = fs::last_write_time(CheminSysteme(chemin), erreur);
  if (erreur) return std::nullopt;
  return Cle{chemin, taille,
             std::chrono::duration_cast<std::chrono::nanoseconds>(heure.time_since_epoch()).count(),
             largeurEcran, hauteurEcran};
#else
  struct stat etat {};
  if (::stat(chemin.c_str(), &etat) != 0 || !S_ISREG(etat.st_mode)) return std::nullopt;
  return Cle{chemin, static_cast<std::uint64_t>(etat.st_size),
             static_cast<std::int64_t>(etat.st_mtim.tv_sec) * 1'000'000'000 + etat.st_mtim.tv_nsec,
             largeurEcran, hauteurEcran};
#endif
}
