// Arbitrary bytes as machine.json: what parses is written back to text that parses again and
// writes back the same, so a rewrite never changes a field; a simulated system answers from the
// file without reading past it.
#include "core/driverchannel.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace orvanta;
    static QTemporaryDir root;
    static SimulatedSystem system(root.path());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    sim::Machine machine, again;
    QString problem;
    if (sim::parseMachine(text, machine, problem) &&
        !(sim::parseMachine(sim::serializeMachine(machine), again, problem) &&
          sim::serializeMachine(again) == sim::serializeMachine(machine)))
        std::abort();
    QFile file(root.filePath(QStringLiteral("machine.json")));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size()) {
        file.close();
        DriverChannel channel(system);
        CacheTable table{};
        channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0);
        channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table);
    }
    return 0;
}
