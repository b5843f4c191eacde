// The simulated controller, driven over loopback as the panel drives it:
// identification and lens reports, moves, bad values, address change,
// silence and restarts, the firmware write over TFTP (with curl's client),
// and a flood of garbage.

#include "FirmwareImages.h"
#include "ProcessMemory.h"
#include "SimClient.h"
#include "SimProcess.h"
#include "TestMain.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

using Answers = QList<QByteArray>;
Q_DECLARE_METATYPE(Answers)

namespace {

// Keys the panel looks for anywhere in an answer. An error text holding one
// of them would be taken for a report.
const QList<QByteArray> PanelKeys{"=",        "Current",   "aRange",   "zRange", "fRange", "nolensfound",
                                  "zoomDone", "focusDone", "irisDone", "Zoom",   "Iris"};

bool isKeySafeError(const QByteArray& answer)
{
    if (!answer.startsWith("error"))
        return false;
    for (const QByteArray& key : PanelKeys) {
        if (answer.contains(key))
            return false;
    }
    return true;
}

// Milliseconds of the log lines that sent an answer.
QList<qint64> answerTimes(const QString& log)
{
    QList<qint64> times;
    const QRegularExpression line(QStringLiteral("^\\s*(\\d+) tx "), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(log); it.hasNext();)
        times << it.next().captured(1).toLongLong();
    return times;
}

void enterUpdateMode(SimProcess& sim, SimClient& client)
{
    for (const char* command : {"setFLAG=0", "fwNETInit", "Restart"})
        client.send(sim.address(), command);
}

} // namespace

class SimTest : public QObject
{
    Q_OBJECT

private slots:
    void identification_data();
    void identification();
    void lensReports_data();
    void lensReports();
    void moves_data();
    void moves();
    void movesWithoutSummary();
    void zoomMoveConfirmation_data();
    void zoomMoveConfirmation();
    void stopConfirmation_data();
    void stopConfirmation();
    void descendingFocusCounts_data();
    void descendingFocusCounts();
    void focusMoveConfirmation_data();
    void focusMoveConfirmation();
    void invalidValues_data();
    void invalidValues();
    void stabiliser();
    void addressChange();
    void silenceAndRecovery();
    void faults_data();
    void faults();
    void faultsFollowTheSeed();
    void tftpWrite_data();
    void tftpWrite();
    void updateModeNeedsHandshake();
    void waitingForImageAnswersNothing();
    void garbage();
};

void SimTest::identification_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Answers>("commands");
    QTest::addColumn<Answers>("expected");

    const auto row = [](const char* name, const QStringList& arguments, const Answers& commands,
                        const Answers& expected) { QTest::newRow(name) << arguments << commands << expected; };
    const QStringList re2{"--product", "ORVO RE-2", "--firmware", "1.8.12 "};
    const QStringList duvuder{"--product", "ORVO DuvudER", "--firmware", "1.7.4"};
    const QStringList bootLoader{"--bootloader", "255", "--protocol", "2"};
    const QStringList identity{"--serial", "15234", "--mac", "0-17-34-51-68-85", "--hardware", "7", "--vendor", "  "};
    const Answers identityQueries{"getSN", "getMAC", "getHW", "getVENDOR"};
    const Answers identityWrites{"setSN=20000", "ChangeMAC=1-2-3-4-5-6", "setHW=255", "setVND=Acme Optics"};
    const Answers identityWritten{"SN=20000", "MAC=1-2-3-4-5-6", "HW=255", "VENDOR=Acme Optics"};
    const QByteArray paddedName("NAME=cam1\0\0\0", 12);
    const char* const serialRefused = "errorRange: serial number outside 15000-65535";
    const Answers timeouts{"setFocusT", "setFocusT=250", "setFocusT"};
    const QStringList network{"--mask", "255.255.255.0", "--gateway", "127.1.2.3"};
    const Answers networkQueries{"getMASK", "getGW", "ChangeMASK=255.255.0.0", "ChangeGW=127.9.9.9",
                                 "getMASK", "getGW"};
    const Answers networkAnswers{"MASK=255.255.255.0", "GW=127.1.2.3", "MASK=255.255.255.0", "GW=127.1.2.3"};
    row("power-zoom model", {}, {"ver"}, {"ORVO KX-MQTR=1.9.0"});
    row("RE-2, version with a trailing blank", re2, {"ver"}, {"ORVO RE-2=1.8.12 "});
    row("DuvudER", duvuder, {"ver"}, {"ORVO DuvudER=1.7.4"});
    row("boot loader and protocol", bootLoader, {"blver", "getProto"}, {"BL=255", "Proto=2"});
    row("factory identity", identity, identityQueries, {"SN=15234", "MAC=0-17-34-51-68-85", "HW=7", "VENDOR=  "});
    row("name padded with NULs", {"--name", "cam1"}, {"getNAME"}, {paddedName});
    row("name written, cut to 7", {}, {"setNAME=studio-left", "getNAME"}, {"NAME=studio-"});
    row("identity written", {}, identityWrites + identityQueries, identityWritten);
    row("rejected identity keeps the old", {"--serial", "15001"}, {"setSN=99", "getSN"}, {serialRefused, "SN=15001"});
    row("focus time-out", {"--focus-timeout", "1500"}, timeouts, {"T=1500", "T=250"});
    row("network settings wait for a restart", network, networkQueries, networkAnswers);
}

