#include "TestMain.h"

#include "link/DottedQuad.h"

#include <QtTest>

// Dotted-quad addresses as the operator types them: which texts are
// addresses, the address they stand for, and their one written form.
class DottedQuadTest : public QObject
{
    Q_OBJECT

private slots:
    void dottedQuad_data();
    void dottedQuad();
};

void DottedQuadTest::dottedQuad_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("canonical");
    QTest::newRow("plain") << "192.168.1.100" << true << quint32(0xC0A80164) << "192.168.1.100";
    QTest::newRow("leading zeros are decimal") << "010.001.000.099" << true << quint32(0x0A010063) << "10.1.0.99";
    QTest::newRow("zero octet written 000") << "127.000.000.001" << true << quint32(0x7F000001) << "127.0.0.1";
    QTest::newRow("010 is ten, not eight") << "127.0.0.010" << true << quint32(0x7F00000A) << "127.0.0.10";
    QTest::newRow("all zeros") << "0.0.0.0" << true << quint32(0) << "0.0.0.0";
    QTest::newRow("highest") << "255.255.255.255" << true << quint32(0xFFFFFFFF) << "255.255.255.255";
    // Texts that are no address come back as they are.
    QTest::newRow("octet above 255") << "192.168.1.256" << false << quint32(0) << "192.168.1.256";
    QTest::newRow("three octets") << "192.168.1." << false << quint32(0) << "192.168.1.";
    QTest::newRow("five octets") << "192.168.1.1.1" << false << quint32(0) << "192.168.1.1.1";
    QTest::newRow("initial text") << "192.168." << false << quint32(0) << "192.168.";
    QTest::newRow("trailing line feed") << "10.0.0.1\n" << false << quint32(0) << "10.0.0.1\n";
    QTest::newRow("four digits") << "1000.0.0.1" << false << quint32(0) << "1000.0.0.1";
    QTest::newRow("four-digit last octet") << "192.168.1.1000" << false << quint32(0) << "192.168.1.1000";
    QTest::newRow("other separator") << "192x168.1.1" << false << quint32(0) << "192x168.1.1";
    QTest::newRow("trailing blank") << "192.168.1.1 " << false << quint32(0) << "192.168.1.1 ";
    QTest::newRow("host name") << "controller.local" << false << quint32(0) << "controller.local";
    QTest::newRow("empty") << "" << false << quint32(0) << "";
}

void DottedQuadTest::dottedQuad()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(quint32, value);
    QFETCH(QString, canonical);
    bool ok = !valid;
    QCOMPARE(DottedQuad::parse(text, &ok), value);
    QCOMPARE(ok, valid);
    QCOMPARE(DottedQuad::isValid(text), valid);
    QCOMPARE(DottedQuad::canonical(text), canonical);
    // The canonical form is valid and reads as the same address.
    if (valid)
        QCOMPARE(DottedQuad::parse(canonical), value);
}

LENSDESK_TEST_MAIN(DottedQuadTest)
#include "tst_dottedquad.moc"
