#pragma once

#include <windows.h>

#include <map>

#include "platform/Timer.h"
#include "platform/Ui.h"

namespace platform::win32 {

class Win32TimerFactory;

// A timer of the user-interface thread on SetTimer. SetTimer takes at most 0x7FFFFFFF ms, so
// longer intervals run in several segments before the timer fires.
class Win32Timer : public Timer {
 public:
  Win32Timer(Win32TimerFactory& factory, UINT_PTR id);
  ~Win32Timer() override;
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;

  void setInterval(std::uint32_t milliseconds) override;
  std::uint32_t interval() const override { return interval_; }
  void setEnabled(bool enabled) override;
  bool enabled() const override { return enabled_; }

  // The message window's WM_TIMER for this timer.
  void elapsed();

 private:
  void restart();
  void startSegment();

  Win32TimerFactory& factory_;
  UINT_PTR id_;
  std::uint32_t interval_ = 0;
  std::uint64_t remaining_ = 0;
  bool enabled_ = false;
};

// Owns the message-only window whose WM_TIMER messages drive the timers.
class Win32TimerFactory : public TimerFactory {
 public:
  Win32TimerFactory();
  ~Win32TimerFactory() override;
  Win32TimerFactory(const Win32TimerFactory&) = delete;
  Win32TimerFactory& operator=(const Win32TimerFactory&) = delete;

  std::unique_ptr<Timer> createTimer() override;

  HWND window() const { return window_; }
  void forget(UINT_PTR id) { timers_.erase(id); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  UINT_PTR nextId_ = 1;
  std::map<UINT_PTR, Win32Timer*> timers_;
};

// Runs the pending messages of the user-interface thread from inside a long loop. A quit
// message met on the way is posted again for the main loop.
class Win32EventPump : public EventPump {
 public:
  Win32EventPump();
  ~Win32EventPump() override;
  Win32EventPump(const Win32EventPump&) = delete;
  Win32EventPump& operator=(const Win32EventPump&) = delete;
  void processPendingEvents() override;
  void waitForEvents() override;
  void wakeUp() override;

  // The window whose dialog keys (Tab, Enter, Escape) the pump lets it handle.
  void setDialogWindow(HWND window) { dialog_ = window; }
  // Handles one message as the main loop does; false for WM_QUIT.
  bool dispatch(MSG& message);

 private:
  // Set by wakeUp: it stays set until a wait takes it, so a wake-up that comes while a menu
  // or a message box runs its own loop is not lost.
  HANDLE reveil_;
  HWND dialog_ = nullptr;
};

}  // namespace platform::win32
