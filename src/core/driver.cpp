#include "core/driver.h"

#include "core/cachetable.h"

namespace orvanta {

bool Driver::status(StatusRecord &record) {
    record = StatusRecord{};
    return channel.driverRequest(IOCTL_GET_STATUS, &record, sizeof record, nullptr, 0);
}

bool Driver::clearStatistics() {
    return channel.driverRequest(IOCTL_CLEAR_STATISTICS, nullptr, 0, nullptr, 0);
}

bool Driver::options(OptionFlags &flags) {
    OptionsRecord record{};
    if (!channel.driverRequest(IOCTL_GET_OPTIONS, &record, sizeof record, nullptr, 0))
        return false;
    flags = optionFlags(record);
    return true;
}

bool Driver::setOptions(const OptionFlags &flags) {
    OptionsRecord record = optionsRecord(flags);
    return channel.driverRequest(IOCTL_SET_OPTIONS, nullptr, 0, &record, sizeof record);
}

LayoutRead Driver::layout() {
    LayoutRead read;
    read.table = emptyCacheTable();
    const bool answered =
        channel.driverRequest(IOCTL_GET_CACHE_TABLE, &read.table, sizeof read.table, nullptr, 0);
    if (answered && driverConfirmed(read.table)) {
        read.state = LayoutRead::Known;
        return read;
    }
    // A status of 0 is the driver's word that no layout is in force; a failed request may have
    // left part of an answer.
    read.state = answered ? LayoutRead::None : LayoutRead::Unreadable;
    read.table = emptyCacheTable();
    return read;
}

Applied Driver::applyLayout(const CacheTable &table) {
    // One buffer both ways: the driver answers in the table it was sent.
    CacheTable answer = table;
    if (!channel.driverRequest(IOCTL_SET_CACHE_TABLE, &answer, sizeof answer, &answer,
                               sizeof answer))
        return Applied::NotCarried;
    return driverConfirmed(answer) ? Applied::Confirmed : Applied::Refused;
}

bool Driver::queryVolume(wchar_t letter, VolumeQueryResult &result) {
    result = VolumeQueryResult{};
    return channel.deviceRequest(std::wstring{letter, L':'}, IOCTL_QUERY_VOLUME, &result,
                                 sizeof result, nullptr, 0);
}

} // namespace orvanta
