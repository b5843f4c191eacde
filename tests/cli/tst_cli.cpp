#include "FirmwareImages.h"
#include "NetnsLab.h"
#include "SimClient.h"
#include "SimProcess.h"
#include "Skip.h"
#include "TestMain.h"
#include "TftpdServer.h"

#include "base/SettingsStore.h"
#include "lens/ProfileText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QtTest>

#include <csignal>
#include <memory>

// lensdesk-cli end to end: the real program, run as a child process, against
// the simulated controller on loopback addresses of this test's own (the LAN
// search and the address change inside network namespaces the test makes).
// What reached the controller is read from the simulator's log.
class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void linksNoWidgetToolkit();
    void help_data();
    void help();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void silentControllerFailsInTime_data();
    void silentControllerFailsInTime();
    void info();
    void moveDrivesEveryAxis();
    void moveRefusals_data();
    void moveRefusals();
    void nudge_data();
    void nudge();
    void deviceOptions_data();
    void deviceOptions();
    void protocolNeedsNewerFirmware();
    void presetSavedByPanelRecalledByCli_data();
    void presetSavedByPanelRecalledByCli();
    void presetSavedByCliReadByPanel();
    void presetListAndDelete();
    void presetOfAnotherLens();
    void watchUntilControllerFallsSilent();
    void sendPrintsReplies();
    void firmwareToSimulator();
    void firmwareToTftpdHpa();
    void firmwareUnverifiableContainerIsNamed();
    void firmwareAsksOnATerminal_data();
    void firmwareAsksOnATerminal();
    void firmwareWithoutServerStillEndsUpdateMode();
    void searchInNamespaces();
    void networkChangeInNamespace();

private:
    struct Run
    {
        int status = -1;
        QByteArray out;
        QByteArray err;
        qint64 ms = 0;
        QJsonDocument json() const { return QJsonDocument::fromJson(out); }
    };
    // Runs lensdesk-cli (inside `netns` when given) and waits for its end.
    Run cli(const QStringList& arguments, const QString& netns = QString(), int limitMs = 60000);
    // The commands the simulator received, in order (the liveness pings left out).
    static QStringList received(const SimProcess& sim);
    // Sends a marker from the test and waits until the simulator logged it:
    // everything the program sent before has been logged by then.
    static bool settle(const SimProcess& sim);
    std::unique_ptr<SimProcess> startSim(const QStringList& arguments = {});
    // Writes `bytes` to the file `name` in `folder`; returns its path.
    static QString writeFile(const QTemporaryDir& folder, const char* name, const QByteArray& bytes);
    QSettings* profiles() { return SettingsStore::openProfiles(this); }

    QString m_configHome;
};

namespace {
const QString Cli = QStringLiteral(LENSDESK_BIN_DIR "/lensdesk-cli");
const QString Marker = QStringLiteral("getHW");
} // namespace

void CliTest::initTestCase()
{
    // The program reads the settings store the test writes: the test mode's
    // folder, handed over as its configuration home.
    m_configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QVERIFY(QDir().mkpath(m_configHome));
    QVERIFY(QFileInfo(Cli).isExecutable());
}

void CliTest::init()
{
    std::unique_ptr<QSettings> store(profiles());
    store->remove(QString());
    store->sync();
}

CliTest::Run CliTest::cli(const QStringList& arguments, const QString& netns, int limitMs)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    if (netns.isEmpty())
        process.start(Cli, arguments);
    else
        process.start(QStringLiteral("ip"), QStringList{"netns", "exec", netns, Cli} + arguments);
    process.closeWriteChannel();
    Run run;
    if (!process.waitForFinished(limitMs)) {
        process.kill();
        process.waitForFinished();
        qWarning("lensdesk-cli %s did not end within %d ms", qPrintable(arguments.join(' ')), limitMs);
        return run;
    }
    run.ms = clock.elapsed();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QStringList CliTest::received(const SimProcess& sim)
{
    // Heard or, while the controller is silent or restarting, ignored.
    QStringList commands = SimProcess::commandsIn(sim.log(), true);
    commands.removeAll(QStringLiteral("ping"));
    return commands;
}

