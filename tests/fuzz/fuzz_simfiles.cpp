// Arbitrary bytes as machine.json: what parses must write back to text that parses again and
// writes back the same, so a tool's rewrite never loses or changes a field; a simulated system
// reading the file answers without reading past it.
#include "core/driverchannel.h"
#include "fuzzcheck.h"
#include "sim/simmachine.h"
#include "sim/simulatedsystem.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

using namespace orvanta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static QTemporaryDir root;
    static SimulatedSystem system(root.path());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    sim::Machine machine;
    QString problem;
    if (sim::parseMachine(text, machine, problem)) {
        const QByteArray written = sim::serializeMachine(machine);
        sim::Machine again;
        FUZZ_CHECK(sim::parseMachine(written, again, problem), "a written machine parses");
        FUZZ_CHECK(sim::serializeMachine(again) == written, "a rewrite changes nothing");
    }
    QFile file(root.filePath(QStringLiteral("machine.json")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return 0;
    file.close();
    DriverChannel channel(system);
    CacheTable table{};
    StatusRecord status{};
    channel.driverRequest(IOCTL_GET_STATUS, &status, sizeof status, nullptr, 0);
    channel.driverRequest(IOCTL_GET_CACHE_TABLE, &table, sizeof table, nullptr, 0);
    channel.driverRequest(IOCTL_SET_CACHE_TABLE, &table, sizeof table, &table, sizeof table);
    return 0;
}
