// A raw answer to IOCTL_GET_CACHE_TABLE through the Caches tab of a real window: the table reader
// and the rows' load (find by root, sizes, duplicates, unterminated paths), then an apply.
//
// Input: up to 2296 bytes of answer (a shorter one leaves the rest as the monitor zeroed it).
// Bytes after a whole 2296 set the rows' volumes' free space, one byte each in GB (255: the
// free-space query fails), since the pull-back of a row depends on it. One more byte decides the
// driver's verdict on the apply: bit 0 makes the set request fail, bit 1 answers it with status 0.
//
// Checked after the load: each row holds the size a reader of its own finds for its root, the
// spin box stays within 0 to 16, no label shows negative free space, marking and the OK/Cancel box
// follow the rows. Checked on apply: the table sent is exactly 2296 bytes, entries packed in row
// order with the sizes shown, every reserved byte and the status zero, volume queries only for
// rows with a size; exactly one warning when the driver does not confirm, none when it does.
#include "core/cachetable.h"
#include "fuzzapplication.h"
#include "gui/cacheframe.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace orvanta;
using orvanta::testing::RecordingSystem;

namespace {

constexpr std::uint64_t GB = std::uint64_t(1) << 30;
constexpr int MaxShownGB = 16; // the spin box's range is 0 to 16
constexpr int ReserveGB = 2;

struct Volume {
    wchar_t letter;
    std::uint64_t defaultFreeGB;
    std::uint64_t cacheFileBytes; // orvn#001.io in its root, counted as free for caching
    std::optional<VolumeQueryResult> query;
};

// Free space around the spin box's maximum and the reserve, one volume without a volume query.
const Volume volumes[] = {
    {L'C', 100, 0, VolumeQueryResult{0, 700}},
    {L'D', 5, 3 * GB, std::nullopt},
    {L'E', 18, GB / 2, VolumeQueryResult{2, 100}},
    {L'Z', 1, 0, VolumeQueryResult{3, 513}},
};
constexpr int VolumeCount = sizeof volumes / sizeof volumes[0];

RecordingSystem *fakeSystem = nullptr;
MainWindow *window = nullptr;
int freeGB[VolumeCount]; // what freeSpaceGB must say for each row in this input

std::string root(int row) {
    return std::string{static_cast<char>(volumes[row].letter), ':', '\\'};
}

// The table reader, written again from the record's layout: the size of the last entry whose
// path (up to its NUL, within 64 bytes), upper-cased, is the root; 0 for none or status 0.
std::int32_t storedSizeFor(const std::uint8_t *table, const std::string &volumeRoot) {
    std::uint32_t status;
    std::memcpy(&status, table, 4);
    if (status == 0)
        return 0;
    std::int32_t size = 0;
    for (int k = 0; k < CacheEntryCount; ++k) {
        const std::uint8_t *entry = table + 8 + 88 * k;
        std::string path;
        for (int i = 0; i < 64 && entry[i] != 0; ++i)
            path +=
                static_cast<char>(entry[i] >= 'a' && entry[i] <= 'z' ? entry[i] - 32 : entry[i]);
        if (path.empty() || path != volumeRoot)
            continue;
        std::uint64_t bytes;
        std::memcpy(&bytes, entry + 64, 8);
        size = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes >> 30));
    }
    return size;
}

// What a row loaded from a clean 0 shows: the stored size, clamped by the spin box; a clamped
// value is a change the slot may pull back; the stored size itself never is.
int shownAfterLoad(std::int32_t stored, int free) {
    if (stored <= 0)
        return 0;
    if (stored <= MaxShownGB)
        return stored;
    if (free - MaxShownGB <= ReserveGB)
        return free - ReserveGB > 0 ? free - ReserveGB : 0;
    return MaxShownGB;
}

bool parseFreeLabel(const QString &text, int &left) {
    if (!text.endsWith(QLatin1String(" GB free")))
        return false;
    const QString number = text.left(text.size() - 8);
    for (QChar c : number)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    bool ok = false;
    left = number.toInt(&ok);
    return ok;
}