bool CliTest::settle(const SimProcess& sim)
{
    SimClient client;
    client.send(sim.address(), Marker.toLatin1());
    return sim.waitForLog(QStringLiteral("(rx|drop) \\S+ (\\([^)]*\\) )?%1$").arg(Marker)).hasMatch();
}

std::unique_ptr<SimProcess> CliTest::startSim(const QStringList& arguments)
{
    auto sim = std::make_unique<SimProcess>(QStringList{"--gap", "0", "--report-delay", "20"} + arguments);
    return sim->start() ? std::move(sim) : nullptr;
}

QString CliTest::writeFile(const QTemporaryDir& folder, const char* name, const QByteArray& bytes)
{
    QFile file(folder.filePath(QLatin1String(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

void CliTest::linksNoWidgetToolkit()
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {Cli});
    QVERIFY(ldd.waitForFinished(10000));
    const QString libraries = QString::fromLocal8Bit(ldd.readAllStandardOutput());
    QVERIFY2(libraries.contains(QLatin1String("Core.so")), qPrintable(libraries));
    QVERIFY2(libraries.contains(QLatin1String("Network.so")), qPrintable(libraries));
    for (const char* toolkit : {"Gui.so", "Widgets.so"})
        QVERIFY2(!libraries.contains(QLatin1String(toolkit)), qPrintable(libraries));
}

void CliTest::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");
    QTest::newRow("program") << QStringList{"--help"} << "COMMAND ARGS...";
    for (const char* command : {"search", "info", "move", "nudge", "stabilizer", "preset", "name", "focus-timeout",
                                "protocol", "restart", "network", "firmware", "watch", "send"})
        QTest::newRow(command) << QStringList{QLatin1String(command), "--help"}
                               << QStringLiteral("[--timeout SECONDS] %1").arg(QLatin1String(command));
}

void CliTest::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    const Run run = cli(arguments);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(usage.toUtf8()), run.out.constData());
}

void CliTest::badInputSendsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString a = QStringLiteral("{sim}");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"fly", a};
    QTest::newRow("unknown option") << QStringList{"info", a, "--fast"};
    QTest::newRow("option without value") << QStringList{"move", a, "--zoom"};
    QTest::newRow("bad time-out") << QStringList{"--timeout", "-1", "info", a};
    QTest::newRow("address out of range") << QStringList{"info", "127.0.0.256"};
    QTest::newRow("address with three parts") << QStringList{"info", "127.0.1"};
    QTest::newRow("missing address") << QStringList{"info"};
    QTest::newRow("move without an axis") << QStringList{"move", a};
    QTest::newRow("zoom not a number") << QStringList{"move", a, "--zoom", "wide"};
    QTest::newRow("f-number not a number") << QStringList{"move", a, "--aperture", "f4"};
    QTest::newRow("f-number out of range") << QStringList{"move", a, "--aperture", "128"};
    QTest::newRow("nudge unknown axis") << QStringList{"nudge", a, "iris", "5"};
    QTest::newRow("nudge steps not a number") << QStringList{"nudge", a, "focus", "5.5"};
    QTest::newRow("stabiliser beyond 60 s") << QStringList{"stabilizer", a, "61"};
    QTest::newRow("name of 8 characters") << QStringList{"name", a, "camera12"};
    QTest::newRow("focus time-out 0") << QStringList{"focus-timeout", a, "0"};
    QTest::newRow("focus time-out beyond 10000") << QStringList{"focus-timeout", a, "10001"};
    QTest::newRow("protocol 3") << QStringList{"protocol", a, "3"};
    QTest::newRow("network without mask") << QStringList{"network", a, "--address", "127.0.0.9"};
    QTest::newRow("network bad address") << QStringList{"network", a, "--address", "127.0.0", "--mask", "255.0.0.0"};
    QTest::newRow("network bad gateway") << QStringList{"network", a,           "--address", "127.0.0.9",
                                                        "--mask",  "255.0.0.0", "--gateway", "x"};
    QTest::newRow("firmware file missing") << QStringList{"firmware", a, "/nonexistent/fw.orvo", "--yes"};
    QTest::newRow("firmware file empty") << QStringList{"firmware", a, "{empty}", "--yes"};
    QTest::newRow("firmware file unknown") << QStringList{"firmware", a, "{garbage}", "--yes"};
    QTest::newRow("firmware without --yes and terminal") << QStringList{"firmware", a, "{image}"};
    QTest::newRow("recall of an unknown preset") << QStringList{"preset", "recall", "nothing", a};
    QTest::newRow("preset with a missing name") << QStringList{"preset", "save", a};
    QTest::newRow("send nothing") << QStringList{"send", a, ""};
}

