#pragma once

#include <QWidget>

namespace Ui {
class HLine;
}

// The rule drawn under every cache row.
class HLine : public QWidget {
    Q_OBJECT

public:
    explicit HLine(QWidget *parent = nullptr);
    ~HLine() override;

private:
    Ui::HLine *ui;
};
