#pragma once

#include <functional>
#include <string>

// True when a file name has a picture's extension: the part from its last dot, in lower case,
// is a leading part of one of .bmp .jpg .jpeg .gif .png .tiff .tif .tga .rle ("photo.Jpe" and
// "x." count, "archive.tar.gz" and "README" do not).
bool EstNomImage(const std::string& nomFichier);

// A folder path shortened to fit `largeurMax` pixels: its leading folders give way to "..." one
// by one (/home/me/Pictures/ becomes /.../me/Pictures/, /.../Pictures/, /.../, .../); the
// last part is never shortened, and a text that still does not fit is used as it is.
std::string CompacterChemin(const std::string& chemin, int largeurMax,
                            const std::function<int(const std::string&)>& largeur);

// The root folder as the folder button shows it.
std::string TexteBoutonDossier(const std::string& chemin, int largeurBouton,
                               const std::function<int(const std::string&)>& largeur);
