#include "wallpaper/FichierBmp.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/Exception.h"
#include "wallpaper/Chemins.h"

namespace {

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

}  // namespace

std::string EnregistrerBmpTemporaire(const TBitmap& image, const std::string& chemin) {
  const std::string temporaire = chemin + ".tmp";
  {
    std::ofstream fichier(CheminSysteme(temporaire), std::ios::binary | std::ios::trunc);
    if (fichier) {
      const auto entetes = EnTetes(image);
      fichier.write(reinterpret_cast<const char*>(entetes.data()),
                    static_cast<std::streamsize>(entetes.size()));
      const auto octetsLigne = static_cast<std::streamsize>(
          RowStride(image.Layout(), static_cast<std::uint64_t>(image.Width())));
      for (int y = image.Height() - 1; y >= 0 && fichier; --y)
        fichier.write(reinterpret_cast<const char*>(image.ScanLine(y).data()), octetsLigne);
      fichier.flush();
    }
    if (!fichier) {
      std::error_code ignore;
      std::filesystem::remove(CheminSysteme(temporaire), ignore);
      throw Exception("Cannot write the wallpaper file " + chemin);
    }
  }
  return temporaire;
}

void EnregistrerBmp(const TBitmap& image, const std::string& chemin) {
  const std::string temporaire = EnregistrerBmpTemporaire(image, chemin);
  std::error_code erreur;
  std::filesystem::rename(CheminSysteme(temporaire), CheminSysteme(chemin), erreur);
  if (erreur) {
    std::filesystem::remove(CheminSysteme(temporaire), erreur);
    throw Exception("Cannot write the wallpaper file " + chemin);
  }
}
