#include "app/Reglages.h"

#include <exception>
#include <utility>

namespace {

constexpr const char* kValeurDemarrage = "Verrelune";

}  // namespace

Reglages::Reglages(platform::Registry& registre, platform::Locale& locale,
                   std::string cheminProgramme)
    : registre_(registre), locale_(locale), cheminProgramme_(std::move(cheminProgramme)) {}

std::unique_ptr<platform::RegistryKey> Reglages::OuvrirCle() {
  return registre_.openKey(platform::kCleProgramme, true);
}

std::unique_ptr<platform::RegistryKey> Reglages::OuvrirClePourEcrire(const std::string& nom) {
  auto cle = OuvrirCle();
  if (!cle) throw platform::ERegistryException(nom);
  return cle;
}

// Any failure on the way to a value (key not available, value of another type, the store
// failing to read) counts as a missing value for the read routines.
std::optional<std::string> Reglages::LireTexte(const std::string& nom) {
  try {
    if (auto cle = OuvrirCle()) return cle->readText(nom);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<std::uint32_t> Reglages::LireNombre(const std::string& nom) {
  try {
    if (auto cle = OuvrirCle()) return cle->readDword(nom);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::string Reglages::LireChaine(const std::string& nom, const std::string& defaut) {
  const std::string lu = LireTexte(nom).value_or(std::string());
  // An empty stored text is a missing one: it is replaced by the default.
  if (!lu.empty()) return lu;
  EcrireChaine(nom, defaut);
  return defaut;
}

bool Reglages::LireBooleen(const std::string& nom, bool defaut) {
  if (const auto lu = LireNombre(nom)) return *lu != 0;
  EcrireBooleen(nom, defaut);
  return defaut;
}

std::int32_t Reglages::LireEntier(const std::string& nom, std::int32_t defaut) {
  if (const auto lu = LireNombre(nom)) return static_cast<std::int32_t>(*lu);
  EcrireEntier(nom, defaut);
  return defaut;
}

platform::DateTime Reglages::LireDateHeure(const std::string& nom, platform::DateTime defaut) {
  if (const auto texte = LireTexte(nom); texte && !texte->empty()) {
    if (const auto date = locale_.parseDateTime(*texte)) return *date;
  }
  EcrireDateHeure(nom, defaut);
  return defaut;
}

void Reglages::EcrireChaine(const std::string& nom, const std::string& valeur) {
  OuvrirClePourEcrire(nom)->writeText(nom, valeur);
}

void Reglages::EcrireBooleen(const std::string& nom, bool valeur) {
  OuvrirClePourEcrire(nom)->writeDword(nom, valeur ? 1 : 0);
}

void Reglages::EcrireEntier(const std::string& nom, std::int32_t valeur) {
  OuvrirClePourEcrire(nom)->writeDword(nom, static_cast<std::uint32_t>(valeur));
}

void Reglages::EcrireDateHeure(const std::string& nom, platform::DateTime valeur) {
  EcrireChaine(nom, locale_.formatDateTime(valeur));
}

void Reglages::InscrireDemarrage() {
  auto cle = registre_.openKey(platform::kCleDemarrage, false);
  if (!cle) return;
  cle->writeText(kValeurDemarrage, "\"" + cheminProgramme_ + "\" /background");
}

std::string Reglages::LireDossierShell(const std::string& nom) {
  try {
    auto cle = registre_.openKey(platform::kCleDossiersShell, false);
    if (!cle) return nom;
    if (auto texte = cle->readText(nom)) return *texte;
    // A value of another type cannot be read as a folder: that is a failed look-up, unlike a
    // missing value, which reads as empty text.
    if (cle->readDword(nom)) return nom;
    return std::string();
  } catch (const std::exception&) {
    return nom;
  }
}
