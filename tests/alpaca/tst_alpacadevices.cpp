#include "ScriptedFocuser.h"
#include "TestMain.h"

#include "alpaca/DeviceNumbers.h"
#include "alpaca/FocuserDevice.h"
#include "alpaca/FocuserDevices.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Which device number each controller gets and keeps: the UniqueID from the
// MAC or serial number, the state file across restarts and address
// changes, controllers that do not answer at start-up, and the same
// controller reached twice. Controllers are set up by the test.
class AlpacaDevicesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void uniqueId_data();
    void uniqueId();
    void defaultPath_data();
    void defaultPath();
    void numbersKeptAcrossRestarts();
    void numberFollowsAnAddressChange();
    void silentControllerKeepsItsNumber();
    void anotherControllerAtAKnownAddress();
    void sameControllerTwice();
    void lowestFreeNumber();
    void serialWhenNoMac();
    void damagedStateFile();
    void unwritableStateFolder();
    void linkChangesAreTold();

private:
    // One run of the server: the numbers read from the state file and the
    // controllers served, in the order given.
    struct Run
    {
        std::unique_ptr<DeviceNumbers> numbers;
        std::unique_ptr<FocuserDevices> devices;
        QHash<QString, ScriptedFocuser*> focusers;
    };
    std::unique_ptr<Run> start(const QStringList& addresses, const QString& path = QString());
    static void identify(ScriptedFocuser* focuser, const QString& mac, const QString& serial = QStringLiteral("1"));
    // Device number per address (-1: not listed).
    static QHash<QString, int> numbersOf(const Run& run);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void AlpacaDevicesTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_path = m_dir->filePath(QStringLiteral("state/lensdesk/alpaca-devices.json"));
}

std::unique_ptr<AlpacaDevicesTest::Run> AlpacaDevicesTest::start(const QStringList& addresses, const QString& path)
{
    auto run = std::make_unique<Run>();
    run->numbers = std::make_unique<DeviceNumbers>(path.isEmpty() ? m_path : path);
    QString warning;
    run->numbers->load(&warning);
    Run* raw = run.get();
    run->devices = std::make_unique<FocuserDevices>(*run->numbers, [raw](const QString& address) {
        auto focuser = std::make_unique<ScriptedFocuser>(address);
        focuser->linkState = AlpacaFocuser::Link::Identifying;
        raw->focusers.insert(address, focuser.get());
        return focuser;
    });
    for (const QString& address : addresses)
        run->devices->addController(address);
    return run;
}

void AlpacaDevicesTest::identify(ScriptedFocuser* focuser, const QString& mac, const QString& serial)
{
    focuser->linkState = AlpacaFocuser::Link::Connected;
    focuser->facts.product = QStringLiteral("ORVO KX-MQTR");
    focuser->facts.mac = mac;
    focuser->facts.serial = serial;
}

QHash<QString, int> AlpacaDevicesTest::numbersOf(const Run& run)
{
    QHash<QString, int> numbers;
    for (const FocuserDevices::Entry& entry : run.devices->entries())
        numbers.insert(entry.device->focuser().address(), entry.number);
    return numbers;
}

void AlpacaDevicesTest::uniqueId_data()
{
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("uniqueId");

    auto row = [](const char* name, const char* mac, const char* serial, const char* uniqueId) {
        QTest::newRow(name) << QString::fromLatin1(mac) << QString::fromLatin1(serial) << QString::fromLatin1(uniqueId);
    };
    row("MAC", "2-0-0-17-34-51", "15001", "lensdesk-mac-2-0-0-17-34-51");
    row("MAC with blanks", " 2-0-0-17-34-51 ", "15001", "lensdesk-mac-2-0-0-17-34-51");
    row("no MAC", "", "15001", "lensdesk-sn-15001");
    row("MAC of zeros", "0-0-0-0-0-0", "15001", "lensdesk-sn-15001");
    row("neither", "", " ", "");
}

