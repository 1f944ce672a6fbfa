#pragma once

#include <QObject>
#include <QSize>

#include <optional>

class QTabWidget;

namespace orvanta {

// A tab widget answers every layout request by placing its bar and pages again and repainting
// itself whole, children included. A label that changes its text asks for one through its page,
// so the Status tab's counters would repaint the whole window 40 times a second although their
// new texts rarely change anything the tab widget is laid out by. This filter, a child of the
// tab widget, lets a request through only when one of those inputs has changed; the page itself
// is still laid out again, and the label repaints its own area.
class TabRelayoutFilter : public QObject {
public:
    explicit TabRelayoutFilter(QTabWidget *tabs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the tab widget's own layout and its parent's layout of it depend on.
    struct Inputs {
        QSize size;
        QSize barHint;
        QSize hint;
        QSize minimumHint;
        int heightForWidth = -1;
        bool operator==(const Inputs &other) const {
            return size == other.size && barHint == other.barHint && hint == other.hint &&
                   minimumHint == other.minimumHint && heightForWidth == other.heightForWidth;
        }
    };
    Inputs inputs() const;

    QTabWidget *tabs;
    std::optional<Inputs> laidOutWith;
};

} // namespace orvanta
