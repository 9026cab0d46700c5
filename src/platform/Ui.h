#pragma once

#include <string>

namespace platform {

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct Size {
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const Size&, const Size&) = default;
};

// The primary screen. Its geometry and work area are in the units windows and menus are
// placed in, which a scaled (HiDPI) screen makes larger than its pixels.
class Screen {
 public:
  virtual ~Screen() = default;
  virtual Rect geometry() = 0;
  virtual Rect workArea() = 0;
  // Its size in device pixels, which the wallpaper is made for: 1920 x 1080 for a screen of
  // that many pixels scaled to 200 %, whose geometry is 960 x 540.
  virtual Size pixelSize() {
    const Rect r = geometry();
    return {r.width, r.height};
  }
};

// Lets pending window messages run once, from inside a long loop.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void processPendingEvents() = 0;
  // Lets events run, first waiting for one when none is pending; wakeUp ends the wait.
  virtual void waitForEvents() = 0;
  // Ends a waitForEvents, now or the next one; may be called from any thread.
  virtual void wakeUp() = 0;
};

// The application's default error handler: shows the message text to the user.
class ErrorHandler {
 public:
  virtual ~ErrorHandler() = default;
  virtual void showError(const std::string& message) = 0;
};

// The desktop shell: opening files, folders and addresses with their associated
// application, the clipboard and the default beep. Results are not reported.
class Shell {
 public:
  virtual ~Shell() = default;
  virtual void open(const std::string& pathOrUrl) = 0;
  virtual void setClipboardText(const std::string& text) = 0;
  virtual void beep() = 0;
};

}  // namespace platform