void SimTest::identification()
{
    QFETCH(QStringList, arguments);
    QFETCH(Answers, commands);
    QFETCH(Answers, expected);

    SimProcess sim(arguments + QStringList{"--report-delay", "60000"});
    QVERIFY(sim.start());
    SimClient client;
    for (const QByteArray& command : commands)
        client.send(sim.address(), command);
    TRY_COMPARE(client.answers(), expected);
}

void SimTest::lensReports_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Answers>("expected");
    QTest::addColumn<QByteArray>("pingAnswer");

    // The identification, then the lens reports; the AF switch also
    // answers "ping".
    const auto row = [](const char* name, const QStringList& arguments, const char* description, const char* apertures,
                        const char* zoom, const char* focus, int autofocus, int stabiliser, const char* current) {
        const QByteArray af = "AF=" + QByteArray::number(autofocus);
        Answers reports{"ORVO KX-MQTR=1.9.0", "Lens=" + QByteArray(description), "aRange=" + QByteArray(apertures)};
        reports << "zRange=" + QByteArray(zoom) << "fRange=" + QByteArray(focus) << af;
        reports << "IS=" + QByteArray::number(stabiliser) << QByteArray("ISactive=0")
                << "Current=" + QByteArray(current);
        QTest::newRow(name) << arguments << reports << af;
    };
    const char* const zoomIs = "18-55mm f/3.5-5.6 IS";
    const char* const adapted = "35mm adapted lens, no aperture contacts";
    const char* const manualFocus = "70-200mm f/4 IS, AF switch at MF";
    const QStringList from200{"--focus-far", "200"};
    const QStringList descending{"--focus-far", "1350", "--focus-near", "200"};
    row("zoom lens with stabiliser", {"--lens", "zoom-is"}, zoomIs, "3.5,22", "18,55", "0,1150", 1, 1, "18,575,3.5");
    row("prime without stabiliser", {"--lens", "prime"}, "50mm f/1.8", "1.8,22", "50,50", "0,980", 1, 0, "50,490,1.8");
    row("lens reporting no aperture", {"--lens", "no-aperture"}, adapted, "255,255", "35,35", "0,800", 1, 0, "35,400");
    row("AF switch off", {"--lens", "manual-focus"}, manualFocus, "4,32", "70,200", "0,1500", 0, 1, "70,750,4");
    row("focus travel from count 200", from200, zoomIs, "3.5,22", "18,55", "200,1350", 1, 1, "18,775,3.5");
    row("counts falling from far to near", descending, zoomIs, "3.5,22", "18,55", "1350,200", 1, 1, "18,775,3.5");
    const Answers noLens{"ORVO KX-MQTR=1.9.0", "nolensfound"};
    QTest::newRow("no lens") << QStringList{"--lens", "none"} << noLens << QByteArray("AF=0");
}

void SimTest::lensReports()
{
    QFETCH(QStringList, arguments);
    QFETCH(Answers, expected);
    QFETCH(QByteArray, pingAnswer);

    SimProcess sim(arguments + QStringList{"--report-delay", "0"});
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), "ver");
    TRY_COMPARE(client.answers(), expected);

    // Answers leave at a device's pace (--gap, 30 ms by default), never
    // back to back.
    const QList<qint64> times = answerTimes(sim.log());
    QCOMPARE(times.size(), expected.size());
    for (int i = 1; i < times.size(); ++i)
        QVERIFY2(times.at(i) - times.at(i - 1) >= 25, qPrintable(sim.log()));

    client.clear();
    client.send(sim.address(), "ping");
    TRY_COMPARE(client.answers(), Answers{pingAnswer});
}

