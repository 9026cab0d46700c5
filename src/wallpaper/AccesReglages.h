#pragma once

#include <string>

#include "platform/Clock.h"

// The settings the wallpaper engine reads and writes; the program's settings store provides
// them. Reads fall back to the default and store it; writes throw when the value cannot be
// stored.
class AccesReglages {
 public:
  virtual ~AccesReglages() = default;
  virtual std::string LireChaine(const std::string& nom, const std::string& defaut) = 0;
  virtual void EcrireChaine(const std::string& nom, const std::string& valeur) = 0;
  virtual platform::DateTime LireDateHeure(const std::string& nom, platform::DateTime defaut) = 0;
  virtual void EcrireDateHeure(const std::string& nom, platform::DateTime valeur) = 0;
};
