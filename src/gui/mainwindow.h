#pragma once

#include "core/driver.h"
#include "gui/settingsstore.h"
#include "system/systemapi.h"
#include "ui_mainwindow.h"

#include <QMainWindow>
#include <QSystemTrayIcon>

class CacheFrame;
class QCheckBox;
class QLabel;
class QTimer;

// The one top-level window: the four tabs, the notification-area icon and the refresh timer.
class MainWindow : public QMainWindow, public Ui::MainWindow {
    Q_OBJECT

public:
    MainWindow(QWidget *parent, bool hidden, orvanta::SystemApi &system,
               orvanta::SettingsStore settings);
    ~MainWindow() override;

    void loadOptions();
    void setDriverControlsDisabled(bool disabled);

    void buildCacheList();
    // Loads the driver's table into the rows; the rows are locked when it cannot be read.
    void loadCacheTable();
    // Whether the rows show the layout the driver holds: false after a failed read.
    bool cacheTableKnown() const { return tableKnown; }
    void updateCacheButtons();
    void applyCacheTable();
    // A row the user changed and has not applied: a size too large for its box is none.
    bool hasPendingChange() const;
    // The cache rows in list order, found among the items of cachesLayout.
    QList<CacheFrame *> cacheFrames() const;

    QSystemTrayIcon *trayIcon = nullptr;
    QTimer *statisticsTimer = nullptr;

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_tabWidget_currentChanged(int index);
    void on_clearStatsButton_clicked();
    void on_prefetcherCheckBox_toggled(bool checked);
    void on_memoryCheckBox_toggled(bool checked);
    void on_writeCacheCheckBox_toggled(bool checked);
    void on_speculativeCheckBox_toggled(bool checked);
    void on_trayCheckBox_toggled(bool checked);
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void updateStatistics();

private:
    void loadAutostart();
    void showOptions(const orvanta::OptionFlags &flags);
    void optionToggled(QCheckBox *box, bool orvanta::OptionFlags::*flag, bool checked);
    // Another writer kept the writers' lock: nothing was sent.
    void warnBusy();
    void showLayout(const orvanta::LayoutRead &held);
    void keepFocusInCachesTab();
    void showCacheTableKnown(bool known);
    void startStatisticsTimerOnStatusTab();

    orvanta::SystemApi &system;
    const orvanta::SettingsStore settings;
    orvanta::Driver driver;
    // The hide that follows a minimise; a restore before it fires cancels it.
    QTimer *hideTimer = nullptr;
    // A layout that could not be read is never offered for editing: OK would send it.
    bool tableKnown = true;
    QLabel *cacheTableUnreadLabel = nullptr;
};
