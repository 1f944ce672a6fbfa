#include "core/cachetable.h"
#include "core/installlayout.h"
#include "core/volumes.h"
#include "core/writers.h"
#include "ctl/commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>

namespace orvanta::ctl {

namespace {

// The roots of a table's entries, upper-cased as findEntry compares them, each once.
std::vector<std::string> roots(const CacheTable &table) {
    std::vector<std::string> found;
    for (const CacheEntry &entry : table.entries) {
        const std::string root = entryRoot(entry);
        if (!root.empty() && std::find(found.begin(), found.end(), root) == found.end())
            found.push_back(root);
    }
    return found;
}

// A cache size as the driver holds it: whole GB as such, anything else with its fraction.
std::string gbText(std::int64_t bytes) {
    const std::int64_t gigabyte = std::int64_t(1) << 30;
    if (bytes % gigabyte == 0)
        return std::to_string(bytes / gigabyte) + " GB";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / double(gigabyte));
    return text;
}

std::int64_t sizeOf(const CacheTable &table, const std::string &root) {
    const CacheEntry *entry = findEntry(table, root);
    return entry ? entry->sizeBytes : 0;
}

// Says, volume by volume, whether the driver holds what was sent: every volume it held before,
// every one sent and every one it holds now, a cache the layout dropped named as such.
int verify(Context &context, const LayoutWrite &write) {
    Console &console = context.console;
    if (write.outcome != WriteOutcome::Confirmed)
        console.err << "orvanta-ctl: layout: the driver did not enable every cache\n";
    if (!write.after.readable())
        return unreachable(console, "layout (reading it back)");
    std::vector<std::string> volumes = roots(write.sent);
    for (const CacheTable *table : {&write.before.table, &write.after.table})
        for (const std::string &root : roots(*table))
            if (std::find(volumes.begin(), volumes.end(), root) == volumes.end())
                volumes.push_back(root);
    bool allHeld = write.outcome == WriteOutcome::Confirmed;
    for (const std::string &root : volumes) {
        const bool dropped = !findEntry(write.sent, root);
        const std::int64_t sent = sizeOf(write.sent, root), held = sizeOf(write.after.table, root);
        allHeld = allHeld && sent == held;
        console.out << root.substr(0, 2) << ' '
                    << (dropped ? gbText(sizeOf(write.before.table, root)) + " dropped"
                                : gbText(sent) + " sent")
                    << ", " << gbText(held) << " held" << (sent == held ? "" : ": NOT TAKEN")
                    << '\n';
    }
    return allHeld ? Success : DriverFailed;
}

// What became of a write that may not have reached the driver.
int finish(Context &context, const LayoutWrite &write, const char *what) {
    Console &console = context.console;
    switch (write.outcome) {
    case WriteOutcome::Busy:
        return busy(console, what);
    case WriteOutcome::Unreadable:
        return unreachable(console, what);
    case WriteOutcome::TooLarge:
        console.err << "orvanta-ctl: " << what << ": the layout would not fit the driver's "
                    << CacheEntryCount << " entries; nothing sent\n";
        return DriverFailed;
    default:
        return verify(context, write);
    }
}

// A layout shown is sent only with --yes, and what became of it said.
int sendIfYes(Context &context, bool yes, const char *what,
              const std::function<LayoutWrite()> &send) {
    if (!yes) {
        context.console.out << "Not sent: add --yes to send this layout.\n";
        return Success;
    }
    return finish(context, send(), what);
}

// Volume and size of each argument X:=GB; a usage error's exit code otherwise.
int parseSizes(Console &console, const Arguments &arguments, const std::vector<wchar_t> &eligible,
               std::map<wchar_t, int> &wanted, bool &yes) {
    for (const std::string &argument : arguments) {
        if (argument == "--yes") {
            yes = true;
            continue;
        }
        char letter = argument.empty() ? 0 : char(std::toupper((unsigned char)argument[0]));
        char *end = nullptr;
        const long gigabytes =
            argument.size() > 3 ? std::strtol(argument.c_str() + 3, &end, 10) : -1;
        if (argument.size() <= 3 || argument.compare(1, 2, ":=") != 0 || letter < 'C' ||
            letter > 'Z' || *end || !std::isdigit((unsigned char)argument[3]))
            return usage(console, "layout set: '" + argument + "' is not X:=GB (such as E:=4)");
        const std::string volume{letter, ':'};
        if (gigabytes > MaxCacheGB)
            return usage(console, "layout set: " + volume + " takes whole GB from 0 to " +
                                      std::to_string(MaxCacheGB));
        if (std::find(eligible.begin(), eligible.end(), wchar_t(letter)) == eligible.end())
            return usage(console, "layout set: " + volume +
                                      " is not a volume a cache can live on (a fixed NTFS volume)");
        if (wanted.count(wchar_t(letter)))
            return usage(console, "layout set: " + volume + " is given twice");
        wanted[wchar_t(letter)] = int(gigabytes);
    }
    return wanted.empty() ? usage(console, "layout set: no volume given (such as E:=4)") : Success;
}

int layoutSet(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    bool yes = false;
    std::map<wchar_t, int> wanted;
    const std::vector<wchar_t> eligible = eligibleVolumes(context.system);
    if (const int refused = parseSizes(console, arguments, eligible, wanted, yes))
        return refused;
    const LayoutRead held = context.driver.layout();
    if (!held.readable())
        return unreachable(console, "layout set");

    std::ostringstream change;
    std::map<wchar_t, int> changed;
    for (const auto &[letter, size] : wanted) {
        const std::string root = narrow(volumeRoot(letter));
        const std::string volume = root.substr(0, 2);
        const std::int64_t now = sizeOf(held.table, root);
        if (gigabytesToBytes(size) == now) {
            change << volume << ' ' << gbText(now) << " unchanged\n";
            continue;
        }
        const int freeGB = freeSpaceGB(volumeRoot(letter), context.system);
        const CacheEntry *entry = findEntry(held.table, root);
        // What the Caches tab would pull back is refused rather than changed behind one's back.
        if (cacheSizeKept(freeGB, size, entry ? entrySizeGB(*entry) : 0) != size)
            return usage(console, "layout set: " + volume + " has " + std::to_string(freeGB) +
                                      " GB free for caching: at most " +
                                      std::to_string(std::max(freeGB - CacheReserveGB, 0)) +
                                      " GB, as " + std::to_string(CacheReserveGB) +
                                      " GB must stay free");
        change << volume << ' ' << gbText(now) << " -> " << size << " GB ("
               << std::max(freeGB - size, 0) << " GB free left)\n";
        changed[letter] = size;
    }
    console.out << change.str();
    if (changed.empty()) {
        console.out << "Nothing to change: nothing sent.\n";
        return Success;
    }
    // Read again under the writers' lock: every volume not named keeps what the driver holds then.
    return sendIfYes(context, yes, "layout set", [&] {
        return changeLayout(context.driver, context.system, eligible, changed);
    });
}

// Why the default layout holds no cache: an empty one is never sent.
std::string noVolumeReason(Context &context, const std::vector<VolumeCandidate> &candidates) {
    if (eligibleVolumes(context.system).empty())
        return "no fixed NTFS volume";
    if (candidates.empty())
        return "the driver did not answer for any volume (is it running?)";
    return "no volume has more than " + std::to_string(InstallReserveGB) + " GB free for caching";
}

// The suggested caches against those in force: what each gets, and every cache it drops.
void describeReplacement(std::ostream &out, const LayoutRead &held, const CacheTable &table) {
    for (const CacheEntry &entry : table.entries) {
        const std::string root = entryRoot(entry);
        if (root.empty())
            continue;
        const std::int64_t now = sizeOf(held.table, root);
        out << root.substr(0, 2) << ' '
            << (!held.readable()         ? ""
                : now == entry.sizeBytes ? "unchanged at "
                                         : gbText(now) + " -> ")
            << gbText(entry.sizeBytes) << " (rating " << entry.rating << ")\n";
    }
    for (const std::string &root : roots(held.table))
        if (!findEntry(table, root))
            out << root.substr(0, 2) << ' ' << gbText(sizeOf(held.table, root)) << " -> dropped\n";
    if (!held.readable())
        out << "The layout in force could not be read: what this replaces is not known.\n";
}

int layoutSuggest(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    bool yes = false;
    if (const int refused = onlyFlag(console, "layout suggest", arguments, "--yes", &yes))
        return refused;
    const std::vector<VolumeCandidate> candidates = defaultLayout(context.system);
    const CacheTable table = layoutTable(candidates);
    // An empty suggestion sent would drop every cache in force: it is said, and not sent.
    if (roots(table).empty()) {
        console.err << "orvanta-ctl: layout suggest: no volume to cache on: "
                    << noVolumeReason(context, candidates) << "; nothing sent\n";
        return DriverFailed;
    }
    describeReplacement(console.out, context.driver.layout(), table);
    // The layout shown is the one sent; the read-back names what it replaced.
    return sendIfYes(context, yes, "layout suggest", [&] {
        return replaceLayout(context.driver, context.system, [&table] { return table; });
    });
}

int layoutInForce(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    if (const int refused = onlyFlag(console, "layout in-force", arguments))
        return refused;
    const LayoutRead held = context.driver.layout();
    if (!held.readable())
        return unreachable(console, "layout in-force");
    // Any size at all counts: a layout someone chose must never be taken for none.
    for (const CacheEntry &entry : held.table.entries) {
        if (entry.sizeBytes != 0) {
            console.out << "A cache layout is in force.\n";
            return Success;
        }
    }
    console.out << "No cache layout is in force.\n";
    return NoLayout;
}

} // namespace

