// The translation catalogues: which one a locale gets, that they hold exactly the agreed
// renditions of exactly the texts the program looks up, and the window under German, English
// and other locales. The icon is checked here too: it is the other compiled-in resource the
// window shows.
#include "boxanswerer.h"
#include "gui/cacheframe.h"
#include "gui/catalogue.h"
#include "gui/mainwindow.h"
#include "recordingsystem.h"
#include "teststore.h"

#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QResource>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

using orvanta::testing::RecordingSystem;

namespace {
constexpr std::uint64_t GB = std::uint64_t(1) << 30;

// The catalogues' plain messages: the German and the English rendition, nullptr where the
// catalogue carries the message unfinished so that the source text shows.
struct Message {
    const char *context;
    const char *source;
    const char *german;
    const char *english;
};
const Message plainMessages[] = {
    {"CacheFrame", "%1 GB free", "%1 GB verfügbar", nullptr},
    {"MainWindow", "About", "Über", nullptr},
    {"MainWindow", "Advanced", "Fortgeschritten", nullptr},
    {"MainWindow", "Average bytes per second", "Durchschn. Bytes pro Sekunde", nullptr},
    {"MainWindow", "Average requests per second", "Durchschn. Anfragen pro Sekunde", nullptr},
    {"MainWindow", "Caches", nullptr, nullptr},
    {"MainWindow", "Clear Statistics", "Statistik löschen", nullptr},
    {"MainWindow", "Could not enable all caches.", "Nicht alle Caches konnten erstellt werden.",
     nullptr},
    {"MainWindow", "Disable Speculative Prefetch", "Deaktiviere spekulatives Vorausladen", nullptr},
    {"MainWindow", "Disable Write-Cache", "Deaktiviere Schreibcache", nullptr},
    {"MainWindow", "Disabled", "Deaktiviert", nullptr},
    {"MainWindow",
     "Disables speculative prefetching. May help to reduce the io-activity of a drive but also "
     "reduces performance.",
     "Deaktiviert das spekulative Laden von Zugriffen. Diese Option reduziert die Anzahl an "
     "Zugriffen aber auch die Beschleunigung.",
     nullptr},
    {"MainWindow",
     "Disables the write-cache. Disabling the write-cache may help to prevent data-loss on "
     "power-loss or failures but decreases performance.",
     "Deaktiviert das Zwischenspeichern von Schreibzugriffen.", nullptr},
    {"MainWindow", "Enable Prefetcher", "Quenstead Orvanta aktivieren", "Enable Quenstead Orvanta"},
    {"MainWindow", "Enable Tray-App", "Autostart dieses Monitors", "Autostart monitor"},
    {"MainWindow", "Failsafe", "Abgesicherter Modus", nullptr},
    {"MainWindow", "Orvanta Monitor", nullptr, nullptr},
    {"MainWindow", "General", "Allgemein", nullptr},
    {"MainWindow", "Memory used", "Speicherverbrauch", nullptr},
    {"MainWindow", "Not running", "Läuft nicht", nullptr},
    {"MainWindow", "Options", "Optionen", nullptr},
    {"MainWindow",
     "Please specify the amount of space to use for caching. If availbable, it is recommended to "
     "use multiple drives.",
     "Bitte geben Sie an, wieviel Speicher zum Zwischenspeichern von Daten genutzt werden soll. "
     "Sofern möglich, verwenden Sie mehrere Laufwerke.",
     nullptr},
    {"MainWindow", "Reason: %1", "Fehlercode: %1", "Errorcode: %1"},
    {"MainWindow", "Requests", "Zugriffe", nullptr},
    {"MainWindow", "Running", "Läuft", nullptr},
    {"MainWindow", "Save Memory", "Spare Hauptspeicher", nullptr},
    {"MainWindow", "Status", nullptr, nullptr},
    {"MainWindow", "The cache layout could not be read from the driver.",
     "Die Cache-Aufteilung konnte nicht vom Treiber gelesen werden.", nullptr},
    {"MainWindow", "Total bytes read/written", "Bytes gelesen/geschrieben", nullptr},
    {"MainWindow", "Total requests", "Gesamt", nullptr},
    {"MainWindow", "Unknown", "Unbekannt", nullptr},
    {"MainWindow", "Uses less memory for prefetching. This may decrease performance.",
     "Verwendet weniger Hauptspeicher zum Vorladen. Kann zu einer Reduktion der Beschleunigung "
     "führen.",
     nullptr},
    {"MainWindow", "Warning", "Warnung", nullptr},
    {"MainWindow",
     "When enabled moves this application to tray when minimized and restarts application at "
     "next boot.",
     "Startet diesen Monitor automatisch beim Hochfahren des Betriebssystems.",
     "Autostarts this monitor at system boot."},
};

// The rich texts of the form (context MainWindow), by their paragraphs: a rendition is the
// source document with these paragraph texts in place of the source's; an empty list means
// the catalogue leaves the text unfinished.
struct RichText {
    const char *name;
    QStringList source;
    QStringList german;
    QStringList english;
};
const QString aboutNotice = QStringLiteral("\u00a9 Quenstead. All rights reserved.");
const QString germanNotice = QStringLiteral("Copyright \u00a9 Quenstead. Alle Rechte vorbehalten.");
const QString englishNotice = QStringLiteral("Copyright \u00a9 Quenstead. All rights reserved.");
const QString prefetcherParagraph1 = QStringLiteral(
    "Enables/disables the prefetcher. The prefetcher still monitors io-requests when disabled, but "
    "does not influence the requests.");
const QString prefetcherParagraph2 =
    QStringLiteral("To completely disable the prefetcher, please uninstall.");
const QString germanPrefetcherParagraph1 = QStringLiteral(
    "Aktiviert/Deaktiviert den Treiber. Der Treiber beobachtet auch im deaktivierten Zustand die "
    "Anfragen, beeinflusst diese aber nicht.");
const QString germanPrefetcherParagraph2 =
    QStringLiteral("Um den Treiber vollständig zu entfernen, deinstallieren Sie ihn bitte.");

QList<RichText> richTexts() {
    const QString product = QStringLiteral("Quenstead Orvanta");
    const QString version = QStringLiteral("Version 1.2"); // one version in every language
    return {
        {"prefetcher tool-tip",
         {prefetcherParagraph1, prefetcherParagraph2},
         {germanPrefetcherParagraph1, germanPrefetcherParagraph2},
         {}},
        {"about text",
         {product, version, aboutNotice},
         {product, version, germanNotice},
         {product, version, englishNotice}},
        {"licence text", {QStringLiteral("LICENSE AGREEMENT")}, {}, {}},
    };
}

using MessageKey = QPair<QString, QString>; // context, source text
// A catalogue's content: every message with its rendition, a null string for "unfinished".
using Catalogue = QMap<MessageKey, QString>;

// The paragraphs of a rich text, as Qt reads them.
QStringList paragraphs(const QString &html) {
    QTextDocument document;
    document.setHtml(html);
    QStringList texts;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        texts << block.text();
    return texts;
}

// Notes every lookup and translates nothing, so the program's own source texts show.
class RecordingTranslator : public QTranslator {
public:
    mutable QList<MessageKey> lookups;
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *,
                      int) const override {
        lookups << MessageKey(QString::fromUtf8(context), QString::fromUtf8(sourceText));
        return QString();
    }
};

