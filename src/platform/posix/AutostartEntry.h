#pragma once

#include <optional>
#include <string>

namespace platform::posix {

// The log-in autostart entry that stands for the program's Run value. The command line is the
// one the program registers: the program path in double quotes, a space and the switches
// ("\"/opt/verrelune/verrelune\" /background").

// The whole desktop entry file that starts `commandLine` at log-in, while its program file exists.
std::string autostartEntryFor(const std::string& commandLine);

// The command line back from a desktop entry file; nothing when it holds no Exec key.
std::optional<std::string> commandLineOfAutostartEntry(const std::string& entry);

}  // namespace platform::posix