void SimTest::moves_data()
{
    QTest::addColumn<QString>("lens");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("finalPosition");
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<int>("leastReports");
    QTest::addColumn<bool>("oneWay");
    QTest::addColumn<QByteArray>("summary");

    // The summary's three positions; the power-zoom model unless told not.
    const auto row = [](const char* name, const char* lens, const char* command, const char* finalPosition,
                        const char* ending, int leastReports, bool oneWay, const char* summary, bool powerZoom = true) {
        const QString product = QLatin1String(powerZoom ? "ORVO KX-MQTR" : "ORVO RE-2");
        QTestData& data = QTest::newRow(name);
        data << QString::fromLatin1(lens) << product << QByteArray(command) << QByteArray(finalPosition);
        data << QByteArray(ending) << leastReports << oneWay << "Current=" + QByteArray(summary);
    };
    row("zoom to 40 mm, aperture follows", "zoom-is", "setZoom=40", "Zoom=40", "zoomDone", 10, true, "40,575,4.5");
    row("zoom to 55 mm, f/5.6 at most", "zoom-is", "setZoom=55", "Zoom=55", "zoomDone", 10, true, "55,575,5.6");
    row("focus to 200", "zoom-is", "setFocus=200", "Focus=200", "focusDone", 5, true, "18,200,3.5");
    row("focus recall to 900", "prime", "setFocus2=900", "Focus=900", "focusDone", 5, true, "50,900,1.8");
    row("focus re-init", "zoom-is", "refRange", "Focus=575", "fRange=0,1150", 10, false, "18,575,3.5");
    row("aperture to f/8", "zoom-is", "setAper=8", "Iris=8", "irisDone", 4, true, "18,575,8");
    row("aperture fully open", "prime", "openAper", "Iris=1.8", "irisDone", 1, true, "50,490,1.8");
    row("prime zooms nowhere", "prime", "setZoom=50", "Zoom=50", "zoomDone", 1, true, "50,490,1.8");
    row("limit-search step", "zoom-is", "FocusN=35", "Focus=610", "", 1, true, "18,610,3.5");
    row("limit-search step into the end stop", "zoom-is", "ZoomW=70", "Zoom=18", "", 1, true, "18,575,3.5");
    row("relative aperture move", "zoom-is", "moveAper=-3", "Iris=5", "", 1, true, "18,575,5");
    row("no power zoom: focus still moves", "zoom-is", "FocusF=75", "Focus=500", "", 1, true, "18,500,3.5", false);
}

void SimTest::moves()
{
    QFETCH(QString, lens);
    QFETCH(QString, product);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, finalPosition);
    QFETCH(QByteArray, ending);
    QFETCH(int, leastReports);
    QFETCH(bool, oneWay);
    QFETCH(QByteArray, summary);

    SimProcess sim({"--lens", lens, "--product", product});
    QVERIFY(sim.start());
    SimClient client;
    if (product != QLatin1String("ORVO KX-MQTR"))
        client.send(sim.address(), "moveZoom=-50");
    client.send(sim.address(), command);
    // Every move ends with a summary of all three drives.
    QCOMPARE(client.waitFor("Current=", TestWaits::scaled(10000)), summary);

    const Answers answers = client.answers();
    const QByteArray key = finalPosition.left(finalPosition.indexOf('=') + 1);
    Answers positions;
    for (const QByteArray& answer : answers) {
        if (answer.startsWith(key))
            positions << answer;
    }
    QVERIFY2(positions.size() >= leastReports, answers.join(' ').constData());
    QCOMPARE(positions.last(), finalPosition);
    // The reported positions run one way, towards the target.
    for (int i = 2; oneWay && i < positions.size(); ++i) {
        const double a = positions.at(i - 2).mid(key.size()).toDouble();
        const double b = positions.at(i - 1).mid(key.size()).toDouble();
        const double c = positions.at(i).mid(key.size()).toDouble();
        QVERIFY2((b - a) * (c - b) >= 0, answers.join(' ').constData());
    }
    const int endAt = answers.indexOf(ending);
    if (ending.isEmpty()) {
        for (const char* done : {"zoomDone", "focusDone", "irisDone"})
            QVERIFY(!answers.contains(done));
    } else {
        QVERIFY2(endAt > 0, answers.join(' ').constData());
        QCOMPARE(answers.at(endAt - 1), finalPosition);
        // Focus and iris were held through a zoom move and are confirmed.
        if (command.startsWith("setZoom="))
            QCOMPARE(answers.mid(endAt + 1, 2), (Answers{"focusDone", "irisDone"}));
    }
    if (product != QLatin1String("ORVO KX-MQTR")) {
        for (const QByteArray& answer : answers)
            QVERIFY2(!answer.startsWith("Zoom="), answer.constData());
    }
}

void SimTest::movesWithoutSummary()
{
    SimProcess sim({"--no-move-summary", "--gap", "0"});
    QVERIFY(sim.start());
    SimClient client;
    // The second move takes longer than the tick after which the first one's
    // summary would have come.
    client.send(sim.address(), "setFocus=200");
    QCOMPARE(client.waitFor("focusDone"), QByteArray("focusDone"));
    QVERIFY(!client.answers().contains("Current=18,200,3.5"));
    client.clear();
    client.send(sim.address(), "setFocus=400");
    QCOMPARE(client.waitFor("focusDone"), QByteArray("focusDone"));
    const Answers answers = client.answers();
    QVERIFY2(answers.contains("Focus=400"), answers.join(' ').constData());
    for (const QByteArray& answer : answers)
        QVERIFY2(!answer.startsWith("Current="), answers.join(' ').constData());
}

void SimTest::zoomMoveConfirmation_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<Answers>("afterZoomDone");
    const Answers held{"focusDone", "irisDone", "Current=40,575,4.5"};
    QTest::newRow("held focus and iris confirmed") << QStringList() << held;
    QTest::newRow("zoomDone alone") << QStringList{"--zoom-done-alone"} << Answers{"Current=40,575,4.5"};
}

