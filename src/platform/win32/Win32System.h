#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/Clock.h"
#include "platform/Ui.h"

namespace platform::win32 {

class SystemClock : public Clock {
 public:
  DateTime now() override { return std::chrono::system_clock::now(); }
};

// The primary screen's size and its work area (the screen less the task bar), as the program
// sees them, and its size in pixels.
class Win32Screen : public Screen {
 public:
  Rect geometry() override;
  Rect workArea() override;
  Size pixelSize() override;
};

// ShellExecuteA "open", the clipboard's text and MessageBeep. `owner` gives the window that
// owns what the shell opens.
class Win32Shell : public Shell {
 public:
  explicit Win32Shell(std::function<HWND()> owner) : owner_(std::move(owner)) {}
  void open(const std::string& pathOrUrl) override;
  void setClipboardText(const std::string& text) override;
  void beep() override;

 private:
  std::function<HWND()> owner_;
};

// The application's default error handler: a message box with the text.
class MessageBoxErrorHandler : public ErrorHandler {
 public:
  explicit MessageBoxErrorHandler(std::function<HWND()> owner) : owner_(std::move(owner)) {}
  void showError(const std::string& message) override;

 private:
  std::function<HWND()> owner_;
};

// Full path of the running program file, as the system reports it.
std::string RunningProgramPath();
// The user's local (not roaming) application-data folder, empty when the system has none.
std::string LocalAppDataFolder();
// The last part of a path: what follows its last backslash or slash.
std::string FileNameOf(const std::string& path);

// The single-instance guard: a mutex named after the program file's name. It lives until the
// process ends.
class InstanceMutex {
 public:
  explicit InstanceMutex(const std::string& name);
  // True when another process had already made the mutex.
  bool alreadyRunning() const { return alreadyRunning_; }

 private:
  bool alreadyRunning_ = false;
};

}  // namespace platform::win32
