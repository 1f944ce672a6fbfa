// A raw answer to IOCTL_GET_OPTIONS (up to 16 bytes) through the Options tab of a real window.
// A 17th byte, when there is one, sets the four boxes before the load (bits 0 to 3, record
// order), since what a load sends depends on them; without it they are unticked, as at start-up.
// The boxes must end as the answer says (any non-zero value ticks), and the set requests the load
// sends must be exactly one per box that changed, each carrying the boxes as they stood, in 0/1.
#include "core/statusview.h"
#include "fuzzapplication.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"

#include <QCheckBox>
#include <QSignalBlocker>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {

RecordingSystem *fakeSystem = nullptr;
MainWindow *window = nullptr;

// The boxes in record order: prefetcherEnabled, saveMemory, disableWriteCache,
// disableSpeculative.
std::array<QCheckBox *, 4> boxes() {
    return {window->prefetcherCheckBox, window->memoryCheckBox, window->writeCacheCheckBox,
            window->speculativeCheckBox};
}

std::array<std::uint32_t, 4> fields(const OptionsRecord &record) {
    return {record.prefetcherEnabled, record.saveMemory, record.disableWriteCache,
            record.disableSpeculative};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzing::startApplication();
    fakeSystem = new RecordingSystem;
    window = new MainWindow(nullptr, true, *fakeSystem);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size > sizeof(OptionsRecord) + 1)
        return -1;
    const std::size_t answerSize = std::min(size, sizeof(OptionsRecord));
    const unsigned before = size > sizeof(OptionsRecord) ? data[sizeof(OptionsRecord)] : 0;

    std::array<bool, 4> shown{};
    for (std::size_t i = 0; i < 4; ++i) {
        shown[i] = (before >> i) & 1;
        const QSignalBlocker quiet(boxes()[i]);
        boxes()[i]->setChecked(shown[i]);
    }

    OptionsRecord answer{};
    std::memcpy(&answer, data, answerSize);
    const OptionFlags flags = optionFlags(answer);
    const std::array<bool, 4> wanted = {flags.prefetcherEnabled, flags.saveMemory,
                                        flags.disableWriteCache, flags.disableSpeculative};
    for (std::size_t i = 0; i < 4; ++i)
        FUZZ_CHECK(wanted[i] == (fields(answer)[i] != 0), "field %zu", i);
    // Written back, every flag is exactly 0 or 1 and reads the same.
    const OptionsRecord written = optionsRecord(flags);
    for (std::size_t i = 0; i < 4; ++i)
        FUZZ_CHECK(fields(written)[i] == (wanted[i] ? 1u : 0u), "field %zu written", i);

    // The boxes are set in the order prefetcher, memory, speculative, write cache; each change
    // sends all four as they then stand.
    std::vector<std::array<std::uint32_t, 4>> expectedSends;
    for (std::size_t i : {0, 1, 3, 2}) {
        if (shown[i] == wanted[i])
            continue;
        shown[i] = wanted[i];
        expectedSends.push_back({shown[0], shown[1], shown[2], shown[3]});
    }

    fakeSystem->clearLog();
    fakeSystem->rawAnswers[IOCTL_GET_OPTIONS].assign(data, data + answerSize);
    window->loadOptions();

    for (std::size_t i = 0; i < 4; ++i)
        FUZZ_CHECK(boxes()[i]->isChecked() == wanted[i], "box %zu", i);
    const auto &requests = fakeSystem->requests;
    FUZZ_CHECK(requests.size() == 1 + expectedSends.size(), "%zu requests, expected %zu",
               requests.size(), 1 + expectedSends.size());
    FUZZ_CHECK(requests[0].code == IOCTL_GET_OPTIONS && requests[0].outSize == 16 &&
                   requests[0].inSize == 0,
               "the read");
    for (std::size_t n = 0; n < expectedSends.size(); ++n) {
        const auto &request = requests[1 + n];
        FUZZ_CHECK(request.code == IOCTL_SET_OPTIONS && request.inSize == 16 &&
                       request.outSize == 0 && request.outBuffer == nullptr,
                   "set request %zu", n);
        OptionsRecord sent;
        std::memcpy(&sent, request.in.data(), sizeof sent);
        FUZZ_CHECK(fields(sent) == expectedSends[n], "set request %zu carries the boxes", n);
    }
    fuzzing::settle();
    return 0;
}
