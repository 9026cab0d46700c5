#include "platform/win32/Win32Locale.h"

#include <windows.h>

#include "platform/win32/DatePicture.h"

namespace platform::win32 {

namespace {

// FILETIME counts 100 ns steps from 1601; the system clock counts from 1970.
constexpr std::int64_t kEcartEpoques = 116444736000000000LL;

std::string LocaleText(LCTYPE what) {
  char buffer[128] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, what, buffer, sizeof buffer) == 0) return {};
  return buffer;
}

}  // namespace

std::uint16_t Win32Locale::systemLanguageId() { return GetSystemDefaultLangID(); }

std::string Win32Locale::formatDateTime(DateTime when) {
  const auto ticks =
      std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
          when.time_since_epoch())
          .count() +
      kEcartEpoques;
  FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
  SYSTEMTIME universel{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utc, &universel) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universel, &local))
    return {};
  char date[128] = {};
  if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date) == 0)
    return {};
  std::string text = date;
  if (local.wHour != 0 || local.wMinute != 0 || local.wSecond != 0) {
    char time[128] = {};
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, sizeof time) == 0) return {};
    text += ' ';
    text += time;
  }
  return text;
}

std::optional<DateTime> Win32Locale::parseDateTime(const std::string& text) {
  const auto lu = ParseWithPictures(text, LocaleText(LOCALE_SSHORTDATE), LocaleText(LOCALE_STIMEFORMAT),
                                    Designators{LocaleText(LOCALE_S1159), LocaleText(LOCALE_S2359)});
  if (!lu) return std::nullopt;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(lu->year);
  local.wMonth = static_cast<WORD>(lu->month);
  local.wDay = static_cast<WORD>(lu->day);
  local.wHour = static_cast<WORD>(lu->hour);
  local.wMinute = static_cast<WORD>(lu->minute);
  local.wSecond = static_cast<WORD>(lu->second);
  SYSTEMTIME universel{};
  FILETIME utc{};
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &universel) ||
      !SystemTimeToFileTime(&universel, &utc))
    return std::nullopt;
  const std::int64_t ticks =
      static_cast<std::int64_t>((std::uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime) -
      kEcartEpoques;
  return DateTime(std::chrono::duration_cast<DateTime::duration>(
      std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>(ticks)));
}

}  // namespace platform::win32
