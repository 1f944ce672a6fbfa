// In-process timings of the monitor's hot paths, with Google Benchmark: the 25 ms status tick
// with its repaint, free space for caching, one cache-row value change and the install-time
// procedure. Each timed iteration is measured on its own, so the median and the 99th percentile
// come out as counters beside Google Benchmark's mean. scripts/bench runs it and prints the table.
#include "app/monitorsettings.h"
#include "core/cachetable.h"
#include "core/installlayout.h"
#include "core/volumes.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "sim/demo.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QMetaMethod>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using orvanta::SimulatedSystem;
using orvanta::StatusRecord;
using orvanta::testing::RecordingSystem;

namespace {

constexpr std::int64_t TickMs = 25;
// The demo machine's workload, so the counters move between ticks as they do for a user.
constexpr std::uint64_t RequestsPerSecond = ORVANTA_DEMO_REQUESTS_PER_SECOND;
constexpr std::uint64_t BytesPerSecond = ORVANTA_DEMO_BYTES_PER_SECOND;
constexpr int WarmUpIterations = 200;

using Clock = std::chrono::steady_clock;

// Every iteration's time, for the median and the 99th percentile; Google Benchmark's own CPU
// column gives the mean CPU time beside it.
class Samples {
public:
    using Start = Clock::time_point;

    explicit Samples(benchmark::State &state) { times_.reserve(std::size_t(state.max_iterations)); }

    void add(benchmark::State &state, Start start) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(seconds);
        times_.push_back(seconds * 1e6);
    }

    void report(benchmark::State &state) {
        if (times_.empty())
            return;
        std::sort(times_.begin(), times_.end());
        state.counters["p50_us"] = percentile(0.50);
        state.counters["p99_us"] = percentile(0.99);
    }

private:
    double percentile(double share) const {
        return times_[std::min(times_.size() - 1, std::size_t(share * double(times_.size())))];
    }
    std::vector<double> times_;
};

// Counts the paint events a tick caused, to show that its repaint was part of what was timed.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// The folder every simulated machine of this run lives in; ORVANTA_SIM_ROOT points into it, so
// the settings store never touches the user's own files.
QTemporaryDir *workFolder = nullptr;

// The demo machines of the benchmarks, made before any runs: a user's demo machine was written
// long before the monitor polls it, and the simulated machine reads a file it finds unchanged
// for a while by its time stamps alone.
constexpr unsigned long SettleMs = 2100;

QString demoMachine(const QString &name, double sleepScale = 1.0) {
    const QString root = workFolder->filePath(name);
    if (QFile::exists(root + QStringLiteral("/machine.json")))
        return root;
    QString error;
    if (!orvanta::createDemoMachine(root, error))
        qFatal("cannot create the demo machine: %s", qPrintable(error));
    if (sleepScale != 1.0) {
        orvanta::sim::MachineFile file(root);
        if (!file.update(
                [sleepScale](orvanta::sim::Machine &machine) {
                    machine.sleepScale = sleepScale;
                    return true;
                },
                error))
            qFatal("cannot change the demo machine: %s", qPrintable(error));
    }
    return root;
}

// The demo machine's eligible volumes and layout on the recording fake.
void setUpFake(RecordingSystem &system) {
    const std::uint64_t gigabyte = std::uint64_t(1) << 30;
    system.volumes[L'C'].freeBytes = 96 * gigabyte;
    system.volumes[L'C'].query = orvanta::VolumeQueryResult{0, 700};
    system.volumes[L'D'].freeBytes = 406 * gigabyte;
    system.volumes[L'D'].query = orvanta::VolumeQueryResult{0, 700};
    system.volumes[L'E'].freeBytes = 1636 * gigabyte;
    system.volumes[L'E'].query = orvanta::VolumeQueryResult{1, 180};
    system.files[L"D:\\orvn#001.io"] = 6 * gigabyte;
    system.files[L"E:\\orvn#002.io"] = 2 * gigabyte;
    orvanta::appendEntry(system.cacheTable, "D:\\", 6, 700);
    orvanta::appendEntry(system.cacheTable, "E:\\", 2, 180);
    system.cacheTable.status = 1;
    system.status.state = 1;
    system.status.memoryUsed = ORVANTA_DEMO_MEMORY_USED;
    system.options = orvanta::OptionsRecord{1, 0, 0, 0};
}

