#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// Names of the outputs of the X server's first screen that show something ("HDMI-1", "eDP-1";
// "screen" on a virtual server), in RandR's order; empty without an X server or RandR. An empty
// display name means $DISPLAY.
std::vector<std::string> randrOutputNames(const std::string& displayName = {});

}  // namespace platform::posix
