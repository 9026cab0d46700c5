#pragma once

#include <optional>
#include <string>

namespace platform::win32 {

// A date and time as the regional settings write it, without a time zone.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The designators of the morning and the afternoon ("AM", "PM"; empty in many locales).
struct Designators {
  std::string am;
  std::string pm;
};

// Reads `text` as written with a date picture (the short date format, "dd/MM/yyyy"), followed,
// when `timePicture` is not empty, by an optional space and time written with the time
// picture ("HH:mm:ss", "h:mm:ss tt"). A missing time reads as midnight. Pictures use the
// regional settings' letters: d, dd, M, MM, y, yy, yyyy, h, hh, H, HH, m, mm, s, ss, t, tt,
// and 'quoted' literal text; names of days and months cannot be read back and fail. Nothing
// when the text does not follow the pictures or names no real date.
std::optional<LocalTime> ParseWithPictures(const std::string& text, const std::string& datePicture,
                                           const std::string& timePicture,
                                           const Designators& designators);

}  // namespace platform::win32