// What the driver's counters do in one 25 ms period under the demo workload.
void advance(StatusRecord &status, std::uint64_t tick) {
    const std::uint64_t ms = tick * TickMs;
    status.totalRequests = RequestsPerSecond * ms / 1000;
    status.totalBytes = BytesPerSecond * ms / 1000;
    status.elapsedMs = ms;
}

std::unique_ptr<MainWindow> shownWindow(orvanta::SystemApi &system) {
    // The window's Autostart value stays in a folder of the benchmark's own.
    static QTemporaryDir settingsFolder;
    auto window = std::make_unique<MainWindow>(nullptr, false, system,
                                               orvanta::monitorSettingsAt(settingsFolder.path()));
    // The benchmark drives the ticks itself; the timer would add ticks of its own.
    window->statisticsTimer->stop();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qFatal("the window was not exposed");
    QCoreApplication::processEvents();
    return window;
}

// Building the window sends the driver options once, which rewrites machine.json; a user polls
// and turns spin boxes long after that, when the file has settled again.
void settleMachine() {
    QTest::qWait(int(SettleMs));
}

QMetaMethod tickSlot(const MainWindow &window) {
    const QMetaObject *meta = window.metaObject();
    return meta->method(meta->indexOfSlot("updateStatistics()"));
}

// One tick as the timer delivers it, with the layout and paint events it leaves behind.
template <typename BeforeTick>
void runTicks(benchmark::State &state, MainWindow &window, BeforeTick beforeTick) {
    const QMetaMethod tick = tickSlot(window);
    PaintCounter counter;
    std::uint64_t n = 0;
    for (int i = 0; i < WarmUpIterations; ++i) {
        beforeTick(++n);
        tick.invoke(&window, Qt::DirectConnection);
        QCoreApplication::processEvents();
    }
    qApp->installEventFilter(&counter);
    Samples samples(state);
    for (auto _ : state) {
        beforeTick(++n);
        const Samples::Start start = Clock::now();
        tick.invoke(&window, Qt::DirectConnection);
        QCoreApplication::processEvents();
        samples.add(state, start);
    }
    qApp->removeEventFilter(&counter);
    samples.report(state);
    state.counters["paints_per_tick"] = double(counter.paints) / double(state.iterations());
}

void BM_TickFake(benchmark::State &state) {
    RecordingSystem system;
    setUpFake(system);
    const auto window = shownWindow(system);
    runTicks(state, *window, [&system](std::uint64_t tick) {
        advance(system.status, tick);
        system.clearLog(); // the fake's record would otherwise grow without bound
    });
}

void BM_TickSimulated(benchmark::State &state) {
    SimulatedSystem system(demoMachine(QStringLiteral("tick")));
    // Each status request sees 25 ms more of the workload, as the real timer would.
    const std::int64_t start = QDateTime::currentMSecsSinceEpoch();
    std::int64_t requests = 0;
    system.setClock([&requests, start] { return start + TickMs * ++requests; });
    const auto window = shownWindow(system);
    settleMachine();
    runTicks(state, *window, [](std::uint64_t) {});
}

void BM_FreeSpaceFake(benchmark::State &state) {
    RecordingSystem system;
    setUpFake(system);
    Samples samples(state);
    for (auto _ : state) {
        const Samples::Start start = Clock::now();
        benchmark::DoNotOptimize(orvanta::freeSpaceGB(L"D:\\", system));
        samples.add(state, start);
        system.clearLog();
    }
    samples.report(state);
}

