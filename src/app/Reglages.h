#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Locale.h"
#include "platform/Registry.h"
#include "wallpaper/AccesReglages.h"

// The settings store: the program's values under SOFTWARE\Verrelune, the autostart entry and
// the look-up of the user's shell folders. Each routine opens the key it needs for its one job
// and closes it again; nothing is kept between calls.
//
// Read routines never fail for a missing, mistyped, empty or unreadable value: they store the
// default in its place and return it. Only that write-back can throw, as every write routine
// can: ERegistryException with the value's name.
class Reglages : public AccesReglages {
 public:
  Reglages(platform::Registry& registre, platform::Locale& locale, std::string cheminProgramme);

  std::string LireChaine(const std::string& nom, const std::string& defaut) override;
  bool LireBooleen(const std::string& nom, bool defaut);
  std::int32_t LireEntier(const std::string& nom, std::int32_t defaut);
  platform::DateTime LireDateHeure(const std::string& nom, platform::DateTime defaut) override;

  void EcrireChaine(const std::string& nom, const std::string& valeur) override;
  void EcrireBooleen(const std::string& nom, bool valeur);
  void EcrireEntier(const std::string& nom, std::int32_t valeur);
  void EcrireDateHeure(const std::string& nom, platform::DateTime valeur) override;

  // The Run value "Verrelune": the quoted program path and /background. Nothing when the Run
  // key does not open.
  void InscrireDemarrage();
  // A shell folder ("AppData", "My Pictures"); empty text when the key has no such value, the
  // name itself when the key or the value cannot be read. Never throws.
  std::string LireDossierShell(const std::string& nom);

 private:
  // SOFTWARE\Verrelune, created when missing; nullptr when it cannot be opened.
  std::unique_ptr<platform::RegistryKey> OuvrirCle();
  // The same, for a write: a key that cannot be opened is a failed write.
  std::unique_ptr<platform::RegistryKey> OuvrirClePourEcrire(const std::string& nom);
  std::optional<std::string> LireTexte(const std::string& nom);
  std::optional<std::uint32_t> LireNombre(const std::string& nom);

  platform::Registry& registre_;
  platform::Locale& locale_;
  std::string cheminProgramme_;
};
