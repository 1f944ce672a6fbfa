#include "gui/mainwindow.h"

#include "core/cachetable.h"
#include "core/statusview.h"
#include "core/volumes.h"
#include "gui/cacheframe.h"
#include "gui/counterlabel.h"
#include "gui/hline.h"
#include "platform/monitorsettings.h"

#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QVariant>

using namespace orvanta;

namespace {
constexpr int RefreshIntervalMs = 25;
constexpr int HideDelayMs = 250;
const char AutostartValue[] = "Autostart";

// Only a stored integer counts: a "1" written as text is not the preference the monitor wrote.
bool isStoredInteger(const QVariant &value) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const int type = value.typeId();
#else
    const int type = value.userType();
#endif
    return type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
           type == QMetaType::ULongLong;
}
} // namespace

MainWindow::MainWindow(QWidget *parent, bool hidden, SystemApi &system)
    : QMainWindow(parent)
    , system(system)
    , driver(system) {
    setupUi(this);
    // The numbers keep the size of their text (see CounterLabel), so each is placed where a label
    // filling its cell would draw its text. Numbers and state words read left to right, and a
    // label aligns its text by the text's direction, not by the layout's.
    for (CounterLabel *number : statusTab->findChildren<CounterLabel *>()) {
        const Qt::Alignment place = QStyle::visualAlignment(
            Qt::LeftToRight, number->alignment() & Qt::AlignHorizontal_Mask);
        formLayout->setAlignment(number, place | Qt::AlignAbsolute);
        formLayout_2->setAlignment(number, place | Qt::AlignAbsolute);
    }

    trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/main")), this);
    if (hidden)
        trayIcon->setVisible(true);
    connect(trayIcon, &QSystemTrayIcon::activated, this, &MainWindow::iconActivated);

    statisticsTimer = new QTimer(this);
    connect(statisticsTimer, &QTimer::timeout, this, &MainWindow::updateStatistics);

    hideTimer = new QTimer(this);
    hideTimer->setSingleShot(true);
    hideTimer->setInterval(HideDelayMs);
    connect(hideTimer, &QTimer::timeout, this, &QWidget::hide);

    // Shown in place of a layout that could not be read; the rows stay locked meanwhile.
    cacheTableUnreadLabel =
        new QLabel(tr("The cache layout could not be read from the driver."), cacheTab);
    cacheTableUnreadLabel->setObjectName(QStringLiteral("cacheTableUnreadLabel"));
    cacheTableUnreadLabel->setWordWrap(true);
    cacheTableUnreadLabel->setVisible(false);
    verticalLayout_7->insertWidget(verticalLayout_7->indexOf(scrollArea), cacheTableUnreadLabel);
    cacheTab->installEventFilter(this);

    buildCacheList();
    updateStatistics();
    loadOptions();
    startStatisticsTimerOnStatusTab();

    if (!hidden)
        show();
}

MainWindow::~MainWindow() {
    statisticsTimer->stop();
    delete statisticsTimer;
    statisticsTimer = nullptr;
}

void MainWindow::startStatisticsTimerOnStatusTab() {
    if (tabWidget->currentWidget() == statusTab)
        statisticsTimer->start(RefreshIntervalMs);
}

