#include "FirmwareImages.h"
#include "NetnsLab.h"
#include "ScriptedController.h"
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

#include <sys/stat.h>

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
    void version();
    void completionScript();
    void verboseShowsEveryDatagram();
    void addressFromTheEnvironment();
    void maxTimeBoundsTheWholeCommand();
    void outputIsUtf8WhateverTheLocale();
    void controllerTextIsEscapedForPeople();
    void jsonFailureOnStandardError_data();
    void jsonFailureOnStandardError();
    void jsonKeysAreDocumented_data();
    void jsonKeysAreDocumented();
    void writeErrorsFail_data();
    void writeErrorsFail();
    void interruptLeavesTheControllerSafe_data();
    void interruptLeavesTheControllerSafe();
    void badInputSendsNothing_data();
    void badInputSendsNothing();
    void addressesOfNoSingleControllerAreRefused_data();
    void addressesOfNoSingleControllerAreRefused();
    void silentControllerFailsInTime_data();
    void silentControllerFailsInTime();
    void info();
    void infoPacesAndReasksItsQuestions();
    void moveDrivesEveryAxis();
    void moveRefusals_data();
    void moveRefusals();
    void nudge_data();
    void nudge();
    void nudgeReportsTheSettledPosition_data();
    void nudgeReportsTheSettledPosition();
    void stabilizerNeedsTheMatchingAnswer_data();
    void stabilizerNeedsTheMatchingAnswer();
    void deviceOptions_data();
    void deviceOptions();
    void protocolNeedsNewerFirmware();
    void identificationRules_data();
    void identificationRules();
    void presetSavedByPanelRecalledByCli_data();
    void presetSavedByPanelRecalledByCli();
    void presetRecallGoesOnAfterTheZoomStep_data();
    void presetRecallGoesOnAfterTheZoomStep();
    void presetRecallEndsAtAnUnconfirmedFocus();
    void presetSavedByCliReadByPanel();
    void presetListAndDelete();
    void presetOfAnotherLens();
    void presetSaveWithoutLens();
    void presetStoreThatCannotBeWritten_data();
    void presetStoreThatCannotBeWritten();
    void watchUntilControllerFallsSilent();
    void sendPrintsReplies();
    void firmwareToSimulator();
    void firmwareToTftpdHpa();
    void firmwareUnverifiableContainerIsNamed();
    void firmwareAsksOnATerminal_data();
    void firmwareAsksOnATerminal();
    void firmwareWithoutServerStillEndsUpdateMode();
    void firmwareToControllerWaitingInItsBootLoader();
    void searchInNamespaces();
    void networkChangeInNamespace_data();
    void networkChangeInNamespace();

private:
    struct Run
    {
        int status = -1;
        QByteArray out;
        QByteArray err;
        qint64 ms = 0;
        QJsonDocument json() const { return QJsonDocument::fromJson(out); }
        // The last line of standard error as JSON: the failure object of --json.
        QJsonObject errorJson() const { return QJsonDocument::fromJson(err.trimmed().split('\n').last()).object(); }
    };
    // How the program is started: by default at once, on the host, as the
    // test's own user, killed after a minute.
    struct Launch
    {
        QString netns;
        bool withoutPrivileges = false;
        int limitMs = 60000;
        QStringList environment; // NAME=value added to the test's own
        QString shell;           // a bash script run instead, "$0" being the program

        Launch& inside(const QString& name)
        {
            netns = name;
            return *this;
        }
        // As the user nobody, without the administrator's privileges.
        Launch& asNobody()
        {
            withoutPrivileges = true;
            return *this;
        }
        Launch& within(int milliseconds)
        {
            limitMs = milliseconds;
            return *this;
        }
        Launch& with(const QStringList& variables)
        {
            environment = variables;
            return *this;
        }
        Launch& through(const QString& script)
        {
            shell = script;
            return *this;
        }
    };
    // Runs lensdesk-cli and waits for its end, handling events meanwhile (a
    // scripted controller of the test answers during the run).
    Run cli(const QStringList& arguments) { return cli(arguments, Launch()); }
    Run cli(const QStringList& arguments, const Launch& launch);
    // Starts lensdesk-cli without waiting.
    void start(QProcess& process, const QStringList& arguments, const Launch& launch);
    // The commands the simulator received, in order (the liveness pings left out).
    static QStringList received(const SimProcess& sim);
    // Sends a marker from the test and waits until the simulator logged it:
    // everything the program sent before has been logged by then.
    static bool settle(const SimProcess& sim);
    std::unique_ptr<SimProcess> startSim(const QStringList& arguments = {});
    // Writes `bytes` to the file `name` in `folder`; returns its path.
    static QString writeFile(const QTemporaryDir& folder, const char* name, const QByteArray& bytes);
    QSettings* profiles() { return SettingsStore::openProfiles(this); }
    // A controller of the test's own script on loopback: it identifies
    // itself as a power-zoom model and then volunteers the reports of an
    // 18-55 mm lens with a stabiliser that is switched on.
    static void identifyAsZoomWithStabiliser(ScriptedController& controller);
    // The keys the manual page documents for the JSON object of `section`
    // (JSON OUTPUT), nested keys joined by ".", array elements by "[]".
    static QStringList documentedKeys(const QString& section);
    // Every key in `value`, in the same notation.
    static QStringList keysOf(const QJsonValue& value, const QString& prefix = QString());

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

void CliTest::start(QProcess& process, const QStringList& arguments, const Launch& launch)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    environment.remove(QStringLiteral("LENSDESK_ADDRESS"));
    for (const QString& variable : launch.environment)
        environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
    process.setProcessEnvironment(environment);
    QStringList command{Cli};
    if (!launch.shell.isEmpty())
        command = QStringList{QStringLiteral("bash"), "-c", launch.shell, Cli};
    if (launch.withoutPrivileges)
        command = QStringList{QStringLiteral("setpriv"), "--reuid=65534", "--regid=65534", "--clear-groups"} + command;
    if (!launch.netns.isEmpty())
        command = QStringList{QStringLiteral("ip"), "netns", "exec", launch.netns} + command;
    process.start(command.first(), command.mid(1) + arguments);
}

CliTest::Run CliTest::cli(const QStringList& arguments, const Launch& launch)
{
    QProcess process;
    QEventLoop loop;
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    start(process, arguments, launch);
    process.closeWriteChannel();
    limit.start(launch.limitMs);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    Run run;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        qWarning("lensdesk-cli %s did not end within %d ms", qPrintable(arguments.join(' ')), launch.limitMs);
        return run;
    }
    run.ms = clock.elapsed();
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

void CliTest::identifyAsZoomWithStabiliser(ScriptedController& controller)
{
    controller.answer("ver", {"ORVO KX-MQTR=1.9.0"});
    controller.answer("getNAME",
                      {"NAME=cam", "Lens=EF-S18-55mm f/3.5-5.6 IS", "aRange=3.5,22", "zRange=18,55", "fRange=0,1150",
                       "AF=1", "IS=1", "ISactive=1", "Current=18,575,3.5"});
}

