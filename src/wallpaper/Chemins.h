#pragma once

#include <filesystem>
#include <string>

// Paths are 8-bit byte strings; the folder separator is the platform's. Windows paths may
// begin with a drive ("D:").
#if defined(_WIN32)
inline constexpr char kSeparateur = '\\';
inline constexpr bool kLecteurs = true;
#else
inline constexpr char kSeparateur = '/';
inline constexpr bool kLecteurs = false;
#endif

// The path with one separator at its end (an empty path becomes a lone separator).
std::string AjouterSeparateurFinal(const std::string& chemin);
// The path without the separator at its end, if it has one.
std::string RetirerSeparateurFinal(const std::string& chemin);
// A path as the file system library takes it. The program's paths are 8-bit strings in the
// system's code page: any bytes on Linux, UTF-8 on Windows (the program's active code page),
// where the library would otherwise read them byte by byte as Latin-1.
std::filesystem::path CheminSysteme(const std::string& chemin);
// The drive at the start of a path ("D:"), empty when it has none or the platform has no drives.
std::string Lecteur(const std::string& chemin);
// The last part of the path, after its last separator.
std::string NomFichier(const std::string& chemin);

// How a picture is named in the picture list, the quick menu and the preview's hint: the file
// name without its extension...
std::string NomAffiche(const std::string& chemin);
// ...and the folder it lies in relative to the root, empty for a picture in the root itself.
std::string SousDossier(const std::string& chemin, const std::string& racine);

// Every occurrence of `motif` in `texte` removed, letters compared without regard to case.
std::string RetirerSansCasse(const std::string& texte, const std::string& motif);