// Installs a translator for one scope, so that a failed check does not leave it behind.
class InstalledTranslator {
public:
    explicit InstalledTranslator(QTranslator &translator)
        : translator_(translator) {
        QCoreApplication::installTranslator(&translator_);
    }
    ~InstalledTranslator() { QCoreApplication::removeTranslator(&translator_); }

private:
    QTranslator &translator_;
};

// A driver that runs, with one eligible volume of 37 GB free and no cache on it.
void setUpMachine(RecordingSystem &system) {
    system.status.state = 1;
    system.status.failsafeReason = 7;
    RecordingSystem::Volume volume;
    volume.freeBytes = 37 * GB;
    volume.query = orvanta::VolumeQueryResult{0, 700};
    system.volumes[L'C'] = volume;
}

// What the window shows beyond its form: the state words, the failsafe reason and the warning.
struct Exercised {
    QStringList stateWords; // Not running, Running, Disabled, Failsafe, Unknown
    QString reasonToolTip;
    QStringList boxes;
};
Exercised exercise(MainWindow &window, RecordingSystem &system) {
    Exercised seen;
    for (quint32 state = 0; state <= 4; ++state) {
        system.status.state = state;
        QMetaObject::invokeMethod(&window, "updateStatistics");
        seen.stateWords << window.statusNumber->text();
        if (state == 3)
            seen.reasonToolTip = window.statusNumber->toolTip();
    }
    system.status.state = 1;
    QMetaObject::invokeMethod(&window, "updateStatistics");

    // A layout the driver does not confirm brings up the one warning.
    system.setTableStatus = 0;
    window.cacheFrames().at(0)->sizeBox()->setValue(4);
    BoxAnswerer answerer;
    window.buttonBox->button(QDialogButtonBox::Ok)->click();
    seen.boxes = answerer.seen;
    return seen;
}