void CliTest::badInputSendsNothing()
{
    QFETCH(QStringList, arguments);
    const auto sim = startSim();
    QVERIFY(sim);
    QTemporaryDir files;
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    arguments.replaceInStrings(QStringLiteral("{empty}"), writeFile(files, "empty", QByteArray()));
    arguments.replaceInStrings(QStringLiteral("{garbage}"), writeFile(files, "garbage", QByteArray(4096, '\x5a')));
    arguments.replaceInStrings(QStringLiteral("{image}"), writeFile(files, "image", "ORVO :: image"));

    const Run run = cli(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY2(!run.err.trimmed().isEmpty(), "a bad usage is explained");
    QVERIFY(settle(*sim));
    QCOMPARE(received(*sim), QStringList{Marker});
}

void CliTest::silentControllerFailsInTime_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString a = QStringLiteral("{sim}");
    QTest::newRow("info") << QStringList{"info", a};
    QTest::newRow("move") << QStringList{"move", a, "--focus", "100"};
    QTest::newRow("nudge") << QStringList{"nudge", a, "focus", "5"};
    QTest::newRow("stabilizer") << QStringList{"stabilizer", a, "5"};
    QTest::newRow("name") << QStringList{"name", a, "cam"};
    QTest::newRow("focus-timeout") << QStringList{"focus-timeout", a, "500"};
    QTest::newRow("protocol") << QStringList{"protocol", a, "1"};
    QTest::newRow("restart") << QStringList{"restart", a};
    QTest::newRow("network") << QStringList{"network", a, "--address", "127.0.0.9", "--mask", "255.0.0.0"};
    QTest::newRow("preset save") << QStringList{"preset", "save", "p", a};
    QTest::newRow("watch") << QStringList{"watch", a};
    QTest::newRow("send") << QStringList{"send", a, "ver"};
    QTest::newRow("firmware") << QStringList{"firmware", a, "{image}", "--yes"};
}

void CliTest::silentControllerFailsInTime()
{
    QFETCH(QStringList, arguments);
    const auto sim = startSim({"--silent-after", "0"});
    QVERIFY(sim);
    QTemporaryDir files;
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    arguments.replaceInStrings(QStringLiteral("{image}"), writeFile(files, "image", "ORVO :: image"));

    const Run run = cli(QStringList{"--timeout", "1"} + arguments, QString(), 20000);
    QCOMPARE(run.status, 1);
    QVERIFY2(!run.err.trimmed().isEmpty(), "the failure is explained");
    // Bounded by the time-out (and, for the address change, its fixed waits).
    QVERIFY2(run.ms < 10000, qPrintable(QString::number(run.ms)));
    QVERIFY(!received(*sim).isEmpty());
}

