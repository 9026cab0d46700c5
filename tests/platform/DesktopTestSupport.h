#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/desktop/CommandRunner.h"

// Records every program the desktop code would run and answers with scripted results.
class RecordingRunner : public platform::posix::CommandRunner {
 public:
  using Argv = std::vector<std::string>;

  platform::posix::CommandResult run(const Argv& argv) override {
    runs.push_back(argv);
    return respond ? respond(argv) : succeeded("");
  }
  std::optional<pid_t> startBackground(const Argv& argv) override {
    started.push_back(argv);
    return nextPid++;
  }
  void stopBackground(pid_t process) override { stopped.push_back(process); }

  static platform::posix::CommandResult succeeded(std::string output) {
    platform::posix::CommandResult result;
    result.started = true;
    result.exitStatus = 0;
    result.output = std::move(output);
    return result;
  }
  static platform::posix::CommandResult exited(int status) {
    platform::posix::CommandResult result;
    result.started = true;
    result.exitStatus = status;
    return result;
  }
  static platform::posix::CommandResult notInstalled() { return {}; }

  std::function<platform::posix::CommandResult(const Argv&)> respond;
  std::vector<Argv> runs;
  std::vector<Argv> started;
  std::vector<pid_t> stopped;
  pid_t nextPid = 4000;
};

// A 24-bit bottom-up Windows bitmap, as the program writes one, of pixels given top row first
// as 0xRRGGBB.
inline std::string bitmap24(std::uint32_t width, std::uint32_t height,
                            const std::vector<std::uint32_t>& pixels) {
  const std::uint32_t rowBytes = (width * 3 + 3) / 4 * 4;
  const std::uint32_t dataBytes = rowBytes * height;
  std::string file(54 + dataBytes, '\0');
  auto put32 = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<std::uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  file[26] = 1;
  file[28] = 24;
  put32(34, dataBytes);
  for (std::uint32_t y = 0; y < height; ++y) {
    const std::size_t row = 54 + static_cast<std::size_t>(height - 1 - y) * rowBytes;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t colour = pixels[y * width + x];
      file[row + x * 3] = static_cast<char>(colour & 0xFF);
      file[row + x * 3 + 1] = static_cast<char>(colour >> 8 & 0xFF);
      file[row + x * 3 + 2] = static_cast<char>(colour >> 16 & 0xFF);
    }
  }
  return file;
}