QStringList CliTest::documentedKeys(const QString& section)
{
    QFile manual(QStringLiteral(LENSDESK_SOURCE_DIR "/cli/lensdesk-cli.1"));
    if (!manual.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(manual.readAll());
    const QString heading = QStringLiteral("\n.SS \"%1\"\n.nf\n").arg(section);
    const int from = text.indexOf(heading);
    if (from < 0)
        return {};
    const int to = text.indexOf(QLatin1String("\n.fi\n"), from);
    QStringList keys;
    const QStringList lines = text.mid(from + heading.size(), to - from - heading.size()).split('\n');
    for (const QString& line : lines)
        keys << line.section(' ', 0, 0).remove('\\');
    keys.sort();
    return keys;
}

QStringList CliTest::keysOf(const QJsonValue& value, const QString& prefix)
{
    QStringList keys;
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (const QJsonValue& element : array) {
            if (element.isObject() || element.isArray())
                keys << keysOf(element, prefix + QStringLiteral("[]"));
        }
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString key = prefix.isEmpty() || prefix == QLatin1String("[]") ? it.key() : prefix + '.' + it.key();
            keys << key;
            keys << keysOf(it.value(), key);
        }
    }
    keys.removeDuplicates();
    keys.sort();
    return keys;
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
    QVERIFY(ldd.waitForFinished(TestWaits::processStart()));
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
    QTest::newRow("program") << QStringList{"--help"} << "COMMAND ARGUMENTS...";
    for (const char* command : {"search", "info", "move", "nudge", "stabilizer", "preset", "name", "focus-timeout",
                                "protocol", "restart", "network", "firmware", "watch", "send", "completion"}) {
        const QString usage = QStringLiteral("Usage: lensdesk-cli %1").arg(QLatin1String(command));
        QTest::newRow(command) << QStringList{QLatin1String(command), "--help"} << usage;
    }
    QTest::newRow("short form") << QStringList{"-h"} << "COMMAND ARGUMENTS...";
}

void CliTest::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    const Run run = cli(arguments);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(usage.toUtf8()), run.out.constData());
}

void CliTest::version()
{
    const Run run = cli({"--version"});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out, QByteArray("lensdesk-cli " LENSDESK_VERSION "\n"));
}

void CliTest::completionScript()
{
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("studio left"),
                                    ProfileText::format(35, 600, 5.6f));
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("wide"), ProfileText::format(18, 1, 3.5f));
    }
    // The script as bash runs it: what it offers after the words typed.
    // The script as bash runs it, "$0" being the program: what it offers
    // after the words typed.
    const QString complete =
        QStringLiteral("source <(\"$0\" completion bash) || exit 9; COMP_WORDS=(\"$0\" \"$@\"); "
                       "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _lensdesk_cli; printf '%s\\n' \"${COMPREPLY[@]}\"");
    const auto offered = [&](const QStringList& words) {
        const Run run = cli(words, Launch().within(20000).through(complete));
        return run.status == 0 ? QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts) : QStringList{"failed"};
    };
    QStringList commands = offered({""});
    QVERIFY2(commands.contains("firmware") && commands.contains("preset") && commands.contains("focus-timeout"),
             qPrintable(commands.join(' ')));
    QCOMPARE(offered({"fo"}), QStringList{"focus-timeout"});
    QStringList subcommands = offered({"preset", ""});
    subcommands.sort();
    QCOMPARE(subcommands, (QStringList{"delete", "list", "recall", "save"}));
    QCOMPARE(offered({"preset", "recall", ""}), (QStringList{"studio left", "wide"}));
    QStringList options = offered({"firmware", "--"});
    QVERIFY2(options.contains("--tftp-port") && options.contains("--yes"), qPrintable(options.join(' ')));
    // Only the options that apply to the command.
    options = offered({"restart", "--"});
    QVERIFY2(!options.contains("--zoom") && !options.contains("--yes"), qPrintable(options.join(' ')));
}

void CliTest::verboseShowsEveryDatagram()
{
    const auto sim = startSim({"--product", "ORVO RE-2", "--firmware", "1.8.3"});
    QVERIFY(sim);
    const Run run = cli({"-v", "restart", sim->address().toString()});
    QCOMPARE(run.status, 0);
    const QString log = QString::fromUtf8(run.err);
    for (const char* line : {"> blver", "> ver", "< ORVO RE-2=1.8.3", "> setFLAG=99", "> Reboot"}) {
        const QRegularExpression stamped(QStringLiteral("^ *\\d+ %1$").arg(QRegularExpression::escape(line)),
                                         QRegularExpression::MultilineOption);
        QVERIFY2(log.contains(stamped), qPrintable(log));
    }
    // Not on standard output, where the result goes.
    QVERIFY(!run.out.contains("> ver"));
}

void CliTest::addressFromTheEnvironment()
{
    const auto sim = startSim();
    QVERIFY(sim);
    const QString address = QStringLiteral("LENSDESK_ADDRESS=%1").arg(sim->address().toString());
    const Run run = cli({"--json", "info"}, Launch().with({address}));
    QCOMPARE(run.status, 0);
    QCOMPARE(run.json().object().value("controller").toString(), sim->address().toString());
    // An address on the command line comes first; a command without one keeps working.
    QCOMPARE(cli({"preset", "list"}, Launch().with({address})).status, 0);
    QCOMPARE(cli({"info", "127.0.0.256"}, Launch().with({address})).status, 2);
}

void CliTest::maxTimeBoundsTheWholeCommand()
{
    const auto sim = startSim();
    QVERIFY(sim);
    // A zoom travel of 2.5 s, cut short: the lens is stopped.
    const Run run = cli({"--json", "--max-time", "1", "move", sim->address().toString(), "--zoom", "55"});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.ms < 2500, qPrintable(QString::number(run.ms)));
    QCOMPARE(run.errorJson().value("error").toObject().value("reason").toString(), QStringLiteral("timeout"));
    QVERIFY(settle(*sim));
    const QStringList sent = received(*sim);
    QVERIFY2(sent.indexOf("stopFocus") > sent.indexOf("setZoom=55"), qPrintable(sent.join(' ')));
}

void CliTest::outputIsUtf8WhateverTheLocale()
{
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName(QStringLiteral("St\u00fcdio \u00e9")),
                                    ProfileText::format(35, 600, 5.6f));
    }
    // A locale of the test's own whose characters are Latin-1.
    QTemporaryDir locales;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"),
                    {"-i", "en_US", "-f", "ISO-8859-1", locales.filePath(QStringLiteral("en_US.ISO-8859-1"))});
    // Building a locale takes seconds; three process starts' worth of them.
    if (!localedef.waitForFinished(3 * TestWaits::processStart()) || localedef.exitCode() != 0)
        QSKIP("localedef cannot build a Latin-1 locale here (the package locales is needed)");
    const QStringList latin1{"LOCPATH=" + locales.path(), "LC_ALL=en_US.ISO-8859-1", "LANG=en_US.ISO-8859-1"};
    for (const QStringList& arguments : {QStringList{"preset", "list"}, QStringList{"--json", "preset", "list"}}) {
        const Run run = cli(arguments, Launch().with(latin1));
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("St\xc3\xbc"
                                  "dio \xc3\xa9"),
                 run.out.constData());
    }
}