void CliTest::info()
{
    const auto sim = startSim({"--product",       "ORVO RE-2",   "--firmware",   "1.8.12 ", "--serial",   "15077",
                               "--mac",           "2-0-0-1-2-3", "--hardware",   "4",       "--vendor",   "ACME",
                               "--name",          "cam1",        "--bootloader", "255",     "--protocol", "2",
                               "--focus-timeout", "1500",        "--lens",       "zoom-is"});
    QVERIFY(sim);
    const Run run = cli({"--json", "info", sim->address().toString()});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.json().isObject(), run.out.constData());
    const QJsonObject info = run.json().object();
    QCOMPARE(info.value("product").toString(), QStringLiteral("ORVO RE-2"));
    QCOMPARE(info.value("firmware").toString(), QStringLiteral("1.8.12"));
    QCOMPARE(info.value("bootLoader").toString(), QStringLiteral("1"));
    QCOMPARE(info.value("protocol").toInt(), 2);
    QCOMPARE(info.value("name").toString(), QStringLiteral("cam1"));
    QCOMPARE(info.value("serial").toString(), QStringLiteral("15077"));
    QCOMPARE(info.value("mac").toString(), QStringLiteral("2-0-0-1-2-3"));
    QCOMPARE(info.value("hardware").toString(), QStringLiteral("4"));
    QCOMPARE(info.value("vendor").toString(), QStringLiteral("ACME"));
    QCOMPARE(info.value("address").toString(), sim->address().toString());
    QCOMPARE(info.value("mask").toString(), QStringLiteral("255.0.0.0"));
    QCOMPARE(info.value("focusTimeout").toInt(), 1500);
    const QJsonObject lens = info.value("lens").toObject();
    QCOMPARE(lens.value("zoomWide").toInt(), 18);
    QCOMPARE(lens.value("zoomTele").toInt(), 55);
    QCOMPARE(lens.value("widestFNumber").toDouble(), 3.5);
    QVERIFY(info.value("position").toObject().value("zoom").isDouble());

    const Run text = cli({"info", sim->address().toString()});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.contains("Product:       ORVO RE-2\n"), text.out.constData());
    QVERIFY2(text.out.contains("Zoom range:    18 to 55 mm\n"), text.out.constData());
    // The panel's connection exchange went out first.
    QCOMPARE(received(*sim).mid(0, 5), (QStringList{"blver", "getProto", "ver", "setFLAG=99", "getNAME"}));
}

void CliTest::moveDrivesEveryAxis()
{
    const auto sim = startSim();
    QVERIFY(sim);
    const Run run =
        cli({"--json", "move", sim->address().toString(), "--zoom", "35", "--focus", "800", "--aperture", "8"});
    QCOMPARE(run.status, 0);
    const QJsonObject position = run.json().object();
    QCOMPARE(position.value("zoom").toInt(), 35);
    QCOMPARE(position.value("focus").toInt(), 800);
    QCOMPARE(position.value("aperture").toDouble(), 8.0);
    const QStringList moves = received(*sim).filter(QRegularExpression("^set(Zoom|Focus|Aper)="));
    QCOMPARE(moves, (QStringList{"setZoom=35", "setFocus=800", "setAper=8"}));
}

void CliTest::moveRefusals_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("moveArguments");
    QTest::addColumn<QString>("forbidden");
    QTest::newRow("zoom without power zoom")
        << QStringList{"--product", "ORVO RE-2"} << QStringList{"--zoom", "35"} << "setZoom";
    QTest::newRow("focus with AF switch at MF")
        << QStringList{"--lens", "manual-focus"} << QStringList{"--focus", "100", "--aperture", "8"} << "setAper";
}

void CliTest::moveRefusals()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, moveArguments);
    QFETCH(QString, forbidden);
    const auto sim = startSim(simArguments);
    QVERIFY(sim);
    const Run run = cli(QStringList{"move", sim->address().toString()} + moveArguments);
    QCOMPARE(run.status, 1);
    QVERIFY(settle(*sim));
    // Nothing follows a refusal.
    QVERIFY2(received(*sim).filter(forbidden).isEmpty(), qPrintable(received(*sim).join(' ')));
}

