#include "gui/counterlabel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

#include <cmath>

CounterLabel::CounterLabel(QWidget *parent)
    : QLabel(parent) {
    // The ancestors leave the label's area alone: paintEvent() covers every pixel of it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

namespace {
// One line of plain text, whose label's size hints follow from its advance alone.
bool isOneLine(const QLabel &label, const QString &text) {
    const Qt::TextFormat format = label.textFormat();
    return !label.wordWrap() && !text.contains(QLatin1Char('\n')) &&
           (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(text)));
}
} // namespace

void CounterLabel::setText(const QString &newText) {
    if (newText == text())
        return;
    // Measuring the size hints lays the text out three times; for one line of plain text a
    // single measure of its advance tells as much.
    if (isOneLine(*this, text()) && isOneLine(*this, newText)) {
        const Measure before = measured;
        measured = {newText, fontMetrics().horizontalAdvance(newText), logicalDpiX()};
        const bool sameSize = before.text == text() && before.advance == measured.advance &&
                              before.dpi == measured.dpi;
        QLabel::setText(newText);
        if (!sameSize)
            askForLayout();
        return;
    }
    measured = Measure();
    const QSize hint = sizeHint();
    const QSize minimumHint = minimumSizeHint();
    QLabel::setText(newText);
    if (sizeHint() != hint || minimumSizeHint() != minimumHint)
        askForLayout();
}

void CounterLabel::askForLayout() {
    // The parent's layout may be at rest, held there by its RelayoutFilter: the label's own
    // change would not reach it. Requests to one widget are merged while one is pending.
    if (parentWidget())
        QCoreApplication::postEvent(parentWidget(), new QEvent(QEvent::LayoutRequest));
}

void CounterLabel::changeEvent(QEvent *event) {
    // A new font measures every text anew.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        measured = Measure();
    QLabel::changeEvent(event);
}

std::vector<qint64> CounterLabel::backdropInputs() const {
    std::vector<qint64> inputs;
    // A window's place on the screen changes nothing inside it; its size moves everything.
    inputs.push_back(qint64(std::lround(devicePixelRatioF() * 1000)));
    inputs.push_back(isActiveWindow());
    for (const QWidget *widget = this; widget; widget = widget->parentWidget()) {
        const QRect box = widget->isWindow() ? widget->rect() : widget->geometry();
        inputs.insert(inputs.end(), {box.x(), box.y(), box.width(), box.height(),
                                     widget->isEnabled(), widget->palette().cacheKey(),
                                     qint64(reinterpret_cast<quintptr>(widget->style()))});
        if (widget->isWindow())
            break;
    }
    return inputs;
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
    std::vector<qint64> inputs = backdropInputs();
    if (backdrop.isNull() || inputs != backdropTakenWith) {
        takeBackdrop();
        backdropTakenWith = std::move(inputs);
    }
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, backdrop);
    }
    QLabel::paintEvent(event);
}
