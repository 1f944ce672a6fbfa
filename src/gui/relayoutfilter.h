#pragma once

#include <QObject>

#include <optional>
#include <vector>

class QLayout;
class QWidget;

namespace orvanta {

// Lets a layout request through to the widget it watches only when something that widget's
// layout is computed from has changed since the last one it let through.
//
// A label that changes its text asks for a layout whether or not its size changes, and the
// request climbs container by container to the window. On the Status tab two numbers change 40
// times a second and nearly always keep their size, so all of that is work that comes out the
// same. Two kinds of widget are watched:
//  - a tab widget, which has no layout object and answers every request by placing its bar and
//    pages again and repainting itself whole; its inputs are its size and size hints;
//  - a container with a layout, whose inputs are its size and, for every item of the layout, the
//    item's size hints, limits and whether it takes space. A request held back leaves the layout
//    at rest: until it is laid out again, its children's changes ask for nothing by themselves.
//    So the filter asks on their behalf whenever something may have changed a size hint without
//    a request of its own: a child added, removed, shown or hidden, a font, style, language or
//    direction change; CounterLabel asks when its new text changes its size; and a container
//    that is laid out again asks for its watched parent, whose layout may be at rest too.
//    A resize lays a resting layout out as it does any other.
// The filter is a child of the widget it watches.
class RelayoutFilter : public QObject {
    Q_OBJECT // found among a parent's children by its type

        public : explicit RelayoutFilter(QWidget *watched);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    std::vector<int> inputs() const;
    void askForLayout(QWidget *widget) const;

    QWidget *watched;
    std::optional<std::vector<int>> laidOutWith;
};

} // namespace orvanta
