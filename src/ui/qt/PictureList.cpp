#include "ui/qt/PictureList.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include "ui/qt/ImageCanvas.h"
#include "wallpaper/Chemins.h"

namespace {

QString Texte(const std::string& octets) { return QString::fromLocal8Bit(octets); }

void DessinerLigne(QPainter& painter, const QRect& zone, int alignementVertical,
                   const QString& texte) {
  const QString coupe = painter.fontMetrics().elidedText(texte, Qt::ElideRight, zone.width());
  // As with the system's text drawing, "&" marks the next letter as an accelerator.
  painter.drawText(zone, Qt::AlignLeft | alignementVertical | Qt::TextSingleLine | Qt::TextShowMnemonic,
                   coupe);
}

}  // namespace

void PictureItemPainter::paint(QPainter& painter, QRect rect, int index, const std::string& chemin,
                               const QColor& fond, const QColor& texte, const QFont& police) const {
  painter.save();
  painter.fillRect(rect, fond);

  // The thumbnail is built if need be and drawn over the item's background, its mask colour
  // letting the background through.
  if (vignette) {
    Canvas cellule(kLargeurVignette, kHauteurElement);
    cellule.FillRect(Rect{0, 0, kLargeurVignette, kHauteurElement},
                     Color{static_cast<std::uint8_t>(fond.red()), static_cast<std::uint8_t>(fond.green()),
                           static_cast<std::uint8_t>(fond.blue())});
    vignette(index, cellule);
    painter.drawImage(rect.topLeft(), ImageOpaque(cellule));
  }

  rect.setLeft(rect.left() + kDecalageTexte);
  painter.setFont(police);
  painter.setPen(texte);
  const QString nom = Texte(NomAffiche(chemin));
  const std::string sousDossier = SousDossier(chemin, racine ? racine() : std::string());
  if (sousDossier.empty()) {
    DessinerLigne(painter, rect, Qt::AlignVCenter, nom);
  } else {
    const int moitie = rect.height() / 2;
    QRect haut = rect;
    haut.setBottom(rect.bottom() - moitie);
    QRect bas = rect;
    bas.setTop(rect.bottom() - moitie + 1);
    DessinerLigne(painter, haut, Qt::AlignBottom, nom);
    DessinerLigne(painter, bas, Qt::AlignTop, QStringLiteral("[") + Texte(sousDossier) + "]");
  }
  painter.restore();
}

void PictureItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  const bool choisi = option.state & QStyle::State_Selected;
  const QPalette& palette = option.palette;
  peintre_.paint(*painter, option.rect, index.row(),
                 index.data(Qt::UserRole).toByteArray().toStdString(),
                 palette.color(choisi ? QPalette::Highlight : QPalette::Base),
                 palette.color(choisi ? QPalette::HighlightedText : QPalette::Text), option.font);
  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.rect = option.rect;
    focus.palette = palette;
    focus.state = QStyle::State_KeyboardFocusChange;
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
  }
}

QSize PictureItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return {kLargeurElement, PictureItemPainter::kHauteurElement};
}

PictureComboBox::PictureComboBox(QWidget* parent) : QComboBox(parent) {
  setItemDelegate(new PictureItemDelegate(peintre_, this));
}

void PictureComboBox::showPopup() {
  if (lignesAOuvrir) {
    const int haut = mapToGlobal(QPoint(0, 0)).y();
    setMaxVisibleItems(std::max(1, lignesAOuvrir(haut, height())));
  }
  QComboBox::showPopup();
}

// The closed field shows the selected picture in window colours, never highlighted.
void PictureComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText.clear();
  option.currentIcon = QIcon();
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  if (currentIndex() < 0) return;
  const QRect champ =
      style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  peintre_.paint(painter, champ, currentIndex(), currentData(Qt::UserRole).toByteArray().toStdString(),
                 palette().color(QPalette::Base), palette().color(QPalette::Text), font());
}
