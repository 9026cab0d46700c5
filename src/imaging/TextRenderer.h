#pragma once

#include <string>

#include "imaging/Canvas.h"
#include "imaging/Color.h"

// Placement of a text in its rectangle. Combine with |.
enum TextFormat : unsigned {
  TextLeft = 0,
  TextCenter = 1u << 0,      // centred horizontally
  TextRight = 1u << 1,
  TextTop = 0,
  TextVCenter = 1u << 2,     // centred vertically (single line only)
  TextBottom = 1u << 3,      // aligned to the bottom (single line only)
  TextSingleLine = 1u << 4,
  TextWordBreak = 1u << 5,
  TextEndEllipsis = 1u << 6, // a text too wide is cut and ends with "..."
  TextNoPrefix = 1u << 7,    // "&" is drawn as it is instead of underlining the next letter
};

// Font and colour of a text.
struct TextStyle {
  Color color{0, 0, 0};
  bool bold = false;
  bool underline = false;
};

// Draws text onto a canvas. The toolkit layer implements it with its own fonts; the picture
// code and the wallpaper rules only call it.
class TextRenderer {
 public:
  virtual ~TextRenderer() = default;

  // Draws `text` (8-bit text in the program's code page) inside `rect`, clipped to it.
  virtual void DrawText(Canvas& canvas, const std::string& text, const Rect& rect, unsigned format,
                        const TextStyle& style) = 0;
  // Width in pixels of `text` on one line in `style`.
  virtual int TextWidth(const std::string& text, const TextStyle& style) = 0;
};
