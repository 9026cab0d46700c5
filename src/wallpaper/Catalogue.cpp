#include "wallpaper/Catalogue.h"

#include <vector>

#include "wallpaper/Chemins.h"

namespace {

constexpr const char* kExtensionsImages = ".bmp.jpg.jpeg.gif.png.tiff.tif.tga.rle";

// The folder part with its first `coupes` folders given way to "...", as the cuts one by one
// make it: "/a/b/c/" cut once is "/.../b/c/", cut three times "/.../", then ".../", then "".
// Built from the end, so its cost is the length of what it keeps.
std::string DossierCoupe(const std::string& dossier, const std::vector<std::size_t>& debuts,
                         std::size_t coupes) {
  const std::size_t nombre = debuts.size();  // folders after the leading separator, if any
  const bool racine = !dossier.empty() && dossier.front() == kSeparateur;
  const std::string points = std::string("...") + kSeparateur;
  if (coupes == 0) return dossier;
  if (coupes <= nombre) {
    const std::string reste = coupes < nombre ? dossier.substr(debuts[coupes]) : std::string();
    return (racine ? std::string(1, kSeparateur) : std::string()) + points + reste;
  }
  // Past the last folder: a rooted path keeps ".../" one step longer.
  return racine && coupes == nombre + 1 ? points : std::string();
}

}  // namespace

bool EstNomImage(const std::string& nomFichier) {
  const auto point = nomFichier.rfind('.');
  if (point == std::string::npos) return false;
  std::string extension = nomFichier.substr(point);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return std::string(kExtensionsImages).find(extension) != std::string::npos;
}

std::string CompacterChemin(const std::string& chemin, int largeurMax,
                            const std::function<int(const std::string&)>& largeur) {
  // A drive stays in front of the folders until they have all given way ("D:\...\"); the
  // next cut drops it with the root ("...\").
  const std::string lecteur = Lecteur(chemin);
  const auto fin = chemin.rfind(kSeparateur);
  const std::string dossier =
      fin == std::string::npos || fin < lecteur.size() ? std::string()
                                                       : chemin.substr(lecteur.size(), fin + 1 - lecteur.size());
  const std::string nom = fin == std::string::npos ? chemin.substr(lecteur.size()) : chemin.substr(fin + 1);
  // Where each folder of the folder part begins.
  std::vector<std::size_t> debuts;
  const std::size_t premier = !dossier.empty() && dossier.front() == kSeparateur ? 1 : 0;
  for (std::size_t i = premier; i < dossier.size(); i = dossier.find(kSeparateur, i) + 1) debuts.push_back(i);
  const std::size_t dernier = dossier.empty() ? 0 : debuts.size() + premier + 1;
  if (dernier == 0 || largeur(chemin) <= largeurMax) return chemin;
  // From the first cut on, each cut makes the text shorter, so the fewest cuts that fit are
  // found from the shortest text upwards: besides the whole path, only texts about as wide as
  // the button are measured, however deep the path.
  const auto texte = [&](std::size_t coupes) {
    return (coupes <= debuts.size() ? lecteur : std::string()) + DossierCoupe(dossier, debuts, coupes) + nom;
  };
  std::size_t coupes = dernier;
  if (largeur(texte(coupes)) > largeurMax) return nom;
  while (coupes > 1 && largeur(texte(coupes - 1)) <= largeurMax) --coupes;
  return texte(coupes);
}

std::string TexteBoutonDossier(const std::string& chemin, int largeurBouton,
                               const std::function<int(const std::string&)>& largeur) {
  return RetirerSeparateurFinal(CompacterChemin(chemin, largeurBouton - 5, largeur));
}
