#pragma once

#include <algorithm>
#include <string>

#include "wallpaper/Chemins.h"

namespace testsupport {

// Folder of the source tree and of the shared test pictures, fixed at build time.
inline std::string sourceDir() { return VERRELUNE_SOURCE_DIR; }
inline std::string corpusDir() { return VERRELUNE_CORPUS_DIR; }

// A path written with "/" in a test, with the platform's separator ("\" on Windows).
inline std::string Natif(std::string chemin) {
  std::replace(chemin.begin(), chemin.end(), '/', kSeparateur);
  return chemin;
}

}  // namespace testsupport
