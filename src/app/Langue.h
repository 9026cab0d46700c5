#pragma once

#include <cstdint>
#include <string>

// The interface language, chosen once at start-up from the system's default language.
enum class LangueInterface : std::int32_t { Francais = 0, Anglais = 1 };

// French for the nine identifiers of French-speaking systems (France, Belgium, Canada,
// Switzerland, Luxembourg, Monaco, and Algeria, Morocco and Tunisia), English for every other.
LangueInterface LangueDepuisIdentifiant(std::uint16_t identifiantLangue);

// Every text of the window and menus that exists in both languages.
struct TextesLangue {
  const char* BtnFermer;
  const char* TabWallpaper;
  const char* GroupImages;
  const char* LabelBtnParcourir;
  const char* LabelComboWallpaper;
  const char* LabelPasDImages;
  const char* HintProgressBar1;
  const char* GroupMiseAJour;
  const char* CheckChgtDemarrage;
  const char* CheckChgtTousLes;
  const char* TabAide;
  const char* GroupAide;
  const char* LabelAide1;
  const char* LabelAide2;
  const char* LabelAide3;
  const char* MenuWallpaperComm;
  const char* MenuWallpaperOuvrirImage;
  const char* MenuWallpaperPrecedent;
  const char* MenuOuvrir;
  const char* MenuQuitter;
  const char* MenuMonitorCopierChemin;
  const char* MenuMonitorOpenFile;
  const char* MenuMonitorOpenDirectory;
  const char* TexteChanger;
  const char* TexteChoixDossier;
  const char* TexteErreur;
  const char* TexteInfoBulle;
};

const TextesLangue& TextesDe(LangueInterface langue);

// Texts that read the same in both languages.
inline constexpr const char* kTitreFenetre = "Verrelune";
inline constexpr const char* kNomProgramme = "Verrelune";
inline constexpr const char* kUnitesFreqTemps[4] = {"secondes", "minutes", "heures", "jours"};
inline constexpr const char* kCreditsAuteur = "Verrelune contributors - free software";
inline constexpr const char* kAdresseSite = "https://verrelune.example.org/";