void BM_FreeSpaceSimulated(benchmark::State &state) {
    SimulatedSystem system(demoMachine(QStringLiteral("free")));
    for (int i = 0; i < WarmUpIterations; ++i)
        orvanta::freeSpaceGB(L"D:\\", system);
    Samples samples(state);
    for (auto _ : state) {
        const Samples::Start start = Clock::now();
        benchmark::DoNotOptimize(orvanta::freeSpaceGB(L"D:\\", system));
        samples.add(state, start);
    }
    samples.report(state);
}

// The user turns D:'s spin box one step away from the driver's size and back: each step runs the
// row's slot (free space, label, maroon style, the OK/Cancel box) and repaints the Caches tab.
void runRowChanges(benchmark::State &state, orvanta::SystemApi &system,
                   const std::function<void()> &afterChange, bool simulated) {
    const auto window = shownWindow(system);
    if (simulated)
        settleMachine();
    window->tabWidget->setCurrentWidget(window->cacheTab);
    QCoreApplication::processEvents();
    CacheFrame *row = window->cacheFrames().at(1);
    const int stored = row->driverSize();
    QSpinBox *box = row->sizeBox();
    int step = 0;
    const auto change = [&] {
        box->setValue(++step % 2 ? stored + 1 : stored);
        QCoreApplication::processEvents();
        afterChange();
    };
    for (int i = 0; i < WarmUpIterations; ++i)
        change();
    Samples samples(state);
    for (auto _ : state) {
        const Samples::Start start = Clock::now();
        change();
        samples.add(state, start);
    }
    samples.report(state);
}

void BM_RowChangeFake(benchmark::State &state) {
    RecordingSystem system;
    setUpFake(system);
    runRowChanges(
        state, system, [&system] { system.clearLog(); }, false);
}

void BM_RowChangeSimulated(benchmark::State &state) {
    SimulatedSystem system(demoMachine(QStringLiteral("row")));
    runRowChanges(
        state, system, [] {}, true);
}

// The /install procedure without its pause: enumeration, volume queries, the layout and the
// set request, which rewrites machine.json and the cache files.
void BM_InstallSimulated(benchmark::State &state) {
    SimulatedSystem system(demoMachine(QStringLiteral("install"), 0.0));
    Samples samples(state);
    for (auto _ : state) {
        const Samples::Start start = Clock::now();
        benchmark::DoNotOptimize(orvanta::installDefaultLayout(system));
        samples.add(state, start);
    }
    samples.report(state);
}

void timedPerIteration(benchmark::internal::Benchmark *benchmark, int iterations) {
    benchmark->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(iterations);
}

} // namespace

BENCHMARK(BM_TickFake)->Apply([](auto *b) { timedPerIteration(b, 4000); });
BENCHMARK(BM_TickSimulated)->Apply([](auto *b) { timedPerIteration(b, 4000); });
BENCHMARK(BM_FreeSpaceFake)->Apply([](auto *b) { timedPerIteration(b, 20000); });
BENCHMARK(BM_FreeSpaceSimulated)->Apply([](auto *b) { timedPerIteration(b, 2000); });
BENCHMARK(BM_RowChangeFake)->Apply([](auto *b) { timedPerIteration(b, 1000); });
BENCHMARK(BM_RowChangeSimulated)->Apply([](auto *b) { timedPerIteration(b, 400); });
BENCHMARK(BM_InstallSimulated)->Apply([](auto *b) { timedPerIteration(b, 50); });

int main(int argc, char **argv) {
    // Offscreen unless the caller chose a platform: the figures are the monitor's, not a display's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("cannot create a temporary folder");
    workFolder = &folder;
    qputenv("ORVANTA_SIM_ROOT", folder.filePath(QStringLiteral("settings")).toLocal8Bit());

    QApplication application(argc, argv);
    for (const char *name : {"tick", "free", "row"})
        demoMachine(QLatin1String(name));
    demoMachine(QStringLiteral("install"), 0.0);
    QThread::msleep(SettleMs);
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("qt", qVersion());
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