// Controllers differ in what follows "zoomDone"; the simulator plays both.
void SimTest::zoomMoveConfirmation()
{
    QFETCH(QStringList, options);
    QFETCH(Answers, afterZoomDone);
    SimProcess sim(QStringList{"--lens", "zoom-is", "--product", "ORVO KX-MQTR"} + options);
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), "setZoom=40");
    QCOMPARE(client.waitFor("Current=", TestWaits::scaled(10000)), QByteArray("Current=40,575,4.5"));
    const Answers answers = client.answers();
    const int endAt = answers.indexOf("zoomDone");
    QVERIFY2(endAt > 0, answers.join(' ').constData());
    QCOMPARE(answers.mid(endAt + 1), afterZoomDone);
}

void SimTest::stopConfirmation_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("focusDone after stopFocus") << QStringList() << true;
    QTest::newRow("stopFocus unconfirmed") << QStringList{"--stop-unconfirmed"} << false;
}

// Controllers differ in whether a halted focus move is confirmed; the
// simulator plays both.
void SimTest::stopConfirmation()
{
    QFETCH(QStringList, options);
    QFETCH(bool, confirmed);
    SimProcess sim(options + QStringList{"--gap", "0"});
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), "setFocus=1150");
    QVERIFY(!client.waitFor("Focus=").isEmpty());
    client.send(sim.address(), "stopFocus");
    client.clear();
    const QByteArray summary = client.waitFor("Current=");
    QVERIFY2(summary.startsWith("Current=18,") && summary != "Current=18,1150,3.5", summary.constData());
    // Well past the move's own end: nothing more is owed.
    QTest::qWait(1000);
    const Answers answers = client.answers();
    QCOMPARE(answers.contains("focusDone"), confirmed);
    QVERIFY2(!answers.contains("Focus=1150"), answers.join(' ').constData());
}

void SimTest::descendingFocusCounts_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<QByteArray>("passing");
    // The travel runs from count 1350 (far) down to 200 (near); the lens
    // starts at 775.
    const auto row = [](const char* name, const char* command, const char* ending, const char* passing) {
        QTest::newRow(name) << QByteArray(command) << QByteArray(ending) << QByteArray(passing);
    };
    row("absolute", "setFocus=300", "Current=18,300,3.5", "focusDone");
    row("search towards near lowers the count", "FocusN=35", "Current=18,740,3.5", "Focus=740");
    row("search towards far raises it", "FocusF=35", "Current=18,810,3.5", "Focus=810");
    row("re-initialisation via the far end", "refRange", "fRange=1350,200", "Focus=1350");
    row("below the near end", "setFocus=199", "errorRange", "");
    row("beyond the far end", "setFocus=1351", "errorRange", "");
}

void SimTest::descendingFocusCounts()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, ending);
    QFETCH(QByteArray, passing);
    SimProcess sim({"--focus-far", "1350", "--focus-near", "200", "--gap", "0"});
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), command);
    const QByteArray end = client.waitFor(ending.left(ending.indexOf('=') + 1), TestWaits::scaled(10000));
    QVERIFY2(end.startsWith(ending), client.answers().join(' ').constData());
    if (!passing.isEmpty())
        QVERIFY2(client.answers().contains(passing), client.answers().join(' ').constData());
}

void SimTest::focusMoveConfirmation_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Answers>("ending");
    const auto row = [](const char* name, const QStringList& options, const char* command, const Answers& ending) {
        QTest::newRow(name) << options << QByteArray(command) << ending;
    };
    const QStringList never{"--no-focus-done"};
    row("confirmed", {}, "setFocus=200", {"Focus=200", "focusDone", "Current=18,200,3.5"});
    row("recall confirmed", {}, "setFocus2=300", {"Focus=300", "focusDone", "Current=18,300,3.5"});
    row("never confirmed", never, "setFocus=200", {"Focus=200", "Current=18,200,3.5"});
    row("recall never confirmed", never, "setFocus2=300", {"Focus=300", "Current=18,300,3.5"});
}

// A focus move whose confirmation never comes, for the time limits of the
// programs that wait for it.
void SimTest::focusMoveConfirmation()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, command);
    QFETCH(Answers, ending);
    SimProcess sim(QStringList{"--lens", "zoom-is", "--gap", "0"} + options);
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), command);
    QCOMPARE(client.waitFor("Current=", TestWaits::scaled(10000)), ending.last());
    const Answers answers = client.answers();
    QVERIFY2(answers.size() >= ending.size(), answers.join(' ').constData());
    QCOMPARE(answers.mid(answers.size() - ending.size()), ending);
    // Nothing else follows: the move is over for the controller.
    QCOMPARE(client.collectFor(300), answers);
}

