#pragma once

#include "core/records.h"
#include "system/systemapi.h"

#include <QFrame>
#include <QString>

#include <optional>

class MainWindow;
class QLabel;
class QSpinBox;

namespace Ui {
class CacheFrame;
}

// One row of the Caches tab: a volume, its free space for caching and the size chosen for it.
class CacheFrame : public QFrame {
    Q_OBJECT

public:
    CacheFrame(QWidget *parent, MainWindow *owner, const QString &root, orvanta::SystemApi &system);
    ~CacheFrame() override;

    void updateFreeSpace();
    bool isDirty() const;
    // Dirty by the user's hand: a driver size the box cannot show (above 16 GB) makes the row
    // dirty too, but is no choice of his to send.
    bool isChanged() const;
    void reset();
    void loadFrom(const orvanta::CacheTable &table);

    const QString &volumeRoot() const { return root; }
    int driverSize() const { return storedSize; }
    QSpinBox *sizeBox() const;
    QLabel *freeSpaceLabel() const;

public slots:
    void on_cacheSize_valueChanged(int value);

private:
    void showFreeSpace(int free);

    Ui::CacheFrame *ui;
    QString root;
    int storedSize = 0;
    // The user turned the box since the last load or reset.
    bool edited = false;
    MainWindow *owner;
    orvanta::SystemApi &system;
    std::wstring rootW;
    // The volume's free space while one change is handled: a pull-back's nested run and a
    // load's two runs show the figure the change started with instead of asking the disk again.
    std::optional<int> freeInChange;
};