void CliTest::nudge_data()
{
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reported");
    QTest::newRow("zoom") << "zoom"
                          << "moveZoom=5"
                          << "zoom";
    QTest::newRow("focus") << "focus"
                           << "moveFocus=-40"
                           << "focus";
    QTest::newRow("aperture") << "aperture"
                              << "moveAper=-3"
                              << "aperture";
}

void CliTest::nudge()
{
    QFETCH(QString, axis);
    QFETCH(QString, command);
    QFETCH(QString, reported);
    const auto sim = startSim();
    QVERIFY(sim);
    const Run run = cli({"--json", "nudge", sim->address().toString(), axis, command.section('=', 1)});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.json().object().value(reported).isDouble(), run.out.constData());
    QVERIFY(received(*sim).contains(command));
}

void CliTest::deviceOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("key");
    QTest::newRow("stabilizer on") << QStringList{"stabilizer", "{sim}", "5"} << QStringList{"enableIS=5"}
                                   << "stabiliserActive";
    QTest::newRow("stabilizer off") << QStringList{"stabilizer", "{sim}", "0"} << QStringList{"enableIS=0"}
                                    << "stabiliserActive";
    QTest::newRow("name") << QStringList{"name", "{sim}", "cam7"} << QStringList{"setNAME=cam7", "getNAME"} << "name";
    QTest::newRow("blank name") << QStringList{"name", "{sim}", ""} << QStringList{"setNAME=       ", "getNAME"}
                                << "name";
    QTest::newRow("focus time-out") << QStringList{"focus-timeout", "{sim}", "3000"}
                                    << QStringList{"setFocusT=3000", "setFocusT"} << "focusTimeout";
    QTest::newRow("protocol") << QStringList{"protocol", "{sim}", "2"} << QStringList{"setProto=2"} << "protocol";
    QTest::newRow("restart") << QStringList{"restart", "{sim}"} << QStringList{"Reboot"} << "restarted";
}

void CliTest::deviceOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, commands);
    QFETCH(QString, key);
    const auto sim = startSim();
    QVERIFY(sim);
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    const Run run = cli(QStringList{"--json"} + arguments);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.json().object().contains(key), run.out.constData());
    QVERIFY(settle(*sim));
    const QStringList sent = received(*sim);
    // After the connection exchange, exactly these commands, in order.
    QCOMPARE(sent.mid(5, commands.size()), commands);
}

void CliTest::protocolNeedsNewerFirmware()
{
    const auto sim = startSim({"--firmware", "1.7.4"});
    QVERIFY(sim);
    const Run run = cli({"protocol", sim->address().toString(), "1"});
    QCOMPARE(run.status, 1);
    QVERIFY(settle(*sim));
    QVERIFY(received(*sim).filter("setProto").isEmpty());
}

void CliTest::presetSavedByPanelRecalledByCli_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("digit") << "3";
    QTest::newRow("name with a slash") << "studio/left";
}

void CliTest::presetSavedByPanelRecalledByCli()
{
    QFETCH(QString, name);
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName(name), ProfileText::format(35, 600, 5.6f));
    }
    const auto sim = startSim();
    QVERIFY(sim);
    const Run run = cli({"--json", "preset", "recall", name, sim->address().toString()});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.json().object().value("zoom").toInt(), 35);
    QCOMPARE(run.json().object().value("focus").toInt(), 600);
    // The panel's recall on the wire: zoom, focus (the recall form), aperture.
    const QStringList moves = received(*sim).filter(QRegularExpression("^(set|stop)"));
    QCOMPARE(moves, (QStringList{"setFLAG=99", "setZoom=35", "setFocus2=600", "setAper=5.6"}));
}

