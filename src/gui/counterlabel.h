#pragma once

#include <QLabel>
#include <QPixmap>

#include <vector>

// A number of the Status tab, which changes 40 times a second.
//
// A plain label costs far more than the number it shows, twice over:
//  - A label whose text changes asks its container for a layout, and the request climbs
//    container by container to the tab widget, which places and repaints itself whole. A widget
//    of fixed size asks for none, so this label keeps a fixed size, that of its text, and
//    changes it only when a new text needs another. Its text is set with display() for that
//    reason: a text set with setText() keeps the size of the one before, and so does a new font
//    until the next display(). The window places it in its cell where its text would stand in a
//    label filling the cell.
//  - A plain label is transparent, so every repaint of it repaints, beneath it, each ancestor up
//    to the window: the tab widget's pane and the group box frame, drawn by the style. This label
//    is opaque instead and paints, beneath its text, a picture of what its ancestors draw there.
//    The picture is taken again when the label or an ancestor moves or changes size, when the
//    window's active state or the device pixel ratio changes, and when the look of the ancestors
//    changes: Qt hands palette, style and enabled-state changes down to every child.
class CounterLabel : public QLabel {
    Q_OBJECT

public:
    explicit CounterLabel(QWidget *parent = nullptr);

    void display(const QString &text);
    // The caption beside the number: a screen reader reads the two as one name.
    void setCaption(const QLabel *label) { caption = label; }

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The label's box and each ancestor's up to the window, and whether the window is active.
    std::vector<QRect> placeOnScreen() const;
    void takeBackdrop();

    const QLabel *caption = nullptr;
    QPixmap backdrop;
    std::vector<QRect> backdropPlace;
};