void AlpacaDevicesTest::uniqueId()
{
    QFETCH(QString, mac);
    QFETCH(QString, serial);
    QFETCH(QString, uniqueId);
    QCOMPARE(DeviceNumbers::uniqueIdOf(mac, serial), uniqueId);
}

void AlpacaDevicesTest::defaultPath_data()
{
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("path");

    QTest::newRow("XDG_STATE_HOME") << QByteArray("/srv/state") << "/srv/state/lensdesk/alpaca-devices.json";
    QTest::newRow("not set") << QByteArray() << QDir::homePath() + "/.local/state/lensdesk/alpaca-devices.json";
    QTest::newRow("relative") << QByteArray("state") << QDir::homePath() + "/.local/state/lensdesk/alpaca-devices.json";
}

void AlpacaDevicesTest::defaultPath()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, path);
    const QByteArray before = qgetenv("XDG_STATE_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_STATE_HOME", before); });
    qputenv("XDG_STATE_HOME", stateHome);
    QCOMPARE(DeviceNumbers::defaultPath(), path);
}

void AlpacaDevicesTest::numbersKeptAcrossRestarts()
{
    const QStringList addresses{QStringLiteral("10.231.5.1"), QStringLiteral("10.231.5.2"),
                                QStringLiteral("10.231.5.3")};
    {
        auto run = start(addresses);
        // Numbers follow the order in which controllers identify themselves.
        identify(run->focusers.value(addresses[2]), QStringLiteral("2-0-0-0-0-3"));
        run->devices->review();
        identify(run->focusers.value(addresses[0]), QStringLiteral("2-0-0-0-0-1"));
        identify(run->focusers.value(addresses[1]), QStringLiteral("2-0-0-0-0-2"));
        run->devices->review();
        const QHash<QString, int> numbers = numbersOf(*run);
        QCOMPARE(numbers.value(addresses[2]), 0);
        QCOMPARE(numbers.value(addresses[0]), 1);
        QCOMPARE(numbers.value(addresses[1]), 2);
    }
    // Started again with the controllers in another order: listed at once
    // under their numbers, and kept once they identify themselves.
    auto run = start({addresses[1], addresses[0], addresses[2]});
    QHash<QString, int> numbers = numbersOf(*run);
    QCOMPARE(numbers.value(addresses[0]), 1);
    QCOMPARE(numbers.value(addresses[1]), 2);
    QCOMPARE(numbers.value(addresses[2]), 0);
    identify(run->focusers.value(addresses[0]), QStringLiteral("2-0-0-0-0-1"));
    identify(run->focusers.value(addresses[1]), QStringLiteral("2-0-0-0-0-2"));
    identify(run->focusers.value(addresses[2]), QStringLiteral("2-0-0-0-0-3"));
    run->devices->review();
    QCOMPARE(numbersOf(*run), numbers);
    QCOMPARE(run->devices->device(1), run->devices->entries()[1].device);
}

void AlpacaDevicesTest::numberFollowsAnAddressChange()
{
    {
        auto run = start({QStringLiteral("10.231.5.1"), QStringLiteral("10.231.5.2")});
        identify(run->focusers.value(QStringLiteral("10.231.5.1")), QStringLiteral("2-0-0-0-0-1"));
        identify(run->focusers.value(QStringLiteral("10.231.5.2")), QStringLiteral("2-0-0-0-0-2"));
        run->devices->review();
    }
    // The second controller now answers at another address.
    auto run = start({QStringLiteral("10.231.5.1"), QStringLiteral("10.231.5.9")});
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.9")), -1);
    identify(run->focusers.value(QStringLiteral("10.231.5.9")), QStringLiteral("2-0-0-0-0-2"));
    run->devices->review();
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.9")), 1);
    // ... and keeps its number there on the next start, before it answers.
    run.reset();
    run = start({QStringLiteral("10.231.5.9")});
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.9")), 1);
}

