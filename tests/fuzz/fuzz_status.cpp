// A raw answer to IOCTL_GET_STATUS (up to 40 bytes; a shorter one leaves the rest of the record
// as the monitor zeroed it) through the status view and through the Status tab of a real window.
// A 41st byte with bit 0 set makes the request fail instead, which must show as a zero record.
// Checks every state word, counter, average and reason against arithmetic of its own, and that
// the six driver-dependent controls follow the state.
#include "core/statusview.h"
#include "fuzzapplication.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {

RecordingSystem *fakeSystem = nullptr;
MainWindow *window = nullptr;

bool onlyDigits(const std::string &text) {
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::string average(std::uint64_t count, std::uint64_t elapsedMs, unsigned shift) {
    if (elapsedMs == 0)
        return "-";
    const unsigned __int128 perSecond = static_cast<unsigned __int128>(count) * 1000u / elapsedMs;
    return fuzzing::decimal(perSecond >> shift);
}

void checkView(const StatusRecord &record, const StatusView &view) {
    static const char *const words[] = {"Not running", "Running", "Disabled", "Failsafe"};
    const char *word = record.state < 4 ? words[record.state] : "Unknown";
    FUZZ_CHECK(std::strcmp(view.stateText, word) == 0, "state %u shows %s", record.state,
               view.stateText);
    const bool usable = record.state == 1 || record.state == 2;
    FUZZ_CHECK(view.controlsDisabled == !usable, "state %u", record.state);
    FUZZ_CHECK(view.showsReason == (record.state == 3), "state %u", record.state);
    if (view.showsReason)
        FUZZ_CHECK(view.reason == std::to_string(record.failsafeReason), "reason %s",
                   view.reason.c_str());

    // No figure is ever negative: every one but the reason is plain digits.
    FUZZ_CHECK(view.memory == std::to_string(record.memoryUsed >> 20) + " MB", "%s",
               view.memory.c_str());
    FUZZ_CHECK(onlyDigits(view.totalRequests) &&
                   view.totalRequests == std::to_string(record.totalRequests),
               "%s", view.totalRequests.c_str());
    FUZZ_CHECK(view.totalBytes == std::to_string(record.totalBytes >> 20) + " MB", "%s",
               view.totalBytes.c_str());
    const std::string requests = average(record.totalRequests, record.elapsedMs, 0);
    FUZZ_CHECK(view.averageRequests == requests, "%s, expected %s", view.averageRequests.c_str(),
               requests.c_str());
    std::string bytes = average(record.totalBytes, record.elapsedMs, 10);
    if (record.elapsedMs != 0) {
        FUZZ_CHECK(onlyDigits(bytes), "%s", bytes.c_str());
        bytes += " kB/s";
    }
    FUZZ_CHECK(view.averageBytes == bytes, "%s, expected %s", view.averageBytes.c_str(),
               bytes.c_str());
}

QString text(const std::string &value) {
    return QString::fromStdString(value);
}

void checkWindow(const StatusView &view) {
    FUZZ_CHECK(window->statusNumber->text() == QLatin1String(view.stateText), "%s",
               qPrintable(window->statusNumber->text()));
    // The reason describes the Failsafe state only.
    const QString tip =
        view.showsReason ? QStringLiteral("Reason: ") + text(view.reason) : QString();
    FUZZ_CHECK(window->statusNumber->toolTip() == tip, "tool-tip %s",
               qPrintable(window->statusNumber->toolTip()));
    FUZZ_CHECK(window->memoryNumber->text() == text(view.memory), "memory");
    FUZZ_CHECK(window->totalRequestsNumber->text() == text(view.totalRequests), "requests");
    FUZZ_CHECK(window->totalBytesNumber->text() == text(view.totalBytes), "bytes");
    FUZZ_CHECK(window->averageRequestsNumber->text() == text(view.averageRequests), "average");
    FUZZ_CHECK(window->averageBytesNumber->text() == text(view.averageBytes), "average bytes");

    const bool enabled = !view.controlsDisabled;
    FUZZ_CHECK(window->clearStatsButton->isEnabled() == enabled, "clear");
    FUZZ_CHECK(window->prefetcherCheckBox->isEnabled() == enabled, "prefetcher");
    FUZZ_CHECK(window->memoryCheckBox->isEnabled() == enabled, "memory box");
    FUZZ_CHECK(window->speculativeCheckBox->isEnabled() == enabled, "speculative");
    FUZZ_CHECK(window->writeCacheCheckBox->isEnabled() == enabled, "write cache");
    FUZZ_CHECK(window->cacheTab->isEnabled() == enabled, "caches tab");
    FUZZ_CHECK(window->trayCheckBox->isEnabled(), "the tray box is never disabled");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzing::startApplication();
    fakeSystem = new RecordingSystem;
    window = new MainWindow(nullptr, true, *fakeSystem);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > sizeof(StatusRecord) + 1)
        return -1;
    const std::size_t answerSize = std::min(size, sizeof(StatusRecord));
    const bool fails = size > sizeof(StatusRecord) && (data[sizeof(StatusRecord)] & 1);
    StatusRecord record{};
    std::memcpy(&record, data, answerSize);
    checkView(record, statusView(record));
    if (fails)
        record = StatusRecord{};
    const StatusView view = statusView(record);

    fakeSystem->clearLog();
    fakeSystem->rawAnswers[IOCTL_GET_STATUS].assign(data, data + answerSize);
    if (fails)
        fakeSystem->failing.insert(IOCTL_GET_STATUS);
    else
        fakeSystem->failing.erase(IOCTL_GET_STATUS);
    QMetaObject::invokeMethod(window, "updateStatistics", Qt::DirectConnection);
    FUZZ_CHECK(fakeSystem->requests.size() == 1 &&
                   fakeSystem->requests[0].code == IOCTL_GET_STATUS &&
                   fakeSystem->requests[0].outSize == sizeof(StatusRecord),
               "one status request of 40 bytes");
    checkWindow(view);
    fuzzing::settle();
    return 0;
}
