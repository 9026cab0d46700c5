#pragma once

#include <QAbstractListModel>
#include <QComboBox>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <vector>

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

// The picture list's rows: the program's catalogue, read where it is kept. A library of many
// long paths holds each path once, not once more per row as text and again as bytes. Rows
// give the path as text (Qt::DisplayRole) and as its 8-bit bytes (Qt::UserRole).
class CatalogueModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;
  void vider();
  // Rows for the catalogue's entries from `debut` on; `catalogue` must outlive the rows.
  void ajouter(const std::vector<std::string>& catalogue, std::size_t debut);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  const std::vector<std::string>* catalogue_ = nullptr;
  int lignes_ = 0;
};

// The picture list: items are the catalogue's full paths, drawn by the painter, and the number
// of rows of the opened list is asked each time it opens.
class PictureComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit PictureComboBox(QWidget* parent = nullptr);
  PictureItemPainter& peintre() { return peintre_; }
  std::function<int(int haut, int hauteurChamp)> lignesAOuvrir;
  void viderImages() { modele_->vider(); }
  void ajouterImages(const std::vector<std::string>& catalogue, std::size_t debut) {
    modele_->ajouter(catalogue, debut);
  }

  void showPopup() override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PictureItemPainter peintre_;
  CatalogueModel* modele_;
};