void AlpacaDevicesTest::silentControllerKeepsItsNumber()
{
    {
        auto run = start({QStringLiteral("10.231.5.1"), QStringLiteral("10.231.5.2")});
        identify(run->focusers.value(QStringLiteral("10.231.5.1")), QStringLiteral("2-0-0-0-0-1"));
        identify(run->focusers.value(QStringLiteral("10.231.5.2")), QStringLiteral("2-0-0-0-0-2"));
        run->devices->review();
    }
    auto run = start({QStringLiteral("10.231.5.2")});
    run->focusers.value(QStringLiteral("10.231.5.2"))->linkState = AlpacaFocuser::Link::Lost;
    run->devices->review();
    QVERIFY(run->devices->device(1));
    QVERIFY(!run->devices->device(0));
    QCOMPARE(run->devices->entries()[0].uniqueId, QStringLiteral("lensdesk-mac-2-0-0-0-0-2"));
}

void AlpacaDevicesTest::anotherControllerAtAKnownAddress()
{
    {
        auto run = start({QStringLiteral("10.231.5.1")});
        identify(run->focusers.value(QStringLiteral("10.231.5.1")), QStringLiteral("2-0-0-0-0-1"));
        run->devices->review();
    }
    // Another controller took the address: it gets a number of its own, and
    // the first one's number stays free for it.
    auto run = start({QStringLiteral("10.231.5.1")});
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.1")), 0);
    identify(run->focusers.value(QStringLiteral("10.231.5.1")), QStringLiteral("2-0-0-0-0-7"));
    run->devices->review();
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.1")), 1);
    QVERIFY(!run->devices->device(0));
    QCOMPARE(run->devices->entries()[0].uniqueId, QStringLiteral("lensdesk-mac-2-0-0-0-0-7"));
}

void AlpacaDevicesTest::sameControllerTwice()
{
    auto run = start({QStringLiteral("10.231.5.1"), QStringLiteral("10.231.6.1")});
    identify(run->focusers.value(QStringLiteral("10.231.5.1")), QStringLiteral("2-0-0-0-0-1"));
    identify(run->focusers.value(QStringLiteral("10.231.6.1")), QStringLiteral("2-0-0-0-0-1"));
    run->devices->review();
    const std::vector<FocuserDevices::Entry> entries = run->devices->entries();
    QCOMPARE(entries[0].number, 0);
    QCOMPARE(entries[1].number, -1);
    QCOMPARE(entries[1].duplicateOf, 0);
    // An address served already is not served twice.
    run->devices->addController(QStringLiteral("10.231.5.1"));
    QCOMPARE(run->devices->entries().size(), size_t(2));
}

void AlpacaDevicesTest::lowestFreeNumber()
{
    QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"devices":[{"UniqueID":"lensdesk-mac-a","DeviceNumber":0,"Address":"10.231.7.1"},
                              {"UniqueID":"lensdesk-mac-c","DeviceNumber":2,"Address":"10.231.7.3"},
                              {"UniqueID":"lensdesk-mac-d","DeviceNumber":2,"Address":"10.231.7.4"},
                              {"UniqueID":"","DeviceNumber":1,"Address":"10.231.7.5"},
                              {"UniqueID":"lensdesk-mac-e","DeviceNumber":-3,"Address":"10.231.7.6"}]})");
    file.close();
    auto run = start({QStringLiteral("10.231.7.2")});
    identify(run->focusers.value(QStringLiteral("10.231.7.2")), QStringLiteral("b"));
    run->devices->review();
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.7.2")), 1);
    // The file lists every controller it knows, the new one too.
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonArray devices =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("devices")).toArray();
    QCOMPARE(devices.size(), 3);
}

void AlpacaDevicesTest::serialWhenNoMac()
{
    auto run = start({QStringLiteral("10.231.5.1")});
    identify(run->focusers.value(QStringLiteral("10.231.5.1")), QString(), QStringLiteral("15001"));
    QElapsedTimer waited;
    waited.start();
    run->devices->review();
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.1")), -1);
    // The review timer lists it once the MAC address has not come in time.
    QTRY_COMPARE_WITH_TIMEOUT(numbersOf(*run).value(QStringLiteral("10.231.5.1")), 0, 4 * FocuserDevices::MacWaitMs);
    QVERIFY(waited.elapsed() >= FocuserDevices::MacWaitMs);
    QCOMPARE(run->devices->entries()[0].uniqueId, QStringLiteral("lensdesk-sn-15001"));
}

