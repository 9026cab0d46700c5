#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

// A file the program replaces is first written under a temporary name in the same folder, then
// renamed over it. The name is made from the target's: hidden and not ending in the target's
// extension (folder watchers that look for ".desktop" or ".reg" files never pick up a
// half-written one), with the writer's process id (a later start can tell a file whose writer
// is gone) and a random part (two writers never meet):
//
//   .registry.reg.tmp-4242-q7Zk3B
//
// The file is always created new and exclusive, so the random part only has to make a clash
// unlikely, and unpredictable for someone who would plant files in advance.

inline std::string temporaryNamePrefix(std::string_view targetName) {
  return "." + std::string(targetName) + ".tmp-";
}

inline constexpr std::size_t kTemporaryNameRandomChars = 6;

inline std::string temporaryNameFor(std::string_view targetName, long processId) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device source;
  std::uint64_t bits = (static_cast<std::uint64_t>(source()) << 32) | source();
  std::string name = temporaryNamePrefix(targetName) + std::to_string(processId) + "-";
  for (std::size_t i = 0; i < kTemporaryNameRandomChars; ++i) {
    name += kAlphabet[bits % kAlphabet.size()];
    bits /= kAlphabet.size();
  }
  return name;
}
