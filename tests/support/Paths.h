#pragma once

#include <string>

namespace testsupport {

// Folder of the source tree and of the shared test pictures, fixed at build time.
inline std::string sourceDir() { return VERRELUNE_SOURCE_DIR; }
inline std::string corpusDir() { return VERRELUNE_CORPUS_DIR; }

}  // namespace testsupport