void CliTest::controllerTextIsEscapedForPeople()
{
    const auto sim = startSim({"--vendor", "AC\x1b[31mME\x07"});
    QVERIFY(sim);
    const Run text = cli({"info", sim->address().toString()});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.contains("Vendor:        AC\\x1b[31mME\\x07\n"), text.out.constData());
    QVERIFY(!text.out.contains('\x1b') && !text.out.contains('\x07'));
    // JSON has its own escapes.
    const Run json = cli({"--json", "info", sim->address().toString()});
    QCOMPARE(json.json().object().value("vendor").toString(), QStringLiteral("AC\x1b[31mME\x07"));
}

void CliTest::jsonFailureOnStandardError_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    const QStringList silent{"--silent-after", "0"};
    const QStringList info{"--timeout", "1", "info", "{sim}"};
    const QStringList manualFocus{"--lens", "manual-focus"};
    const QStringList focus{"move", "{sim}", "--focus", "100"};
    QTest::newRow("no answer") << silent << info << 1 << "timeout";
    QTest::newRow("controller error") << manualFocus << focus << 1 << "refused";
    QTest::newRow("bad input") << QStringList{} << QStringList{"name", "{sim}", "camera12"} << 2 << "bad-input";
    QTest::newRow("no such preset") << QStringList{} << QStringList{"preset", "delete", "nothing"} << 2 << "bad-input";
}

void CliTest::jsonFailureOnStandardError()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, reason);
    const auto sim = startSim(simArguments);
    QVERIFY(sim);
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    const Run run = cli(QStringList{"--json"} + arguments);
    QCOMPARE(run.status, status);
    const QJsonObject error = run.errorJson().value("error").toObject();
    QCOMPARE(error.value("status").toInt(), status);
    QCOMPARE(error.value("reason").toString(), reason);
    QVERIFY(!error.value("message").toString().isEmpty());
    QCOMPARE(keysOf(run.errorJson()), documentedKeys("error"));
}

void CliTest::jsonKeysAreDocumented_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("section");
    const QStringList tftp{"--tftp-port", "{tftp}", "--restart-time", "100"};
    QTest::newRow("info") << QStringList{} << QStringList{"info", "{sim}"} << "info";
    QTest::newRow("info, no lens") << QStringList{"--lens", "none"} << QStringList{"info", "{sim}"} << "info";
    QTest::newRow("move") << QStringList{} << QStringList{"move", "{sim}", "--focus", "600"} << "move";
    QTest::newRow("nudge") << QStringList{} << QStringList{"nudge", "{sim}", "aperture", "2"} << "nudge";
    QTest::newRow("stabilizer") << QStringList{} << QStringList{"stabilizer", "{sim}", "3"} << "stabilizer";
    QTest::newRow("preset list") << QStringList{} << QStringList{"preset", "list"} << "preset list";
    QTest::newRow("preset save") << QStringList{} << QStringList{"preset", "save", "b", "{sim}"} << "preset save";
    QTest::newRow("preset recall") << QStringList{} << QStringList{"preset", "recall", "a", "{sim}"} << "preset recall";
    QTest::newRow("preset delete") << QStringList{} << QStringList{"preset", "delete", "a"} << "preset delete";
    QTest::newRow("name") << QStringList{} << QStringList{"name", "{sim}", "cam"} << "name";
    QTest::newRow("focus-timeout") << QStringList{} << QStringList{"focus-timeout", "{sim}", "900"} << "focus-timeout";
    QTest::newRow("protocol") << QStringList{} << QStringList{"protocol", "{sim}", "1"} << "protocol";
    QTest::newRow("restart") << QStringList{} << QStringList{"restart", "{sim}"} << "restart";
    const QStringList upload{"firmware", "{sim}", "{image}", "--yes", "--tftp-port", "{tftp}"};
    QTest::newRow("firmware") << tftp << upload << "firmware";
    QTest::newRow("send") << QStringList{} << QStringList{"send", "{sim}", "getSN"} << "send";
    QTest::newRow("watch, cut short") << QStringList{} << QStringList{"--max-time", "2", "watch", "{sim}"} << "watch";
}

void CliTest::jsonKeysAreDocumented()
{
    QFETCH(QStringList, simArguments);
    QFETCH(QStringList, arguments);
    QFETCH(QString, section);
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("a"), ProfileText::format(24, 300, 8.0f));
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("partial"), QStringLiteral("35,600"));
    }
    const QString tftpPort = QString::number(TftpdServer::freePort(QHostAddress::LocalHost));
    simArguments.replaceInStrings(QStringLiteral("{tftp}"), tftpPort);
    const auto sim = startSim(simArguments);
    QVERIFY(sim);
    QTemporaryDir files;
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    arguments.replaceInStrings(QStringLiteral("{tftp}"), tftpPort);
    arguments.replaceInStrings(QStringLiteral("{image}"), writeFile(files, "image", "ORVO :: image"));
    const Run run = cli(QStringList{"--json"} + arguments);
    const QStringList documented = documentedKeys(section);
    QVERIFY2(!documented.isEmpty(), qPrintable(section));
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QVERIFY2(!run.out.trimmed().isEmpty(), run.err.constData());
    for (const QByteArray& line : lines) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
        const QStringList keys = keysOf(document.isArray() ? QJsonValue(document.array()) : document.object());
        // Watch reports vary by line; every other object has every key, null
        // or not, except the keys inside an object that is null.
        QStringList expected;
        for (const QString& key : documented) {
            const QString parent = key.left(key.lastIndexOf('.'));
            if (!key.contains('.')
                || !keys.filter(QRegularExpression('^' + QRegularExpression::escape(parent + '.'))).isEmpty())
                expected << key;
        }
        if (section == QLatin1String("watch")) {
            for (const QString& key : keys)
                QVERIFY2(documented.contains(key), qPrintable(key));
        } else {
            QCOMPARE(keys, expected);
        }
        // The controller asked, in every object.
        if (document.isObject())
            QVERIFY2(document.object().contains("controller"), line.constData());
    }
}

void CliTest::writeErrorsFail_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::newRow("standard output closed") << "exec \"$0\" \"$@\" >&-" << QStringList{"info", "{sim}"} << 1;
    QTest::newRow("disk full") << "exec \"$0\" \"$@\" >/dev/full" << QStringList{"info", "{sim}"} << 1;
    QTest::newRow("disk full, preset list") << "exec \"$0\" \"$@\" >/dev/full" << QStringList{"preset", "list"} << 1;
    // As under a service manager: a closed pipe is an error, not a signal.
    const QString pipe = QStringLiteral("trap '' PIPE; \"$0\" \"$@\" | head -n 1; exit ${PIPESTATUS[0]}");
    QTest::newRow("watch into a pipe that closes") << pipe << QStringList{"watch", "{sim}"} << 1;
}

void CliTest::writeErrorsFail()
{
    QFETCH(QString, script);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("a"), ProfileText::format(24, 300, 8.0f));
    }
    const auto sim = startSim();
    QVERIFY(sim);
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    const Run run = cli(arguments, Launch().within(20000).through(script));
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.contains("cannot write output"), run.err.constData());
}

