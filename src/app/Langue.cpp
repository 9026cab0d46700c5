#include "app/Langue.h"

#include <algorithm>
#include <array>

LangueInterface LangueDepuisIdentifiant(std::uint16_t identifiantLangue) {
  static constexpr std::array<std::uint16_t, 9> kFrancophones = {
      0x040C, 0x080C, 0x0C0C, 0x100C, 0x140C, 0x180C, 0x1401, 0x1801, 0x1C01};
  return std::find(kFrancophones.begin(), kFrancophones.end(), identifiantLangue) !=
                 kFrancophones.end()
             ? LangueInterface::Francais
             : LangueInterface::Anglais;
}

namespace {

constexpr TextesLangue kFrancais = {
    "Fermer",
    "Configuration",
    "Images de fond d'écran",
    "Dossier des images :",
    "Liste des images :",
    "Le dossier ne contient pas d'images.",
    "Création des vignettes en cours...",
    "Mise à jour automatique",
    "Changer le fond d'écran au démarrage",
    "Changer le fond d'écran toutes les",
    "Aide",
    "Quelques explications ?",
    "Verrelune change l'image de fond d'écran de votre ordinateur à intervalle régulier, sans "
    "que vous ayez à vous en soucier.",
    "Il suffit juste d'indiquer au logiciel le dossier dans lequel il peut piocher des images de "
    "fond d'écran, et il s'occupe du reste.",
    "Une icone reste en permanence dans la barre de tâches. En cliquant avec le bouton gauche de "
    "la souris, vous changez le fond d'écran. Avec le bouton droit vous ouvrez le menu.",
    "Quelques images au hasard :",
    "Ouvrir le fond d'écran",
    "Fond d'écran précédent",
    "Ouvrir",
    "Quitter",
    "Copier le chemin de l'image dans le presse-papiers",
    "Ouvrir l'image",
    "Ouvrir le dossier de l'image",
    "Changer le fond d'écran",
    "Sélectionnez le dossier qui contient vos images de fond d'écran.",
    "Erreur",
    "Gestionnaire de fond d'écran",
};

constexpr TextesLangue kAnglais = {
    "Close",
    "Settings",
    "Wallpapers",
    "Pictures folder :",
    "Pictures list :",
    "Folder does not contain pictures.",
    "Creation of the miniatures in progress... ",
    "Automatic update",
    "Change wallpaper on startup",
    "Change wallpaper every",
    "Help",
    "Some explanations ?",
    "Verrelune changes the wallpaper of your computer with regular interval, without being "
    "concerned with it.",
    "It's just enough to indicate the file in which it can pick of wallpapers, and it deals with "
    "the remainder.",
    "An icon remains permanently in the system tray. While clicking with the left button of the "
    "mouse, you change the wallpaper. With the right button you open the menu.",
    "Some pictures randomly :",
    "Open wallpaper",
    "Previous wallpaper",
    "Open",
    "Quit",
    "Copy path to clipboard",
    "Open picture",
    "Open picture folder",
    "Change wallpaper now",
    "Select folder which contains your wallpapers.",
    "Error",
    "Manager of wallpaper",
};

}  // namespace

const TextesLangue& TextesDe(LangueInterface langue) {
  return langue == LangueInterface::Francais ? kFrancais : kAnglais;
}