void MainWindow::on_tabWidget_currentChanged(int index) {
    QWidget *tab = tabWidget->widget(index);
    if (tab == statusTab)
        statisticsTimer->start(RefreshIntervalMs);
    else
        statisticsTimer->stop();
    if (tab == optionTab)
        loadOptions();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    // Whichever way the Caches tab comes into view, it shows the layout the driver holds now
    // (another program may have changed it), unless a row holds a change not yet applied; a
    // layout that could not be read is tried again in any case.
    if (watched == cacheTab && event->type() == QEvent::Show &&
        (!tableKnown || !hasPendingChange()))
        loadCacheTable();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent *event) {
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
        hideTimer->start();
        trayIcon->setVisible(true);
        statisticsTimer->stop();
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::iconActivated(QSystemTrayIcon::ActivationReason) {
    // Every activation restores, a right click included: the icon has no menu. A hide still
    // pending from the minimise would otherwise take the window away again, with the icon
    // gone too, and leave nothing to bring it back.
    hideTimer->stop();
    trayIcon->setVisible(false);
    show();
    showNormal();
    activateWindow();
    startStatisticsTimerOnStatusTab();
}

void MainWindow::setDriverControlsDisabled(bool disabled) {
    clearStatsButton->setDisabled(disabled);
    prefetcherCheckBox->setDisabled(disabled);
    memoryCheckBox->setDisabled(disabled);
    speculativeCheckBox->setDisabled(disabled);
    writeCacheCheckBox->setDisabled(disabled);
    cacheTab->setDisabled(disabled);
}

void MainWindow::updateStatistics() {
    StatusRecord record{};
    driver.status(record);
    const StatusView view = statusView(record);

    if (view.controlsDisabled)
        setDriverControlsDisabled(true);
    statusNumber->display(tr(view.stateText));
    if (view.showsReason) {
        statusNumber->setToolTip(tr("Reason: %1").arg(QString::fromStdString(view.reason)));
    } else if (!statusNumber->toolTip().isEmpty()) {
        // A reason describes the Failsafe state only; it must not outlive it.
        statusNumber->setToolTip(QString());
    }
    if (!view.controlsDisabled)
        setDriverControlsDisabled(false);

    memoryNumber->display(QString::fromStdString(view.memory));
    totalRequestsNumber->display(QString::fromStdString(view.totalRequests));
    totalBytesNumber->display(QString::fromStdString(view.totalBytes));
    averageRequestsNumber->display(QString::fromStdString(view.averageRequests));
    averageBytesNumber->display(QString::fromStdString(view.averageBytes));
}

// The state words, for the translation catalogues: statusView() hands them over untranslated.
[[maybe_unused]] static const char *const stateWords[] = {
    QT_TRANSLATE_NOOP("MainWindow", "Not running"), QT_TRANSLATE_NOOP("MainWindow", "Running"),
    QT_TRANSLATE_NOOP("MainWindow", "Disabled"),    QT_TRANSLATE_NOOP("MainWindow", "Failsafe"),
    QT_TRANSLATE_NOOP("MainWindow", "Unknown"),
};

void MainWindow::on_clearStatsButton_clicked() {
    driver.clearStatistics();
}

void MainWindow::loadOptions() {
    showDriverOptions();
    loadAutostart();
}

bool MainWindow::showDriverOptions() {
    OptionFlags flags;
    if (!driver.options(flags))
        return false;
    // Each change sends the boxes as they stand, so the order is part of what the driver sees.
    prefetcherCheckBox->setChecked(flags.prefetcherEnabled);
    memoryCheckBox->setChecked(flags.saveMemory);
    speculativeCheckBox->setChecked(flags.disableSpeculative);
    writeCacheCheckBox->setChecked(flags.disableWriteCache);
    return true;
}

bool MainWindow::applyOptions() {
    OptionFlags flags;
    flags.prefetcherEnabled = prefetcherCheckBox->isChecked();
    flags.saveMemory = memoryCheckBox->isChecked();
    flags.disableSpeculative = speculativeCheckBox->isChecked();
    flags.disableWriteCache = writeCacheCheckBox->isChecked();
    return driver.setOptions(flags);
}

void MainWindow::optionToggled(QCheckBox *box, bool checked) {
    if (applyOptions())
        return;
    // The driver did not take the change: the boxes show what it holds instead, read as loading
    // the tab reads it, without sending that back. Where even that fails, the box goes back.
    const QSignalBlocker prefetcher(prefetcherCheckBox), memory(memoryCheckBox),
        speculative(speculativeCheckBox), writeCache(writeCacheCheckBox);
    if (!showDriverOptions())
        box->setChecked(!checked);
}

void MainWindow::on_prefetcherCheckBox_toggled(bool checked) {
    optionToggled(prefetcherCheckBox, checked);
}
void MainWindow::on_memoryCheckBox_toggled(bool checked) {
    optionToggled(memoryCheckBox, checked);
}
void MainWindow::on_writeCacheCheckBox_toggled(bool checked) {
    optionToggled(writeCacheCheckBox, checked);
}
void MainWindow::on_speculativeCheckBox_toggled(bool checked) {
    optionToggled(speculativeCheckBox, checked);
}

void MainWindow::loadAutostart() {
    const std::unique_ptr<QSettings> settings = openMonitorSettings();
    const QVariant value = settings->value(QLatin1String(AutostartValue));
    trayCheckBox->setChecked(value.isValid() && isStoredInteger(value) && value.toLongLong() != 0);
}

void MainWindow::on_trayCheckBox_toggled(bool checked) {
    const std::unique_ptr<QSettings> settings = openMonitorSettings();
    settings->setValue(QLatin1String(AutostartValue), checked ? 1 : 0);
}

void MainWindow::buildCacheList() {
    for (wchar_t letter : eligibleVolumes(system)) {
        const QString root = QString::fromStdWString(volumeRoot(letter));
        cachesLayout->addWidget(new CacheFrame(cacheList, this, root, system), 0);
        cachesLayout->addWidget(new HLine(cacheList), 0);
    }
    cachesLayout->addStretch(1);
    loadCacheTable();
}

QList<CacheFrame *> MainWindow::cacheFrames() const {
    QList<CacheFrame *> frames;
    for (int i = 0; i < cachesLayout->count(); ++i)
        if (auto *frame = qobject_cast<CacheFrame *>(cachesLayout->itemAt(i)->widget()))
            frames.append(frame);
    return frames;
}

bool MainWindow::loadCacheTable() {
    const LayoutRead held = driver.layout();
    // Rows at 0 GB would look like a known layout; they keep what they show, locked, until a
    // read succeeds.
    showCacheTableKnown(held.readable());
    if (!held.readable())
        return false;
    for (CacheFrame *frame : cacheFrames())
        frame->loadFrom(held.table);
    return true;
}

void MainWindow::showCacheTableKnown(bool known) {
    tableKnown = known;
    cacheTableUnreadLabel->setVisible(!known);
    cacheList->setEnabled(known);
    if (!known)
        buttonBox->setEnabled(false);
}

bool MainWindow::hasPendingChange() const {
    for (CacheFrame *frame : cacheFrames()) {
        if (frame->isDirty())
            return true;
    }
    return false;
}

void MainWindow::updateCacheButtons() {
    buttonBox->setEnabled(hasPendingChange() && tableKnown);
}

void MainWindow::applyCacheTable() {
    if (!tableKnown)
        return; // the rows do not hold the driver's layout: sending them would replace it
    // The layout may have changed since the rows were read (another program, a console): only
    // the rows the user changed take his value, everything else stays as the driver holds it.
    const LayoutRead held = driver.layout();
    std::vector<wchar_t> rows;
    std::map<wchar_t, int> chosen;
    for (CacheFrame *frame : cacheFrames()) {
        const wchar_t letter = frame->volumeRoot().at(0).unicode();
        rows.push_back(letter);
        if (frame->isDirty())
            chosen[letter] = frame->sizeBox()->value();
    }
    const std::optional<CacheTable> table =
        held.readable() ? layoutForChange(held.table, rows, chosen, system) : std::nullopt;
    if (!table || driver.applyLayout(*table) != Applied::Confirmed) {
        QMessageBox::warning(this, tr("Warning"), tr("Could not enable all caches."),
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
    // The rows show what the driver holds now, which after a partial failure is not the choice.
    loadCacheTable();
}

void MainWindow::on_buttonBox_accepted() {
    applyCacheTable();
}

void MainWindow::on_buttonBox_rejected() {
    for (CacheFrame *frame : cacheFrames())
        frame->reset();
}