void CliTest::interruptLeavesTheControllerSafe_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("underWay");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("closing");
    const QStringList firmware{"firmware", "{sim}", "{image}", "--yes", "--tftp-port", "{tftp}"};
    QTest::newRow("firmware, Ctrl+C") << firmware << "Restart" << SIGINT << 130 << "setFLAG=99";
    QTest::newRow("firmware, SIGTERM") << firmware << "Restart" << SIGTERM << 143 << "setFLAG=99";
    QTest::newRow("firmware, SIGHUP") << firmware << "Restart" << SIGHUP << 129 << "setFLAG=99";
    const QStringList move{"move", "{sim}", "--zoom", "55"};
    const QStringList recall{"preset", "recall", "tele", "{sim}"};
    const QStringList nudge{"nudge", "{sim}", "zoom", "-370"};
    QTest::newRow("move, Ctrl+C") << move << "setZoom=55" << SIGINT << 130 << "stopFocus";
    QTest::newRow("preset recall, SIGTERM") << recall << "setZoom=55" << SIGTERM << 143 << "stopFocus";
    QTest::newRow("nudge, SIGHUP") << nudge << "moveZoom=-370" << SIGHUP << 129 << "stopFocus";
}

void CliTest::interruptLeavesTheControllerSafe()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, underWay);
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QString, closing);
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("tele"), ProfileText::format(55, 300, 8.0f));
    }
    // A restart long enough for the upload to be caught retrying.
    const QString tftpPort = QString::number(TftpdServer::freePort(QHostAddress::LocalHost));
    const auto sim = startSim({"--tftp-port", tftpPort, "--restart-time", "8000"});
    QVERIFY(sim);
    QTemporaryDir files;
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    arguments.replaceInStrings(QStringLiteral("{tftp}"), tftpPort);
    arguments.replaceInStrings(QStringLiteral("{image}"),
                               writeFile(files, "image", "ORVO :: image " + QByteArray(100000, '\x44')));

    QProcess process;
    start(process, QStringList{"--json"} + arguments, Launch());
    QVERIFY(process.waitForStarted());
    QVERIFY(
        sim->waitForLog(QStringLiteral(" (rx|drop) \\S+ %1$").arg(QRegularExpression::escape(underWay))).hasMatch());
    // A moment for the program to be inside what follows the command (the
    // upload's retries while the controller restarts, the wait for the
    // move's confirmation); the sanitizers slow that moment down too.
    QTest::qWait(TestWaits::scaled(300));
    // Only the program itself, and only while it runs.
    QCOMPARE(process.state(), QProcess::Running);
    QVERIFY(process.processId() > 0);
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(TestWaits::processStart()));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QJsonObject error =
        QJsonDocument::fromJson(process.readAllStandardError().trimmed().split('\n').last()).object();
    QCOMPARE(error.value("error").toObject().value("reason").toString(), QStringLiteral("interrupted"));
    QVERIFY(settle(*sim));
    const QStringList sent = received(*sim);
    QVERIFY2(sent.lastIndexOf(closing) > sent.indexOf(underWay), qPrintable(sent.join(' ')));
}

void CliTest::badInputSendsNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString a = QStringLiteral("{sim}");
    dataRow("no command", QStringList{});
    dataRow("unknown command", QStringList{"fly", a});
    dataRow("unknown option", QStringList{"info", a, "--fast"});
    dataRow("option without value", QStringList{"move", a, "--zoom"});
    dataRow("bad time-out", QStringList{"--timeout", "-1", "info", a});
    dataRow("address out of range", QStringList{"info", "127.0.0.256"});
    dataRow("address with three parts", QStringList{"info", "127.0.1"});
    dataRow("missing address", QStringList{"info"});
    dataRow("move without an axis", QStringList{"move", a});
    dataRow("zoom not a number", QStringList{"move", a, "--zoom", "wide"});
    dataRow("f-number not a number", QStringList{"move", a, "--aperture", "f4"});
    dataRow("f-number out of range", QStringList{"move", a, "--aperture", "128"});
    dataRow("nudge unknown axis", QStringList{"nudge", a, "iris", "5"});
    dataRow("nudge steps not a number", QStringList{"nudge", a, "focus", "5.5"});
    dataRow("stabiliser beyond 60 s", QStringList{"stabilizer", a, "61"});
    dataRow("name of 8 characters", QStringList{"name", a, "camera12"});
    dataRow("focus time-out 0", QStringList{"focus-timeout", a, "0"});
    dataRow("focus time-out beyond 10000", QStringList{"focus-timeout", a, "10001"});
    dataRow("protocol 3", QStringList{"protocol", a, "3"});
    dataRow("network without mask", QStringList{"network", a, "--address", "127.0.0.9"});
    dataRow("network bad address", QStringList{"network", a, "--address", "127.0.0", "--mask", "255.0.0.0"});
    const QStringList addressAndMask{"--address", "127.0.0.9", "--mask", "255.0.0.0"};
    dataRow("network bad gateway", QStringList{"network", a} + addressAndMask + QStringList{"--gateway", "x"});
    dataRow("firmware file missing", QStringList{"firmware", a, "/nonexistent/fw.orvo", "--yes"});
    dataRow("firmware file empty", QStringList{"firmware", a, "{empty}", "--yes"});
    dataRow("firmware file unknown", QStringList{"firmware", a, "{garbage}", "--yes"});
    dataRow("firmware without --yes and terminal", QStringList{"firmware", a, "{image}"});
    dataRow("recall of an unknown preset", QStringList{"preset", "recall", "nothing", a});
    dataRow("preset with a missing name", QStringList{"preset", "save", a});
    dataRow("send nothing", QStringList{"send", a, ""});
    // Values that would go out mangled or mean something else.
    dataRow("name outside ASCII", QStringList{"name", a, QStringLiteral("kam\u00e9")});
    dataRow("name with a control character", QStringList{"name", a, "ca\tm"});
    dataRow("send text outside ASCII", QStringList{"send", a, QStringLiteral("setNAME=\u00e9")});
    dataRow("aperture in exponent form", QStringList{"move", a, "--aperture", "5.6e0"});
    dataRow("aperture written as 1e-05", QStringList{"move", a, "--aperture", "0.00001"});
    dataRow("nudge by nothing", QStringList{"nudge", a, "focus", "0"});
    dataRow("negative focus", QStringList{"move", a, "--focus", "-5"});
    dataRow("zoom 0", QStringList{"move", a, "--zoom", "0"});
    // The firmware file: only a regular file the controller can take.
    dataRow("firmware file is a directory", QStringList{"firmware", a, "{directory}", "--yes"});
    dataRow("firmware file is a FIFO", QStringList{"firmware", a, "{fifo}", "--yes"});
    dataRow("firmware file without end", QStringList{"firmware", a, "/dev/zero", "--yes"});
    dataRow("firmware file beyond 65535 blocks", QStringList{"firmware", a, "{huge}", "--yes"});
    // Options the command does not take.
    dataRow("option of another command", QStringList{"restart", a, "--zoom", "35"});
    dataRow("--yes outside firmware", QStringList{"info", a, "-y"});
    dataRow("no preset store for a single word", QStringList{"preset", "list", "--tftp-port", "69"});
    dataRow("bad maximum time", QStringList{"--max-time", "0", "info", a});
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
    arguments.replaceInStrings(QStringLiteral("{directory}"), files.path());
    const QString fifo = files.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    arguments.replaceInStrings(QStringLiteral("{fifo}"), fifo);
    if (arguments.contains(QStringLiteral("{huge}")))
        arguments.replaceInStrings(QStringLiteral("{huge}"),
                                   writeFile(files, "huge", QByteArray("ORVO :: ").leftJustified(33553921, '\x01')));

    const Run run = cli(arguments, Launch().within(20000));
    QCOMPARE(run.status, 2);
    QVERIFY2(!run.err.trimmed().isEmpty(), "a bad usage is explained");
    QVERIFY(settle(*sim));
    QCOMPARE(received(*sim), QStringList{Marker});
}

void CliTest::addressesOfNoSingleControllerAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("this host") << QStringList{"info", "0.0.0.0"};
    QTest::newRow("limited broadcast") << QStringList{"info", "255.255.255.255"};
    QTest::newRow("multicast") << QStringList{"restart", "224.0.0.1"};
    QTest::newRow("last multicast") << QStringList{"info", "239.255.255.255"};
    QTest::newRow("reserved") << QStringList{"info", "240.0.0.1"};
    QTest::newRow("broadcast of the loopback network") << QStringList{"info", "127.255.255.255"};
    QTest::newRow("broadcast of a local network") << QStringList{"send", "10.231.1.255", "ver"};
    const QStringList multicast{"network", "127.0.0.1", "--address", "224.0.0.5", "--mask", "255.0.0.0"};
    const QStringList broadcast{"network", "127.0.0.1", "--address", "10.231.1.255", "--mask", "255.255.255.0"};
    QTest::newRow("new address multicast") << multicast;
    QTest::newRow("new address a local broadcast") << broadcast;
}

void CliTest::addressesOfNoSingleControllerAreRefused()
{
    // Inside a namespace of the test's own, so that not even a faulty
    // client could send anything beyond it.
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());
    QFETCH(QStringList, arguments);
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));
    SimProcess sim(QHostAddress(QStringLiteral("127.0.0.1")), {"--gap", "0"});
    sim.setNamespace(lab.panel);
    QVERIFY(sim.start());
    const Run run = cli(QStringList{"--timeout", "1"} + arguments, Launch().inside(lab.panel).within(20000));
    QCOMPARE(run.status, 2);
    QVERIFY2(!run.err.trimmed().isEmpty(), "the refusal is explained");
    QCOMPARE(received(sim), QStringList());
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

    const Run run = cli(QStringList{"--timeout", "1"} + arguments, Launch().within(20000));
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
    QCOMPARE(info.value("macAddress").toString(), QStringLiteral("02:00:00:01:02:03"));
    QCOMPARE(info.value("controller").toString(), sim->address().toString());
    QCOMPARE(info.value("hardware").toString(), QStringLiteral("4"));
    QCOMPARE(info.value("vendor").toString(), QStringLiteral("ACME"));
    QCOMPARE(info.value("address").toString(), sim->address().toString());
    QCOMPARE(info.value("mask").toString(), QStringLiteral("255.0.0.0"));
    QCOMPARE(info.value("focusTimeout").toInt(), 1500);
    const QJsonObject lens = info.value("lens").toObject();
    QCOMPARE(lens.value("zoomWide").toInt(), 18);
    QCOMPARE(lens.value("zoomTele").toInt(), 55);
    QCOMPARE(lens.value("apertureWidest").toDouble(), 3.5);
    QCOMPARE(lens.value("stabilizer").toBool(), true);
    QVERIFY(info.value("position").toObject().value("zoom").isDouble());

    const Run text = cli({"info", sim->address().toString()});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.out.contains("Product:       ORVO RE-2\n"), text.out.constData());
    QVERIFY2(text.out.contains("Zoom range:    18 to 55 mm\n"), text.out.constData());
    // The panel's connection exchange went out first.
    QCOMPARE(received(*sim).mid(0, 5), (QStringList{"blver", "getProto", "ver", "setFLAG=99", "getNAME"}));
}

void CliTest::infoPacesAndReasksItsQuestions()
{
    ScriptedController controller;
    QVERIFY(controller.isBound());
    // The boot loader and the MAC address are never told.
    controller.answer("ver", {"ORVO RE-2=1.8.3"});
    controller.answer("getProto", {"Proto=1"});
    controller.answer("getNAME", {"NAME=cam", "nolensfound"});
    controller.answer("getSN", {"SN=15077"});
    controller.answer("getHW", {"HW=4"});
    controller.answer("getVENDOR", {"VENDOR=ACME"});
    controller.answer("getIP", {"IP=" + controller.address()});
    controller.answer("getMASK", {"MASK=255.0.0.0"});
    controller.answer("getGW", {"GW=127.0.0.1"});
    controller.answer("setFocusT", {"T=1500"});

    const Run run = cli({"--json", "info", controller.address()});
    QCOMPARE(run.status, 0);
    const QJsonObject info = run.json().object();
    QVERIFY2(info.value("bootLoader").isNull(), run.out.constData());
    QVERIFY(info.value("mac").isNull());
    QCOMPARE(info.value("serial").toString(), QStringLiteral("15077"));
    QVERIFY(info.value("lens").isNull() && info.value("position").isNull());
    // Each unanswered question is asked once more.
    const QStringList asked = controller.commands();
    QCOMPARE(asked.count("blver"), 2);
    QCOMPARE(asked.count("getMAC"), 2);
    QCOMPARE(asked.count("getSN"), 1);
    // Spaced as the panel spaces them: eight questions over at least 70 ms
    // (half of it allowed for a slow machine).
    const QVector<ScriptedController::Command>& log = controller.log();
    qint64 first = -1;
    qint64 last = -1;
    for (const ScriptedController::Command& command : log) {
        if (command.text == QLatin1String("getSN") && first < 0)
            first = command.atMs;
        if (command.text == QLatin1String("setFocusT"))
            last = command.atMs;
    }
    QVERIFY2(first >= 0 && last - first >= 35, qPrintable(asked.join(' ')));

    const Run text = cli({"info", controller.address()});
    QVERIFY2(text.out.contains("Boot loader:   unknown\n"), text.out.constData());
    QVERIFY2(text.out.contains("MAC:           unknown\n"), text.out.constData());
}

