#include "gui/relayoutfilter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLayout>
#include <QTabBar>
#include <QTabWidget>

namespace orvanta {

namespace {

void appendSize(std::vector<int> &to, QSize size) {
    to.push_back(size.width());
    to.push_back(size.height());
}

void appendItems(std::vector<int> &to, const QLayout *layout) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (QLayout *nested = item->layout()) {
            appendItems(to, nested);
            continue;
        }
        appendSize(to, item->sizeHint());
        appendSize(to, item->minimumSize());
        appendSize(to, item->maximumSize());
        to.push_back(int(item->expandingDirections()));
        to.push_back(item->isEmpty());
        to.push_back(item->hasHeightForWidth() ? item->heightForWidth(item->geometry().width())
                                               : -1);
    }
}

} // namespace

RelayoutFilter::RelayoutFilter(QWidget *watched)
    : QObject(watched)
    , watched(watched) {
    // On the application, not on the widget: a widget's own layout takes its events before the
    // widget's event filters are asked, so only an application filter can hold a request back.
    QCoreApplication::instance()->installEventFilter(this);
}

std::vector<int> RelayoutFilter::inputs() const {
    std::vector<int> now;
    appendSize(now, watched->size());
    if (const auto *tabs = qobject_cast<const QTabWidget *>(watched)) {
        appendSize(now, tabs->tabBar()->sizeHint());
        appendSize(now, tabs->sizeHint());
        appendSize(now, tabs->minimumSizeHint());
        now.push_back(tabs->hasHeightForWidth() ? tabs->heightForWidth(tabs->width()) : -1);
    } else if (const QLayout *layout = watched->layout()) {
        appendItems(now, layout);
    }
    return now;
}

void RelayoutFilter::askForLayout(QWidget *widget) const {
    // Requests to one widget are merged while one is pending, so asking twice costs nothing.
    QCoreApplication::postEvent(widget, new QEvent(QEvent::LayoutRequest));
}

bool RelayoutFilter::eventFilter(QObject *object, QEvent *event) {
    const QEvent::Type type = event->type();
    if (object != watched) {
        // A child shown or hidden invalidates a resting layout without asking for it.
        if ((type == QEvent::ShowToParent || type == QEvent::HideToParent) &&
            object->parent() == watched)
            askForLayout(watched);
        return false;
    }
    switch (type) {
    case QEvent::ChildAdded:
    case QEvent::ChildRemoved:
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::LanguageChange:
    case QEvent::LayoutDirectionChange:
    case QEvent::ContentsRectChange:
        // The items may keep their sizes and still move (mirrored, or aligned anew by the
        // style): the layout this asks for must not be taken for the same one again.
        laidOutWith.reset();
        askForLayout(watched);
        return false;
    case QEvent::LayoutRequest:
        break;
    default:
        return false;
    }
    // A hidden widget is laid out when it is shown; nothing to save there.
    if (!watched->isVisible())
        return false;
    std::vector<int> now = inputs();
    if (laidOutWith && *laidOutWith == now)
        return true; // the same layout again, and a repaint of what is already on the screen
    laidOutWith = std::move(now);
    // Laying this widget out changes its own size hints for its parent's layout, which this
    // filter's sibling on the parent may hold at rest.
    if (watched->layout() && watched->parentWidget()) {
        QWidget *parent = watched->parentWidget();
        if (parent->findChild<RelayoutFilter *>(QString(), Qt::FindDirectChildrenOnly))
            askForLayout(parent);
    }
    return false;
}

} // namespace orvanta
