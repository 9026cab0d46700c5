#pragma once

#include <cstdint>

// One colour of a palette or of the drawing surface, 8 bits per channel.
struct Color {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;

  friend constexpr bool operator==(const Color&, const Color&) = default;
};

// A rectangle in pixels: left and top inside, right and bottom outside.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  constexpr int Width() const { return right - left; }
  constexpr int Height() const { return bottom - top; }
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};