void CliTest::moveDrivesEveryAxis()
{
    const auto sim = startSim();
    QVERIFY(sim);
    const Run run =
        cli({"--json", "move", sim->address().toString(), "--zoom", "35", "--focus", "800", "--aperture", "8"});
    QCOMPARE(run.status, 0);
    const QJsonObject position = run.json().object().value("position").toObject();
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
    dataRow("zoom without power zoom", QStringList{"--product", "ORVO RE-2"}, QStringList{"--zoom", "35"}, "setZoom");
    const QStringList focusAndAperture{"--focus", "100", "--aperture", "8"};
    dataRow("focus with AF switch at MF", QStringList{"--lens", "manual-focus"}, focusAndAperture, "setAper");
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
    dataRow("zoom", "zoom", "moveZoom=5", "zoom");
    dataRow("focus", "focus", "moveFocus=-40", "focus");
    dataRow("aperture", "aperture", "moveAper=-3", "aperture");
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
    QVERIFY2(run.json().object().value("position").toObject().value(reported).isDouble(), run.out.constData());
    QVERIFY(received(*sim).contains(command));
}

void CliTest::nudgeReportsTheSettledPosition_data()
{
    QTest::addColumn<QStringList>("simArguments");
    QTest::newRow("moves end with a summary") << QStringList{};
    QTest::newRow("moves end in silence") << QStringList{"--no-move-summary"};
}

void CliTest::nudgeReportsTheSettledPosition()
{
    QFETCH(QStringList, simArguments);
    const auto sim = startSim(simArguments);
    QVERIFY(sim);
    // Half the focus travel: a dozen position reports on the way.
    const Run run = cli({"--json", "nudge", sim->address().toString(), "focus", "500"});
    QCOMPARE(run.status, 0);
    const QRegularExpression reported(QStringLiteral(" tx \\S+ Focus=(\\d+)$"), QRegularExpression::MultilineOption);
    QStringList positions;
    for (auto it = reported.globalMatch(sim->log()); it.hasNext();)
        positions << it.next().captured(1);
    QVERIFY2(positions.size() > 3, qPrintable(positions.join(' ')));
    QCOMPARE(run.json().object().value("position").toObject().value("focus").toInt(), positions.last().toInt());
}

void CliTest::stabilizerNeedsTheMatchingAnswer_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("answer");
    QTest::addColumn<int>("status");
    QTest::newRow("switched on") << "enableIS=5" << QStringList{"ISactive=1"} << 0;
    QTest::newRow("switched off") << "enableIS=0" << QStringList{"ISactive=0"} << 0;
    QTest::newRow("answer that says otherwise") << "enableIS=5" << QStringList{"ISactive=0"} << 1;
    QTest::newRow("no answer, only the volunteered report") << "enableIS=5" << QStringList{} << 1;
    QTest::newRow("an error") << "enableIS=5" << QStringList{"errorParam: stabiliser busy"} << 1;
}

void CliTest::stabilizerNeedsTheMatchingAnswer()
{
    QFETCH(QString, command);
    QFETCH(QStringList, answer);
    QFETCH(int, status);
    ScriptedController controller;
    QVERIFY(controller.isBound());
    identifyAsZoomWithStabiliser(controller);
    controller.answer(command, answer);
    const Run run = cli({"--json", "--timeout", "1", "stabilizer", controller.address(), command.section('=', 1)});
    QCOMPARE(run.status, status);
    QVERIFY(controller.commands().contains(command));
    if (status == 0)
        QCOMPARE(run.json().object().value("stabilizerActive").toBool(), command != QLatin1String("enableIS=0"));
}

void CliTest::deviceOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("key");
    // The command, what follows the connection exchange on the wire, the result's key.
    const auto row = [](const char* name, const QStringList& arguments, const QStringList& commands, const char* key) {
        QTest::newRow(name) << arguments << commands << QString::fromLatin1(key);
    };
    row("stabilizer on", {"stabilizer", "{sim}", "5"}, {"enableIS=5"}, "stabilizerActive");
    row("stabilizer off", {"stabilizer", "{sim}", "0"}, {"enableIS=0"}, "stabilizerActive");
    row("name", {"name", "{sim}", "cam7"}, {"setNAME=cam7", "getNAME"}, "name");
    row("blank name", {"name", "{sim}", ""}, {"setNAME=       ", "getNAME"}, "name");
    row("focus time-out", {"focus-timeout", "{sim}", "3000"}, {"setFocusT=3000", "setFocusT"}, "focusTimeout");
    row("protocol", {"protocol", "{sim}", "2"}, {"setProto=2"}, "protocol");
    row("restart", {"restart", "{sim}"}, {"Reboot"}, "restarting");
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

void CliTest::identificationRules_data()
{
    // The simulator's options and the command after its address, written as
    // on a command line.
    QTest::addColumn<QString>("simOptions");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("forbidden");
    const auto row = [](const char* name, const char* simOptions, const char* command, int status,
                        const char* forbidden) {
        QTest::newRow(name) << QString(simOptions) << QString(command) << status << QString(forbidden);
    };
    // The panel's rules at identification, decided once in the core.
    row("firmware older than 1.4", "--firmware 1.3.9", "info", 1, "getSN");
    row("1.7.4: no stabiliser switch", "--firmware 1.7.4", "stabilizer 5", 1, "enableIS");
    row("protocol 2 before 1.9", "--firmware 1.8.3", "protocol 2", 1, "setProto");
    row("protocol already in use", "--protocol 1", "protocol 1", 0, "setProto");
}

void CliTest::identificationRules()
{
    QFETCH(QString, simOptions);
    QFETCH(QString, command);
    QFETCH(int, status);
    QFETCH(QString, forbidden);
    const auto sim = startSim(simOptions.split(' '));
    QVERIFY(sim);
    QStringList arguments = command.split(' ');
    arguments.insert(1, sim->address().toString());
    const Run run = cli(arguments);
    QCOMPARE(run.status, status);
    QVERIFY2(!(status == 0 ? run.out : run.err).trimmed().isEmpty(), "the outcome is explained");
    QVERIFY(settle(*sim));
    QVERIFY2(received(*sim).filter(forbidden).isEmpty(), qPrintable(received(*sim).join(' ')));
}

void CliTest::presetSavedByPanelRecalledByCli_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("simOptions");
    QTest::newRow("digit") << "3" << QStringList();
    QTest::newRow("name with a slash") << "studio/left" << QStringList();
    // Controllers differ in what follows "zoomDone".
    QTest::newRow("zoom confirmed by zoomDone alone") << "3" << QStringList{"--zoom-done-alone"};
}

void CliTest::presetSavedByPanelRecalledByCli()
{
    QFETCH(QString, name);
    QFETCH(QStringList, simOptions);
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName(name), ProfileText::format(35, 600, 5.6f));
    }
    const auto sim = startSim(simOptions);
    QVERIFY(sim);
    const Run run = cli({"--json", "preset", "recall", name, sim->address().toString()});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.json().object().value("position").toObject().value("zoom").toInt(), 35);
    QCOMPARE(run.json().object().value("position").toObject().value("focus").toInt(), 600);
    // The panel's recall on the wire: zoom, focus (the recall form), aperture.
    const QStringList moves = received(*sim).filter(QRegularExpression("^(set|stop)"));
    QCOMPARE(moves, (QStringList{"setFLAG=99", "setZoom=35", "setFocus2=600", "setAper=5.6"}));
}

