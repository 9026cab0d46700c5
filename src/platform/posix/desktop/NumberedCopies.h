#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::posix {

// Whether a file name (without its folder) is one of the copies below: "Verrelune-<n>.png",
// <n> a decimal number without leading zeros, or "Verrelune-a.png" and "Verrelune-b.png",
// which earlier versions used in turn.
bool isPictureCopyName(std::string_view name);

// The picture published for desktops as a PNG beside the bitmap, under a new name at every
// change: Verrelune-1.png, Verrelune-2.png, ... (one above the highest number in the folder).
// GNOME keeps the pictures it has loaded by file name and Plasma and LXQt ignore a path they
// already show, so a name is never given twice.
//
// The copy the desktop shows must stay until its setting names another one (GNOME blanks the
// screen when its file goes), and the desktop has been pointed at the copy published last
// ever since the change before. So each publication first removes every copy but that one,
// then writes the new copy under a temporary name and renames it into place: the folder never
// holds more than two, and the name handed to the desktop is always a complete file. Only
// regular files of the user's own with exactly the names above are removed; links and
// anything else stay.
class NumberedCopies {
 public:
  // Writes the next copy of the bitmap and returns its path; nothing when the bitmap cannot be
  // read (then nothing is removed) or the copy cannot be written (`error` says why). The copy
  // the desktop shows stays in every case.
  std::optional<std::string> publish(const std::string& bmpPath, std::string& error);

 private:
  // The copy published last, once this object has published in that folder. Before that, the
  // folder decides: the highest-numbered copy, unless a copy of an earlier version was written
  // after it (the newer of the two).
  std::string lastFolder_;
  std::string lastName_;
  std::uint64_t lastNumber_ = 0;
};

}  // namespace platform::posix
