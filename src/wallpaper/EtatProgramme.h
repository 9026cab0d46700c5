#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/Timer.h"

// The program-wide state that the window and the wallpaper engine share. It lives as long as
// the program; the window's controls that hold settings are part of it.
struct EtatProgramme {
  std::string DossierDonnees;    // the program's per-user data folder, ending in a separator
  std::string DossierMesImages;  // the user's pictures folder, ending in a separator
  std::string RepertoireRacine;  // root folder of the catalogue
  std::string FichierWallpaper;  // the wallpaper bitmap the installer writes
  std::string VignettesFaites;   // markers "~i~" of the thumbnails already built
  bool ScanEnCours = false;
  std::vector<std::string> Historique;  // catalogue indices as decimal text, newest last
  std::int32_t PositionHistorique = 0;  // steps back from the newest history entry
  bool QuitterDemande = false;
  std::string TexteChoixDossier;
  std::string TexteErreur;
  std::string TexteChanger;
  std::string TexteInfoBulle;

  // The catalogue: full paths of the pictures in scan order; the picture list shows it.
  std::vector<std::string> Catalogue;

  // Full path of the catalogue picture the preview shows, empty when it shows none.
  std::string LabelCheminCompletDuFichier;

  // Live copies of the schedule controls.
  bool CheckChgtDemarrage = false;
  bool CheckChgtTousLes = false;
  std::string EditFreqDuree;
  int ComboFreqTemps = -1;  // -1: no unit selected

  std::mt19937 Aleatoire;  // seeded from the clock when the window is created
};
