#include "TestMain.h"

#include "link/VersionRules.h"

#include <QtTest>

class VersionRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void versionParts_data();
    void versionParts();
    void refusesOldFirmware_data();
    void refusesOldFirmware();
    void stabiliserSwitch_data();
    void stabiliserSwitch();
    void bootLoaderInsertion_data();
    void bootLoaderInsertion();
    void firmwareNumber_data();
    void firmwareNumber();
    void protocolChoice_data();
    void protocolChoice();
    void recentFirmware_data();
    void recentFirmware();
};

void VersionRulesTest::versionParts_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("patch");
    QTest::newRow("plain") << "1.8.3" << true << 1 << 8 << 3;
    QTest::newRow("long patch, trailing text") << "1.8.12 beta" << true << 1 << 8 << 12;
    QTest::newRow("any separator") << "2x1y07" << true << 2 << 1 << 7;
    QTest::newRow("two-digit major is read from its last digit") << "10.2.3" << true << 0 << 2 << 3;
    QTest::newRow("no digits") << "beta" << false << 0 << 0 << 0;
    QTest::newRow("two parts only") << "1.8" << false << 0 << 0 << 0;
    QTest::newRow("empty") << "" << false << 0 << 0 << 0;
}

void VersionRulesTest::versionParts()
{
    QFETCH(QString, version);
    const VersionRules::VersionParts parts = VersionRules::parts(version);
    QTEST(parts.found, "found");
    QTEST(parts.major, "major");
    QTEST(parts.minor, "minor");
    QTEST(parts.patch, "patch");
}

void VersionRulesTest::refusesOldFirmware_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("tooOld");
    QTest::newRow("1.3.9") << "1.3.9" << true;
    QTest::newRow("1.0.0") << "1.0.0" << true;
    QTest::newRow("0.4.9") << "0.4.9" << true;
    QTest::newRow("0.5.0") << "0.5.0" << false;
    QTest::newRow("1.4.0") << "1.4.0" << false;
    QTest::newRow("1.7.4") << "1.7.4" << false;
    QTest::newRow("2.1.0") << "2.1.0" << false;
    QTest::newRow("no parts, no judgement") << "beta" << false;
}

void VersionRulesTest::refusesOldFirmware()
{
    QFETCH(QString, version);
    QTEST(VersionRules::isTooOld(VersionRules::parts(version)), "tooOld");
}

void VersionRulesTest::stabiliserSwitch_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("lacks");
    QTest::newRow("1.7.4") << "1.7.4" << true;
    QTest::newRow("1.7.4 with boot loader") << "1.7.4 (BL1) " << true;
    QTest::newRow("1.7.3") << "1.7.3" << false;
    QTest::newRow("1.8.4") << "1.8.4" << false;
}

void VersionRulesTest::stabiliserSwitch()
{
    QFETCH(QString, version);
    QTEST(VersionRules::lacksStabiliserSwitch(version), "lacks");
}

void VersionRulesTest::bootLoaderInsertion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("bootLoader");
    QTest::addColumn<QString>("expected");
    dataRow("blank after the patch", "1.8.12 ", "1", "1.8.12 (BL1) ");
    dataRow("text after the blank", "1.8.12 beta", "2", "1.8.12 (BL2) beta");
    dataRow("no blank, unchanged", "1.8.12", "1", "1.8.12");
    dataRow("every match gets the first digits", "1.9.0 x 2.0.7 y", "1", "1.9.0 (BL1) x 2.0.0 (BL1) y");
    dataRow("boot-loader text is not a pattern", "1.8.3 ", "\\1$0%1", "1.8.3 (BL\\1$0%1) ");
}

void VersionRulesTest::bootLoaderInsertion()
{
    QFETCH(QString, version);
    QFETCH(QString, bootLoader);
    QTEST(VersionRules::withBootLoader(version, bootLoader), "expected");
}

void VersionRulesTest::firmwareNumber_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("expected");
    dataRow("with boot loader", "1.8.12 (BL1) ", "1.8.12");
    dataRow("embedded", "v10.20.30x", "10.20.30");
    dataRow("none: the whole text", "beta 7", "beta 7");
}

void VersionRulesTest::firmwareNumber()
{
    QFETCH(QString, version);
    QTEST(VersionRules::firmwareNumber(version), "expected");
}

void VersionRulesTest::protocolChoice_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("1.8.3") << "1.8.3" << true;
    QTest::newRow("1.9.0 (BL1.2)") << "1.9.0 (BL1.2)" << true;
    QTest::newRow("1.10.1") << "1.10.1" << true;
    QTest::newRow("1.7.4") << "1.7.4" << false;
    QTest::newRow("1 alone") << "1" << false;
    QTest::newRow("2.1.0") << "2.1.0" << true;
    QTest::newRow("0.5") << "0.5" << true;
    QTest::newRow("empty: major 0") << "" << true;
}

void VersionRulesTest::protocolChoice()
{
    QFETCH(QString, version);
    QTEST(VersionRules::allowsProtocolChoice(version), "allowed");
}

void VersionRulesTest::recentFirmware_data()
{
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("recent");
    QTest::newRow("1.9.0 with boot loader") << "1.9.0 (BL1.2)" << true;
    QTest::newRow("1.8.3") << "1.8.3" << false;
    QTest::newRow("1.7.4") << "1.7.4" << false;
    QTest::newRow("2.0") << "2.0" << true;
    QTest::newRow("1.10.2, minor compared as a number") << "1.10.2" << true;
    QTest::newRow("1.9 without patch") << "1.9" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("no dot") << "19" << false;
    QTest::newRow("not reported") << "n/a" << false;
    QTest::newRow("unreadable major") << "x.9.0" << false;
    QTest::newRow("blank before the number") << " 1.9.0" << false;
}

void VersionRulesTest::recentFirmware()
{
    QFETCH(QString, firmware);
    QTEST(VersionRules::isRecentFirmware(firmware), "recent");
}

LENSDESK_TEST_MAIN(VersionRulesTest)

#include "tst_versionrules.moc"
