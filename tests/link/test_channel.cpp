#include "app/LensDesk.h"
#include "link/CommandChannel.h"
#include "link/DottedQuad.h"
#include "link/RawSocket.h"
#include "link/ReplyText.h"

#include <QtTest>
#include <QThread>
#include <QUdpSocket>

#include <sys/socket.h>

// The command channel seen from the wire, and the text rules of the answers.
class ChannelTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLeavesAsExactBytes();
    void repliesReachTheCommandSocket();
    void concurrentSendersLeaveWholeDatagrams();
    void addressFamilyOfTheDescriptor_data();
    void addressFamilyOfTheDescriptor();
    void commandsLeaveFromEverySocketKind_data();
    void commandsLeaveFromEverySocketKind();
    void failedSendIsReportedOnce();
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

// A controller's address of this test process alone.
const QString OwnPeerAddress = QStringLiteral("127.63.%1.%2")
                                   .arg((QCoreApplication::applicationPid() >> 8) % 250 + 1)
                                   .arg(QCoreApplication::applicationPid() % 250 + 1);

// Counts the warnings on the toolkit's message log while it exists.
class WarningCounter
{
public:
    WarningCounter() { s_previous = qInstallMessageHandler(&WarningCounter::handle); }
    ~WarningCounter() { qInstallMessageHandler(s_previous); }
    static QStringList warnings;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type == QtWarningMsg)
            warnings << text;
        s_previous(type, context, text);
    }
    static QtMessageHandler s_previous;
};
QStringList WarningCounter::warnings;
QtMessageHandler WarningCounter::s_previous = nullptr;

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

void ChannelTest::addressFamilyOfTheDescriptor_data()
{
    QTest::addColumn<int>("bound");
    QTest::addColumn<int>("family");
    QTest::newRow("IPv4 only") << int(QHostAddress::AnyIPv4) << int(AF_INET);
    QTest::newRow("IPv4 loopback") << int(QHostAddress::LocalHost) << int(AF_INET);
    // What the panel's own command socket is: bound to "any address", which
    // the toolkit reports as AnyIPProtocol, on an AF_INET6 descriptor.
    QTest::newRow("dual stack") << int(QHostAddress::Any) << int(AF_INET6);
    QTest::newRow("IPv6 only") << int(QHostAddress::AnyIPv6) << int(AF_INET6);
}

void ChannelTest::addressFamilyOfTheDescriptor()
{
    QFETCH(int, bound);
    QFETCH(int, family);
    if (family == AF_INET6 && !QFile::exists(QStringLiteral("/proc/net/if_inet6")))
        QSKIP("this host has no IPv6");
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::SpecialAddress(bound)), 0));
    QCOMPARE(RawSocket::addressFamily(socket.socketDescriptor()), family);
    // The channel addresses its datagrams in the descriptor's family.
    QCOMPARE(CommandChannel(&socket).addressFamily(), family);
    QCOMPARE(RawSocket::addressFamily(-1), 0);
}

void ChannelTest::commandsLeaveFromEverySocketKind_data()
{
    QTest::addColumn<int>("bound");
    QTest::newRow("IPv4 only") << int(QHostAddress::AnyIPv4);
    QTest::newRow("IPv4 loopback") << int(QHostAddress::LocalHost);
    QTest::newRow("dual stack") << int(QHostAddress::Any);
}

void ChannelTest::commandsLeaveFromEverySocketKind()
{
    QFETCH(int, bound);
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(OwnPeerAddress), 1339));
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::SpecialAddress(bound)), 0));
    const CommandChannel channel(&socket);

    channel.send(OwnPeerAddress, QStringLiteral("getNAME"));
    quint16 port = 0;
    QCOMPARE(receiveOne(peer, nullptr, &port), QByteArray("getNAME"));
    QCOMPARE(port, socket.localPort());
}

// An IPv6-only socket cannot reach an IPv4 controller: every send fails.
// The first failure of a kind is reported, its repeats are not, and once a
// command has left again a new failure is reported anew.
void ChannelTest::failedSendIsReportedOnce()
{
    if (!QFile::exists(QStringLiteral("/proc/net/if_inet6")))
        QSKIP("this host has no IPv6");
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(OwnPeerAddress), 1339));
    QUdpSocket ipv6Only;
    QVERIFY(ipv6Only.bind(QHostAddress(QHostAddress::AnyIPv6), 0));
    const CommandChannel failing(&ipv6Only);
    const CommandChannel working(m_window.commandSocket);

    // Whatever failed before in this process is over once a command leaves.
    working.send(OwnPeerAddress, QStringLiteral("blver"));
    QCOMPARE(receiveOne(peer), QByteArray("blver"));

    WarningCounter counter;
    WarningCounter::warnings.clear();
    for (int i = 0; i < 3; ++i)
        failing.send(OwnPeerAddress, QStringLiteral("ping"));
    QCOMPARE(WarningCounter::warnings.size(), 1);
    QVERIFY2(WarningCounter::warnings.first().contains(QLatin1String("ping"))
                 && WarningCounter::warnings.first().contains(OwnPeerAddress),
             qPrintable(WarningCounter::warnings.first()));

    working.send(OwnPeerAddress, QStringLiteral("getNAME"));
    QCOMPARE(receiveOne(peer), QByteArray("getNAME"));
    QCOMPARE(WarningCounter::warnings.size(), 1);

    failing.send(OwnPeerAddress, QStringLiteral("ver"));
    QCOMPARE(WarningCounter::warnings.size(), 2);
    QVERIFY(!peer.hasPendingDatagrams());
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
