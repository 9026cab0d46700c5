#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// A repeating timer of the user-interface thread. The interval runs from 0 to 4,294,967,295 ms;
// a timer with interval 0 never fires, enabled or not. Enabling a disabled timer, or changing
// the interval of an enabled one, starts its countdown afresh.
class Timer {
 public:
  virtual ~Timer() = default;

  virtual void setInterval(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t interval() const = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool enabled() const = 0;

  void setOnTimer(std::function<void()> handler) { onTimer_ = std::move(handler); }

 protected:
  void fire() {
    if (onTimer_) onTimer_();
  }

 private:
  std::function<void()> onTimer_;
};

class TimerFactory {
 public:
  virtual ~TimerFactory() = default;
  virtual std::unique_ptr<Timer> createTimer() = 0;
};

}  // namespace platform