void SimTest::invalidValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answerStart");

    const auto row = [](const char* name, const QStringList& arguments, const char* command, const char* answer) {
        QTest::newRow(name) << arguments << QByteArray(command) << QByteArray(answer);
    };
    row("zoom beyond the lens", {}, "setZoom=400", "errorRange");
    row("zoom of 1e20 mm", {}, "setZoom=100000000000000000000", "errorRange");
    row("zoom on a model without power zoom", {"--product", "ORVO RE-2"}, "setZoom=30", "errorParam");
    row("negative focus", {}, "setFocus=-5", "errorRange");
    row("focus below the far end of a travel from 200", {"--focus-far", "200"}, "setFocus=199", "errorRange");
    row("focus beyond the near end of a travel from 200", {"--focus-far", "200"}, "setFocus=1351", "errorRange");
    row("focus not a number", {}, "setFocus=12x", "errorParam");
    row("focus with the AF switch off", {"--lens", "manual-focus"}, "setFocus=100", "errorFocus");
    row("focus move beyond the time-out", {"--focus-timeout", "200"}, "setFocus=0", "errorFocus");
    row("f-number nan", {}, "setAper=nan", "errorParam");
    row("f-number inf", {}, "setAper=inf", "errorParam");
    row("f-number 0", {}, "setAper=0", "errorRange");
    row("aperture without contacts", {"--lens", "no-aperture"}, "setAper=8", "errorParam");
    row("move step beyond 64 bits", {}, "moveZoom=99999999999999999999", "errorParam");
    row("stabiliser for 61 s", {}, "enableIS=61", "errorRange");
    row("stabiliser on a prime", {"--lens", "prime"}, "enableIS=5", "errorParam");
    row("lens word without a lens", {"--lens", "none"}, "setFocus=5", "nolensfound");
    row("serial beyond 65535", {}, "setSN=70000", "errorRange");
    row("hardware not a number", {}, "setHW=abc", "errorParam");
    row("MAC with five octets", {}, "ChangeMAC=1-2-3-4-5", "errorParam");
    row("address octet 300", {}, "ChangeIP=300.1.1.1", "errorParam");
    row("protocol 7", {}, "setProto=7", "errorRange");
    row("focus time-out 0", {}, "setFocusT=0", "errorRange");
    row("flag not a number", {}, "setFLAG=x", "errorParam");
}

void SimTest::invalidValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answerStart);

    SimProcess sim(arguments);
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), command);
    const QByteArray answer = client.waitFor(answerStart);
    QVERIFY2(!answer.isEmpty(), qPrintable(sim.log()));
    if (answerStart.startsWith("error"))
        QVERIFY2(isKeySafeError(answer), answer.constData());
    // Nothing broke: the controller still identifies itself.
    client.send(sim.address(), "ver");
    QVERIFY(!client.waitFor("ORVO ").isEmpty());
}

void SimTest::stabiliser()
{
    SimProcess sim({});
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), "enableIS=1");
    TRY_COMPARE(client.answers(), (Answers{"ISactive=1", "ISactive=0"}));
    client.clear();
    client.send(sim.address(), "enableIS=60");
    client.send(sim.address(), "enableIS=0");
    TRY_COMPARE(client.answers(), (Answers{"ISactive=1", "ISactive=0"}));
    QCOMPARE(client.collectFor(1300).size(), 2);
}

void SimTest::addressChange()
{
    SimProcess sim({"--restart-time", "300", "--mask", "255.255.255.0"});
    QVERIFY(sim.start());
    const QHostAddress oldAddress = sim.address();
    const QHostAddress newAddress = sim.sibling(77);
    SimClient client;

    client.send(oldAddress, "ChangeIP=" + newAddress.toString().toLatin1());
    client.send(oldAddress, "ChangeMASK=255.255.0.0");
    client.send(oldAddress, "ChangeGW=" + sim.sibling(254).toString().toLatin1());
    client.send(oldAddress, "getIP");
    // Until the restart the old settings hold.
    QCOMPARE(client.waitFor("IP="), "IP=" + oldAddress.toString().toLatin1());
    client.send(oldAddress, "Reboot");
    QVERIFY(sim.waitForLog("address changed to " + QRegularExpression::escape(newAddress.toString())).hasMatch());

    client.clear();
    client.send(oldAddress, "ver");
    QVERIFY2(client.collectFor(800).isEmpty(), "the old address still answers");
    client.send(newAddress, "getIP");
    client.send(newAddress, "getMASK");
    client.send(newAddress, "getGW");
    TRY_COMPARE(client.answers(),
                (Answers{"IP=" + newAddress.toString().toLatin1(), "MASK=255.255.0.0",
                         "GW=" + sim.sibling(254).toString().toLatin1()}));

    // An address the host does not have (a documentation address: only a
    // bind is tried, nothing is sent there) leaves the controller where it was.
    client.clear();
    client.send(newAddress, "ChangeIP=192.0.2.1");
    client.send(newAddress, "Reboot");
    QVERIFY(sim.waitForLog("cannot take the address 192\\.0\\.2\\.1").hasMatch());
    QVERIFY(sim.waitForLog("normal mode on " + QRegularExpression::escape(newAddress.toString())).hasMatch());
    client.send(newAddress, "getIP");
    QCOMPARE(client.waitFor("IP="), "IP=" + newAddress.toString().toLatin1());
}