int layoutCommand(Context &context, const Arguments &arguments) {
    const std::string first = arguments.empty() ? "" : arguments[0];
    const Arguments rest =
        arguments.empty() ? arguments : Arguments(arguments.begin() + 1, arguments.end());
    if (first == "set")
        return layoutSet(context, rest);
    if (first == "suggest")
        return layoutSuggest(context, rest);
    if (first == "in-force")
        return layoutInForce(context, rest);
    Console &console = context.console;
    bool asJson = false;
    if (const int refused = onlyFlag(console, "layout", arguments, "--json", &asJson))
        return refused;
    // The volumes are listed also when the driver cannot be asked, their caches unknown.
    const LayoutRead held = context.driver.layout();
    std::ostream &out = console.out;
    out << (asJson ? "[" : "Volume  Cache   Rating  Free for caching\n");
    bool firstVolume = true;
    for (wchar_t letter : eligibleVolumes(context.system)) {
        const std::string root = narrow(volumeRoot(letter));
        const CacheEntry *entry = findEntry(held.table, root);
        const std::string sizeText =
            held.readable() ? std::to_string(entry ? entrySizeGB(*entry) : 0) : "-";
        VolumeQueryResult query;
        const bool rated = context.driver.queryVolume(letter, query);
        const int freeGB = freeSpaceGB(volumeRoot(letter), context.system);
        const std::string ratingText = rated ? std::to_string(query.rating) : "-";
        if (asJson) {
            out << (firstVolume ? "" : ", ") << "{\"volume\": " << json(root.substr(0, 2))
                << ", \"cacheGB\": " << (held.readable() ? sizeText : "null")
                << ", \"rating\": " << (rated ? ratingText : "null") << ", \"freeGB\": " << freeGB
                << '}';
        } else {
            char line[96];
            std::snprintf(line, sizeof line, "%-7s %2s GB   %-7s %d GB\n",
                          root.substr(0, 2).c_str(), sizeText.c_str(), ratingText.c_str(), freeGB);
            out << line;
        }
        firstVolume = false;
    }
    out << (asJson ? "]\n" : "");
    return held.readable() ? Success : unreachable(console, "layout");
}

} // namespace orvanta::ctl
