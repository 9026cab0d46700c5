#include "wallpaper/Ajustement.h"

#include <algorithm>
#include <cstring>

const char* NomMode(ModeAjustement mode) {
  switch (mode) {
    case ModeAjustement::Center:
      return "Center";
    case ModeAjustement::Stretch:
      return "Stretch";
    case ModeAjustement::Reduce:
      return "Reduce";
  }
  return "Center";
}

ModeAjustement ChoisirMode(int w, int h, int sw, int sh) {
  if (w <= sw - 100 && h <= sh - 100) return ModeAjustement::Center;
  const long double ratio = static_cast<long double>(w) / h;
  const long double ecran = static_cast<long double>(sw) / sh;
  if (ecran - 0.14L < ratio && ratio < ecran + 0.14L) return ModeAjustement::Stretch;
  if (w > sw || h > sh) return ModeAjustement::Reduce;
  return ModeAjustement::Center;
}

Taille TailleReduite(int w, int h, int sw, int sh) {
  const auto produit = [](int a, int b, int c) {
    return static_cast<int>(static_cast<std::int64_t>(a) * b / c);
  };
  if (static_cast<long double>(w) / h > static_cast<long double>(sw) / sh)
    return {sw, produit(sw, h, w)};
  return {produit(sh, w, h), sh};
}

TBitmap CopieReduite(const TBitmap& source, Taille cible) {
  TBitmap resultat(PixelLayout::Bgr24, cible.largeur, cible.hauteur);
  const int sws = source.Width();
  const int shs = source.Height();
  if (sws <= 0 || shs <= 0 || cible.largeur <= 0 || cible.hauteur <= 0) return resultat;
  const double sy = static_cast<double>(cible.hauteur) / shs;
  const double sx = static_cast<double>(cible.largeur) / sws;

  // The source columns and weights are the same on every row.
  struct Colonne {
    int x0;
    int x1;
    double poids;
  };
  std::vector<Colonne> colonnes(static_cast<std::size_t>(cible.largeur));
  for (int x = 0; x < cible.largeur; ++x) {
    const double fx = x / sx;
    const int x0 = std::min(static_cast<int>(fx), sws - 1);
    colonnes[static_cast<std::size_t>(x)] = {x0, std::min(x0 + 1, sws - 1), fx - x0};
  }
  for (int y = 0; y < cible.hauteur; ++y) {
    const double fy = y / sy;
    const int y0 = std::min(static_cast<int>(fy), shs - 1);
    const int y1 = std::min(y0 + 1, shs - 1);
    const double py = fy - y0;
    const std::uint8_t* haut = source.ScanLine(y0).data();
    const std::uint8_t* bas = source.ScanLine(y1).data();
    std::uint8_t* sortie = resultat.ScanLine(y).data();
    for (const Colonne& c : colonnes) {
      const std::uint8_t* a = haut + 3 * c.x0;
      const std::uint8_t* b = haut + 3 * c.x1;
      const std::uint8_t* cc = bas + 3 * c.x0;
      const std::uint8_t* d = bas + 3 * c.x1;
      for (int k = 0; k < 3; ++k) {
        const auto dessus = static_cast<std::uint8_t>(c.poids * (b[k] - a[k]) + a[k]);
        const auto dessous = static_cast<std::uint8_t>(c.poids * (d[k] - cc[k]) + cc[k]);
        *sortie++ = static_cast<std::uint8_t>(py * (dessous - dessus) + dessus);
      }
    }
  }
  return resultat;
}

TJPEGScale EchelleApercu(int w, int h) {
  if (w >= 700 || h >= 700) return TJPEGScale::Eighth;
  if (w >= 350 || h >= 350) return TJPEGScale::Quarter;
  if (w >= 175 || h >= 175) return TJPEGScale::Half;
  return TJPEGScale::FullSize;
}

Rect RectangleCentre(int gw, int gh, int sw, int sh, int cw, int ch) {
  if (static_cast<long double>(gw) / gh > static_cast<long double>(sw) / sh) {
    const int d = static_cast<int>(static_cast<std::int64_t>(cw) * gh / gw);
    const int haut = (ch - d) / 2;
    return {0, haut, cw, ch - haut};
  }
  const int d = static_cast<int>(static_cast<std::int64_t>(ch) * gw / gh);
  const int gauche = (cw - d) / 2;
  return {gauche, 0, cw - gauche, ch};
}
