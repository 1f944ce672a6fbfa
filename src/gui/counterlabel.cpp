#include "gui/counterlabel.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

CounterLabel::CounterLabel(QWidget *parent)
    : QLabel(parent) {
    // The ancestors leave the label's area alone: paintEvent() covers every pixel of it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CounterLabel::display(const QString &text) {
    if (caption && text != this->text())
        setAccessibleName(caption->text() + QStringLiteral(": ") + text);
    setText(text);
    // Nothing happens while the size stays. Asked at every tick, this also follows a new font:
    // the label measures its text again after one.
    setFixedSize(sizeHint());
}

void CounterLabel::changeEvent(QEvent *event) {
    QLabel::changeEvent(event);
    const QEvent::Type type = event->type();
    if (type == QEvent::StyleChange || type == QEvent::PaletteChange ||
        type == QEvent::EnabledChange)
        backdrop = QPixmap();
}

std::vector<QRect> CounterLabel::placeOnScreen() const {
    std::vector<QRect> place = {QRect(0, 0, isActiveWindow(), 0)};
    for (const QWidget *widget = this;; widget = widget->parentWidget()) {
        // A window's place on the screen changes nothing inside it; its size moves everything.
        place.push_back(widget->isWindow() ? widget->rect() : widget->geometry());
        if (widget->isWindow())
            return place;
    }
}

void CounterLabel::takeBackdrop() {
    const qreal ratio = devicePixelRatioF();
    backdrop = QPixmap(int(std::ceil(width() * ratio)), int(std::ceil(height() * ratio)));
    backdrop.setDevicePixelRatio(ratio);
    backdrop.fill(Qt::transparent);

    // Each ancestor alone, outermost first, as a repaint of the window paints them: the window
    // with its background, then each one's own painting, its children left out.
    std::vector<QWidget *> ancestors;
    for (QWidget *widget = parentWidget(); widget; widget = widget->parentWidget()) {
        ancestors.push_back(widget);
        if (widget->isWindow())
            break;
    }
    QPainter painter(&backdrop);
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
        QWidget *ancestor = *it;
        // One logical pixel more each way: at a fractional ratio the label's last device row and
        // column lie only partly inside its logical size, and left out they would show whatever
        // was on the screen before, the label being opaque.
        const QRect area(mapTo(ancestor, QPoint(0, 0)), size() + QSize(1, 1));
        ancestor->render(&painter, QPoint(0, 0), QRegion(area),
                         ancestor->isWindow() ? QWidget::DrawWindowBackground
                                              : QWidget::RenderFlags());
    }
}

void CounterLabel::paintEvent(QPaintEvent *event) {
    std::vector<QRect> place = placeOnScreen();
    if (backdrop.isNull() || backdrop.devicePixelRatioF() != devicePixelRatioF() ||
        place != backdropPlace) {
        takeBackdrop();
        backdropPlace = std::move(place);
    }
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, backdrop);
    }
    QLabel::paintEvent(event);
}
