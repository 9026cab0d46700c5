#pragma once

#include <chrono>

#include "platform/Clock.h"

namespace testsupport {

// A clock that stands still until the test moves it.
class VirtualClock : public platform::Clock {
 public:
  explicit VirtualClock(platform::DateTime start = platform::DateTime{std::chrono::hours(24 * 365 * 50)})
      : now_(start) {}

  platform::DateTime now() override { return now_; }
  void advance(std::chrono::milliseconds by) { now_ += by; }
  void set(platform::DateTime when) { now_ = when; }

 private:
  platform::DateTime now_;
};

}  // namespace testsupport
