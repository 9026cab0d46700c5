#include "wallpaper/Catalogue.h"

#include "wallpaper/Chemins.h"

namespace {

constexpr const char* kExtensionsImages = ".bmp.jpg.jpeg.gif.png.tiff.tif.tga.rle";

// Drops the first folder of a directory part: "/a/b/" gives "/.../b/", "/.../b/" gives "/.../".
std::string CouperPremierDossier(std::string dossier) {
  const bool racine = !dossier.empty() && dossier.front() == kSeparateur;
  if (racine) dossier.erase(0, 1);
  if (dossier.rfind(std::string("...") + kSeparateur, 0) == 0) dossier.erase(0, 4);
  const auto separateur = dossier.find(kSeparateur);
  dossier = separateur == std::string::npos
                ? std::string()
                : std::string("...") + kSeparateur + dossier.substr(separateur + 1);
  return racine ? kSeparateur + dossier : dossier;
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
  const auto fin = chemin.rfind(kSeparateur);
  std::string dossier = fin == std::string::npos ? std::string() : chemin.substr(0, fin + 1);
  const std::string nom = fin == std::string::npos ? chemin : chemin.substr(fin + 1);
  const std::string etoile = kSeparateur + std::string("...") + kSeparateur;
  std::string resultat = chemin;
  while (!dossier.empty() && largeur(resultat) > largeurMax) {
    dossier = dossier == etoile ? std::string("...") + kSeparateur : CouperPremierDossier(dossier);
    resultat = dossier + nom;
  }
  return resultat;
}

std::string TexteBoutonDossier(const std::string& chemin, int largeurBouton,
                               const std::function<int(const std::string&)>& largeur) {
  return RetirerSeparateurFinal(CompacterChemin(chemin, largeurBouton - 5, largeur));
}
