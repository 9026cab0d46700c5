#pragma once

#include <string>
#include <vector>

#include "platform/posix/XdgDirs.h"

namespace platform::posix {

// The files the program replaces through temporary files under names fixed in advance: the
// settings file and the autostart entry (where the user's links lead), the wallpaper bitmap,
// the thumbnail cache's files.
std::vector<std::string> filesReplacedByTheProgram(const XdgDirs& dirs);

// Removes what runs killed while writing left of the temporary files of `targets`, in each
// target's folder. Only the names the program makes for them (base/TemporaryName.h; the form
// without a process id and the fixed "<name>.tmp" of older versions), only regular files of
// the user's own, and only when their writer is gone (the process id in the name is no running
// process) or they are older than a minute. What cannot be removed is left for the next start.
void removeStaleTemporaryFilesOf(const std::vector<std::string>& targets);

// The same for every file the program replaces, the desktop's picture copies (whose names
// change) included; called once at start-up.
void removeStaleTemporaryFiles(const XdgDirs& dirs);

}  // namespace platform::posix
