#pragma once

#include <QComboBox>
#include <QStyledItemDelegate>
#include <functional>
#include <string>

#include "imaging/Canvas.h"

// How one picture of the catalogue is drawn: its thumbnail (a placeholder cell until the
// thumbnail is built), then its name, and below it the bracketed sub-folder when it has one.
class PictureItemPainter {
 public:
  static constexpr int kHauteurElement = 45;
  static constexpr int kLargeurVignette = 60;
  static constexpr int kDecalageTexte = 65;

  // Root folder the sub-folders are counted from.
  std::function<std::string()> racine;
  // Draws thumbnail `index` into a canvas already filled with the item's background.
  std::function<void(int index, Canvas& canvas)> vignette;

  void paint(QPainter& painter, QRect rect, int index, const std::string& chemin,
             const QColor& fond, const QColor& texte, const QFont& police) const;
};

class PictureItemDelegate : public QStyledItemDelegate {
 public:
  static constexpr int kLargeurElement = 185;
  explicit PictureItemDelegate(const PictureItemPainter& peintre, QObject* parent = nullptr)
      : QStyledItemDelegate(parent), peintre_(peintre) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const PictureItemPainter& peintre_;
};

// The picture list: items hold full paths (as 8-bit bytes in Qt::UserRole), are drawn by the
// painter, and the number of rows of the opened list is asked each time it opens.
class PictureComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit PictureComboBox(QWidget* parent = nullptr);
  PictureItemPainter& peintre() { return peintre_; }
  std::function<int(int haut, int hauteurChamp)> lignesAOuvrir;

  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PictureItemPainter peintre_;
};