void CliTest::presetRecallGoesOnAfterTheZoomStep_data()
{
    QTest::addColumn<QStringList>("zoomReplies");
    QTest::addColumn<QString>("reason");
    dataRow("zoom refused", QStringList{"errorRange: zoom busy"}, "refused \"setZoom=35\": errorRange: zoom busy.");
    dataRow("zoom not confirmed", QStringList(), "did not confirm \"setZoom=35\" in time");
}

// As in the panel: focus and aperture follow a zoom move that was refused or
// not confirmed in time, and the recall then says what went wrong.
void CliTest::presetRecallGoesOnAfterTheZoomStep()
{
    QFETCH(QStringList, zoomReplies);
    QFETCH(QString, reason);
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("3"), ProfileText::format(35, 600, 5.6f));
    }
    ScriptedController controller;
    QVERIFY(controller.isBound());
    controller.answer(QStringLiteral("ver"), {QStringLiteral("ORVO KX-MQTR=1.9.0"), QStringLiteral("zRange=18,55")});
    controller.answer(QStringLiteral("setZoom=35"), zoomReplies);
    controller.answer(QStringLiteral("setFocus2=600"), {QStringLiteral("focusDone")});
    controller.answer(QStringLiteral("setAper=5.6"), {QStringLiteral("irisDone")});
    const Run run = cli({"--timeout", "1", "preset", "recall", "3", controller.address()});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(reason.toUtf8()), run.err.constData());
    QCOMPARE(controller.commands().filter(QRegularExpression("^set(Zoom|Focus2|Aper)=")),
             (QStringList{"setZoom=35", "setFocus2=600", "setAper=5.6"}));
}

// As in the panel: a focus move never confirmed ends the recall; the
// aperture does not follow.
void CliTest::presetRecallEndsAtAnUnconfirmedFocus()
{
    {
        std::unique_ptr<QSettings> store(profiles());
        SettingsStore::writeThrough(store.get(), ProfileText::keyForName("3"), ProfileText::format(35, 600, 5.6f));
    }
    ScriptedController controller;
    QVERIFY(controller.isBound());
    controller.answer(QStringLiteral("ver"), {QStringLiteral("ORVO KX-MQTR=1.9.0"), QStringLiteral("zRange=18,55")});
    controller.answer(QStringLiteral("setZoom=35"), {QStringLiteral("zoomDone")});
    controller.answer(QStringLiteral("setAper=5.6"), {QStringLiteral("irisDone")});
    const Run run = cli({"--timeout", "1", "preset", "recall", "3", controller.address()});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("did not confirm \"setFocus2=600\" in time"), run.err.constData());
    QCOMPARE(controller.commands().filter(QRegularExpression("^set(Zoom|Focus2|Aper)=")),
             (QStringList{"setZoom=35", "setFocus2=600"}));
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

void CliTest::presetSaveWithoutLens()
{
    const auto sim = startSim({"--lens", "none"});
    QVERIFY(sim);
    const Run run = cli({"preset", "save", "x", sim->address().toString()});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("sees no lens"), run.err.constData());
    std::unique_ptr<QSettings> store(profiles());
    QVERIFY(!store->contains("x"));
}

void CliTest::presetStoreThatCannotBeWritten_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("save") << QStringList{"preset", "save", "new", "{sim}"};
    QTest::newRow("delete") << QStringList{"preset", "delete", "kept"};
}

void CliTest::presetStoreThatCannotBeWritten()
{
    // The store belongs to root and the program runs as nobody.
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs root and setpriv");
    QFETCH(QStringList, arguments);
    QTemporaryDir home(QStringLiteral("/tmp/lensdesk-cli-store-XXXXXX"));
    QVERIFY(home.isValid());
    QVERIFY(QFile::setPermissions(home.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                      | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    QVERIFY(QDir(home.path()).mkpath("ORVO"));
    const QString storeFile = home.filePath("ORVO/KXController.conf");
    {
        QSettings store(storeFile, QSettings::IniFormat);
        store.setValue("Profiles/kept", ProfileText::format(35, 600, 5.6f));
    }
    const QByteArray before = [&] {
        QFile file(storeFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QVERIFY(before.contains("kept"));
    const auto sim = startSim();
    QVERIFY(sim);
    arguments.replaceInStrings(QStringLiteral("{sim}"), sim->address().toString());
    const Run run = cli(QStringList{"--json"} + arguments,
                        Launch().asNobody().with({QStringLiteral("XDG_CONFIG_HOME=%1").arg(home.path())}));
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("store"), run.err.constData());
    QFile file(storeFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
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
        TestWaits::processStart());
    for (const QString& line : qAsConst(reports)) {
        const QJsonDocument report = QJsonDocument::fromJson(line.toUtf8());
        QVERIFY2(report.isObject() && report.object().contains("reports"), qPrintable(line));
    }
    QVERIFY(sim->log().contains(QRegularExpression(" rx \\S+ ping$", QRegularExpression::MultilineOption)));

    sim->sendSignal(SIGUSR1); // falls silent
    // The client counts the missed pings to its limit, then ends.
    QVERIFY(watch.waitForFinished(TestWaits::scaled(15000)));
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
    QCOMPARE(run.json().object().value("bytes").toInt(), image.size());
    QCOMPARE(run.json().object().value("uploaded").toBool(), true);
    QCOMPARE(run.json().object().value("identified").toBool(), true);
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
    QTRY_COMPARE_WITH_TIMEOUT(server.received(), image, TestWaits::processStart());
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
    QTest::addColumn<QStringList>("simArguments");
    QTest::newRow("yes") << QByteArray("y\n") << 0 << QStringList{};
    QTest::newRow("no") << QByteArray("n\n") << 2 << QStringList{};
    QTest::newRow("just Enter") << QByteArray("\n") << 2 << QStringList{};
    // Nothing identifies: a second question, No by default as well.
    QTest::newRow("boot loader, yes twice") << QByteArray("y\ny\n") << 0 << QStringList{"--waiting-for-image"};
    QTest::newRow("boot loader, then Enter") << QByteArray("y\n\n") << 2 << QStringList{"--waiting-for-image"};
}

void CliTest::firmwareAsksOnATerminal()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QStringList, simArguments);
    const quint16 tftpPort = TftpdServer::freePort(QHostAddress::LocalHost);
    const auto sim =
        startSim(QStringList{"--tftp-port", QString::number(tftpPort), "--restart-time", "100"} + simArguments);
    QVERIFY(sim);
    QTemporaryDir files;
    const QString file = writeFile(files, "fw.orvo", "ORVO :: image " + QByteArray(100000, '\x33'));
    // script(1) gives the program a terminal and passes its exit status on.
    QProcess terminal;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome);
    terminal.setProcessEnvironment(environment);
    const QString command =
        QStringList{
            Cli, "-t", "1", "firmware", sim->address().toString(), file, "--tftp-port", QString::number(tftpPort)}
            .join(' ');
    terminal.start(QStringLiteral("script"), {"-qec", command, "/dev/null"});
    QVERIFY(terminal.waitForStarted());
    terminal.write(answer);
    // Through the question, the upload and the controller's restart.
    QVERIFY(terminal.waitForFinished(3 * TestWaits::processStart()));
    const QByteArray shown = terminal.readAllStandardOutput();
    QCOMPARE(terminal.exitCode(), status);
    QVERIFY2(shown.contains("[y/N]"), shown.constData());
    QVERIFY(settle(*sim));
    if (status == 0) {
        // The progress bar, drawn in place on the terminal.
        QVERIFY2(shown.contains("100014/100014 bytes") && shown.contains("ETA"), shown.constData());
        QVERIFY(received(*sim).contains("fwNETInit"));
    } else {
        // At most the identification's questions, nothing of the update.
        QStringList sent = received(*sim);
        for (const char* probe : {"blver", "getProto", "ver"})
            sent.removeAll(QLatin1String(probe));
        QCOMPARE(sent, QStringList{Marker});
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

void CliTest::firmwareToControllerWaitingInItsBootLoader()
{
    const quint16 tftpPort = TftpdServer::freePort(QHostAddress::LocalHost);
    const auto sim = startSim({"--waiting-for-image", "--tftp-port", QString::number(tftpPort), "--image-file",
                               "{dir}/image.bin", "--restart-time", "100"});
    QVERIFY(sim);
    QTemporaryDir files;
    const QByteArray image = "ORVO :: rescue " + QByteArray(60000, '\x5c');
    const QString file = writeFile(files, "fw.orvo", image);

    const Run run = cli({"--json", "--timeout", "1", "firmware", sim->address().toString(), file, "--yes",
                         "--tftp-port", QString::number(tftpPort)});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.contains("identifies"), run.err.constData());
    QCOMPARE(run.json().object().value("identified").toBool(true), false);
    QVERIFY(sim->waitForLog(QStringLiteral("image received: %1 bytes").arg(image.size())).hasMatch());
    QVERIFY(settle(*sim));
    // The panel's sequence all the same: update mode, image, no update pending.
    const QStringList sent = received(*sim);
    const int from = sent.indexOf("setFLAG=0");
    QVERIFY2(from > 0, qPrintable(sent.join(' ')));
    QCOMPARE(sent.mid(from, 4), (QStringList{"setFLAG=0", "fwNETInit", "Restart", "setFLAG=99"}));
}

void CliTest::searchInNamespaces()
{
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));

    Run none = cli({"--json", "--timeout", "1", "search"}, Launch().inside(lab.panel));
    QCOMPARE(none.status, 3);
    QCOMPARE(none.json().array().size(), 0);

    QVERIFY2(lab.startResponder(lab.deviceA, {"ORVO KX-MQTR=1.9.0"}, &error), qPrintable(error));
    QVERIFY2(lab.startResponder(lab.deviceB, {"ORVO RE-2=1.8.3 ", "not an answer"}, &error), qPrintable(error));
    const Run found = cli({"--json", "--timeout", "1.5", "search"}, Launch().inside(lab.panel));
    QCOMPARE(found.status, 0);
    QStringList controllers;
    for (const QJsonValue& controller : found.json().array()) {
        const QJsonObject object = controller.toObject();
        controllers << QStringLiteral("%1 %2 %3")
                           .arg(object.value("controller").toString(), object.value("product").toString(),
                                object.value("firmware").toString());
        QCOMPARE(keysOf(object), documentedKeys("search"));
    }
    controllers.sort();
    // Device A is reachable from two panel addresses and listed once.
    QCOMPARE(controllers, (QStringList{"10.231.1.2 ORVO KX-MQTR 1.9.0", "10.231.2.2 ORVO RE-2 1.8.3"}));
}

