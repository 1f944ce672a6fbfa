#pragma once

#include <QLabel>
#include <QPixmap>

#include <vector>

// A number of the Status tab, which changes 40 times a second.
//
// A plain label is transparent, so every repaint of it repaints, beneath it, each ancestor up to
// the window: the tab widget's pane and the group box frame, drawn by the style, most of a tick's
// cost. This label is opaque instead and paints, beneath its text, a picture of what its
// ancestors draw there, taken once and taken again whenever anything that picture depends on may
// have changed: a repaint stops at the label, and the pixels are the same.
//
// Its setText() also asks for a layout itself when the new text changes its size hints: the
// container's RelayoutFilter keeps the layout at rest while texts of the same size come and go,
// so the label's own change would not reach it otherwise. Set the text through this class.
class CounterLabel : public QLabel {
    Q_OBJECT

public:
    explicit CounterLabel(QWidget *parent = nullptr);

    void setText(const QString &text);

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The text shown, as last measured: the label keeps its size while the advance stays.
    struct Measure {
        QString text;
        int advance = -1;
        int dpi = 0;
    };

    void askForLayout();
    // Everything the picture beneath the label depends on, from the label up to the window.
    std::vector<qint64> backdropInputs() const;
    void takeBackdrop();

    Measure measured;
    QPixmap backdrop;
    std::vector<qint64> backdropTakenWith;
};
