#include "app/Conversions.h"

#include <charconv>

std::int32_t StrToInt(const std::string& texte) {
  const char* debut = texte.data();
  const char* fin = texte.data() + texte.size();
  if (debut != fin && *debut == '+') ++debut;  // from_chars takes a minus sign only
  std::int32_t valeur = 0;
  const auto [arret, erreur] = std::from_chars(debut, fin, valeur);
  if (debut == fin || erreur != std::errc{} || arret != fin || *debut == '+')
    throw EConvertError("'" + texte + "' n'est pas une valeur entière correcte");
  return valeur;
}
