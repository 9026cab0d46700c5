#pragma once

#include <chrono>

namespace platform {

using DateTime = std::chrono::system_clock::time_point;

// Wall-clock time. Tests use a virtual clock that only moves when told to.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime now() = 0;
};

}  // namespace platform
