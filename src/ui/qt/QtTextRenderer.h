#pragma once

#include <QFont>

#include "imaging/TextRenderer.h"

// Text on the program's rasters, drawn by Qt with the window's font.
class QtTextRenderer : public TextRenderer {
 public:
  explicit QtTextRenderer(QFont police) : police_(std::move(police)) {}
  void DrawText(Canvas& canvas, const std::string& text, const Rect& rect, unsigned format,
                const TextStyle& style) override;
  int TextWidth(const std::string& text, const TextStyle& style) override;

 private:
  QFont Police(const TextStyle& style) const;
  QFont police_;
};
