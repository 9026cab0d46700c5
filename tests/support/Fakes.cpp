#include "support/Fakes.h"

#include <algorithm>

namespace testsupport {

VirtualTimer::VirtualTimer(VirtualTimerFactory& owner) : owner_(owner) {
  owner_.timers.push_back(this);
}

VirtualTimer::~VirtualTimer() {
  auto& all = owner_.timers;
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void VirtualTimer::setInterval(std::uint32_t milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  restart();
}

void VirtualTimer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  restart();
}

void VirtualTimer::restart() { start_ = owner_.nowMs(); }

bool VirtualTimer::due(std::uint64_t& at) const {
  if (!enabled_ || interval_ == 0) return false;
  at = start_ + interval_;
  return true;
}

void VirtualTimer::fireNow() {
  ++fired;
  start_ = owner_.nowMs();
  fire();
}

std::unique_ptr<platform::Timer> VirtualTimerFactory::createTimer() {
  return std::make_unique<VirtualTimer>(*this);
}

void VirtualTimerFactory::advance(std::chrono::milliseconds by) {
  const std::uint64_t end = now_ + static_cast<std::uint64_t>(by.count());
  for (;;) {
    VirtualTimer* next = nullptr;
    std::uint64_t nextAt = 0;
    for (VirtualTimer* timer : timers) {
      std::uint64_t at = 0;
      if (timer->due(at) && at <= end && (!next || at < nextAt)) {
        next = timer;
        nextAt = at;
      }
    }
    if (!next) break;
    clock_.advance(std::chrono::milliseconds(nextAt - now_));
    now_ = nextAt;
    next->fireNow();
  }
  clock_.advance(std::chrono::milliseconds(end - now_));
  now_ = end;
}

}  // namespace testsupport
