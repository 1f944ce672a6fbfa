#include "gui/cacheframe.h"

#include "core/cachetable.h"
#include "core/volumes.h"
#include "gui/mainwindow.h"
#include "ui_cacheframe.h"

using namespace orvanta;

namespace {
const QString DirtyStyle = QStringLiteral("color: maroon;");
} // namespace

CacheFrame::CacheFrame(QWidget *parent, MainWindow *owner, const QString &root, SystemApi &system)
    : QFrame(parent)
    , ui(new Ui::CacheFrame)
    , root(root.toUpper())
    , owner(owner)
    , system(system)
    , rootW(this->root.toStdWString()) {
    ui->setupUi(this);
    ui->driveLetter->setText(this->root);
    storedSize = 0;
    ui->cacheSize->setValue(0);
    updateFreeSpace();
}

CacheFrame::~CacheFrame() {
    delete ui;
}

QSpinBox *CacheFrame::sizeBox() const {
    return ui->cacheSize;
}
QLabel *CacheFrame::freeSpaceLabel() const {
    return ui->freeSpace;
}

void CacheFrame::updateFreeSpace() {
    showFreeSpace(freeSpaceGB(rootW, system));
}

void CacheFrame::showFreeSpace(int free) {
    ui->freeSpace->setText(tr("%1 GB free").arg(freeLeftGB(free, ui->cacheSize->value())));
    // A screen reader reads the box alone: it is named by its drive and the free space beside it.
    ui->cacheSize->setAccessibleName(tr("%1 cache, %2").arg(root, ui->freeSpace->text()));
}

void CacheFrame::on_cacheSize_valueChanged(int value) {
    const bool outermost = !freeInChange;
    if (outermost) {
        edited = true; // a load or a reset clears it again once the value is set
        freeInChange = freeSpaceGB(rootW, system);
    }
    const int free = *freeInChange;
    // Pulled back to what leaves the reserve free; setting it runs this slot once more.
    if (const int kept = cacheSizeKept(free, value, storedSize); kept != value)
        ui->cacheSize->setValue(kept);
    showFreeSpace(free);
    const QString style = ui->cacheSize->value() == storedSize ? QString() : DirtyStyle;
    // A new style sheet re-polishes the widget even when it is the same text.
    if (ui->cacheSize->styleSheet() != style) {
        ui->freeSpace->setStyleSheet(style);
        ui->cacheSize->setStyleSheet(style);
        // What the colour shows, told to those who do not see it.
        ui->cacheSize->setAccessibleDescription(style.isEmpty() ? QString()
                                                                : tr("Changed, not applied yet"));
    }
    if (owner)
        owner->updateCacheButtons();
    if (outermost)
        freeInChange.reset();
}

bool CacheFrame::isDirty() const {
    return ui->cacheSize->value() != storedSize;
}

bool CacheFrame::isChanged() const {
    return edited && isDirty();
}

void CacheFrame::reset() {
    ui->cacheSize->setValue(storedSize);
    edited = false;
}

void CacheFrame::loadFrom(const CacheTable &table) {
    const CacheEntry *entry = findEntry(table, root.toLocal8Bit().toStdString());
    storedSize = entry ? entrySizeGB(*entry) : 0;
    freeInChange = freeSpaceGB(rootW, system);
    ui->cacheSize->setValue(storedSize);
    on_cacheSize_valueChanged(storedSize);
    freeInChange.reset();
    edited = false;
}
