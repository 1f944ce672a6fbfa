// The driver's answers as arbitrary bytes, read by a real window: the first 40 bytes answer the
// status request, the next 16 the options request, the rest the cache-table request. Nothing may
// be read past an answer (the sanitizers watch), and the rows stay within 0 to 16 GB.
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"

#include <QApplication>
#include <QSpinBox>

// Fontconfig, below Qt's font database, keeps small allocations for good.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace orvanta;
    static testing::RecordingSystem &system = *new testing::RecordingSystem;
    static MainWindow &window = *[] {
        static int argc = 1;
        static char name[] = "fuzz", *argv[] = {name, nullptr};
        new QApplication(argc, argv);
        system.volumes[L'C'];
        return new MainWindow(nullptr, true, system);
    }();
    const auto part = [&](std::size_t from, std::size_t length) {
        return std::vector<std::uint8_t>(data + std::min(from, size),
                                         data + std::min(size, from + length));
    };
    system.rawAnswers[IOCTL_GET_STATUS] = part(0, 40);
    system.rawAnswers[IOCTL_GET_OPTIONS] = part(40, 16);
    system.rawAnswers[IOCTL_GET_CACHE_TABLE] = part(56, sizeof(CacheTable));
    QMetaObject::invokeMethod(&window, "updateStatistics");
    window.loadOptions();
    window.loadCacheTable();
    const int shown = window.cacheFrames()[0]->sizeBox()->value();
    if (shown < 0 || shown > 16)
        std::abort();
    QCoreApplication::sendPostedEvents();
    system.clearLog();
    return 0;
}