void SimTest::silenceAndRecovery()
{
    SimProcess sim({"--restart-time", "400", "--report-delay", "0"});
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), "ver");
    QCOMPARE(client.waitFor("Current="), QByteArray("Current=18,575,3.5"));
    client.send(sim.address(), "ping");
    QCOMPARE(client.waitFor("AF="), QByteArray("AF=1"));

    sim.sendSignal(SIGUSR1);
    QVERIFY(sim.waitForLog("falls silent \\(SIGUSR1\\)").hasMatch());
    client.clear();
    client.send(sim.address(), "ping");
    QVERIFY(sim.waitForLog("drop 127\\.0\\.0\\.1:\\d+ \\(silent\\) ping").hasMatch());
    QVERIFY(client.collectFor(500).isEmpty());

    sim.sendSignal(SIGUSR1);
    QVERIFY(sim.waitForLog("speaks again \\(SIGUSR1\\)").hasMatch());
    // Back on the wire it tells the client it identified itself to what its
    // lens is and where it stands, unasked.
    QCOMPARE(client.waitFor("Lens="), QByteArray("Lens=18-55mm f/3.5-5.6 IS"));
    QCOMPARE(client.waitFor("Current="), QByteArray("Current=18,575,3.5"));
    client.send(sim.address(), "ping");
    QCOMPARE(client.waitFor("AF="), QByteArray("AF=1"));

    // A restart is a silence of its own.
    client.send(sim.address(), "Reboot");
    client.send(sim.address(), "ping");
    QVERIFY(sim.waitForLog("drop 127\\.0\\.0\\.1:\\d+ \\(restarting\\) ping").hasMatch());
    QVERIFY(sim.waitForLog("normal mode on").hasMatch());
    client.clear();
    client.send(sim.address(), "ping");
    QCOMPARE(client.waitFor("AF="), QByteArray("AF=1"));

    QCOMPARE(sim.terminate(), 0);
    QVERIFY(sim.log().contains("exit on signal 15"));

    // The same by options: silent from the start for a while.
    SimProcess timed({"--silent-after", "0", "--silent-for", "1500"});
    QVERIFY(timed.start());
    QVERIFY(timed.waitForLog("falls silent \\(--silent-after\\)").hasMatch());
    client.clear();
    client.send(timed.address(), "ping");
    QVERIFY(timed.waitForLog("drop 127\\.0\\.0\\.1:\\d+ \\(silent\\) ping").hasMatch());
    QVERIFY(timed.waitForLog("speaks again \\(--silent-for\\)").hasMatch());
    client.send(timed.address(), "ping");
    QCOMPARE(client.waitFor("AF="), QByteArray("AF=1"));
}

void SimTest::faults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("answersPerPing");
    QTest::addColumn<QString>("logPattern");

    QTest::newRow("commands lost") << QStringList{"--loss-in", "1"} << 0 << "drop \\S+ \\(lost in\\) ping";
    QTest::newRow("answers lost") << QStringList{"--loss-out", "1"} << 0 << "drop \\S+ \\(lost out\\) AF=1";
    QTest::newRow("both directions") << QStringList{"--loss", "1"} << 0 << "drop \\S+ \\(lost in\\) ping";
    QTest::newRow("answers doubled") << QStringList{"--duplicate", "1"} << 2 << "tx \\S+ AF=1\\n.* tx \\S+ AF=1";
    QTest::newRow("answers delayed") << QStringList{"--delay", "400"} << 1 << "tx \\S+ AF=1";
}

void SimTest::faults()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, answersPerPing);
    QFETCH(QString, logPattern);

    SimProcess sim(arguments);
    QVERIFY(sim.start());
    SimClient client;
    client.send(sim.address(), "ping");
    QVERIFY2(sim.waitForLog(logPattern).hasMatch(), qPrintable(sim.log()));
    TRY_COMPARE(client.answers().size(), answersPerPing);
    QCOMPARE(client.collectFor(300).size(), answersPerPing);

    // The delay is a lower bound between request and answer.
    const QRegularExpression times(QStringLiteral("^\\s*(\\d+) rx \\S+ ping\\n\\s*(\\d+) tx "),
                                   QRegularExpression::MultilineOption);
    const QRegularExpressionMatch exchange = times.match(sim.log());
    if (arguments.contains("--delay")) {
        QVERIFY(exchange.hasMatch());
        QVERIFY(exchange.captured(2).toLongLong() - exchange.captured(1).toLongLong() >= 400);
    }
}

void SimTest::faultsFollowTheSeed()
{
    // The same seed and the same traffic lose the same datagrams.
    QList<QList<bool>> runs;
    for (int run = 0; run < 2; ++run) {
        SimProcess sim({"--loss-in", "0.5", "--seed", "4711", "--gap", "0"});
        QVERIFY(sim.start());
        SimClient client;
        for (int i = 0; i < 24; ++i) {
            client.send(sim.address(), "setFocusT=" + QByteArray::number(100 + i));
            client.send(sim.address(), "setFocusT");
            QTest::qWait(15);
        }
        QVERIFY(sim.waitForLog("rx \\S+ setFocusT=123$|lost in\\) setFocusT=123$").hasMatch());
        QList<bool> lost;
        for (int i = 0; i < 24; ++i)
            lost << sim.log().contains(QStringLiteral("(lost in) setFocusT=%1\n").arg(100 + i));
        runs << lost;
    }
    QCOMPARE(runs.at(0), runs.at(1));
    QVERIFY(runs.at(0).contains(true));
    QVERIFY(runs.at(0).contains(false));
}

