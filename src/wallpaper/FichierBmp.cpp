#include "wallpaper/FichierBmp.h"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/Exception.h"
#include "base/TemporaryName.h"
#include "wallpaper/Chemins.h"

namespace {

// A clash with an existing name is only possible by chance or by someone planting files.
constexpr int kEssaisNom = 100;
#if defined(_WIN32)
constexpr const char* kSeparateurs = "\\/";
#else
constexpr const char* kSeparateurs = "/";
#endif
// The desktop reads the file; nobody needs to write it but the program.
#if defined(_WIN32)
// Windows has no such modes; its calls under the POSIX names.
int OuvrirExclusif(const std::string& chemin) {
  return ::_wopen(CheminSysteme(chemin).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
int Ecrire(int descripteur, const std::uint8_t* octets, std::size_t taille) {
  return ::_write(descripteur, octets, static_cast<unsigned>(std::min<std::size_t>(taille, 1u << 30)));
}
bool Terminer(int descripteur) { return ::_commit(descripteur) == 0; }
int Fermer(int descripteur) { return ::_close(descripteur); }
void Effacer(const std::string& chemin) { ::_wunlink(CheminSysteme(chemin).c_str()); }
long Processus() { return ::_getpid(); }
#else
constexpr mode_t kModeFichier = 0644;
int OuvrirExclusif(const std::string& chemin) {
  return ::open(chemin.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}
ssize_t Ecrire(int descripteur, const std::uint8_t* octets, std::size_t taille) {
  return ::write(descripteur, octets, taille);
}
bool Terminer(int descripteur) { return ::fchmod(descripteur, kModeFichier) == 0 && ::fsync(descripteur) == 0; }
int Fermer(int descripteur) { return ::close(descripteur); }
void Effacer(const std::string& chemin) { ::unlink(chemin.c_str()); }
long Processus() { return static_cast<long>(::getpid()); }
#endif

void Ecrire16(std::vector<std::uint8_t>& o, std::uint32_t v) {
  o.push_back(static_cast<std::uint8_t>(v));
  o.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Ecrire32(std::vector<std::uint8_t>& o, std::uint32_t v) {
  Ecrire16(o, v & 0xFFFF);
  Ecrire16(o, v >> 16);
}

int BitsFichier(PixelLayout layout) {
  return layout == PixelLayout::Device ? 32 : BitsPerPixel(layout);
}

// The headers and colour table of the file; the rows follow.
std::vector<std::uint8_t> EnTetes(const TBitmap& image) {
  const PixelLayout layout = image.Layout();
  const int bits = BitsFichier(layout);
  const bool champs = layout == PixelLayout::Rgb16;
  const std::size_t couleurs = IsIndexed(layout) ? static_cast<std::size_t>(PaletteCapacity(layout)) : 0;
  const std::uint32_t debutPixels =
      14 + 40 + (champs ? 12 : 0) + static_cast<std::uint32_t>(4 * couleurs);
  const std::uint64_t tailleImage = RowStride(layout, static_cast<std::uint64_t>(image.Width())) *
                                    static_cast<std::uint64_t>(image.Height());

  std::vector<std::uint8_t> o;
  o.reserve(debutPixels);
  o.push_back('B');
  o.push_back('M');
  Ecrire32(o, static_cast<std::uint32_t>(std::min<std::uint64_t>(debutPixels + tailleImage, 0xFFFFFFFFu)));
  Ecrire32(o, 0);
  Ecrire32(o, debutPixels);
  Ecrire32(o, 40);
  Ecrire32(o, static_cast<std::uint32_t>(image.Width()));
  Ecrire32(o, static_cast<std::uint32_t>(image.Height()));  // positive: bottom-up rows
  Ecrire16(o, 1);
  Ecrire16(o, static_cast<std::uint32_t>(bits));
  Ecrire32(o, champs ? 3 : 0);  // BI_BITFIELDS or BI_RGB
  Ecrire32(o, static_cast<std::uint32_t>(std::min<std::uint64_t>(tailleImage, 0xFFFFFFFFu)));
  Ecrire32(o, 2835);  // 72 dots per inch
  Ecrire32(o, 2835);
  Ecrire32(o, static_cast<std::uint32_t>(couleurs));
  Ecrire32(o, 0);
  if (champs) {
    Ecrire32(o, 0xF800);
    Ecrire32(o, 0x07E0);
    Ecrire32(o, 0x001F);
  }
  const auto palette = image.Palette();
  for (std::size_t i = 0; i < couleurs; ++i) {
    const Color c = i < palette.size() ? palette[i] : Color{};
    o.push_back(c.blue);
    o.push_back(c.green);
    o.push_back(c.red);
    o.push_back(0);
  }
  return o;
}

// Creates the temporary file beside `chemin`: a new name, created exclusively so that nothing
// planted in the folder (a file, a link to another file) is ever written through, readable by
// the user only until it is complete. Returns the descriptor and sets `temporaire`; -1 when no
// file could be made.
int CreerTemporaire(const std::string& chemin, std::string& temporaire) {
  const std::size_t barre = chemin.find_last_of(kSeparateurs);
  const std::string dossier = barre == std::string::npos ? "" : chemin.substr(0, barre + 1);
  const std::string nom = barre == std::string::npos ? chemin : chemin.substr(barre + 1);
  for (int essai = 0; essai < kEssaisNom; ++essai) {
    temporaire = dossier + temporaryNameFor(nom, Processus());
    const int descripteur = OuvrirExclusif(temporaire);
    if (descripteur >= 0 || errno != EEXIST) return descripteur;
  }
  return -1;
}

// What the user reads when the wallpaper cannot be written: the value the change could not
// set, then the file and the system's reason ("No space left on device"), so that a full or
// read-only disk is told apart from a broken picture.
[[noreturn]] void EchecEcriture(const std::string& chemin, int erreur) {
  throw Exception("Echec à la définition des données pour 'Wallpaper'\n" + chemin + ": " +
                  std::strerror(erreur));
}

bool EcrireTout(int descripteur, const std::uint8_t* octets, std::size_t taille) {
  while (taille > 0) {
    const auto ecrits = Ecrire(descripteur, octets, taille);
    if (ecrits < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    octets += ecrits;
    taille -= static_cast<std::size_t>(ecrits);
  }
  return true;
}

}  // namespace

std::string EnregistrerBmpTemporaire(const TBitmap& image, const std::string& chemin) {
  std::string temporaire;
  const int descripteur = CreerTemporaire(chemin, temporaire);
  if (descripteur < 0) EchecEcriture(chemin, errno);
  const auto entetes = EnTetes(image);
  bool reussi = EcrireTout(descripteur, entetes.data(), entetes.size());
  const std::size_t octetsLigne =
      RowStride(image.Layout(), static_cast<std::uint64_t>(image.Width()));
  for (int y = image.Height() - 1; y >= 0 && reussi; --y)
    reussi = EcrireTout(descripteur, image.ScanLine(y).data(), octetsLigne);
  reussi = reussi && Terminer(descripteur);
  int erreur = reussi ? 0 : errno;
  if (Fermer(descripteur) != 0 && reussi) {
    reussi = false;
    erreur = errno;
  }
  if (!reussi) {
    Effacer(temporaire);
    EchecEcriture(chemin, erreur);
  }
  return temporaire;
}

void EnregistrerBmp(const TBitmap& image, const std::string& chemin) {
  const std::string temporaire = EnregistrerBmpTemporaire(image, chemin);
  std::error_code erreur;
  std::filesystem::rename(CheminSysteme(temporaire), CheminSysteme(chemin), erreur);
  if (erreur) {
    const int raison = erreur.value();
    std::filesystem::remove(CheminSysteme(temporaire), erreur);
    EchecEcriture(chemin, raison);
  }
}
