#include "support/FakeFileSystem.h"

#include <algorithm>

#include "wallpaper/Chemins.h"

namespace testsupport {

namespace {

// A folder's key: written with the platform's separator, which it ends with; tests may write
// folders with "/" everywhere.
std::string AvecSeparateur(std::string chemin) {
  std::replace(chemin.begin(), chemin.end(), '/', kSeparateur);
  return !chemin.empty() && chemin.back() == kSeparateur ? chemin : chemin + kSeparateur;
}

}  // namespace

// Every folder gets an identity of its own when it is first named.
platform::FolderListing& FakeFileSystem::dossier(const std::string& chemin) {
  auto [it, nouveau] = dossiers_.try_emplace(AvecSeparateur(chemin));
  if (nouveau) it->second.inode = dossiers_.size();
  return it->second;
}

void FakeFileSystem::ajouter(const std::string& parent, const std::string& nom) {
  auto& liste = dossier(parent);
  if (!nom.empty() && nom.back() == '/') {
    const std::string sousDossier = nom.substr(0, nom.size() - 1);
    liste.entries.push_back({sousDossier, platform::FolderEntry::Kind::Folder});
    dossier(AvecSeparateur(parent) + sousDossier);
  } else {
    liste.entries.push_back({nom, platform::FolderEntry::Kind::File});
  }
}

std::optional<platform::FolderListing> FakeFileSystem::listFolder(const std::string& path) {
  const std::string cle = AvecSeparateur(path);
  listes.push_back(cle);
  if (illisibles_.count(cle)) return std::nullopt;
  const auto it = dossiers_.find(cle);
  if (it != dossiers_.end()) return it->second;
  if (generateur) return generateur(cle);
  return std::nullopt;
}

bool FakeFileSystem::folderExists(const std::string& path) {
  return dossiers_.count(AvecSeparateur(path)) > 0 && !illisibles_.count(AvecSeparateur(path));
}

}  // namespace testsupport
