#pragma once

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/TForm1.h"
#include "platform/MemoryRegistry.h"
#include "support/FakeLocale.h"
#include "support/Fakes.h"
#include "ui/TestApplication.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtPlatform.h"

// The real window and tray icon, driven by TForm1 over an in-memory registry and a recording
// engine.
struct Programme {
  explicit Programme(std::uint16_t langue, const std::string& argument = "") : locale(langue) {
    form = std::make_unique<TForm1>(
        fenetre, moteur,
        ServicesPlateforme{registre, locale, horloge, minuteries, ecran, shell, erreurs, tray},
        ParametresLancement{"/usr/bin/verrelune", argument});
    fenetre.attacher(*form);
    form->FormCreate();
    if (fenetre.afficherAuDemarrage()) fenetre.afficherPremiereFois();
  }
  ~Programme() { form->FormDestroy(); }

  template <class T>
  T* controle(Controle c) {
    return qobject_cast<T*>(fenetre.controle(c));
  }

  QApplication& application = Application();  // before any widget
  platform::MemoryRegistry registre;
  testsupport::FakeLocale locale;
  testsupport::VirtualClock horloge;
  QtTimerFactory minuteries;
  QtScreen ecran;
  testsupport::RecordingShell shell;
  testsupport::RecordingErrorHandler erreurs;
  testsupport::RecordingTrayIcon tray;
  std::vector<std::string> journal;
  testsupport::RecordingEngine moteur{journal};
  MainWindow fenetre;
  std::unique_ptr<TForm1> form;
};