void CliTest::presetSavedByCliReadByPanel()
{
    const auto sim = startSim();
    QVERIFY(sim);
    QCOMPARE(cli({"move", sim->address().toString(), "--zoom", "24", "--focus", "700", "--aperture", "5.6"}).status, 0);
    const QString name = QStringLiteral("%wide");
    QCOMPARE(cli({"preset", "save", name, sim->address().toString()}).status, 0);

    std::unique_ptr<QSettings> store(profiles());
    const QString value = ProfileText::valueText(store->value(ProfileText::keyForName(name)));
    const ProfileText::Position position = ProfileText::parse(value);
    QVERIFY2(position.isComplete(), qPrintable(value));
    QCOMPARE(position.zoom, 24);
    QCOMPARE(position.focus, 700);
    QCOMPARE(position.iris, 5.6f);
}

void CliTest::presetListAndDelete()
{
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("a/b"), ProfileText::format(18, 1, 3.5f));
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("7"), ProfileText::format(55, 2, 22.0f));
    }
    Run list = cli({"--json", "preset", "list"});
    QCOMPARE(list.status, 0);
    QStringList names;
    for (const QJsonValue& preset : list.json().array())
        names << preset.toObject().value("name").toString();
    names.sort();
    QCOMPARE(names, (QStringList{"7", "a/b"}));

    QCOMPARE(cli({"preset", "delete", "a/b"}).status, 0);
    QCOMPARE(cli({"preset", "delete", "a/b"}).status, 2);
    list = cli({"--json", "preset", "list"});
    QCOMPARE(list.json().array().size(), 1);
    std::unique_ptr<QSettings> store(profiles());
    QVERIFY(!store->contains(ProfileText::keyForName("a/b")));
}

void CliTest::presetOfAnotherLens()
{
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("tele"), ProfileText::format(200, 5, 4.0f));
    }
    const auto sim = startSim();
    QVERIFY(sim);
    const Run run = cli({"preset", "recall", "tele", sim->address().toString()});
    QCOMPARE(run.status, 1);
    QVERIFY(settle(*sim));
    QVERIFY(received(*sim).filter(QRegularExpression("^set(Zoom|Focus2|Aper)=")).isEmpty());
}

