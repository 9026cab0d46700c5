#include "ui/win32/Win32TextRenderer.h"

#include <algorithm>
#include <cstring>

namespace {

BITMAPINFO InfoCanvas(int largeur, int hauteur) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = largeur;
  info.bmiHeader.biHeight = -hauteur;  // rows top to bottom, as the canvas holds them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

std::wstring EnUnicode(const std::string& texte) {
  if (texte.empty()) return {};
  const int longueur = MultiByteToWideChar(CP_ACP, 0, texte.data(), static_cast<int>(texte.size()), nullptr, 0);
  std::wstring large(static_cast<std::size_t>(std::max(longueur, 0)), L'\0');
  if (longueur > 0)
    MultiByteToWideChar(CP_ACP, 0, texte.data(), static_cast<int>(texte.size()), large.data(), longueur);
  return large;
}

int DessinerTexte(HDC dc, const std::string& texte, RECT& zone, UINT options) {
  const std::wstring large = EnUnicode(texte);
  return DrawTextW(dc, large.c_str(), static_cast<int>(large.size()), &zone, options);
}

SIZE TailleTexte(HDC dc, const std::string& texte) {
  const std::wstring large = EnUnicode(texte);
  SIZE taille{};
  GetTextExtentPoint32W(dc, large.c_str(), static_cast<int>(large.size()), &taille);
  return taille;
}

UINT OptionsDrawText(unsigned format) {
  UINT options = 0;
  if (format & TextCenter) options |= DT_CENTER;
  if (format & TextRight) options |= DT_RIGHT;
  if (format & TextVCenter) options |= DT_VCENTER;
  if (format & TextBottom) options |= DT_BOTTOM;
  if (format & TextSingleLine) options |= DT_SINGLELINE;
  if (format & TextWordBreak) options |= DT_WORDBREAK;
  if (format & TextEndEllipsis) options |= DT_END_ELLIPSIS;
  if (format & TextNoPrefix) options |= DT_NOPREFIX;
  return options;
}

HFONT PoliceAvecStyle(HFONT police, bool gras, bool souligne) {
  LOGFONTA description{};
  GetObjectA(police, sizeof description, &description);
  if (gras) description.lfWeight = FW_BOLD;
  if (souligne) description.lfUnderline = TRUE;
  return CreateFontIndirectA(&description);
}

void PeindreCanvas(HDC dc, int x, int y, const Canvas& canvas) {
  if (canvas.Width() == 0 || canvas.Height() == 0) return;
  const BITMAPINFO info = InfoCanvas(canvas.Width(), canvas.Height());
  SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(canvas.Width()), static_cast<DWORD>(canvas.Height()),
                    0, 0, 0, static_cast<UINT>(canvas.Height()), canvas.Bits(), &info, DIB_RGB_COLORS);
}

void Win32TextRenderer::DrawText(Canvas& canvas, const std::string& text, const Rect& rect,
                                 unsigned format, const TextStyle& style) {
  if (canvas.Width() == 0 || canvas.Height() == 0) return;
  const BITMAPINFO info = InfoCanvas(canvas.Width(), canvas.Height());
  void* pixels = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP dessin = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (!dessin) {
    DeleteDC(dc);
    return;
  }
  const std::size_t octets = canvas.Stride() * static_cast<std::size_t>(canvas.Height());
  std::memcpy(pixels, canvas.Bits(), octets);
  HGDIOBJ ancienDessin = SelectObject(dc, dessin);
  HFONT police = PoliceAvecStyle(police_, style.bold, style.underline);
  HGDIOBJ anciennePolice = SelectObject(dc, police);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(style.color.red, style.color.green, style.color.blue));
  RECT zone{rect.left, rect.top, rect.right, rect.bottom};
  DessinerTexte(dc, text, zone, OptionsDrawText(format));
  GdiFlush();
  std::memcpy(canvas.Bits(), pixels, octets);
  SelectObject(dc, anciennePolice);
  SelectObject(dc, ancienDessin);
  DeleteObject(police);
  DeleteObject(dessin);
  DeleteDC(dc);
}

int Win32TextRenderer::TextWidth(const std::string& text, const TextStyle& style) {
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT police = PoliceAvecStyle(police_, style.bold, style.underline);
  HGDIOBJ ancienne = SelectObject(dc, police);
  const SIZE taille = TailleTexte(dc, text);
  SelectObject(dc, ancienne);
  DeleteObject(police);
  DeleteDC(dc);
  return taille.cx;
}