// The licence page's paragraphs as Qt reads the page, each line trimmed: the page's CR LF line
// ends leave spaces that a reader does not see.
QStringList licenceParagraphs(const QString &html) {
    QStringList result;
    for (const QString &paragraph : paragraphs(html)) {
        QStringList lines = paragraph.split(QChar::LineSeparator);
        for (QString &line : lines)
            line = line.trimmed();
        result << lines.join(QChar::LineSeparator);
    }
    return result;
}

QStringList licencePage() {
    QFile file(QStringLiteral(":/license_en.html"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return licenceParagraphs(QString::fromLatin1(file.readAll()));
}
} // namespace

class TestTranslations : public QObject {
    Q_OBJECT

private:
    QTemporaryDir simRoot;
    TestSettingsStore store;
    QList<MessageKey> lookups;   // every (context, source) the window looked up, in order
    QMap<QString, QString> rich; // rich text name -> its source text as the program uses it

    // The expected content of one catalogue, "de" or "en", from the tables above.
    Catalogue expectedCatalogue(const QString &language) const {
        const bool german = language == QLatin1String("de");
        Catalogue catalogue;
        for (const Message &message : plainMessages) {
            const char *rendition = german ? message.german : message.english;
            catalogue.insert(
                MessageKey(QString::fromUtf8(message.context), QString::fromUtf8(message.source)),
                rendition ? QString::fromUtf8(rendition) : QString());
        }
        for (const RichText &text : richTexts()) {
            const QString source = rich.value(QString::fromLatin1(text.name));
            const QStringList &renditions = german ? text.german : text.english;
            QString rendition;
            if (!renditions.isEmpty()) {
                rendition = source;
                for (int i = 0; i < text.source.size(); ++i)
                    rendition.replace(
                        QLatin1Char('>') + text.source[i].toHtmlEscaped() + QLatin1Char('<'),
                        QLatin1Char('>') + renditions[i].toHtmlEscaped() + QLatin1Char('<'));
            }
            catalogue.insert(MessageKey(QStringLiteral("MainWindow"), source), rendition);
        }
        return catalogue;
    }

    // A catalogue source file as it stands in the tree.
    static Catalogue readCatalogueSource(const QString &path, QString *language) {
        Catalogue catalogue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return catalogue;
        QXmlStreamReader xml(&file);
        QString context;
        QString source;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("TS")) {
                *language = xml.attributes().value(QLatin1String("language")).toString();
            } else if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
            } else if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                const bool unfinished =
                    xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
                const QString translation = xml.readElementText();
                // An unfinished message with a text would show that text after all.
                catalogue.insert(MessageKey(context, source),
                                 unfinished && translation.isEmpty() ? QString()
                                 : unfinished ? QStringLiteral("(unfinished) ") + translation
                                              : translation);
            }
        }
        if (xml.hasError())
            catalogue.insert(MessageKey(QStringLiteral("XML"), xml.errorString()), QString());
        return catalogue;
    }

