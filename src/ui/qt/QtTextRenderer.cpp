#include "ui/qt/QtTextRenderer.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "ui/qt/ImageCanvas.h"

QFont QtTextRenderer::Police(const TextStyle& style) const {
  QFont police = police_;
  police.setBold(style.bold);
  police.setUnderline(style.underline);
  return police;
}

void QtTextRenderer::DrawText(Canvas& canvas, const std::string& text, const Rect& rect,
                              unsigned format, const TextStyle& style) {
  if (canvas.Width() == 0 || canvas.Height() == 0) return;
  SurfaceCanvas surface(canvas, rect);
  QPainter painter(&surface.image());
  painter.setFont(Police(style));
  painter.setPen(QColor(style.color.red, style.color.green, style.color.blue));
  const QRect zone(rect.left, rect.top, rect.Width(), rect.Height());
  painter.setClipRect(zone);
  int drapeaux = 0;
  drapeaux |= (format & TextCenter) ? Qt::AlignHCenter : (format & TextRight) ? Qt::AlignRight : Qt::AlignLeft;
  drapeaux |= (format & TextVCenter) ? Qt::AlignVCenter : (format & TextBottom) ? Qt::AlignBottom : Qt::AlignTop;
  if (format & TextSingleLine) drapeaux |= Qt::TextSingleLine;
  if (format & TextWordBreak) drapeaux |= Qt::TextWordWrap;
  if (!(format & TextNoPrefix)) drapeaux |= Qt::TextShowMnemonic;
  QString texte = QString::fromLocal8Bit(text);
  if (format & TextEndEllipsis)
    texte = painter.fontMetrics().elidedText(texte, Qt::ElideRight, zone.width(), drapeaux);
  painter.drawText(zone, drapeaux, texte);
}

int QtTextRenderer::TextWidth(const std::string& text, const TextStyle& style) {
  return QFontMetrics(Police(style)).horizontalAdvance(QString::fromLocal8Bit(text));
}
