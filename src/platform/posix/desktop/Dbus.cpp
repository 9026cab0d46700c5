#include "platform/posix/desktop/Dbus.h"

#include "platform/posix/desktop/Quoting.h"

namespace platform::posix {

std::vector<std::vector<std::string>> dbusCommandLines(const DbusStringCall& call) {
  const std::string member = call.interface + "." + call.method;
  return {
      // dbus-send takes everything after "string:" as it stands.
      {"dbus-send", "--session", "--print-reply", "--dest=" + call.destination, call.objectPath,
       member, "string:" + call.argument},
      // gdbus parses each argument as a GVariant text.
      {"gdbus", "call", "--session", "--dest", call.destination, "--object-path", call.objectPath,
       "--method", member, gvariantString(call.argument)},
      {"qdbus", call.destination, call.objectPath, member, call.argument},
  };
}

CommandResult callDbus(CommandRunner& runner, const DbusStringCall& call) {
  CommandResult result;
  for (const std::vector<std::string>& argv : dbusCommandLines(call)) {
    result = runner.run(argv);
    if (result.started) break;
  }
  return result;
}

}  // namespace platform::posix
