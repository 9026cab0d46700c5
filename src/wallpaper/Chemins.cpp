#include "wallpaper/Chemins.h"

#include <cctype>

std::string AjouterSeparateurFinal(const std::string& chemin) {
  if (!chemin.empty() && chemin.back() == kSeparateur) return chemin;
  return chemin + kSeparateur;
}

std::string RetirerSeparateurFinal(const std::string& chemin) {
  if (!chemin.empty() && chemin.back() == kSeparateur) return chemin.substr(0, chemin.size() - 1);
  return chemin;
}

std::filesystem::path CheminSysteme(const std::string& chemin) {
#if defined(_WIN32)
  return std::filesystem::path(std::u8string(chemin.begin(), chemin.end()));
#else
  return std::filesystem::path(chemin);
#endif
}

std::string Lecteur(const std::string& chemin) {
  return kLecteurs && chemin.size() >= 2 && chemin[1] == ':' ? chemin.substr(0, 2) : std::string();
}

std::string NomFichier(const std::string& chemin) {
  const auto fin = chemin.rfind(kSeparateur);
  return fin == std::string::npos ? chemin : chemin.substr(fin + 1);
}

std::string NomAffiche(const std::string& chemin) {
  const std::string nom = NomFichier(chemin);
  const auto point = nom.rfind('.');
  return point == std::string::npos ? nom : nom.substr(0, point);
}

namespace {

char MinusculeAscii(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EgalSansCasse(const std::string& texte, std::size_t position, const std::string& motif) {
  for (std::size_t i = 0; i < motif.size(); ++i)
    if (MinusculeAscii(texte[position + i]) != MinusculeAscii(motif[i])) return false;
  return true;
}

}  // namespace

std::string RetirerSansCasse(const std::string& texte, const std::string& motif) {
  if (motif.empty()) return texte;
  std::string resultat;
  resultat.reserve(texte.size());
  std::size_t i = 0;
  while (i < texte.size()) {
    if (i + motif.size() <= texte.size() && EgalSansCasse(texte, i, motif)) {
      i += motif.size();
    } else {
      resultat += texte[i++];
    }
  }
  return resultat;
}

std::string SousDossier(const std::string& chemin, const std::string& racine) {
  std::string reste = RetirerSansCasse(chemin, NomFichier(chemin));
  reste = RetirerSansCasse(reste, AjouterSeparateurFinal(racine));
  return RetirerSeparateurFinal(reste);
}
