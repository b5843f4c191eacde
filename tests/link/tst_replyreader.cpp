#include "TestMain.h"

#include "link/ReplyReader.h"

#include <QtTest>

// The reading of the controller's answers, one table row per case: the text
// of one datagram and the facts it yields, in order, as ReplyFact::describe()
// writes them. No window is involved.
class ReplyReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void identification_data();
    void identification();
};

void ReplyReaderTest::read_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("facts");
    const QString summary = QStringLiteral("lensSummary");
    auto row = [](const char* name, const QByteArray& reply, const QStringList& facts) {
        QTest::newRow(name) << reply << facts;
    };

    const QString identifiedZoom = QStringLiteral("identification ORVO KX-MQTR 1.9.0 Zoom");
    const QString focusError = QStringLiteral("controllerError errorFocus: focus time-out");
    row("identification", "ORVO RE-2=1.8.3", {"identification ORVO RE-2 1.8.3", summary});
    row("identification, then the other tests", "ORVO KX-MQTR=1.9.0 Zoom", {identifiedZoom, summary, "zoom 0"});
    row("no lens ends the reading", "nolensfound AF=1", {"noLens"});
    row("positions", "Current=1200,850,5.6", {"positions 1200 850 5.6", summary});
    row("positions: missing ones are left out", "Current=35", {"positions 35", summary});
    row("positions: unreadable ones read 0", "Current=x,y,z", {"positions 0 0 0", summary});
    row("lens description", "Lens=EF 50mm f/1.8 II", {"lensDescription EF 50mm f/1.8 II", summary});
    row("protocol", "Proto=2", {"protocol 2", summary});
    row("protocol out of range reads 0", "Proto=7", {"protocol 0", summary});
    row("protocol only at the start", "xProto=2", {summary});
    row("aperture range", "aRange=3.5,22", {"apertureRange 3.5 22 on", summary});
    row("no aperture", "aRange=255,255", {"apertureRange 255 255 off", summary});
    row("zoom range", "zRange=18,55", {"zoomRange 18 55", summary});
    row("focus range ends the reading", "AF=1 fRange=0,1023", {"focusRange 0 1023"});
    row("autofocus on", "AF=1", {summary, "autoFocus on"});
    row("autofocus: on only at the start", "xAF=1", {summary, "autoFocus off"});
    row("stabiliser present", "IS=1", {summary, "stabiliser on"});
    row("stabiliser active is not stabiliser present", "ISactive=1", {summary, "stabiliserActive on"});
    row("name without its padding", QByteArray("NAME=cam1\0\0\0", 12), {summary, "name cam1"});
    row("blank name", "NAME=       ", {summary, "name        "});
    row("a removed key shows the text after it", "NAME=T=5", {summary, "name T=5", "focusTimeout 5"});
    row("focus time-out", "T=2000", {summary, "focusTimeout 2000"});
    row("zoom done", "zoomDone", {summary, "zoomDone"});
    row("controller error is no focus position", "errorFocus: focus time-out", {summary, focusError});
    row("parameter error", "errorParam: setAper", {summary, "controllerError errorParam: setAper"});
    row("focus done", "focusDone", {summary, "focusDone"});
    row("iris done", "irisDone", {summary, "irisDone"});
    row("zoom position", "Zoom=35", {summary, "zoom 35"});
    row("focus position", "Focus=812", {summary, "focus 812"});
    row("iris position", "Iris=5.6", {summary, "iris 5.6"});
    row("a name holding a key is a position too", "NAME=Zoomy", {summary, "name Zoomy", "zoom 0"});
    row("vendor", "VENDOR=ORVO", {summary, "vendor on ORVO"});
    row("blank vendor keeps the known one", "VENDOR=   ", {summary, "vendor off    "});
    row("hardware", "HW=3", {summary, "hardware 3"});
    row("first boot loaders report 255", "BL=255", {summary, "bootLoader 1"});
    row("serial number", "SN=15001", {summary, "serial 15001"});
    row("MAC address", "MAC=2-0-0-17-34-51", {summary, "mac 2-0-0-17-34-51"});
    row("address", "IP=10.231.0.2", {summary, "address 10.231.0.2"});
    row("mask", "MASK=255.255.255.0", {summary, "mask 255.255.255.0"});
    row("gateway", "GW=10.231.0.1", {summary, "gateway 10.231.0.1"});
    row("unknown text", "hello", {summary});
}

void ReplyReaderTest::read()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, facts);
    QStringList described;
    for (const ReplyFact& fact : ReplyReader::read(QString::fromUtf8(reply)))
        described << fact.describe();
    QCOMPARE(described, facts);
}

void ReplyReaderTest::identification_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("identifies");
    QTest::newRow("each model") << "ORVO DuvudER=1.9.0" << true;
    QTest::newRow("power zoom") << "ORVO KX-MQTR=2.1.0" << true;
    QTest::newRow("empty version") << "ORVO RE-2=" << true;
    QTest::newRow("any blank character") << "ORVO\tRE-2=1.8.3" << true;
    QTest::newRow("vendor text") << "VENDOR=ORVO RE-2" << false;
    QTest::newRow("model without =") << "ORVO RE-2" << false;
    QTest::newRow("model after a blank") << " ORVO RE-2=1.8.3" << false;
    QTest::newRow("longer model name") << "ORVO RE-2X=1.8.3" << false;
    QTest::newRow("case matters") << "orvo re-2=1.8.3" << false;
}

void ReplyReaderTest::identification()
{
    QFETCH(QString, text);
    QFETCH(bool, identifies);
    QCOMPARE(ReplyReader::isIdentification(text), identifies);
    const QVector<ReplyFact> facts = ReplyReader::read(text);
    QCOMPARE(!facts.isEmpty() && facts.first().kind == ReplyFact::Kind::Identification, identifies);
}

LENSDESK_TEST_MAIN(ReplyReaderTest)
#include "tst_replyreader.moc"
