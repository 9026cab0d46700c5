#include "platform/win32/Win32Timers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using platform::win32::Win32EventPump;
using platform::win32::Win32TimerFactory;

// A wake-up from a thumbnail worker ends the window thread's wait, also when it comes before
// the wait begins.
TEST(PompeWin32, AWakeUpEndsTheWaitWhenEverItCame) {
  Win32EventPump pompe;
  pompe.wakeUp();
  auto debut = std::chrono::steady_clock::now();
  pompe.waitForEvents();
  EXPECT_LT(std::chrono::steady_clock::now() - debut, 1s);

  std::thread ouvrier([&pompe] {
    std::this_thread::sleep_for(50ms);
    pompe.wakeUp();
  });
  debut = std::chrono::steady_clock::now();
  pompe.waitForEvents();
  ouvrier.join();
  EXPECT_LT(std::chrono::steady_clock::now() - debut, 1s);
}

TEST(MinuteriesWin32, FireWhenEnabledAndNeverWithIntervalZero) {
  Win32EventPump pompe;
  Win32TimerFactory usine;
  auto rapide = usine.createTimer();
  auto muette = usine.createTimer();
  int tours = 0;
  int silences = 0;
  rapide->setOnTimer([&] {
    if (++tours == 3) rapide->setEnabled(false);
  });
  muette->setOnTimer([&] { ++silences; });
  rapide->setInterval(10);
  rapide->setEnabled(true);
  muette->setEnabled(true);
  const auto fin = std::chrono::steady_clock::now() + 2s;
  while (tours < 3 && std::chrono::steady_clock::now() < fin) {
    std::this_thread::sleep_for(5ms);
    pompe.processPendingEvents();
  }
  EXPECT_EQ(tours, 3);
  EXPECT_FALSE(rapide->enabled());
  EXPECT_EQ(silences, 0);
}

}  // namespace