// What holds for the rows after any load.
void checkRows(const QList<CacheFrame *> &rows) {
    bool anyDirty = false;
    for (int i = 0; i < rows.size(); ++i) {
        CacheFrame *row = rows[i];
        const int value = row->sizeBox()->value();
        FUZZ_CHECK(value >= 0 && value <= MaxShownGB, "row %d shows %d GB", i, value);
        int left = -1;
        FUZZ_CHECK(parseFreeLabel(row->freeSpaceLabel()->text(), left), "row %d label %s", i,
                   qPrintable(row->freeSpaceLabel()->text()));
        FUZZ_CHECK(left == std::max(0, freeGB[i] - value), "row %d shows %d GB free of %d", i, left,
                   freeGB[i]);
        const bool dirty = value != row->driverSize();
        FUZZ_CHECK(row->isDirty() == dirty, "row %d dirty", i);
        const QString style = dirty ? QStringLiteral("color: maroon;") : QString();
        FUZZ_CHECK(row->sizeBox()->styleSheet() == style &&
                       row->freeSpaceLabel()->styleSheet() == style,
                   "row %d marking", i);
        anyDirty = anyDirty || dirty;
    }
    FUZZ_CHECK(window->buttonBox->isEnabled() == anyDirty, "OK/Cancel follow the rows");
}

