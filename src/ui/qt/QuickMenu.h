#pragma once

#include <QWidget>
#include <QWidgetAction>
#include <functional>

class QMenu;

// An entry of the quick menu drawn by the program: a thumbnail with the picture's name, an
// icon with its caption, or the heading. It paints itself in the menu's colours, highlighted
// under the mouse (never for the heading), and triggers its action on a click.
class EntreeDessinee : public QWidget {
  Q_OBJECT
 public:
  using Peintre = std::function<void(QPainter&, const QRect&, bool survolee)>;
  EntreeDessinee(QWidgetAction* action, QSize taille, Peintre peintre, bool selectionnable);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QWidgetAction* action_;
  Peintre peintre_;
  bool selectionnable_;
  bool survolee_ = false;
};

// Adds a custom-drawn entry to `menu`.
QWidgetAction* AjouterEntreeDessinee(QMenu* menu, QSize taille, EntreeDessinee::Peintre peintre,
                                     bool selectionnable = true);
