#include "TestMain.h"

#include "admin/AddressChange.h"
#include "link/DeviceRecord.h"
#include "link/ReplyReader.h"

#include <QtTest>

// The address change of the panel and lensdesk-cli: its steps and pacing,
// and how the controller found at the new address is told from another
// device.
class AddressChangeTest : public QObject
{
    Q_OBJECT

private slots:
    void steps();
    void sameController_data();
    void sameController();
};

void AddressChangeTest::steps()
{
    QStringList log;
    AddressChange::Means means;
    means.send = [&log](const QString& command) { log << command; };
    means.wait = [&log](int milliseconds) { log << QStringLiteral("wait %1").arg(milliseconds); };
    means.commandsSent = [&log] { log << QStringLiteral("commands sent"); };
    means.flushAddressCache = [&log] { log << QStringLiteral("flush"); };
    AddressChange(QStringLiteral("10.231.4.20"), QStringLiteral("255.255.255.0"), QStringLiteral("10.231.4.1"))
        .run(means);
    QCOMPARE(
        log,
        (QStringList{"ChangeIP=10.231.4.20", "wait 100", "ChangeMASK=255.255.255.0", "wait 100", "ChangeGW=10.231.4.1",
                     "wait 100", "Reboot", "wait 100", "commands sent", "flush", "wait 3000"}));
}

void AddressChangeTest::sameController_data()
{
    // The answers to "getSN" and "getMAC" before and after the change; an
    // empty text is an answer that never came.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("same");
    const QStringList controller{"SN=15001", "MAC=2-0-0-17-34-51"};
    QTest::newRow("the same controller") << controller << controller << true;
    QTest::newRow("another serial number") << controller << QStringList{"SN=99999", "MAC=2-0-0-17-34-51"} << false;
    QTest::newRow("another MAC address") << controller << QStringList{"SN=15001", "MAC=2-0-0-9-9-9"} << false;
    QTest::newRow("no answers after") << controller << QStringList{"", ""} << false;
    QTest::newRow("no serial number before") << QStringList{"", "MAC=2-0-0-17-34-51"} << controller << false;
    // Nothing known before: nothing to compare, so no proof either.
    QTest::newRow("nothing known at all") << QStringList{"", ""} << QStringList{"", ""} << false;
}

void AddressChangeTest::sameController()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    const auto recordOf = [](const QStringList& answers) {
        DeviceRecord record;
        for (const QString& answer : answers)
            for (const ReplyFact& fact : ReplyReader::read(answer))
                record.apply(fact);
        return record;
    };
    QTEST(AddressChange::isSameController(recordOf(before), recordOf(after)), "same");
}

LENSDESK_TEST_MAIN(AddressChangeTest)
#include "tst_addresschange.moc"
