#pragma once

// Every change of the driver's settings, whoever makes it (the window, /install, orvanta-ctl):
// under the machine's writers' lock, read what the driver holds, change only what was meant,
// send, and read back. Several programs may write at once; none builds a change from a view
// another has made stale, and none sends what it did not mean to change other than as the driver
// holds it.

#include "core/driver.h"
#include "core/records.h"
#include "system/systemapi.h"

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace orvanta {

// A writer holds the lock for milliseconds; one that waits longer than this for it says so and
// sends nothing rather than hang.
constexpr unsigned WriterLockTimeoutMs = 5000;

// The writers' lock for the lifetime of the object, when held() says so.
class WriterLock {
public:
    explicit WriterLock(SystemApi &system, unsigned timeoutMs = WriterLockTimeoutMs);
    ~WriterLock();
    WriterLock(const WriterLock &) = delete;
    WriterLock &operator=(const WriterLock &) = delete;

    bool held() const { return held_; }

private:
    SystemApi &system_;
    bool held_;
};

enum class WriteOutcome {
    Busy,       // another writer kept the lock: nothing read, nothing sent
    Unreadable, // what the driver holds could not be read: nothing sent
    TooLarge,   // the layout would not fit the table's 26 entries: nothing sent
    NotCarried, // the set request failed
    Refused,    // carried out, but the driver did not take all of it
    Confirmed,
};

struct LayoutWrite {
    WriteOutcome outcome = WriteOutcome::Busy;
    LayoutRead before; // what the driver held when the change began (unread where not needed)
    CacheTable sent{};
    LayoutRead after; // read back once sent
};

// The table a change sends: each row's volume in order, and then every entry the driver holds for
// a volume without a row. A volume the user changed gets one entry built as a row builds it (its
// size, and the rating the driver gave in `ratings`, asked afresh; where it gave none, the rating
// it held). Every other volume keeps the entries the driver holds, byte for byte, duplicates
// included; a row without any is sent at 0 GB. Nothing when it does not fit 26 entries: a layout
// cut short would drop caches.
std::optional<CacheTable> layoutForChange(const CacheTable &held, const std::vector<wchar_t> &rows,
                                          const std::map<wchar_t, int> &chosenGB,
                                          const std::map<wchar_t, std::uint32_t> &ratings);

// A change of some volumes' sizes (rows and chosenGB as layoutForChange takes them), built from
// what the driver holds under the lock.
LayoutWrite changeLayout(Driver &driver, SystemApi &system, const std::vector<wchar_t> &rows,
                         const std::map<wchar_t, int> &chosenGB);

// A whole new layout, built under the lock from the machine as it is then. With report, the
// driver's layout is read before (to name what the new one drops) and after.
LayoutWrite replaceLayout(Driver &driver, SystemApi &system,
                          const std::function<CacheTable()> &build, bool report = true);

struct OptionChange {
    bool OptionFlags::*flag;
    bool value;
};

struct OptionsWrite {
    WriteOutcome outcome = WriteOutcome::Busy;
    std::optional<OptionFlags> before; // as the driver held them under the lock
    std::optional<OptionFlags> after;  // read back once sent
};

// The named options set to their values, every other one sent as the driver holds it.
OptionsWrite changeOptions(Driver &driver, SystemApi &system,
                           const std::vector<OptionChange> &changes);

} // namespace orvanta
