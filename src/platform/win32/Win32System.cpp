#include "platform/win32/Win32System.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

namespace platform::win32 {

Rect Win32Screen::geometry() {
  return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

// The program declares no DPI awareness: above 100 % the system scales what it is told, screen
// metrics included, while the desktop's own resolution stays that of the screen's pixels.
Size Win32Screen::pixelSize() {
  const Rect ecran = geometry();
  HDC dc = GetDC(nullptr);
  if (!dc) return {ecran.width, ecran.height};
  const int largeur = GetDeviceCaps(dc, DESKTOPHORZRES);
  const int hauteur = GetDeviceCaps(dc, DESKTOPVERTRES);
  ReleaseDC(nullptr, dc);
  if (largeur <= 0 || hauteur <= 0) return {ecran.width, ecran.height};
  return {largeur, hauteur};
}

Rect Win32Screen::workArea() {
  RECT zone{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &zone, 0)) return geometry();
  return {zone.left, zone.top, zone.right - zone.left, zone.bottom - zone.top};
}

void Win32Shell::open(const std::string& pathOrUrl) {
  ShellExecuteA(owner_ ? owner_() : nullptr, "open", pathOrUrl.c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

// The text goes on the clipboard as Unicode, converted from the program's code page, so that
// every program reads the same characters whatever its own code page.
void Win32Shell::setClipboardText(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) * sizeof(wchar_t));
  if (!memory) return;
  if (auto* target = static_cast<wchar_t*>(GlobalLock(memory))) {
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, target, length);
    GlobalUnlock(memory);
  }
  if (!OpenClipboard(owner_ ? owner_() : nullptr)) {
    GlobalFree(memory);
    return;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  CloseClipboard();
}

void Win32Shell::beep() { MessageBeep(0); }

void MessageBoxErrorHandler::showError(const std::string& message) {
  MessageBoxA(owner_ ? owner_() : nullptr, message.c_str(), "Verrelune", MB_OK | MB_ICONERROR);
}

std::string RunningProgramPath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

std::string LocalAppDataFolder() {
  char dossier[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, dossier))) return {};
  return dossier;
}

std::string FileNameOf(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

InstanceMutex::InstanceMutex(const std::string& name) {
  SetLastError(0);
  CreateMutexA(nullptr, FALSE, name.c_str());
  alreadyRunning_ = GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace platform::win32
