#include "platform/win32/Win32Timers.h"

#include <algorithm>

namespace platform::win32 {

namespace {

constexpr std::uint64_t kSegmentMaximal = 0x7FFFFFFF;
constexpr const char* kClasseMinuteries = "VerreluneTimers";

}  // namespace

Win32Timer::Win32Timer(Win32TimerFactory& factory, UINT_PTR id) : factory_(factory), id_(id) {}

Win32Timer::~Win32Timer() {
  KillTimer(factory_.window(), id_);
  factory_.forget(id_);
}

void Win32Timer::setInterval(std::uint32_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  restart();
}

void Win32Timer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  restart();
}

void Win32Timer::restart() {
  KillTimer(factory_.window(), id_);
  remaining_ = interval_;
  // A timer with interval 0 never fires.
  if (enabled_ && interval_ > 0) startSegment();
}

void Win32Timer::startSegment() {
  const std::uint64_t segment = std::min(remaining_, kSegmentMaximal);
  remaining_ -= segment;
  SetTimer(factory_.window(), id_, static_cast<UINT>(segment), nullptr);
}

void Win32Timer::elapsed() {
  KillTimer(factory_.window(), id_);
  if (!enabled_) return;
  if (remaining_ > 0) {
    startSegment();
    return;
  }
  // Re-arm first: the handler may change the interval or disable the timer.
  restart();
  fire();
}

Win32TimerFactory::Win32TimerFactory() {
  WNDCLASSA classe{};
  classe.lpfnWndProc = WindowProc;
  classe.hInstance = GetModuleHandleA(nullptr);
  classe.lpszClassName = kClasseMinuteries;
  RegisterClassA(&classe);
  window_ = CreateWindowExA(0, kClasseMinuteries, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            classe.hInstance, this);
}

Win32TimerFactory::~Win32TimerFactory() {
  if (window_) DestroyWindow(window_);
}

std::unique_ptr<Timer> Win32TimerFactory::createTimer() {
  const UINT_PTR id = nextId_++;
  auto timer = std::make_unique<Win32Timer>(*this, id);
  timers_[id] = timer.get();
  return timer;
}

LRESULT CALLBACK Win32TimerFactory::WindowProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  } else if (message == WM_TIMER) {
    auto* factory = reinterpret_cast<Win32TimerFactory*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (factory) {
      const auto found = factory->timers_.find(wParam);
      if (found != factory->timers_.end()) found->second->elapsed();
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

Win32EventPump::Win32EventPump() : reveil_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

Win32EventPump::~Win32EventPump() { CloseHandle(reveil_); }

bool Win32EventPump::dispatch(MSG& message) {
  if (message.message == WM_QUIT) return false;
  if (dialog_ && IsDialogMessageA(dialog_, &message)) return true;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void Win32EventPump::processPendingEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!dispatch(message)) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
  }
}

void Win32EventPump::waitForEvents() {
  MsgWaitForMultipleObjectsEx(1, &reveil_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  processPendingEvents();
}

void Win32EventPump::wakeUp() { SetEvent(reveil_); }

}  // namespace platform::win32
