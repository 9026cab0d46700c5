#include "ui/qt/QuickMenu.h"

#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

EntreeDessinee::EntreeDessinee(QWidgetAction* action, QSize taille, Peintre peintre,
                               bool selectionnable)
    : action_(action), peintre_(std::move(peintre)), selectionnable_(selectionnable) {
  setFixedSize(taille);
  setMouseTracking(true);
}

void EntreeDessinee::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  peintre_(painter, rect(), selectionnable_ && survolee_);
}

void EntreeDessinee::enterEvent(QEnterEvent*) {
  survolee_ = true;
  update();
}

void EntreeDessinee::leaveEvent(QEvent*) {
  survolee_ = false;
  update();
}

void EntreeDessinee::mouseReleaseEvent(QMouseEvent* event) {
  if (!selectionnable_ || event->button() != Qt::LeftButton) return;
  // Close the whole menu first, as a standard entry does, then act.
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* menu = qobject_cast<QMenu*>(w)) menu->close();
  action_->trigger();
}

QWidgetAction* AjouterEntreeDessinee(QMenu* menu, QSize taille, EntreeDessinee::Peintre peintre,
                                     bool selectionnable) {
  auto* action = new QWidgetAction(menu);
  action->setDefaultWidget(new EntreeDessinee(action, taille, std::move(peintre), selectionnable));
  menu->addAction(action);
  return action;
}
