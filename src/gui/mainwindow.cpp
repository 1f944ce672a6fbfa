#include "gui/mainwindow.h"

#include "core/autostart.h"
#include "core/cachetable.h"
#include "core/statusview.h"
#include "core/volumes.h"
#include "core/writers.h"
#include "gui/cacheframe.h"
#include "gui/counterlabel.h"
#include "gui/hline.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QTabBar>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QVariant>

using namespace orvanta;

namespace {
constexpr int RefreshIntervalMs = 25;
constexpr int HideDelayMs = 250;
const char AutostartValue[] = "Autostart";

// The value as the registry holds it, judged by the rule the logon launcher uses: QSettings reads
// a REG_DWORD as a 32-bit integer and a REG_QWORD as a 64-bit one; anything else (a "1" written as
// text) is no integer, so not the preference the monitor wrote.
bool autostartStored(const QVariant &value) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const int type = value.typeId();
#else
    const int type = value.userType();
#endif
    // Little-endian, as the registry stores it (the records' header holds the host to that).
    const std::uint64_t number = value.toULongLong();
    if (type == QMetaType::Int || type == QMetaType::UInt)
        return autostartWanted(RegistryDword, &number, 4);
    if (type == QMetaType::LongLong || type == QMetaType::ULongLong)
        return autostartWanted(RegistryQword, &number, 8);
    return false;
}
} // namespace

MainWindow::MainWindow(QWidget *parent, bool hidden, SystemApi &system, SettingsStore settings)
    : QMainWindow(parent)
    , system(system)
    , settings(std::move(settings))
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
        QWidget *caption = formLayout->labelForField(number);
        number->setCaption(
            qobject_cast<QLabel *>(caption ? caption : formLayout_2->labelForField(number)));
    }
    // A rich tool-tip would reach a screen reader as its HTML source.
    for (QCheckBox *box : optionTab->findChildren<QCheckBox *>())
        if (Qt::mightBeRichText(box->toolTip()))
            box->setAccessibleDescription(
                QTextDocumentFragment::fromHtml(box->toolTip()).toPlainText());

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
    show();
    showNormal();
    activateWindow();
    startStatisticsTimerOnStatusTab();
    // Hiding the icon deletes the widget whose click event is still being delivered (a right
    // click goes on to its context menu event): it goes once that event is done, unless the
    // window was minimised meanwhile and the icon is its way back.
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && !isMinimized())
            trayIcon->setVisible(false);
    });
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
    OptionFlags flags;
    if (driver.options(flags))
        showOptions(flags);
    loadAutostart();
}

void MainWindow::showOptions(const OptionFlags &flags) {
    // What the driver holds is shown, never sent back: a box set here is no change of the user's.
    const QSignalBlocker prefetcher(prefetcherCheckBox), memory(memoryCheckBox),
        speculative(speculativeCheckBox), writeCache(writeCacheCheckBox);
    prefetcherCheckBox->setChecked(flags.prefetcherEnabled);
    memoryCheckBox->setChecked(flags.saveMemory);
    speculativeCheckBox->setChecked(flags.disableSpeculative);
    writeCacheCheckBox->setChecked(flags.disableWriteCache);
}

void MainWindow::optionToggled(QCheckBox *box, bool OptionFlags::*flag, bool checked) {
    // Only this option changes; the others go back as the driver holds them now, which another
    // program may have changed since the tab was shown.
    const OptionsWrite write = changeOptions(driver, system, {{flag, checked}});
    if (write.after || write.before) {
        showOptions(write.after ? *write.after : *write.before);
    } else {
        const QSignalBlocker blocker(box);
        box->setChecked(!checked);
    }
    if (write.outcome == WriteOutcome::Busy)
        warnBusy();
}

void MainWindow::on_prefetcherCheckBox_toggled(bool checked) {
    optionToggled(prefetcherCheckBox, &OptionFlags::prefetcherEnabled, checked);
}
void MainWindow::on_memoryCheckBox_toggled(bool checked) {
    optionToggled(memoryCheckBox, &OptionFlags::saveMemory, checked);
}
void MainWindow::on_writeCacheCheckBox_toggled(bool checked) {
    optionToggled(writeCacheCheckBox, &OptionFlags::disableWriteCache, checked);
}
void MainWindow::on_speculativeCheckBox_toggled(bool checked) {
    optionToggled(speculativeCheckBox, &OptionFlags::disableSpeculative, checked);
}

void MainWindow::warnBusy() {
    QMessageBox::warning(this, tr("Warning"),
                         tr("Another program is changing the driver's settings. Nothing was "
                            "sent; please try again in a moment."),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::loadAutostart() {
    const std::unique_ptr<QSettings> store = settings();
    trayCheckBox->setChecked(autostartStored(store->value(QLatin1String(AutostartValue))));
}

void MainWindow::on_trayCheckBox_toggled(bool checked) {
    settings()->setValue(QLatin1String(AutostartValue), checked ? 1 : 0);
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

void MainWindow::loadCacheTable() {
    showLayout(driver.layout());
}

void MainWindow::showLayout(const LayoutRead &held) {
    // Rows at 0 GB would look like a known layout; they keep what they show, locked, until a
    // read succeeds.
    showCacheTableKnown(held.readable());
    if (held.readable())
        for (CacheFrame *frame : cacheFrames())
            frame->loadFrom(held.table);
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
        if (frame->isChanged())
            return true;
    }
    return false;
}

void MainWindow::updateCacheButtons() {
    // Any row that differs from the driver's size offers OK, a size too large for its box too.
    bool dirty = false;
    for (CacheFrame *frame : cacheFrames())
        dirty = dirty || frame->isDirty();
    buttonBox->setEnabled(dirty && tableKnown);
}

void MainWindow::applyCacheTable() {
    if (!tableKnown)
        return; // the rows do not hold the driver's layout: sending them would replace it
    // Only the rows the user changed take his value; everything else goes as the driver holds it
    // when the change is made, which another program may have changed since the rows were read.
    std::vector<wchar_t> rows;
    std::map<wchar_t, int> chosen;
    for (CacheFrame *frame : cacheFrames()) {
        const wchar_t letter = frame->volumeRoot().at(0).unicode();
        rows.push_back(letter);
        if (frame->isChanged())
            chosen[letter] = frame->sizeBox()->value();
    }
    const LayoutWrite write = changeLayout(driver, system, rows, chosen);
    if (write.outcome == WriteOutcome::Busy) {
        warnBusy(); // the rows keep the change: OK can send it again
        return;
    }
    if (write.outcome != WriteOutcome::Confirmed) {
        QMessageBox::warning(this, tr("Warning"), tr("Could not enable all caches."),
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
    // The rows show what the driver holds now, which after a partial failure is not the choice.
    if (write.after.readable())
        showLayout(write.after);
    else
        loadCacheTable();
    keepFocusInCachesTab();
}

void MainWindow::keepFocusInCachesTab() {
    // The button box is disabled once nothing is left to apply, and a disabled button keeps the
    // focus: keyboard users would be left on nothing. The first row that can be edited takes it,
    // else the tabs.
    if (QWidget *focused = QApplication::focusWidget(); focused && focused->isEnabled())
        return;
    for (CacheFrame *frame : cacheFrames()) {
        if (frame->sizeBox()->isEnabled()) {
            frame->sizeBox()->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    tabWidget->tabBar()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::on_buttonBox_accepted() {
    applyCacheTable();
}

void MainWindow::on_buttonBox_rejected() {
    for (CacheFrame *frame : cacheFrames())
        frame->reset();
    keepFocusInCachesTab();
}