void CliTest::networkChangeInNamespace_data()
{
    QTest::addColumn<bool>("unprivileged");
    // The controller's restart time, and the options of another device that
    // already answers at the new address ("": none).
    QTest::addColumn<QString>("restartTime");
    QTest::addColumn<QString>("otherDevice");
    QTest::addColumn<int>("status");
    const auto row = [](const char* name, bool unprivileged, const char* restartTime, const char* otherDevice,
                        int status) {
        QTest::newRow(name) << unprivileged << QString(restartTime) << QString(otherDevice) << status;
    };
    row("with the privilege to clear the address cache", false, "500", "", 0);
    row("without it: a warning", true, "500", "", 0);
    // The controller restarts for longer than the client waits for it.
    row("another device answers there", false, "30000", "--serial 99999 --mac 2-0-0-9-9-9", 1);
}

void CliTest::networkChangeInNamespace()
{
    QFETCH(bool, unprivileged);
    QFETCH(QString, restartTime);
    QFETCH(QString, otherDevice);
    QFETCH(int, status);
    // The address change clears the host's address cache: here only the
    // cache of a namespace of this test's own.
    SKIP_IF_UNAVAILABLE(NetnsLab::unavailableReason());
    NetnsLab lab;
    QString error;
    QVERIFY2(lab.setUp(&error), qPrintable(error));
    SimProcess sim(QHostAddress(QStringLiteral("127.0.0.1")), {"--gap", "0", "--restart-time", restartTime});
    sim.setNamespace(lab.panel);
    QVERIFY(sim.start());
    std::unique_ptr<SimProcess> other;
    if (!otherDevice.isEmpty()) {
        other = std::make_unique<SimProcess>(QHostAddress(QStringLiteral("127.0.0.2")),
                                             QStringList{"--gap", "0"} + otherDevice.split(' '));
        other->setNamespace(lab.panel);
        QVERIFY(other->start());
    }
    // An entry to clear, which only a privileged program may.
    QByteArray ignored;
    QVERIFY2(lab.runInPanel("ip",
                            {"neigh", "replace", "10.231.1.2", "lladdr", "02:00:00:00:01:02", "dev", lab.linkA, "nud",
                             "permanent"},
                            10000, &ignored, &error),
             qPrintable(error));

    const Run run = cli({"--json", "network", "127.0.0.1", "--address", "127.0.0.2", "--mask", "255.255.0.0"},
                        unprivileged ? Launch().inside(lab.panel).asNobody() : Launch().inside(lab.panel));
    QCOMPARE(run.status, status);
    QCOMPARE(run.err.contains("address cache could not be cleared"), unprivileged);
    const QStringList sent = received(sim);
    const int first = sent.indexOf("ChangeIP=127.0.0.2");
    QVERIFY(first > 0);
    QCOMPARE(sent.mid(first, 4),
             (QStringList{"ChangeIP=127.0.0.2", "ChangeMASK=255.255.0.0", "ChangeGW=127.0.0.1", "Reboot"}));
    // Its identity was read before the change.
    QVERIFY(sent.mid(0, first).contains("getSN"));
    QVERIFY(sent.mid(0, first).contains("getMAC"));
    if (other) {
        // Both identities named: the two devices may now share the address.
        QVERIFY2(run.err.contains("99999") && run.err.contains("15001"), run.err.constData());
        return;
    }
    QCOMPARE(run.json().object().value("gateway").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(keysOf(run.json().object()), documentedKeys("network"));
    // At the new address, the same controller was found.
    QCOMPARE(sent.mid(first + 4).filter(QRegularExpression("^(ver|getSN|getMAC)$")),
             (QStringList{"ver", "getSN", "getMAC"}));
}

LENSDESK_TEST_MAIN(CliTest)
#include "tst_cli.moc"
