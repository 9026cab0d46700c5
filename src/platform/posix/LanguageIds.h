#pragma once

#include <cstdint>
#include <string>

namespace platform::posix {

// The Windows language identifier of a POSIX locale name ("fr_CA.UTF-8" gives 0x0C0C).
// "C", "POSIX" and the empty name give 0x0409 (English, United States). A known language in a
// country the table does not list gives that language's main identifier ("de_IT" gives 0x0407,
// "fr_BF" 0x040C), so the language itself is never lost; a language the table does not know
// gives 0x0409.
std::uint16_t windowsLanguageId(const std::string& localeName);

}  // namespace platform::posix
