#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/TForm1.h"
#include "platform/MemoryRegistry.h"
#include "support/FakeLocale.h"
#include "support/Fakes.h"

namespace testsupport {

// Everything the window's logic works with, in memory, with an engine that only writes down
// what it is asked to do. `creerForm` makes the TForm1 under test.
struct EntourageFenetre {
  explicit EntourageFenetre(std::uint16_t langue = 0x0409) : locale(langue) {}

  ServicesPlateforme services() {
    return ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs, tray};
  }
  std::unique_ptr<TForm1> creerForm(const std::string& premierArgument = "",
                                    const std::string& programme = "/bin/verrelune") {
    return std::make_unique<TForm1>(vue, moteur, services(),
                                    ParametresLancement{programme, premierArgument});
  }

  platform::MemoryRegistry registre;
  FakeLocale locale;
  VirtualClock horloge;
  VirtualTimerFactory minuteries{horloge};
  FakeScreen ecran;
  RecordingShell shell;
  RecordingErrorHandler erreurs;
  RecordingTrayIcon tray;
  RecordingView vue;
  std::vector<std::string> journal;
  RecordingEngine moteur{journal};
};

}  // namespace testsupport
