#include "ui/qt/PictureList.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QPainter>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <algorithm>
#include <climits>

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

void CatalogueModel::vider() {
  beginResetModel();
  catalogue_ = nullptr;
  lignes_ = 0;
  endResetModel();
}

void CatalogueModel::ajouter(const std::vector<std::string>& catalogue, std::size_t debut) {
  const int total = static_cast<int>(std::min<std::size_t>(catalogue.size(), INT_MAX));
  if (catalogue_ != &catalogue || static_cast<int>(debut) != lignes_) {
    // Another list, or not the continuation of this one: the rows start again.
    beginResetModel();
    catalogue_ = &catalogue;
    lignes_ = total;
    endResetModel();
    return;
  }
  if (total <= lignes_) return;
  beginInsertRows(QModelIndex(), lignes_, total - 1);
  lignes_ = total;
  endInsertRows();
}

int CatalogueModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : lignes_; }

QVariant CatalogueModel::data(const QModelIndex& index, int role) const {
  // The catalogue may be shorter for a moment while a new scan starts over it.
  if (!catalogue_ || !index.isValid() || index.row() >= lignes_ ||
      static_cast<std::size_t>(index.row()) >= catalogue_->size())
    return {};
  const std::string& chemin = (*catalogue_)[static_cast<std::size_t>(index.row())];
  if (role == Qt::UserRole) return QByteArray::fromStdString(chemin);
  if (role == Qt::DisplayRole) return QFile::decodeName(QByteArray::fromStdString(chemin));
  return {};
}

PictureComboBox::PictureComboBox(QWidget* parent) : QComboBox(parent), modele_(new CatalogueModel(this)) {
  setModel(modele_);
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
