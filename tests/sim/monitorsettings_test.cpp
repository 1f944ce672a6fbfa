// The monitor's registry key on the simulated machine: registry.json keeps numbers as numbers
// and texts as texts, and a file that cannot be read is kept aside, not lost.
#include "simtestsupport.h"

#include "platform/monitorsettings.h"
#include "platform/platformsystem.h"
#include "sim/simulatedsystem.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace orvanta::testing {
namespace {

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

TEST(MonitorSettings, NumbersStayNumbersAndTextsTexts) {
    SimRoot sim;
    ScopedEnvironment env("ORVANTA_SIM_ROOT", QFile::encodeName(sim.root()));
    {
        const std::unique_ptr<QSettings> settings = openMonitorSettings();
        settings->setValue(QStringLiteral("Autostart"), 1);
        settings->setValue(QStringLiteral("Text"), QStringLiteral("1"));
        settings->sync();
        EXPECT_EQ(settings->status(), QSettings::NoError);
    }
    const QJsonObject stored =
        QJsonDocument::fromJson(readFile(sim.path(QStringLiteral("registry.json")))).object();
    EXPECT_TRUE(stored.value(QStringLiteral("Autostart")).isDouble());
    EXPECT_TRUE(stored.value(QStringLiteral("Text")).isString());

    // By hand, with what a person might put there.
    writeFile(sim.path(QStringLiteral("registry.json")),
              R"({"Autostart": 0, "Text": "1", "Big": 5000000000, "Half": 1.5, "On": true,
                  "Nothing": null, "List": [1, "a"], "Group": {"Sub": 2}})");
    const std::unique_ptr<QSettings> settings = openMonitorSettings();
    const QVariant autostart = settings->value(QStringLiteral("Autostart"));
    EXPECT_EQ(autostart.userType(), int(QMetaType::Int));
    EXPECT_EQ(autostart.toInt(), 0);
    EXPECT_EQ(settings->value(QStringLiteral("Text")).userType(), int(QMetaType::QString));
    EXPECT_EQ(settings->value(QStringLiteral("Big")).userType(), int(QMetaType::LongLong));
    EXPECT_EQ(settings->value(QStringLiteral("Big")).toLongLong(), 5000000000LL);
    EXPECT_EQ(settings->value(QStringLiteral("Half")).userType(), int(QMetaType::Double));
    EXPECT_EQ(settings->value(QStringLiteral("On")).userType(), int(QMetaType::Bool));
    EXPECT_FALSE(settings->value(QStringLiteral("Nothing")).isValid());
    EXPECT_EQ(settings->value(QStringLiteral("List")).toList().size(), 2);
    EXPECT_EQ(settings->value(QStringLiteral("Group/Sub")).userType(), int(QMetaType::Int));
    EXPECT_EQ(settings->status(), QSettings::NoError);
}

TEST(MonitorSettings, AnUnreadableFileIsKeptAside) {
    SimRoot sim;
    ScopedEnvironment env("ORVANTA_SIM_ROOT", QFile::encodeName(sim.root()));
    const QString registry = sim.path(QStringLiteral("registry.json"));
    const QByteArray broken = "{\"Autostart\": 1,, oops";
    writeFile(registry, broken);

    WarningCatcher warnings;
    {
        const std::unique_ptr<QSettings> settings = openMonitorSettings();
        EXPECT_FALSE(settings->value(QStringLiteral("Autostart")).isValid()) << "reads as empty";
        EXPECT_EQ(settings->status(), QSettings::FormatError);
        settings->setValue(QStringLiteral("Autostart"), 0);
        settings->sync();
    }
    EXPECT_EQ(readFile(registry + QStringLiteral(".bad")), broken) << "what the user wrote";
    EXPECT_EQ(openMonitorSettings()->value(QStringLiteral("Autostart")), QVariant(0));
    EXPECT_FALSE(warnings.messages.filter(QStringLiteral("registry.json")).isEmpty());

    // Broken again: the first copy aside stays, the second goes next to it.
    writeFile(registry, "[1, 2]");
    {
        const std::unique_ptr<QSettings> settings = openMonitorSettings();
        EXPECT_FALSE(settings->value(QStringLiteral("Autostart")).isValid());
        settings->setValue(QStringLiteral("Autostart"), 1);
    }
    EXPECT_EQ(readFile(registry + QStringLiteral(".bad")), broken);
    EXPECT_EQ(readFile(registry + QStringLiteral(".bad.2")), QByteArray("[1, 2]"));
    EXPECT_EQ(openMonitorSettings()->value(QStringLiteral("Autostart")), QVariant(1));
}

TEST(PlatformSystem, InstallsTheSimulatedMachineOnce) {
    SimRoot sim;
    ScopedEnvironment env("ORVANTA_SIM_ROOT", QFile::encodeName(sim.root()));
    installPlatformSystem();
    auto *system = dynamic_cast<SimulatedSystem *>(&defaultSystem());
    ASSERT_NE(system, nullptr);
    EXPECT_EQ(system->root(), sim.root());
    installPlatformSystem();
    EXPECT_EQ(&defaultSystem(), system) << "a second call changes nothing";
    setDefaultSystem(nullptr);
}

} // namespace
} // namespace orvanta::testing
