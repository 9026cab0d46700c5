#pragma once

#include <QApplication>
#include <cstdlib>

// The one QApplication of the window tests, made on first use; without an X server the
// windows are made off screen.
inline QApplication& Application() {
  static int argc = 1;
  static char nom[] = "test_ui";
  static char* argv[] = {nom, nullptr};
  if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QApplication* application = [] {
    auto* a = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return a;
  }();
  return *application;
}
