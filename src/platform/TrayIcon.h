#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The notification-area icon record the program fills once and sends with every operation.
struct TrayIconRecord {
  std::uint32_t id = 1;
  std::uint32_t flags = 7;  // callback message, icon and tip are valid
  std::uint32_t callbackMessage = 1124;
  std::string icon;         // name of the program's icon artwork
  std::string tip;          // at most 63 bytes, as the 64-byte field holds with its zero
};

// Results of these operations are not checked by the program.
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;
  virtual void add(const TrayIconRecord& record) = 0;
  virtual void modify(const TrayIconRecord& record) = 0;
  virtual void remove(const TrayIconRecord& record) = 0;
};

}  // namespace platform