void SimTest::tftpWrite_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("curlOptions");
    QTest::addColumn<int>("refuse");
    QTest::addColumn<QString>("dropBlocks");

    QTest::newRow("300 KB, curl's own options") << 300007 << QStringList{} << 0 << QString();
    QTest::newRow("whole blocks, no options") << 1536 << QStringList{"--tftp-no-options"} << 0 << QString();
    QTest::newRow("empty image") << 0 << QStringList{"--tftp-no-options"} << 0 << QString();
    QTest::newRow("first two requests refused") << 2053 << QStringList{"--tftp-no-options"} << 2 << QString();
    QTest::newRow("blocks dropped") << 5000 << QStringList{"--tftp-no-options"} << 0 << QString("2,5");
}

void SimTest::tftpWrite()
{
    QFETCH(int, size);
    QFETCH(QStringList, curlOptions);
    QFETCH(int, refuse);
    QFETCH(QString, dropBlocks);

    const QString curl = QStandardPaths::findExecutable("curl");
    QVERIFY2(!curl.isEmpty(), "curl is needed (scripts/test installs it)");

    QStringList arguments{"--tftp-port", "6969", "--restart-time", "200", "--tftp-refuse", QString::number(refuse)};
    if (!dropBlocks.isEmpty())
        arguments << "--tftp-drop" << dropBlocks;
    SimProcess target(arguments << "--image-file"
                                << "{dir}/stored.bin");
    QVERIFY(target.start());

    const QByteArray image = randomBytes(size, quint32(size));
    QFile source(target.workPath("image.orvo"));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(image);
    source.close();

    SimClient client;
    enterUpdateMode(target, client);
    QVERIFY(target.waitForLog("update mode: tftp server on").hasMatch());

    const QString url = QStringLiteral("tftp://%1:6969/bla").arg(target.address().toString());
    for (int attempt = 0; attempt <= refuse; ++attempt) {
        QProcess upload;
        upload.start(curl,
                     QStringList{"-sS", "--max-time", "30"} + curlOptions + QStringList{"-T", source.fileName(), url});
        QVERIFY(upload.waitForFinished(TestWaits::scaled(40000)));
        const bool expectSuccess = attempt == refuse;
        QVERIFY2((upload.exitCode() == 0) == expectSuccess,
                 qPrintable(QString::fromLocal8Bit(upload.readAllStandardError()) + target.log()));
    }

    const QString sha = QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    QVERIFY2(target.waitForLog(QStringLiteral("image received: %1 bytes, sha256 %2").arg(size).arg(sha)).hasMatch(),
             qPrintable(target.log()));
    QVERIFY(target.waitForLog("image stored in ").hasMatch());
    QFile stored(target.workPath("stored.bin"));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), image);

    // After the transfer the controller restarts into normal mode.
    QVERIFY(target.waitForLog("normal mode on").hasMatch());
    client.send(target.address(), "ver");
    QVERIFY(!client.waitFor("ORVO KX-MQTR=").isEmpty());
}

void SimTest::updateModeNeedsHandshake()
{
    SimProcess sim({"--tftp-port", "6969", "--restart-time", "100"});
    QVERIFY(sim.start());
    SimClient client;
    // The flag alone, without "fwNETInit", is no update request.
    client.send(sim.address(), "setFLAG=0");
    client.send(sim.address(), "Restart");
    QVERIFY(sim.waitForLog("normal mode on").hasMatch());
    QVERIFY(!sim.log().contains("update mode"));

    // "setFLAG=99" after "fwNETInit" withdraws it again.
    client.send(sim.address(), "fwNETInit");
    client.send(sim.address(), "setFLAG=99");
    client.send(sim.address(), "Reboot");
    QVERIFY(sim.waitForLog("restart \\(Reboot\\)").hasMatch());
    QVERIFY(sim.waitForLog("normal mode on(.|\\n)*normal mode on").hasMatch());
    QVERIFY(!sim.log().contains("update mode"));
}

void SimTest::waitingForImageAnswersNothing()
{
    const QString curl = QStandardPaths::findExecutable("curl");
    QVERIFY2(!curl.isEmpty(), "curl is needed (scripts/test installs it)");
    SimProcess sim({"--waiting-for-image", "--tftp-port", "6969", "--restart-time", "100"});
    QVERIFY(sim.start());
    QVERIFY(sim.waitForLog("waiting in the boot loader for an image: tftp server on").hasMatch());
    SimClient client;
    client.send(sim.address(), "ver");
    QVERIFY(sim.waitForLog(" drop \\S+ \\(waiting for an image\\) ver$").hasMatch());

    QFile source(sim.workPath("image.orvo"));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write("ORVO :: rescue image");
    source.close();
    QProcess upload;
    upload.start(curl,
                 {"-sS", "--max-time", "30", "--tftp-no-options", "-T", source.fileName(),
                  QStringLiteral("tftp://%1:6969/bla").arg(sim.address().toString())});
    QVERIFY(upload.waitForFinished(TestWaits::scaled(40000)));
    QCOMPARE(upload.exitCode(), 0);
    QVERIFY(sim.waitForLog("image received: 20 bytes").hasMatch());

    // Then it restarts into normal mode and answers again.
    QVERIFY(sim.waitForLog("normal mode on").hasMatch());
    QVERIFY(client.answers().isEmpty());
    client.send(sim.address(), "ver");
    QVERIFY(!client.waitFor("ORVO KX-MQTR=").isEmpty());
}

