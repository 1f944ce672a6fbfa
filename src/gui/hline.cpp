#include "gui/hline.h"

#include "ui_hline.h"

HLine::HLine(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::HLine) {
    ui->setupUi(this);
}

HLine::~HLine() {
    delete ui;
}
