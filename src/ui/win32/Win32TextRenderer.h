#pragma once

#include <windows.h>

#include "imaging/TextRenderer.h"

// Text on a canvas with DrawTextA in the window's font: the canvas is copied into a GDI
// bitmap, the text drawn there, and the pixels copied back.
class Win32TextRenderer : public TextRenderer {
 public:
  explicit Win32TextRenderer(HFONT police) : police_(police) {}
  void DrawText(Canvas& canvas, const std::string& text, const Rect& rect, unsigned format,
                const TextStyle& style) override;
  int TextWidth(const std::string& text, const TextStyle& style) override;

 private:
  HFONT police_;
};

// The DrawTextA options of a text format.
UINT OptionsDrawText(unsigned format);
// The font with bold and underline added as the style asks; the caller deletes it.
HFONT PoliceAvecStyle(HFONT police, bool gras, bool souligne);
// Copies a canvas onto a device context with its top-left corner at (x, y).
void PeindreCanvas(HDC dc, int x, int y, const Canvas& canvas);
