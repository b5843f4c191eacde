#include "TestMain.h"

#include "admin/GatewayGuess.h"
#include "admin/IdentityChecks.h"
#include "admin/ProtocolTexts.h"
#include "admin/ServiceKeys.h"

#include <QtTest>

// The widget-free rules of device administration.
class AdminRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void gatewayGuess_data();
    void gatewayGuess();
    void protocolTexts_data();
    void protocolTexts();
    void decimalMac_data();
    void decimalMac();
    void identityNumbers_data();
    void identityNumbers();
    void serviceKeys_data();
    void serviceKeys();
};

using Desktop = ServiceKeys::Desktop;
Q_DECLARE_METATYPE(Desktop)

void AdminRulesTest::gatewayGuess_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("gateway");

    dataRow("24-bit mask", "192.168.1.77", "255.255.255.0", "192.168.1.1");
    dataRow("16-bit mask", "192.168.1.77", "255.255.0.0", "192.168.0.1");
    dataRow("8-bit mask", "10.20.30.40", "255.0.0.0", "10.0.0.1");
    dataRow("uneven mask", "172.16.45.200", "255.255.240.128", "172.16.32.129");
    dataRow("leading zeros are decimal", "010.001.002.077", "255.255.255.000", "10.1.2.1");
    dataRow("unfinished address", "192.168.1.", "255.255.255.0", "");
    dataRow("octet above 255 in mask", "192.168.1.77", "255.255.256.0", "");
    dataRow("empty mask", "192.168.1.77", "", "");
}

void AdminRulesTest::gatewayGuess()
{
    QFETCH(QString, address);
    QFETCH(QString, mask);
    QFETCH(QString, gateway);
    QCOMPARE(GatewayGuess::guess(address, mask), gateway);
}

void AdminRulesTest::protocolTexts_data()
{
    QTest::addColumn<bool>("recent");

    QTest::newRow("firmware 1.9 or later") << true;
    QTest::newRow("older firmware") << false;
}

void AdminRulesTest::protocolTexts()
{
    QFETCH(bool, recent);

    QCOMPARE(ProtocolTexts::entryText(0, recent),
             recent ? QStringLiteral("Universal (default)") : QStringLiteral("Standard (default)"));
    QCOMPARE(ProtocolTexts::entryText(1, recent), QStringLiteral("Tail framing (Sigma / 18-135 workaround)"));
    QCOMPARE(ProtocolTexts::entryText(2, recent), QStringLiteral("Legacy standard (FW 1.8.x timing)"));
}

void AdminRulesTest::decimalMac_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("decimal octets") << "0-17-34-51-68-85" << true;
    QTest::newRow("largest octets") << "255-255-255-255-255-255" << true;
    QTest::newRow("blanks ignored") << " 0 - 17-34-51-68-85 " << true;
    QTest::newRow("colons") << "00:11:22:33:44:55" << false;
    QTest::newRow("hexadecimal digits") << "0-1a-2b-3c-4d-5e" << false;
    QTest::newRow("octet above 255") << "0-17-34-51-68-256" << false;
    QTest::newRow("five octets") << "0-17-34-51-68" << false;
    QTest::newRow("seven octets") << "0-17-34-51-68-85-1" << false;
    QTest::newRow("trailing dash") << "0-17-34-51-68-85-" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("not reported") << "n/a" << false;
}

void AdminRulesTest::decimalMac()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IdentityChecks::isDecimalMac(text), valid);
}

void AdminRulesTest::identityNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hardwareAccepted");
    QTest::addColumn<bool>("serialAccepted");

    QTest::newRow("255") << "255" << true << false;
    QTest::newRow("256") << "256" << false << false;
    QTest::newRow("14999") << "14999" << false << false;
    QTest::newRow("15000") << "15000" << false << true;
    QTest::newRow("65535") << "65535" << false << true;
    QTest::newRow("65536") << "65536" << false << false;
    // A text that is no number reads as 0.
    QTest::newRow("n/a") << "n/a" << true << false;
    QTest::newRow("empty") << "" << true << false;
}

void AdminRulesTest::identityNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, hardwareAccepted);
    QFETCH(bool, serialAccepted);
    QCOMPARE(IdentityChecks::isHardwareVersionAccepted(text), hardwareAccepted);
    QCOMPARE(IdentityChecks::isSerialNumberAccepted(text), serialAccepted);
}

void AdminRulesTest::serviceKeys_data()
{
    QTest::addColumn<Desktop>("desktop");
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("Windows") << Desktop::Windows << QStringList{"Ctrl+Alt+F10"};
    // Ctrl+Alt+F10 switches to a text console there.
    QTest::newRow("Linux") << Desktop::Linux << QStringList{"Ctrl+Alt+F10", "Ctrl+Shift+F10"};
}

void AdminRulesTest::serviceKeys()
{
    QFETCH(Desktop, desktop);
    QFETCH(QStringList, keys);
    QStringList sequences;
    for (const std::string& sequence : ServiceKeys::sequences(desktop))
        sequences << QString::fromStdString(sequence);
    QCOMPARE(sequences, keys);
}

LENSDESK_TEST_MAIN(AdminRulesTest)

#include "tst_adminrules.moc"