void AlpacaDevicesTest::damagedStateFile()
{
    QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"devices\":[{\"UniqueID\":");
    file.close();
    DeviceNumbers numbers(m_path);
    QString warning;
    QVERIFY(!numbers.load(&warning));
    QVERIFY(warning.contains(m_path));
    QCOMPARE(numbers.numberOf(QStringLiteral("lensdesk-mac-x"), QStringLiteral("10.231.5.1")), 0);
    DeviceNumbers again(m_path);
    QVERIFY(again.load(&warning));
    QCOMPARE(again.knownNumber(QStringLiteral("lensdesk-mac-x")), std::optional<int>(0));
}

void AlpacaDevicesTest::unwritableStateFolder()
{
    // A state "folder" that is a file cannot hold the state file.
    QFile blocker(m_dir->filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto run = start({QStringLiteral("10.231.5.1"), QStringLiteral("10.231.5.2")},
                     m_dir->filePath(QStringLiteral("blocked/alpaca-devices.json")));
    QSignalSpy warnings(run->devices.get(), &FocuserDevices::warning);
    identify(run->focusers.value(QStringLiteral("10.231.5.1")), QStringLiteral("2-0-0-0-0-1"));
    identify(run->focusers.value(QStringLiteral("10.231.5.2")), QStringLiteral("2-0-0-0-0-2"));
    run->devices->review();
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.1")), 0);
    QCOMPARE(numbersOf(*run).value(QStringLiteral("10.231.5.2")), 1);
    // Said once, not for every controller.
    QCOMPARE(warnings.count(), 1);
    QVERIFY(warnings.first().first().toString().contains(QStringLiteral("blocked")));
}

// The server's log (standard error, the service's journal) hears when a
// controller's link comes up, goes silent or fails, once per change.
void AlpacaDevicesTest::linkChangesAreTold()
{
    const QString address = QStringLiteral("10.231.0.5");
    std::unique_ptr<Run> run = start({address});
    ScriptedFocuser* focuser = run->focusers.value(address);
    focuser->facts.product = QStringLiteral("ORVO KX-MQTR");
    focuser->facts.firmware = QStringLiteral("1.9.0 ");
    QSignalSpy notices(run->devices.get(), &FocuserDevices::notice);
    const auto after = [&](AlpacaFocuser::Link link, const QString& problem = QString()) {
        focuser->linkState = link;
        focuser->problem = problem;
        run->devices->review();
        QStringList told;
        for (const QList<QVariant>& notice : notices)
            told << notice.value(0).toString();
        notices.clear();
        return told;
    };
    using Link = AlpacaFocuser::Link;
    const QStringList none;
    QCOMPARE(after(Link::Identifying), none);
    const QStringList connected{QStringLiteral("10.231.0.5: connected, ORVO KX-MQTR firmware 1.9.0.")};
    QCOMPARE(after(Link::Connected), connected);
    QCOMPARE(after(Link::Connected), none);
    QCOMPARE(after(Link::Lost), QStringList{QStringLiteral("10.231.0.5: does not answer any more.")});
    QCOMPARE(after(Link::Identifying), none);
    QCOMPARE(after(Link::Connected), connected);
    const QString problem = QStringLiteral("No controller answered at 10.231.0.5.");
    QCOMPARE(after(Link::Disconnected, problem), QStringList{QStringLiteral("10.231.0.5: ") + problem});
    QCOMPARE(after(Link::Disconnected, problem), none);
    QCOMPARE(after(Link::Refused), QStringList{QStringLiteral("10.231.0.5: not connected.")});
}

LENSDESK_TEST_MAIN(AlpacaDevicesTest)
#include "tst_alpacadevices.moc"
