#pragma once

#include <windows.h>

#include "platform/TrayIcon.h"

// The notification-area icon through Shell_NotifyIconA, with the record in its first, 88-byte
// layout. Its events come to `fenetre` as the record's callback message.
class Win32TrayIcon : public platform::TrayIcon {
 public:
  Win32TrayIcon(HWND fenetre, HICON icone) : fenetre_(fenetre), icone_(icone) {}
  void add(const platform::TrayIconRecord& record) override;
  void modify(const platform::TrayIconRecord& record) override;
  void remove(const platform::TrayIconRecord& record) override;

 private:
  void envoyer(DWORD operation, const platform::TrayIconRecord& record);

  HWND fenetre_;
  HICON icone_;
};
