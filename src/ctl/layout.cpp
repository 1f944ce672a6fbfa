#include "core/cachetable.h"
#include "core/installlayout.h"
#include "core/volumes.h"
#include "ctl/commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
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

// Reads the whole layout back after a send and says, volume by volume, whether the driver holds
// what was meant: every volume of the table sent and every one the driver holds.
int verify(Context &context, const CacheTable &meant, Applied applied) {
    Console &console = context.console;
    if (applied != Applied::Confirmed)
        console.err << "orvanta-ctl: layout: the driver did not enable every cache\n";
    const LayoutRead held = context.driver.layout();
    if (!held.readable())
        return unreachable(console, "layout (reading it back)");
    bool allHeld = applied == Applied::Confirmed;
    std::vector<std::string> volumes = roots(meant);
    for (const std::string &root : roots(held.table))
        if (std::find(volumes.begin(), volumes.end(), root) == volumes.end())
            volumes.push_back(root);
    for (const std::string &root : volumes) {
        const CacheEntry *sent = findEntry(meant, root);
        const CacheEntry *now = findEntry(held.table, root);
        const int sentGB = sent ? entrySizeGB(*sent) : 0;
        const int heldGB = now ? entrySizeGB(*now) : 0;
        allHeld = allHeld && sentGB == heldGB;
        console.out << root.substr(0, 2) << ' ' << sentGB << " GB sent, " << heldGB << " GB held"
                    << (sentGB == heldGB ? "" : ": NOT TAKEN") << '\n';
    }
    return allHeld ? Success : DriverFailed;
}

int layoutSet(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    bool yes = false;
    std::map<wchar_t, int> wanted;
    const std::vector<wchar_t> eligible = eligibleVolumes(context.system);
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
            return usage(console, "layout set: " + volume + " takes whole GB from 0 to 16");
        if (std::find(eligible.begin(), eligible.end(), wchar_t(letter)) == eligible.end())
            return usage(console, "layout set: " + volume +
                                      " is not a volume a cache can live on (a fixed NTFS volume)");
        if (wanted.count(wchar_t(letter)))
            return usage(console, "layout set: " + volume + " is given twice");
        wanted[wchar_t(letter)] = int(gigabytes);
    }
    if (wanted.empty())
        return usage(console, "layout set: no volume given (such as E:=4)");
    const LayoutRead held = context.driver.layout();
    if (!held.readable())
        return unreachable(console, "layout set");

    std::ostringstream change;
    std::map<wchar_t, int> changed;
    for (const auto &[letter, size] : wanted) {
        const std::string root = narrow(volumeRoot(letter));
        const CacheEntry *entry = findEntry(held.table, root);
        const int now = entry ? entrySizeGB(*entry) : 0;
        if (size == now) {
            change << root.substr(0, 2) << ' ' << now << " GB unchanged\n";
            continue;
        }
        const int freeGB = freeSpaceGB(volumeRoot(letter), context.system);
        if (!cacheSizeAllowed(freeGB, size, now))
            return usage(console, "layout set: " + root.substr(0, 2) + " has " +
                                      std::to_string(freeGB) +
                                      " GB free for caching; a cache must leave more than 2 GB "
                                      "of it free");
        change << root.substr(0, 2) << ' ' << now << " GB -> " << size << " GB ("
               << std::max(freeGB - size, 0) << " GB free left)\n";
        changed[letter] = size;
    }
    console.out << change.str();
    if (changed.empty()) {
        console.out << "Nothing to change: nothing sent.\n";
        return Success;
    }
    // The Caches tab's table: every eligible volume in order with the size the driver holds,
    // the changed ones with their new size, and every other entry the driver holds as it is.
    const std::optional<CacheTable> table =
        layoutForChange(held.table, eligible, changed, context.system);
    if (!table) {
        console.err << "orvanta-ctl: layout set: the layout would not fit the driver's 26 "
                       "entries; nothing sent\n";
        return DriverFailed;
    }
    if (!yes) {
        console.out << "Not sent: add --yes to send this layout.\n";
        return Success;
    }
    return verify(context, *table, context.driver.applyLayout(*table));
}

int layoutSuggest(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    const bool yes = arguments.size() == 1 && arguments[0] == "--yes";
    if (!arguments.empty() && !yes)
        return usage(console, "layout suggest: unexpected '" + arguments[0] + "'");
    const std::vector<VolumeCandidate> candidates = defaultLayout(context.system);
    const CacheTable table = layoutTable(candidates);
    for (const CacheEntry &entry : table.entries) {
        if (!entryPath(entry).empty())
            console.out << entryPath(entry).substr(0, 2) << ' ' << entrySizeGB(entry)
                        << " GB (rating " << entry.rating << ")\n";
    }
    // An empty suggestion sent would drop every cache in force: it is said, and not sent.
    if (roots(table).empty()) {
        console.err << "orvanta-ctl: layout suggest: no volume to cache on: "
                    << (eligibleVolumes(context.system).empty() ? "no fixed NTFS volume"
                        : candidates.empty()
                            ? "the driver did not answer for any volume (is it running?)"
                            : "no volume has more than 2 GB free for caching")
                    << "; nothing sent\n";
        return DriverFailed;
    }
    if (!yes) {
        console.out << "Not sent: add --yes to send this layout.\n";
        return Success;
    }
    return verify(context, table, context.driver.applyLayout(table));
}

int layoutInForce(Context &context, const Arguments &arguments) {
    Console &console = context.console;
    if (!arguments.empty())
        return usage(console, "layout in-force: unexpected '" + arguments[0] + "'");
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
    const bool asJson = arguments.size() == 1 && first == "--json";
    if (!arguments.empty() && !asJson)
        return usage(console, "layout: unexpected '" + first + "'");
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
