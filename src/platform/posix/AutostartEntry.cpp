#include "platform/posix/AutostartEntry.h"

#include <string_view>
#include <vector>

namespace platform::posix {

namespace {

// Characters that must not appear outside a quoted argument of an Exec key.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

// The program path and the switches of a command line. The path is quoted with no escaping
// inside the quotes, so it ends at the last double quote that ends the line or is followed by
// a space; a path may itself hold double quotes.
std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> arguments;
  std::size_t rest;
  if (!commandLine.empty() && commandLine[0] == '"') {
    std::size_t close = std::string::npos;
    for (std::size_t i = commandLine.size(); i-- > 1;) {
      if (commandLine[i] == '"' && (i + 1 == commandLine.size() || commandLine[i + 1] == ' ')) {
        close = i;
        break;
      }
    }
    if (close == std::string::npos) return {commandLine.substr(1)};
    arguments.push_back(commandLine.substr(1, close - 1));
    rest = close + 1;
  } else {
    rest = commandLine.find(' ');
    arguments.push_back(commandLine.substr(0, rest));
  }
  // Every single space separates two arguments, so the line comes back exactly.
  while (rest != std::string::npos && rest < commandLine.size()) {
    const std::size_t next = commandLine.find(' ', rest + 1);
    arguments.push_back(commandLine.substr(rest + 1, next == std::string::npos
                                                         ? std::string::npos
                                                         : next - rest - 1));
    rest = next;
  }
  return arguments;
}

// One argument as the Exec key's quoting wants it, before the escapes of a string value.
std::string execArgument(const std::string& argument, bool alwaysQuote) {
  const bool quote = alwaysQuote || argument.empty() ||
                     argument.find_first_of(kReserved) != std::string::npos;
  std::string result = quote ? "\"" : "";
  for (char c : argument) {
    if (c == '%') {
      result += "%%";  // a lone % would start a field code
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) result += '\\';
    result += c;
  }
  if (quote) result += '"';
  return result;
}

// The escapes every string value of a desktop entry uses; applied after the Exec quoting, so
// a backslash inside a quoted argument ends up as four.
std::string escapeStringValue(const std::string& value) {
  std::string result;
  for (char c : value) {
    switch (c) {
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\t': result += "\\t"; break;
      case '\r': result += "\\r"; break;
      default: result += c;
    }
  }
  return result;
}

// A value's leading spaces would be taken for the space around its "=": the first becomes \s.
std::string escapeLeadingSpace(std::string value) {
  if (!value.empty() && value[0] == ' ') value.replace(0, 1, "\\s");
  return value;
}

std::string unescapeStringValue(std::string_view value) {
  std::string result;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      result += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's': result += ' '; break;
      case 'n': result += '\n'; break;
      case 't': result += '\t'; break;
      case 'r': result += '\r'; break;
      case '\\': result += '\\'; break;
      default:
        result += '\\';
        result += value[i];
    }
  }
  return result;
}

// "%%" is a percent sign; the other field codes expand to nothing for an entry started
// without files or addresses.
std::string expandFieldCodes(const std::string& argument) {
  std::string result;
  for (std::size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] != '%') {
      result += argument[i];
    } else if (i + 1 < argument.size()) {
      if (argument[++i] == '%') result += '%';
    }
  }
  return result;
}

std::vector<std::string> splitExec(const std::string& exec) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (i < exec.size()) {
    if (exec[i] == ' ' || exec[i] == '\t') {
      ++i;
      continue;
    }
    std::string argument;
    if (exec[i] == '"') {
      for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        argument += exec[i];
      }
      ++i;
    } else {
      for (; i < exec.size() && exec[i] != ' ' && exec[i] != '\t'; ++i) argument += exec[i];
    }
    arguments.push_back(expandFieldCodes(argument));
  }
  return arguments;
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string autostartEntryFor(const std::string& commandLine) {
  const std::vector<std::string> arguments = splitCommandLine(commandLine);
  std::string exec;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) exec += ' ';
    exec += execArgument(arguments[i], i == 0);
  }
  // Bytes that are not UTF-8 have no escape in a desktop entry; they are written as they are,
  // which launchers that pass the path through unchanged accept. TryExec names the program file
  // itself (no Exec quoting): once the program is removed, the session skips the entry at log-in
  // instead of failing to start it.
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Verrelune\n"
         "Exec=" + escapeStringValue(exec) + "\n"
         "TryExec=" + escapeLeadingSpace(escapeStringValue(arguments[0])) + "\n"
         "Icon=verrelune\n"
         "X-GNOME-Autostart-enabled=true\n";
}

std::optional<std::string> commandLineOfAutostartEntry(const std::string& entry) {
  bool inMainGroup = false;
  std::size_t start = 0;
  while (start < entry.size()) {
    std::size_t end = entry.find('\n', start);
    if (end == std::string::npos) end = entry.size();
    std::string_view line = std::string_view(entry).substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line[0] == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inMainGroup || equals == std::string_view::npos) continue;
    if (trimmed(line.substr(0, equals)) != "Exec") continue;

    const std::vector<std::string> arguments =
        splitExec(unescapeStringValue(trimmed(line.substr(equals + 1))));
    if (arguments.empty()) return std::string();
    std::string commandLine = "\"" + arguments[0] + "\"";
    for (std::size_t i = 1; i < arguments.size(); ++i) commandLine += " " + arguments[i];
    return commandLine;
  }
  return std::nullopt;
}

}  // namespace platform::posix