void checkSentTable(const QList<CacheFrame *> &rows) {
    const auto &requests = fakeSystem->requests;
    std::size_t next = 0;
    std::vector<std::uint32_t> ratings;
    for (int i = 0; i < rows.size(); ++i) {
        const int value = rows[i]->sizeBox()->value();
        std::uint32_t rating = 0;
        if (value != 0) {
            FUZZ_CHECK(next < requests.size() && requests[next].code == IOCTL_QUERY_VOLUME,
                       "row %d queries its volume", i);
            const std::wstring device =
                std::wstring(L"\\\\.\\") + volumes[i].letter + std::wstring(L":");
            FUZZ_CHECK(requests[next].device == device && requests[next].outSize == 8,
                       "row %d query", i);
            if (volumes[i].query)
                rating = volumes[i].query->rating;
            ++next;
        }
        ratings.push_back(rating);
    }
    FUZZ_CHECK(next < requests.size(), "a set request follows the queries");
    const auto &set = requests[next];
    FUZZ_CHECK(set.code == IOCTL_SET_CACHE_TABLE, "the set request");
    FUZZ_CHECK(set.inSize == sizeof(CacheTable) && set.outSize == sizeof(CacheTable) &&
                   set.in.size() == sizeof(CacheTable) && set.inBuffer == set.outBuffer,
               "the table sent is one 2296-byte buffer both ways");
    FUZZ_CHECK(next + 2 == requests.size() && requests[next + 1].code == IOCTL_GET_CACHE_TABLE,
               "the apply ends with one load");

    // Every byte of the record, built again: all zero but the rows' entries.
    std::vector<std::uint8_t> expected(sizeof(CacheTable), 0);
    for (int i = 0; i < rows.size(); ++i) {
        std::uint8_t *entry = expected.data() + 8 + 88 * i;
        const std::string path = root(i);
        std::memcpy(entry, path.data(), path.size());
        const std::int64_t bytes = std::int64_t(rows[i]->sizeBox()->value()) * std::int64_t(GB);
        std::memcpy(entry + 64, &bytes, 8);
        std::memcpy(entry + 80, &ratings[std::size_t(i)], 4);
    }
    for (std::size_t b = 0; b < expected.size(); ++b)
        FUZZ_CHECK(set.in[b] == expected[b], "byte %zu of the table sent is %u, expected %u", b,
                   set.in[b], expected[b]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzzing::startApplication();
    fakeSystem = new RecordingSystem;
    fakeSystem->status.state = 1;
    for (const Volume &volume : volumes) {
        RecordingSystem::Volume &fake = fakeSystem->volumes[volume.letter];
        fake.freeBytes = volume.defaultFreeGB * GB;
        fake.query = volume.query;
        if (volume.cacheFileBytes)
            fakeSystem->files[std::wstring{volume.letter, L':', L'\\'} + L"orvn#001.io"] =
                volume.cacheFileBytes;
    }
    window = new MainWindow(nullptr, true, *fakeSystem);
    // The warning's own event loop would run the status polls in the middle of an apply.
    window->statisticsTimer->stop();
    FUZZ_CHECK(window->cacheFrames().size() == VolumeCount, "one row per volume");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    constexpr std::size_t TableSize = sizeof(CacheTable);
    if (size > TableSize + VolumeCount + 1)
        return -1;
    const QList<CacheFrame *> rows = window->cacheFrames();

    for (int i = 0; i < VolumeCount; ++i) {
        const std::size_t at = TableSize + std::size_t(i);
        const unsigned gb = at < size ? data[at] : unsigned(volumes[i].defaultFreeGB);
        RecordingSystem::Volume &fake = fakeSystem->volumes[volumes[i].letter];
        if (gb == 255) {
            fake.freeBytes.reset();
            freeGB[i] = 0;
        } else {
            fake.freeBytes = gb * GB;
            freeGB[i] = int((gb * GB + volumes[i].cacheFileBytes) >> 30);
        }
    }

    // Every input starts from rows at 0, as after a start-up with an empty table.
    CacheTable empty = emptyCacheTable();
    empty.status = 1;
    fakeSystem->rawAnswers[IOCTL_GET_CACHE_TABLE].assign(
        reinterpret_cast<const std::uint8_t *>(&empty),
        reinterpret_cast<const std::uint8_t *>(&empty) + TableSize);
    window->loadCacheTable();

    std::vector<std::uint8_t> answer(TableSize, 0);
    std::memcpy(answer.data(), data, std::min(size, TableSize));
    fakeSystem->rawAnswers[IOCTL_GET_CACHE_TABLE].assign(data, data + std::min(size, TableSize));
    fakeSystem->clearLog();
    window->loadCacheTable();
    FUZZ_CHECK(fakeSystem->requests.size() == 1 &&
                   fakeSystem->requests[0].code == IOCTL_GET_CACHE_TABLE &&
                   fakeSystem->requests[0].outSize == TableSize,
               "a load is one get request");
    for (int i = 0; i < VolumeCount; ++i) {
        const std::int32_t stored = storedSizeFor(answer.data(), root(i));
        FUZZ_CHECK(rows[i]->driverSize() == stored, "row %d holds %d, the table says %d", i,
                   rows[i]->driverSize(), stored);
        const int shown = shownAfterLoad(stored, freeGB[i]);
        FUZZ_CHECK(rows[i]->sizeBox()->value() == shown, "row %d shows %d, expected %d", i,
                   rows[i]->sizeBox()->value(), shown);
    }
    checkRows(rows);

    const unsigned verdict = size > TableSize + VolumeCount ? data[TableSize + VolumeCount] : 0;
    if (verdict & 1)
        fakeSystem->failing.insert(IOCTL_SET_CACHE_TABLE);
    else
        fakeSystem->failing.erase(IOCTL_SET_CACHE_TABLE);
    fakeSystem->setTableStatus = (verdict & 2) ? 0 : 1;
    fakeSystem->clearLog();
    // The warning is modal: its own event loop runs the timer that answers it.
    int warnings = 0;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&warnings] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            FUZZ_CHECK(box->text() == QLatin1String("Could not enable all caches."), "%s",
                       qPrintable(box->text()));
            ++warnings;
            box->button(QMessageBox::Ok)->click();
        }
    });
    answerer.start(0);
    window->applyCacheTable();
    answerer.stop();
    FUZZ_CHECK(warnings == (verdict & 3 ? 1 : 0), "%d warnings for verdict %u", warnings, verdict);
    checkSentTable(rows);
    checkRows(rows);
    fuzzing::settle();
    return 0;
}
