#pragma once

#include "core/driverchannel.h"
#include "core/records.h"

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
    explicit Driver(SystemApi &system)
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

} // namespace orvanta
