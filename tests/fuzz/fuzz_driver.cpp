// The driver's answers as arbitrary bytes, read by a real window: the first 40 bytes answer the
// status request, the next 16 the options request, the rest the cache-table request (shorter
// inputs make short answers). Nothing may be read past an answer, and what shows must stay in
// its bounds.
#include "core/cachetable.h"
#include "core/statusview.h"
#include "fuzzcheck.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"

#include <QApplication>
#include <QSpinBox>

using namespace orvanta;

// Fontconfig, below Qt's font database, keeps small allocations for good; only its leaks are
// ignored.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz", *argv[] = {name, nullptr};
    static QApplication *application =
        (qputenv("QT_QPA_PLATFORM", "offscreen"),
         qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {}),
         new QApplication(argc, argv));
    static testing::RecordingSystem system;
    static MainWindow *window =
        (system.volumes[L'C'], system.volumes[L'D'], new MainWindow(nullptr, true, system));
    (void)application;
    if (size > sizeof(StatusRecord) + sizeof(OptionsRecord) + sizeof(CacheTable))
        return -1;
    const auto part = [&](std::size_t from, std::size_t length) {
        from = std::min(from, size);
        return std::vector<std::uint8_t>(data + from, data + std::min(size, from + length));
    };
    system.rawAnswers[IOCTL_GET_STATUS] = part(0, 40);
    system.rawAnswers[IOCTL_GET_OPTIONS] = part(40, 16);
    system.rawAnswers[IOCTL_GET_CACHE_TABLE] = part(56, sizeof(CacheTable));
    QMetaObject::invokeMethod(window, "updateStatistics");
    window->loadOptions();
    window->loadCacheTable();
    for (CacheFrame *frame : window->cacheFrames())
        FUZZ_CHECK(frame->sizeBox()->value() >= 0 && frame->sizeBox()->value() <= 16, "row size");
    QCoreApplication::sendPostedEvents();
    system.clearLog();

    StatusRecord record{};
    std::memcpy(&record, data, std::min(size, sizeof record));
    const StatusView view = statusView(record);
    if (record.elapsedMs != 0) {
        const unsigned __int128 perSecond =
            (unsigned __int128)record.totalRequests * 1000 / record.elapsedMs;
        FUZZ_CHECK((perSecond >> 64) ||
                       view.averageRequests == std::to_string(std::uint64_t(perSecond)),
                   "the average is exact");
    }
    return 0;
}
