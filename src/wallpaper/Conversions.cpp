#include "wallpaper/Conversions.h"

#include <charconv>

std::int32_t StrToInt(const std::string& texte) {
  const char* debut = texte.data();
  const char* fin = texte.data() + texte.size();
  // from_chars takes a minus sign only; a plus sign must be followed by the digits.
  if (debut != fin && *debut == '+') {
    ++debut;
    if (debut != fin && *debut == '-') debut = fin;
  }
  std::int32_t valeur = 0;
  const auto [arret, erreur] = std::from_chars(debut, fin, valeur);
  if (debut == fin || erreur != std::errc{} || arret != fin)
    throw EConvertError("'" + texte + "' n'est pas une valeur entière correcte");
  return valeur;
}
