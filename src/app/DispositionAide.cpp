#include "app/DispositionAide.h"

#include <algorithm>

namespace {

constexpr int kGauche = 24;
constexpr int kLargeur = 297;
constexpr std::array<int, 3> kHauts{32, 66, 100};
constexpr std::array<int, 3> kHauteurs{33, 33, 57};
constexpr int kHauteurGroupe = 161;
constexpr int kEspace = 6;
constexpr int kMargeBas = kHauteurGroupe - (100 + 57);

}  // namespace

DispositionAide DisposerAides(const std::array<int, 3>& hauteursNecessaires) {
  DispositionAide disposition;
  int bas = 0;
  for (std::size_t i = 0; i < kHauts.size(); ++i) {
    const int haut = std::max(kHauts[i], bas + 1);
    // A grown text keeps the few pixels of space below it that the texts have at their size.
    const int hauteur = hauteursNecessaires[i] > kHauteurs[i] ? hauteursNecessaires[i] + kEspace : kHauteurs[i];
    bas = haut + hauteur;
    disposition.textes[i] = Rect{kGauche, haut, kGauche + kLargeur, bas};
  }
  disposition.hauteurGroupe = std::max(kHauteurGroupe, bas + kMargeBas);
  return disposition;
}
