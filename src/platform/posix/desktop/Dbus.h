#pragma once

#include <string>
#include <vector>

#include "platform/posix/desktop/CommandRunner.h"

namespace platform::posix {

// A call on the session bus with one string argument.
struct DbusStringCall {
  std::string destination;
  std::string objectPath;
  std::string interface;
  std::string method;
  std::string argument;
};

// The call as each D-Bus command-line tool takes it, in the order they are tried: dbus-send
// (part of every D-Bus installation), gdbus (GLib), qdbus (Qt).
std::vector<std::vector<std::string>> dbusCommandLines(const DbusStringCall& call);

// Makes the call with the first tool that can be started; the result of that tool (not
// started when none is installed).
CommandResult callDbus(CommandRunner& runner, const DbusStringCall& call);

}  // namespace platform::posix
