#include "app/LensDesk.h"
#include "link/CommandChannel.h"
#include "link/DottedQuad.h"
#include "link/ReplyText.h"

#include <QtTest>
#include <QThread>
#include <QUdpSocket>

// The command channel seen from the wire, and the text rules of the answers.
class ChannelTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLeavesAsExactBytes();
    void repliesReachTheCommandSocket();
    void concurrentSendersLeaveWholeDatagrams();
    void decode_data();
    void decode();
    void valueOfKey_data();
    void valueOfKey();
    void numbers_data();
    void numbers();
    void dottedQuad_data();
    void dottedQuad();

private:
    LensDesk m_window;
};

namespace {

QByteArray receiveOne(QUdpSocket& socket, QHostAddress* from = nullptr, quint16* port = nullptr)
{
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(5000))
        return {};
    QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
    socket.readDatagram(datagram.data(), datagram.size(), from, port);
    return datagram;
}

} // namespace

void ChannelTest::commandLeavesAsExactBytes()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.21")), 1339));
    m_window.controllerAddress = QStringLiteral("127.0.0.21");
    m_window.sendToController(QStringLiteral("setAper=5.6"));

    QHostAddress from;
    quint16 port = 0;
    const QByteArray datagram = receiveOne(peer, &from, &port);
    QCOMPARE(datagram, QByteArray("setAper=5.6"));
    QCOMPARE(datagram.size(), 11);
    QVERIFY2(port >= 60000 && port <= 65000, qPrintable(QString::number(port)));
    QCOMPARE(port, m_window.commandSocket->localPort());
    QVERIFY(from.isEqual(QHostAddress(QStringLiteral("127.0.0.1")), QHostAddress::ConvertV4MappedToIPv4));

    // Latin-1, not UTF-8: one byte per character.
    m_window.sendToController(QStringLiteral("setNAME=caf\u00e9"));
    QCOMPARE(receiveOne(peer), QByteArray("setNAME=caf\xe9"));
}

void ChannelTest::repliesReachTheCommandSocket()
{
    // Read the socket here, away from the window's own reader.
    QUdpSocket* socket = m_window.commandSocket;
    socket->blockSignals(true);
    auto restore = qScopeGuard([socket] { socket->blockSignals(false); });

    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.22")), 1339));
    m_window.controllerAddress = QStringLiteral("127.0.0.22");
    m_window.sendToController(QStringLiteral("ver"));
    QHostAddress from;
    quint16 port = 0;
    QCOMPARE(receiveOne(peer, &from, &port), QByteArray("ver"));
    peer.writeDatagram("ORVO RE-2=1.8.3", from, port);
    QTRY_VERIFY(socket->hasPendingDatagrams());
    QByteArray reply(int(socket->pendingDatagramSize()), '\0');
    socket->readDatagram(reply.data(), reply.size());
    QCOMPARE(reply, QByteArray("ORVO RE-2=1.8.3"));
}

void ChannelTest::concurrentSendersLeaveWholeDatagrams()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(QStringLiteral("127.0.0.23")), 1339));
    peer.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    const CommandChannel channel(m_window.commandSocket);
    const QHostAddress to(QStringLiteral("127.0.0.23"));
    constexpr int PerSender = 300;

    auto sender = [&channel, &to](char tag) {
        return QThread::create([&channel, &to, tag] {
            for (int i = 0; i < PerSender; ++i)
                channel.send(to, QStringLiteral("move%1=%2").arg(QLatin1Char(tag)).arg(i, 6, 10, QLatin1Char('0')));
        });
    };
    std::unique_ptr<QThread> a(sender('A')), b(sender('B'));
    a->start();
    b->start();
    for (int i = 0; i < PerSender; ++i)
        channel.send(to, QStringLiteral("moveG=%1").arg(i, 6, 10, QLatin1Char('0')));
    QVERIFY(a->wait(10000));
    QVERIFY(b->wait(10000));

    QHash<char, int> next;
    int received = 0;
    while (received < 3 * PerSender) {
        const QByteArray datagram = receiveOne(peer);
        if (datagram.isEmpty())
            break;
        ++received;
        // Whole, unmixed, and in each sender's own order.
        QCOMPARE(datagram.size(), 12);
        QVERIFY(datagram.startsWith("move") && datagram.at(5) == '=');
        const char tag = datagram.at(4);
        QCOMPARE(datagram.mid(6).toInt(), next[tag]++);
    }
    QCOMPARE(received, 3 * PerSender);
}

void ChannelTest::decode_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << QByteArray("Zoom=55") << QStringLiteral("Zoom=55");
    QTest::newRow("cut at the first NUL") << QByteArray("NAME=cam\0\0\0", 11) << QStringLiteral("NAME=cam");
    QTest::newRow("UTF-8") << QByteArray("VENDOR=\xc3\xa9") << QStringLiteral("VENDOR=\u00e9");
    QTest::newRow("invalid UTF-8 does not throw") << QByteArray("Lens=\xff\xfe") << QStringLiteral("Lens=\ufffd\ufffd");
    QTest::newRow("empty") << QByteArray() << QString();
}

void ChannelTest::decode()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, text);
    QCOMPARE(ReplyText::decode(datagram), text);
}

void ChannelTest::valueOfKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::newRow("one value") << "HW=3" << "3";
    QTest::newRow("up to the second =") << "SN=15001=extra" << "15001";
    QTest::newRow("no =") << "zoomDone" << "";
    QTest::newRow("empty value") << "IP=" << "";
    QTest::newRow("list") << "zRange=18,55" << "18,55";
}

void ChannelTest::valueOfKey()
{
    QFETCH(QString, text);
    QFETCH(QString, value);
    QCOMPARE(ReplyText::valueOfKey(text), value);
}

void ChannelTest::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<float>("real");
    QTest::newRow("integer") << "1200" << 1200 << 1200.0f;
    QTest::newRow("negative") << "-14" << -14 << -14.0f;
    QTest::newRow("decimal") << "5.6" << 0 << 5.6f;
    QTest::newRow("not a number") << "abc" << 0 << 0.0f;
    QTest::newRow("empty") << "" << 0 << 0.0f;
    QTest::newRow("beyond 32 bits") << "99999999999" << 0 << 99999999999.0f;
    QTest::newRow("beyond float") << "1e99" << 0 << 0.0f;
    QTest::newRow("nan") << "nan" << 0 << 0.0f;
}

void ChannelTest::numbers()
{
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(float, real);
    QCOMPARE(ReplyText::toInt(text), integer);
    QCOMPARE(ReplyText::toFloat(text), real);
}

void ChannelTest::dottedQuad_data()
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
    QTest::newRow("host name") << "controller.local" << false << quint32(0) << "controller.local";
}

void ChannelTest::dottedQuad()
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

QTEST_MAIN(ChannelTest)
#include "test_channel.moc"