private slots:
    void initTestCase() {
        QVERIFY(simRoot.isValid());
        qputenv("ORVANTA_SIM_ROOT", simRoot.path().toLocal8Bit());

        // What the program looks up, the form and the code behind it alike.
        RecordingTranslator recorder;
        {
            InstalledTranslator installed(recorder);
            RecordingSystem system;
            setUpMachine(system);
            MainWindow window(nullptr, false, system);
            const Exercised seen = exercise(window, system);
            QCOMPARE(seen.boxes.size(), 1);
        }
        for (const MessageKey &key : recorder.lookups) {
            if (key.first != QLatin1String("MainWindow") &&
                key.first != QLatin1String("CacheFrame"))
                continue; // Qt's own texts, such as those of the message box buttons
            if (!lookups.contains(key))
                lookups << key;
        }
        for (const RichText &text : richTexts()) {
            for (const MessageKey &key : lookups) {
                if (key.second.startsWith(QLatin1String("<!DOCTYPE HTML")) &&
                    paragraphs(key.second).value(0) == text.source.value(0)) {
                    QVERIFY2(!rich.contains(QString::fromLatin1(text.name)), text.name);
                    rich.insert(QString::fromLatin1(text.name), key.second);
                }
            }
            QVERIFY2(rich.contains(QString::fromLatin1(text.name)), text.name);
        }
    }

    // A text renamed in the program without the catalogues following shows up here.
    void programLooksUpExactlyTheCataloguedTexts() {
        const Catalogue expected = expectedCatalogue(QStringLiteral("de"));
        for (const MessageKey &key : lookups)
            QVERIFY2(expected.contains(key), qPrintable(key.first + QLatin1Char(' ') + key.second));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(lookups.contains(it.key()),
                     qPrintable(it.key().second + " is never looked up"));
        QCOMPARE(lookups.size(), expected.size());
    }

    void richTextsHaveTheirParagraphs() {
        QCOMPARE(paragraphs(rich.value(QStringLiteral("prefetcher tool-tip"))),
                 QStringList({prefetcherParagraph1, prefetcherParagraph2}));
        QCOMPARE(paragraphs(rich.value(QStringLiteral("about text"))),
                 QStringList({QStringLiteral("Quenstead Orvanta"), QStringLiteral("Version 1.2"),
                              aboutNotice}));
        // The About page is the English licence page, paragraph for paragraph.
        const QStringList page = licencePage();
        QVERIFY(page.size() > 20);
        QCOMPARE(licenceParagraphs(rich.value(QStringLiteral("licence text"))), page);
    }

    void catalogueSources_data() {
        QTest::addColumn<QString>("language");
        QTest::newRow("orvanta_de.ts") << "de";
        QTest::newRow("orvanta_en.ts") << "en";
    }
    void catalogueSources() {
        QFETCH(QString, language);
        QString fileLanguage;
        const Catalogue actual =
            readCatalogueSource(QStringLiteral(ORVANTA_TRANSLATIONS_DIR) +
                                    QStringLiteral("/orvanta_") + language + QStringLiteral(".ts"),
                                &fileLanguage);
        QCOMPARE(fileLanguage, language);
        const Catalogue expected = expectedCatalogue(language);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QVERIFY2(actual.contains(it.key()), qPrintable(it.key().second.left(80)));
            const QString rendition = actual.value(it.key());
            QVERIFY2(rendition.isNull() == it.value().isNull(),
                     qPrintable(it.key().second.left(80) + " -> " + rendition.left(80)));
            QCOMPARE(rendition, it.value());
        }
        QCOMPARE(actual.size(), expected.size());
    }

    // The compiled catalogues in the program's resources, as start-up loads them.
    void compiledCatalogues_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("rendition");
        for (const QString &language : {QStringLiteral("de"), QStringLiteral("en")}) {
            const Catalogue expected = expectedCatalogue(language);
            for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                const QString name = language + QLatin1String(": ") +
                                     (rich.key(it.key().second, it.key().second.left(60)));
                QTest::newRow(qPrintable(name)) << language + QStringLiteral("_DE")
                                                << it.key().first << it.key().second << it.value();
            }
        }
    }
    void compiledCatalogues() {
        QFETCH(QString, locale);
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(QString, rendition);
        QTranslator translator;
        QVERIFY(orvanta::loadCatalogue(translator, locale));
        // An unfinished message is not compiled in, so the lookup falls back to the source.
        QCOMPARE(translator.translate(context.toUtf8().constData(), source.toUtf8().constData()),
                 rendition.isNull() ? QString() : rendition);
    }

    void catalogueChoice_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("file");
        QTest::newRow("de_DE") << "de_DE"
                               << ":/translations/_de.qm";
        QTest::newRow("de_AT") << "de_AT"
                               << ":/translations/_de.qm";
        QTest::newRow("de_CH") << "de_CH"
                               << ":/translations/_de.qm";
        QTest::newRow("en_US") << "en_US"
                               << ":/translations/_en.qm";
        QTest::newRow("en_GB") << "en_GB"
                               << ":/translations/_en.qm";
        QTest::newRow("fr_FR") << "fr_FR"
                               << "";
        QTest::newRow("C") << "C"
                           << "";
        QTest::newRow("nl_BE") << "nl_BE"
                               << "";
    }
    void catalogueChoice() {
        QFETCH(QString, locale);
        QFETCH(QString, file);
        QTranslator translator;
        QCOMPARE(orvanta::loadCatalogue(translator, locale), !file.isEmpty());
        QCOMPARE(translator.filePath(), file);
        QCOMPARE(translator.isEmpty(), file.isEmpty());
    }

    void windowTexts_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("options"); // prefetcher, tray, tray tool-tip
        QTest::addColumn<QStringList>("tabs");    // the four tab titles
        QTest::addColumn<QStringList>("states");  // the five state words
        QTest::addColumn<QString>("reason");      // the failsafe reason's tool-tip
        QTest::addColumn<QString>("freeSpace");   // the row's label
        QTest::addColumn<QString>("box");         // the warning's title and text
        QTest::addColumn<QStringList>("prefetcherToolTip");
        QTest::addColumn<QStringList>("about");

        const QStringList german = {
            QStringLiteral("Quenstead Orvanta aktivieren"),
            QStringLiteral("Autostart dieses Monitors"),
            QStringLiteral(
                "Startet diesen Monitor automatisch beim Hochfahren des Betriebssystems.")};
        const QStringList germanTabs = {QStringLiteral("Status"), QStringLiteral("Caches"),
                                        QStringLiteral("Optionen"), QStringLiteral("Über")};
        const QStringList germanStates = {
            QStringLiteral("Läuft nicht"), QStringLiteral("Läuft"), QStringLiteral("Deaktiviert"),
            QStringLiteral("Abgesicherter Modus"), QStringLiteral("Unbekannt")};
        const QString germanBox =
            QStringLiteral("Warnung|Nicht alle Caches konnten erstellt werden.");
        const QStringList germanToolTip = {germanPrefetcherParagraph1, germanPrefetcherParagraph2};
        const QStringList germanAbout = {QStringLiteral("Quenstead Orvanta"),
                                         QStringLiteral("Version 1.2"), germanNotice};
        QTest::newRow("de_DE") << "de_DE" << german << germanTabs << germanStates << "Fehlercode: 7"
                               << "37 GB verfügbar" << germanBox << germanToolTip << germanAbout;
        QTest::newRow("de_AT") << "de_AT" << german << germanTabs << germanStates << "Fehlercode: 7"
                               << "37 GB verfügbar" << germanBox << germanToolTip << germanAbout;

        const QStringList sourceTabs = {QStringLiteral("Status"), QStringLiteral("Caches"),
                                        QStringLiteral("Options"), QStringLiteral("About")};
        const QStringList sourceStates = {QStringLiteral("Not running"), QStringLiteral("Running"),
                                          QStringLiteral("Disabled"), QStringLiteral("Failsafe"),
                                          QStringLiteral("Unknown")};
        const QString sourceBox = QStringLiteral("Warning|Could not enable all caches.");
        const QStringList sourceToolTip = {prefetcherParagraph1, prefetcherParagraph2};
        const QStringList english = {QStringLiteral("Enable Quenstead Orvanta"),
                                     QStringLiteral("Autostart monitor"),
                                     QStringLiteral("Autostarts this monitor at system boot.")};
        const QStringList englishAbout = {QStringLiteral("Quenstead Orvanta"),
                                          QStringLiteral("Version 1.2"), englishNotice};
        QTest::newRow("en_US") << "en_US" << english << sourceTabs << sourceStates << "Errorcode: 7"
                               << "37 GB free" << sourceBox << sourceToolTip << englishAbout;
        QTest::newRow("en_GB") << "en_GB" << english << sourceTabs << sourceStates << "Errorcode: 7"
                               << "37 GB free" << sourceBox << sourceToolTip << englishAbout;

        QTest::newRow("fr_FR") << "fr_FR"
                               << QStringList{QStringLiteral("Enable Prefetcher"),
                                              QStringLiteral("Enable Tray-App"),
                                              QStringLiteral("When enabled moves this application "
                                                             "to tray when minimized and restarts "
                                                             "application at next boot.")}
                               << sourceTabs << sourceStates << "Reason: 7"
                               << "37 GB free" << sourceBox << sourceToolTip
                               << QStringList{QStringLiteral("Quenstead Orvanta"),
                                              QStringLiteral("Version 1.2"), aboutNotice};
    }
    void windowTexts() {
        QFETCH(QString, locale);
        QFETCH(QStringList, options);
        QFETCH(QStringList, tabs);
        QFETCH(QStringList, states);
        QFETCH(QString, reason);
        QFETCH(QString, freeSpace);
        QFETCH(QString, box);
        QFETCH(QStringList, prefetcherToolTip);
        QFETCH(QStringList, about);

        QTranslator translator;
        orvanta::loadCatalogue(translator, locale);
        InstalledTranslator installed(translator);
        RecordingSystem system;
        setUpMachine(system);
        MainWindow window(nullptr, false, system);

        QCOMPARE(window.windowTitle(), QStringLiteral("Orvanta Monitor"));
        QCOMPARE(QStringList({window.prefetcherCheckBox->text(), window.trayCheckBox->text(),
                              window.trayCheckBox->toolTip()}),
                 options);
        QStringList tabTitles;
        for (int i = 0; i < window.tabWidget->count(); ++i)
            tabTitles << window.tabWidget->tabText(i);
        QCOMPARE(tabTitles, tabs);
        QCOMPARE(window.cacheFrames().size(), 1);
        QCOMPARE(window.cacheFrames().at(0)->freeSpaceLabel()->text(), freeSpace);
        QCOMPARE(paragraphs(window.prefetcherCheckBox->toolTip()), prefetcherToolTip);
        QCOMPARE(paragraphs(window.infoLabel->text()), about);

        // The licence is English whatever the language.
        QVERIFY(window.infoText->toPlainText().startsWith(QLatin1String("LICENSE AGREEMENT")));
        QCOMPARE(licenceParagraphs(window.infoText->toHtml()), licencePage());

        const Exercised seen = exercise(window, system);
        QCOMPARE(seen.stateWords, states);
        QCOMPARE(seen.reasonToolTip, reason);
        QCOMPARE(seen.boxes, QStringList{box});
    }

    // The catalogues travel compressed; the icon and the licence pages as they are.
    void resourceStorage_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("compressed");
        QTest::newRow("German catalogue") << ":/translations/_de.qm" << true;
        QTest::newRow("English catalogue") << ":/translations/_en.qm" << true;
        QTest::newRow("icon") << ":/icons/main" << false;
        QTest::newRow("English licence") << ":/license_en.html" << false;
        QTest::newRow("German licence") << ":/license_de.html" << false;
    }
    void resourceStorage() {
        QFETCH(QString, path);
        QFETCH(bool, compressed);
        const QResource resource(path);
        QVERIFY(resource.isValid());
        QCOMPARE(resource.compressionAlgorithm(),
                 compressed ? QResource::ZlibCompression : QResource::NoCompression);
        QVERIFY(resource.uncompressedSize() > 0);
    }

    void icon() {
        const QImage image(QStringLiteral(":/icons/main"));
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), QSize(128, 128));
        QVERIFY(image.hasAlphaChannel());

        RecordingSystem system;
        MainWindow window(nullptr, true, system);
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(!window.trayIcon->icon().isNull());
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
