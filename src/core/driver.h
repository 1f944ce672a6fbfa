#pragma once

#include "core/driverchannel.h"
#include "core/records.h"
#include "core/statusview.h"

#include <map>
#include <optional>
#include <vector>

namespace orvanta {

// What the driver holds as its cache layout.
struct LayoutRead {
    enum State {
        Known,     // table holds the driver's layout
        None,      // the driver's word that no layout is in force; table is empty
        Unreadable // the driver could not be asked; table is empty and says nothing
    } state = Unreadable;
    CacheTable table{};

    bool readable() const { return state != Unreadable; }
};

// The outcome of sending a cache layout.
enum class Applied {
    NotCarried, // the request failed: nothing is known of what the driver holds
    Refused,    // carried out, but the driver did not enable every cache
    Confirmed,
};

// The driver's requests, each with its record: the one place where bytes meet the channel.
// Every answer is read into a zeroed record, so a short one leaves no stray bytes.
class Driver {
public:
    explicit Driver(SystemApi &system = defaultSystem())
        : channel(system) {}

    bool status(StatusRecord &record);
    bool clearStatistics();
    bool options(OptionFlags &flags);
    bool setOptions(const OptionFlags &flags);
    LayoutRead layout();
    Applied applyLayout(const CacheTable &table);
    // Sent to the volume's own device, C: for 'C'.
    bool queryVolume(wchar_t letter, VolumeQueryResult &result);

private:
    DriverChannel channel;
};

// The layout to send for a change: each row's volume in order, with the size the user chose
// where he changed it and the size the driver holds otherwise (its rating asked afresh, as a row
// sends it), then every entry the driver holds for a volume that has no row, unchanged. Nothing
// when it does not fit the table's 26 entries: a layout cut short would drop caches.
std::optional<CacheTable> layoutForChange(const CacheTable &held, const std::vector<wchar_t> &rows,
                                          const std::map<wchar_t, int> &chosenGB,
                                          SystemApi &system = defaultSystem());

} // namespace orvanta