void CliTest::watchUntilControllerFallsSilent()
{
    const auto sim = startSim();
    QVERIFY(sim);
    QProcess watch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    watch.setProcessEnvironment(environment);
    watch.start(Cli, {"--json", "watch", sim->address().toString()});
    QVERIFY(watch.waitForStarted());
    // The lens reports after "ver", then the answers to the pings.
    QStringList reports;
    QTRY_VERIFY_WITH_TIMEOUT(
        (reports << QString::fromUtf8(watch.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
         reports.join(' ').contains("\"reply\":\"AF=1\"")),
        10000);
    for (const QString& line : qAsConst(reports)) {
        const QJsonDocument report = QJsonDocument::fromJson(line.toUtf8());
        QVERIFY2(report.isObject() && report.object().contains("facts"), qPrintable(line));
    }
    QVERIFY(sim->log().contains(QRegularExpression(" rx \\S+ ping$", QRegularExpression::MultilineOption)));

    sim->sendSignal(SIGUSR1); // falls silent
    QVERIFY(watch.waitForFinished(15000));
    QCOMPARE(watch.exitCode(), 1);
}

void CliTest::sendPrintsReplies()
{
    const auto sim = startSim({"--serial", "15123"});
    QVERIFY(sim);
    const Run text = cli({"send", sim->address().toString(), "getSN"});
    QCOMPARE(text.status, 0);
    QCOMPARE(text.out, QByteArray("SN=15123\n"));
    const Run json = cli({"--json", "--timeout", "0.5", "send", sim->address().toString(), "getSN"});
    QCOMPARE(json.json().object().value("replies").toArray(), QJsonArray{"SN=15123"});
    QVERIFY(settle(*sim));
    // Verbatim: exactly that text, no connection exchange around it.
    QCOMPARE(received(*sim), (QStringList{"getSN", "getSN", Marker}));
}

void CliTest::firmwareToSimulator()
{
    const quint16 tftpPort = TftpdServer::freePort(QHostAddress::LocalHost);
    const auto sim = startSim({"--tftp-port", QString::number(tftpPort), "--image-file", "{dir}/image.bin"});
    QVERIFY(sim);
    QTemporaryDir files;
    const QByteArray image = "ORVO :: image " + QByteArray(200000, '\x42');
    const QByteArray container =
        encodeFirmware(image, firmwareKey(), FirmwareCipher::FlagCompressed | FirmwareCipher::FlagDigest);
    const QString file = writeFile(files, "fw.orvoc", container);

    const Run run =
        cli({"--json", "firmware", sim->address().toString(), file, "--yes", "--tftp-port", QString::number(tftpPort)});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.json().object().value("uploaded").toInt(), image.size());
    QVERIFY(sim->waitForLog(QStringLiteral("image received: %1 bytes").arg(image.size())).hasMatch());
    QVERIFY(sim->waitForLog(QStringLiteral("image stored")).hasMatch());
    QFile stored(sim->workPath("image.bin"));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), image);
    QVERIFY(settle(*sim));
    const QStringList sent = received(*sim);
    QCOMPARE(sent.mid(sent.indexOf("setFLAG=0"), 4), (QStringList{"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}));
}

void CliTest::firmwareToTftpdHpa()
{
    SKIP_IF_UNAVAILABLE(TftpdServer::unavailableReason());
    const auto sim = startSim({"--tftp-port", QString::number(TftpdServer::freePort(QHostAddress::LocalHost))});
    QVERIFY(sim);
    // Debian's server on the controller's address, where the handshake went.
    const QString address = sim->address().toString();
    TftpdServer server(address, TftpdServer::freePort(sim->address()));
    QVERIFY(server.start());
    QTemporaryDir files;
    const QByteArray image = "ORVO :: plain image " + QByteArray(150000, '\x17');
    const QString file = writeFile(files, "fw.orvo", image);

    const Run run = cli({"firmware", address, file, "--yes", "--tftp-port", QString::number(server.port())});
    QCOMPARE(run.status, 0);
    QTRY_COMPARE_WITH_TIMEOUT(server.received(), image, 10000);
}

void CliTest::firmwareUnverifiableContainerIsNamed()
{
    const quint16 tftpPort = TftpdServer::freePort(QHostAddress::LocalHost);
    const auto sim = startSim({"--tftp-port", QString::number(tftpPort), "--restart-time", "100"});
    QVERIFY(sim);
    QTemporaryDir files;
    // Neither CRC nor digest nor compression: nothing can tell a wrong key.
    const QByteArray image = QByteArray(50000, '\x21');
    const QString file = writeFile(files, "fw.orvoc", encodeFirmware(image, firmwareKey(), 0));
    const Run run =
        cli({"firmware", sim->address().toString(), file, "--yes", "--tftp-port", QString::number(tftpPort)});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.contains("cannot be verified"), run.err.constData());
    QVERIFY(sim->waitForLog(QStringLiteral("image received: %1 bytes").arg(image.size())).hasMatch());
}

void CliTest::firmwareAsksOnATerminal_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::newRow("yes") << QByteArray("y\n") << 0;
    QTest::newRow("no") << QByteArray("n\n") << 2;
    QTest::newRow("just Enter") << QByteArray("\n") << 2;
}

