#include "ui/win32/Win32TrayIcon.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

void Win32TrayIcon::envoyer(DWORD operation, const platform::TrayIconRecord& record) {
  NOTIFYICONDATAA donnees{};
  donnees.cbSize = NOTIFYICONDATAA_V1_SIZE;
  donnees.hWnd = fenetre_;
  donnees.uID = record.id;
  donnees.uFlags = record.flags;
  donnees.uCallbackMessage = record.callbackMessage;
  donnees.hIcon = icone_;
  // The first version of the record has a 64-byte tip, ended by a zero byte.
  constexpr std::size_t kTailleInfoBulle = 64;
  std::memcpy(donnees.szTip, record.tip.data(), std::min(record.tip.size(), kTailleInfoBulle - 1));
  Shell_NotifyIconA(operation, &donnees);
}

void Win32TrayIcon::add(const platform::TrayIconRecord& record) { envoyer(NIM_ADD, record); }

void Win32TrayIcon::modify(const platform::TrayIconRecord& record) { envoyer(NIM_MODIFY, record); }

void Win32TrayIcon::remove(const platform::TrayIconRecord& record) { envoyer(NIM_DELETE, record); }
