#include "gui/tabrelayoutfilter.h"

#include <QEvent>
#include <QTabBar>
#include <QTabWidget>

namespace orvanta {

TabRelayoutFilter::TabRelayoutFilter(QTabWidget *tabs)
    : QObject(tabs)
    , tabs(tabs) {
    tabs->installEventFilter(this);
}

TabRelayoutFilter::Inputs TabRelayoutFilter::inputs() const {
    Inputs now;
    now.size = tabs->size();
    now.barHint = tabs->tabBar()->sizeHint();
    now.hint = tabs->sizeHint();
    now.minimumHint = tabs->minimumSizeHint();
    if (tabs->hasHeightForWidth())
        now.heightForWidth = tabs->heightForWidth(now.size.width());
    return now;
}

bool TabRelayoutFilter::eventFilter(QObject *watched, QEvent *event) {
    // A hidden tab widget defers its layout to its show event; nothing to save there.
    if (watched != tabs || event->type() != QEvent::LayoutRequest || !tabs->isVisible())
        return QObject::eventFilter(watched, event);
    const Inputs now = inputs();
    if (laidOutWith && *laidOutWith == now)
        return true; // the same layout again, and a repaint of what is already on the screen
    laidOutWith = now;
    return QObject::eventFilter(watched, event);
}

} // namespace orvanta
