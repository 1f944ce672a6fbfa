#include "gui/tabrelayoutfilter.h"

#include <QEvent>
#include <QTabBar>
#include <QTabWidget>

namespace orvanta {

TabRelayoutFilter::TabRelayoutFilter(QTabWidget *tabs)
    : QObject(tabs)
    , tabs_(tabs) {
    tabs->installEventFilter(this);
}

TabRelayoutFilter::Inputs TabRelayoutFilter::inputs() const {
    Inputs now;
    now.size = tabs_->size();
    now.barHint = tabs_->tabBar()->sizeHint();
    now.hint = tabs_->sizeHint();
    now.minimumHint = tabs_->minimumSizeHint();
    if (tabs_->hasHeightForWidth())
        now.heightForWidth = tabs_->heightForWidth(now.size.width());
    return now;
}

bool TabRelayoutFilter::eventFilter(QObject *watched, QEvent *event) {
    // A hidden tab widget defers its layout to its show event; nothing to save there.
    if (watched != tabs_ || event->type() != QEvent::LayoutRequest || !tabs_->isVisible())
        return QObject::eventFilter(watched, event);
    const Inputs now = inputs();
    if (laidOutWith_ && *laidOutWith_ == now)
        return true; // the same layout again, and a repaint of what is already on the screen
    laidOutWith_ = now;
    return QObject::eventFilter(watched, event);
}

} // namespace orvanta
