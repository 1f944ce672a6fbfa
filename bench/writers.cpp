// The load figure of several writers at once on one simulated machine: orvanta-ctl processes,
// each changing its own volume and its own option round after round, and the window driven here
// meanwhile. At the end every change that reported success must be what the driver holds, which
// also means that none that reported failure is; the run prints the changes, the failures, the
// changes lost and its time, and fails on a lost one. ORVANTA_WRITERS_ROUNDS sets the rounds
// (150 by default). The test suite proves the parts this rests on one by one: every request of a
// change under the writers' lock, a writer kept out while another holds it, and no update of the
// machine file lost between processes.
#include "app/monitorsettings.h"
#include "core/cachetable.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"
#include "tempmachine.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <map>
#include <memory>

namespace {

const QByteArray machineJson = R"({"journal": false, "sleepScale": 0, "volumes": [
  {"letter": "C", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400, "diskId": 0, "rating": 600},
  {"letter": "D", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400, "diskId": 1, "rating": 500},
  {"letter": "E", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400, "diskId": 2, "rating": 400},
  {"letter": "F", "type": "fixed", "fileSystem": "NTFS", "freeBytes": 107374182400, "diskId": 3, "rating": 300}],
  "driver": {"loaded": true, "state": 1, "options": [0, 0, 0, 0],
             "cacheTable": {"status": 1, "entries": []}}})";

// Each writer's own volume and option, and what the driver must hold of them at the end.
struct Writer {
    char volume;
    int option; // its place in the options record
    const char *optionName;
    int round = 0;
    int held = 0; // the size of the last change that reported success
    bool optionHeld = false;
    int failures = 0;
};

int sizeFor(int round) { // never the size of the round before
    return 1 + round % 8;
}

} // namespace

class TestWriters : public QObject {
    Q_OBJECT

    SimMachine machine;
    int rounds = qEnvironmentVariableIntValue("ORVANTA_WRITERS_ROUNDS");

    // One orvanta-ctl writer: its layout change, then its option, then the next round.
    void runConsoleWriter(Writer &writer, QProcess &process, bool layoutStep) {
        if (writer.round == rounds)
            return;
        const QString volume = QStringLiteral("%1:").arg(QLatin1Char(writer.volume));
        const int size = sizeFor(writer.round);
        const bool on = writer.round % 2 == 0;
        const QStringList arguments =
            layoutStep ? QStringList{"layout", "set", volume + "=" + QString::number(size), "--yes"}
                       : QStringList{"options", QString::fromLatin1(writer.optionName) +
                                                    (on ? "=on" : "=off")};
        process.disconnect();
        connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
                [=, &writer, &process](int code, QProcess::ExitStatus status) {
                    const bool done = status == QProcess::NormalExit && code == 0;
                    writer.failures += !done;
                    if (done && layoutStep)
                        writer.held = size;
                    if (done && !layoutStep)
                        writer.optionHeld = on;
                    if (!layoutStep)
                        ++writer.round;
                    runConsoleWriter(writer, process, !layoutStep);
                });
        machine.start(process, ctlProgram(), arguments, false);
    }

    // The window's round: a new size on its row and OK, then its option box; a warning is a
    // change that did not happen.
    void runWindowRound(MainWindow &window, Writer &writer) {
        int warnings = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&warnings] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++warnings;
                box->accept();
            }
        });
        answer.start(0);
        const int size = sizeFor(writer.round);
        window.cacheFrames().last()->sizeBox()->setValue(size);
        window.buttonBox->button(QDialogButtonBox::Ok)->click();
        const bool applied = warnings == 0 && window.cacheFrames().last()->driverSize() == size;
        writer.held = applied ? size : writer.held;
        const int before = warnings;
        window.writeCacheCheckBox->click();
        const bool toggled = warnings == before;
        writer.optionHeld = toggled ? window.writeCacheCheckBox->isChecked() : writer.optionHeld;
        writer.failures += !applied + !toggled;
        ++writer.round;
    }

private slots:
    void changesThatReportedSuccessAreHeld() {
        rounds = rounds > 0 ? rounds : 150;
        QVERIFY(machine.write(QStringLiteral("machine.json"), machineJson));
        Writer writers[4] = {{'C', 0, "prefetcher"},
                             {'D', 1, "save-memory"},
                             {'E', 3, "disable-speculative"},
                             {'F', 2, "disable-write-cache"}};
        orvanta::SimulatedSystem system(machine.root());
        MainWindow window(nullptr, false, system, orvanta::monitorSettingsAt(machine.root()));
        window.tabWidget->setCurrentWidget(window.cacheTab);
        QProcess processes[3];
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 3; ++i)
            runConsoleWriter(writers[i], processes[i], true);
        while (writers[0].round < rounds || writers[1].round < rounds ||
               writers[2].round < rounds || writers[3].round < rounds) {
            if (writers[3].round < rounds)
                runWindowRound(window, writers[3]);
            QTest::qWait(writers[3].round < rounds ? 5 : 50);
            QVERIFY2(clock.elapsed() < 600000, "the writers did not finish in ten minutes");
        }

        orvanta::sim::Machine stored;
        QString problem;
        QVERIFY(orvanta::sim::parseMachine(machine.read(QStringLiteral("machine.json")), stored,
                                           problem));
        const orvanta::CacheTable held = stored.driver.cacheTable();
        int lost = 0, failures = 0;
        for (const Writer &writer : writers) {
            const orvanta::CacheEntry *entry =
                orvanta::findEntry(held, std::string{writer.volume, ':', '\\'});
            const int size = entry ? orvanta::entrySizeGB(*entry) : 0;
            lost += (size != writer.held) +
                    (bool(stored.driver.options[writer.option]) != writer.optionHeld);
            failures += writer.failures;
        }
        qInfo("writers: 3 orvanta-ctl processes and the window, %d rounds each (%d changes); "
              "reported failed: %d; lost: %d; %lld ms",
              rounds, 4 * rounds * 2, failures, lost, clock.elapsed());
        QCOMPARE(lost, 0);
    }
};

QTEST_MAIN(TestWriters)
#include "writers.moc"
