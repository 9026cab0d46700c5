#pragma once

#include <memory>

#include "app/Reglages.h"
#include "imaging/FileFormats.h"
#include "platform/MemoryRegistry.h"
#include "support/FakeFileSystem.h"
#include "support/FakeLocale.h"
#include "support/Fakes.h"
#include "wallpaper/EtatProgramme.h"
#include "wallpaper/MoteurWallpaper.h"

namespace testsupport {

// Everything the wallpaper engine works with, in memory: settings, a virtual clock and timers,
// a recording window and desktop, a described folder tree, and the picture kinds of the
// program in a registry of their own. A fixture makes its engine from `services()`.
struct Entourage {
  explicit Entourage(platform::DateTime debut = VirtualClock().now());

  ServicesMoteur services() { return services(fichiers); }
  ServicesMoteur services(platform::FileSystem& systemeFichiers) {
    return ServicesMoteur{vue, horloge, pompe, systemeFichiers, registre, ecran, bureau, texte, formats};
  }
  std::optional<platform::RegistryValue> valeur(const char* nom) const {
    return registre.value("SOFTWARE\\Verrelune", nom);
  }

  TFileFormatsList formats;
  platform::MemoryRegistry registre;
  FakeLocale locale;
  Reglages reglages{registre, locale, "/bin/verrelune"};
  VirtualClock horloge;
  VirtualTimerFactory minuteries{horloge};
  std::unique_ptr<platform::Timer> timer = minuteries.createTimer();
  RecordingView vue;
  CountingPump pompe;
  FakeFileSystem fichiers;
  FakeScreen ecran;
  RecordingDesktop bureau;
  BlockTextRenderer texte;
  EtatProgramme etat;
};

}  // namespace testsupport