void CliTest::firmwareAsksOnATerminal()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    const quint16 tftpPort = TftpdServer::freePort(QHostAddress::LocalHost);
    const auto sim = startSim({"--tftp-port", QString::number(tftpPort), "--restart-time", "100"});
    QVERIFY(sim);
    QTemporaryDir files;
    const QString file = writeFile(files, "fw.orvo", "ORVO :: image " + QByteArray(100000, '\x33'));
    // script(1) gives the program a terminal and passes its exit status on.
    QProcess terminal;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    terminal.setProcessEnvironment(environment);
    const QString command =
        QStringList{Cli, "firmware", sim->address().toString(), file, "--tftp-port", QString::number(tftpPort)}.join(
            ' ');
    terminal.start(QStringLiteral("script"), {"-qec", command, "/dev/null"});
    QVERIFY(terminal.waitForStarted());
    terminal.write(answer);
    QVERIFY(terminal.waitForFinished(30000));
    const QByteArray shown = terminal.readAllStandardOutput();
    QCOMPARE(terminal.exitCode(), status);
    QVERIFY2(shown.contains("[y/N]"), shown.constData());
    QVERIFY(settle(*sim));
    if (status == 0) {
        // The progress bar, drawn in place on the terminal.
        QVERIFY2(shown.contains("100014/100014 bytes") && shown.contains("ETA"), shown.constData());
        QVERIFY(received(*sim).contains("fwNETInit"));
    } else {
        QCOMPARE(received(*sim), QStringList{Marker});
    }
}

void CliTest::firmwareWithoutServerStillEndsUpdateMode()
{
    const auto sim = startSim({"--restart-time", "100"});
    QVERIFY(sim);
    QTemporaryDir files;
    const QString file = writeFile(files, "fw.orvo", "ORVO :: image");
    // Nothing listens on this port.
    const QString port = QString::number(TftpdServer::freePort(sim->address()));
    const Run run = cli({"--timeout", "2", "firmware", sim->address().toString(), file, "--yes", "--tftp-port", port});
    QCOMPARE(run.status, 1);
    QVERIFY(settle(*sim));
    QCOMPARE(received(*sim).filter("setFLAG").last(), QStringLiteral("setFLAG=99"));
}

void CliTest::searchInNamespaces()
{
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));

    Run none = cli({"--json", "--timeout", "1", "search"}, lab.panel);
    QCOMPARE(none.status, 3);
    QCOMPARE(none.json().array().size(), 0);

    QVERIFY2(lab.startResponder(lab.deviceA, {"ORVO KX-MQTR=1.9.0"}, &error), qPrintable(error));
    QVERIFY2(lab.startResponder(lab.deviceB, {"ORVO RE-2=1.8.3 ", "not an answer"}, &error), qPrintable(error));
    const Run found = cli({"--json", "--timeout", "1.5", "search"}, lab.panel);
    QCOMPARE(found.status, 0);
    QStringList controllers;
    for (const QJsonValue& controller : found.json().array()) {
        const QJsonObject object = controller.toObject();
        controllers << QStringLiteral("%1 %2 %3")
                           .arg(object.value("address").toString(), object.value("product").toString(),
                                object.value("firmware").toString());
    }
    controllers.sort();
    // Device A is reachable from two panel addresses and listed once.
    QCOMPARE(controllers, (QStringList{"10.231.1.2 ORVO KX-MQTR 1.9.0", "10.231.2.2 ORVO RE-2 1.8.3"}));
}

void CliTest::networkChangeInNamespace()
{
    // The address change clears the host's address cache: here only the
    // cache of a namespace of this test's own.
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));
    SimProcess sim(QHostAddress(QStringLiteral("127.0.0.1")), {"--gap", "0", "--restart-time", "500"});
    sim.setNamespace(lab.panel);
    QVERIFY(sim.start());

    const Run run =
        cli({"--json", "network", "127.0.0.1", "--address", "127.0.0.2", "--mask", "255.255.0.0"}, lab.panel);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.json().object().value("gateway").toString(), QStringLiteral("127.0.0.1"));
    const QStringList sent = received(sim);
    const int first = sent.indexOf("ChangeIP=127.0.0.2");
    QVERIFY(first > 0);
    QCOMPARE(sent.mid(first, 4),
             (QStringList{"ChangeIP=127.0.0.2", "ChangeMASK=255.255.0.0", "ChangeGW=127.0.0.1", "Reboot"}));
    // The probe at the new address found the controller there.
    QVERIFY(sent.mid(first + 4).contains("ver"));
}

LENSDESK_TEST_MAIN(CliTest)
#include "tst_cli.moc"