void SimTest::garbage()
{
    SimProcess sim({"--tftp-port", "6969", "--restart-time", "100", "--report-delay", "0"});
    QVERIFY(sim.start());
    SimClient client;
    const qint64 residentBefore = residentKiB(sim.pid());

    QUdpSocket flood;
    QVERIFY(flood.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QRandomGenerator random(20261209);
    for (int i = 0; i < 400; ++i) {
        flood.writeDatagram(randomBytes(1 + random.bounded(3000), random.generate()), sim.address(), 1339);
        if (i % 50 == 0)
            QTest::qWait(10);
    }
    for (int i = 0; i < 12; ++i) {
        QByteArray big = i % 2 ? randomBytes(65507, quint32(i)) : QByteArray(65507, 'Z');
        if (i % 3 == 0)
            big.replace(0, 7, QByteArray("ver\0ver", 7));
        flood.writeDatagram(big, sim.address(), 1339);
        QTest::qWait(5);
    }
    for (const QByteArray& odd :
         {QByteArray(), QByteArray("\0", 1), QByteArray("="), QByteArray("==="), QByteArray("\xff\xfe\xc3(=\x80"),
          QByteArray("setAper=5.6\0junk", 16), QByteArray("setNAME=\xe9\xff\x01"), QByteArray("ZoomN=-5"),
          QByteArray("moveAper=abc"), QByteArray(" ver"), QByteArray("ver\r\n")})
        flood.writeDatagram(odd, sim.address(), 1339);

    QVERIFY2(sim.waitForLog("\\.\\.\\.\\(65507 bytes\\)").hasMatch(), "no full-size datagram reached the log");
    client.send(sim.address(), QByteArray("ver\0\xff\xfe", 6));
    QCOMPARE(client.waitFor("ORVO"), QByteArray("ORVO KX-MQTR=1.9.0"));
    QVERIFY(sim.isRunning());
    const qint64 residentAfter = residentKiB(sim.pid());
    QVERIFY2(residentAfter - residentBefore < 64 * 1024,
             qPrintable(QStringLiteral("%1 kB -> %2 kB").arg(residentBefore).arg(residentAfter)));

    // Every error the flood provoked is one the panel cannot mistake.
    const QRegularExpression txError(QStringLiteral("^\\s*\\d+ tx \\S+ (error.*)$"),
                                     QRegularExpression::MultilineOption);
    int errors = 0;
    for (auto it = txError.globalMatch(sim.log()); it.hasNext(); ++errors) {
        const QByteArray text = it.next().captured(1).toLatin1();
        QVERIFY2(isKeySafeError(text), text.constData());
    }
    QVERIFY(errors > 0);

    // The TFTP side answers rubbish with error packets.
    enterUpdateMode(sim, client);
    QVERIFY(sim.waitForLog("update mode: tftp server on").hasMatch());
    QUdpSocket tftp;
    QVERIFY(tftp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QList<QByteArray> rubbish{QByteArray("\0", 1),
                                    QByteArray("\0\x09junk", 6),
                                    QByteArray("\0\x01"
                                               "bla\0octet\0",
                                               12),
                                    QByteArray("\0\x02"
                                               "other\0octet\0",
                                               14),
                                    QByteArray("\0\x02"
                                               "bla\0netascii\0",
                                               15),
                                    QByteArray("\0\x02"
                                               "bla\0octet",
                                               11),
                                    QByteArray("\0\x03\0\x01"
                                               "data",
                                               8),
                                    randomBytes(600, 7)};
    for (const QByteArray& packet : rubbish)
        tftp.writeDatagram(packet, sim.address(), 6969);
    int errorPackets = 0;
    QElapsedTimer clock;
    clock.start();
    while (errorPackets < rubbish.size() && clock.elapsed() < TestWaits::reply()) {
        tftp.waitForReadyRead(50);
        while (tftp.hasPendingDatagrams()) {
            QByteArray packet(int(tftp.pendingDatagramSize()), '\0');
            tftp.readDatagram(packet.data(), packet.size());
            QVERIFY(packet.startsWith(QByteArray("\0\x05", 2)));
            ++errorPackets;
        }
    }
    QCOMPARE(errorPackets, rubbish.size());
    QVERIFY(sim.isRunning());
    QCOMPARE(sim.terminate(), 0);
}

LENSDESK_TEST_MAIN(SimTest)
#include "tst_sim.moc"
