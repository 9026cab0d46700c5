#pragma once

#include <windows.h>

#include <string>

#include "imaging/TextRenderer.h"

// Text on a canvas with DrawText in the window's font: the canvas is copied into a GDI
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

// Text drawing takes the program's 8-bit text (its code page: UTF-8) as UTF-16. The 8-bit
// drawing calls read their bytes in the code page of the display's font instead, which is the
// system's: "é" would come out as two wrong letters.
std::wstring EnUnicode(const std::string& texte);
// DrawText with the program's 8-bit text.
int DessinerTexte(HDC dc, const std::string& texte, RECT& zone, UINT options);
// Width and height of the text on one line in the font selected into `dc`.
SIZE TailleTexte(HDC dc, const std::string& texte);

// The DrawText options of a text format.
UINT OptionsDrawText(unsigned format);
// The font with bold and underline added as the style asks; the caller deletes it.
HFONT PoliceAvecStyle(HFONT police, bool gras, bool souligne);
// Copies a canvas onto a device context with its top-left corner at (x, y).
void PeindreCanvas(HDC dc, int x, int y, const Canvas& canvas);
