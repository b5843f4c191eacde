#include "LoopbackAddress.h"
#include "ReceiveDatagram.h"
#include "Skip.h"
#include "TestMain.h"

#include "link/CommandChannel.h"
#include "link/CommandPort.h"
#include "link/RawSocket.h"

#include <QFile>
#include <QThread>
#include <QUdpSocket>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

// The command channel on the wire: whole datagrams from several threads,
// every kind of socket the panel may hold, failed sends reported once, and
// the receive buffer the system grants the command socket.
class CommandChannelTest : public QObject
{
    Q_OBJECT

private slots:
    void concurrentSendersLeaveWholeDatagrams();
    void addressFamilyOfTheDescriptor_data();
    void addressFamilyOfTheDescriptor();
    void commandsLeaveFromEverySocketKind_data();
    void commandsLeaveFromEverySocketKind();
    void destinationIsWrittenInTheSocketsFamily_data();
    void destinationIsWrittenInTheSocketsFamily();
    void failedSendIsReportedOnce();
    void receiveBufferGrantIsChecked_data();
    void receiveBufferGrantIsChecked();
};

namespace {

// A controller's address of this test process alone.
const QString OwnPeerAddress = LoopbackAddress::next().toString();

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

// Why IPv6 sockets cannot be tried here, or empty.
QString ipv6UnavailableReason()
{
    return QFile::exists(QStringLiteral("/proc/net/if_inet6")) ? QString() : QStringLiteral("this host has no IPv6");
}

// The largest receive buffer a socket may ask for, net.core.rmem_max.
int receiveBufferCap()
{
    QFile cap(QStringLiteral("/proc/sys/net/core/rmem_max"));
    return cap.open(QIODevice::ReadOnly) ? cap.readAll().trimmed().toInt() : 0;
}

// A socket like the panel's command socket: every address, any port.
std::unique_ptr<QUdpSocket> commandSocket()
{
    auto socket = std::make_unique<QUdpSocket>();
    socket->bind(QHostAddress(QHostAddress::Any), 0);
    return socket;
}

} // namespace

void CommandChannelTest::concurrentSendersLeaveWholeDatagrams()
{
    const QHostAddress to(OwnPeerAddress);
    QUdpSocket peer;
    QVERIFY(peer.bind(to, 1339));
    peer.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
    const auto socket = commandSocket();
    const CommandChannel channel(socket.get());
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
    QVERIFY(a->wait(TestWaits::reply()));
    QVERIFY(b->wait(TestWaits::reply()));

    QHash<char, int> next;
    int received = 0;
    while (received < 3 * PerSender) {
        const QByteArray datagram = receiveDatagram(peer);
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

void CommandChannelTest::addressFamilyOfTheDescriptor_data()
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

void CommandChannelTest::addressFamilyOfTheDescriptor()
{
    QFETCH(int, bound);
    QFETCH(int, family);
    if (family == AF_INET6)
        SKIP_IF_UNAVAILABLE(ipv6UnavailableReason());
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::SpecialAddress(bound)), 0));
    QCOMPARE(RawSocket::addressFamily(socket.socketDescriptor()), family);
    // The channel addresses its datagrams in the descriptor's family.
    QCOMPARE(CommandChannel(&socket).addressFamily(), family);
    QCOMPARE(RawSocket::addressFamily(-1), 0);
}

void CommandChannelTest::commandsLeaveFromEverySocketKind_data()
{
    QTest::addColumn<int>("bound");
    QTest::newRow("IPv4 only") << int(QHostAddress::AnyIPv4);
    QTest::newRow("IPv4 loopback") << int(QHostAddress::LocalHost);
    QTest::newRow("dual stack") << int(QHostAddress::Any);
}

// What this shows on Linux: a command leaves from every kind of socket and
// arrives, and the controller sees the socket's own port (where answers go).
// What it cannot show: Linux takes a plain IPv4 destination on a dual-stack
// socket as well as the IPv4-mapped one Winsock needs, so a wrong form would
// arrive here too. The form is checked below and by the Windows check.
void CommandChannelTest::commandsLeaveFromEverySocketKind()
{
    QFETCH(int, bound);
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(OwnPeerAddress), 1339));
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::SpecialAddress(bound)), 0));
    const CommandChannel channel(&socket);

    channel.send(OwnPeerAddress, QStringLiteral("getNAME"));
    quint16 port = 0;
    QCOMPARE(receiveDatagram(peer, nullptr, &port), QByteArray("getNAME"));
    QCOMPARE(port, socket.localPort());
}

void CommandChannelTest::destinationIsWrittenInTheSocketsFamily_data()
{
    QTest::addColumn<int>("family");
    QTest::newRow("IPv4 socket") << int(AF_INET);
    QTest::newRow("dual-stack socket: the IPv4-mapped address") << int(AF_INET6);
}

// The destination as the system gets it, in the socket's family: the one
// form Winsock takes, whatever Linux would also take.
void CommandChannelTest::destinationIsWrittenInTheSocketsFamily()
{
    QFETCH(int, family);
    const QHostAddress controller(OwnPeerAddress);
    const RawSocket::SocketAddress to = RawSocket::destination(family, controller.toIPv4Address(), 1339);
    const auto* written = reinterpret_cast<const sockaddr*>(to.bytes);
    QCOMPARE(int(written->sa_family), family);
    if (family == AF_INET6) {
        QCOMPARE(to.length, int(sizeof(sockaddr_in6)));
        const auto* to6 = reinterpret_cast<const sockaddr_in6*>(to.bytes);
        QCOMPARE(ntohs(to6->sin6_port), quint16(1339));
        QCOMPARE(QHostAddress(to6->sin6_addr.s6_addr), QHostAddress(QStringLiteral("::ffff:") + OwnPeerAddress));
    } else {
        QCOMPARE(to.length, int(sizeof(sockaddr_in)));
        const auto* to4 = reinterpret_cast<const sockaddr_in*>(to.bytes);
        QCOMPARE(ntohs(to4->sin_port), quint16(1339));
        QCOMPARE(QHostAddress(ntohl(to4->sin_addr.s_addr)), controller);
    }
}

// An IPv6-only socket cannot reach an IPv4 controller: every send fails.
// The first failure of a kind is reported, its repeats are not, and once a
// command has left again a new failure is reported anew.
void CommandChannelTest::failedSendIsReportedOnce()
{
    SKIP_IF_UNAVAILABLE(ipv6UnavailableReason());
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress(OwnPeerAddress), 1339));
    QUdpSocket ipv6Only;
    QVERIFY(ipv6Only.bind(QHostAddress(QHostAddress::AnyIPv6), 0));
    const CommandChannel failing(&ipv6Only);
    const auto socket = commandSocket();
    const CommandChannel working(socket.get());

    // Whatever failed before in this process is over once a command leaves.
    working.send(OwnPeerAddress, QStringLiteral("blver"));
    QCOMPARE(receiveDatagram(peer), QByteArray("blver"));

    WarningCounter counter;
    WarningCounter::warnings.clear();
    for (int i = 0; i < 3; ++i)
        failing.send(OwnPeerAddress, QStringLiteral("ping"));
    QCOMPARE(WarningCounter::warnings.size(), 1);
    QVERIFY2(WarningCounter::warnings.first().contains(QLatin1String("ping"))
                 && WarningCounter::warnings.first().contains(OwnPeerAddress),
             qPrintable(WarningCounter::warnings.first()));

    working.send(OwnPeerAddress, QStringLiteral("getNAME"));
    QCOMPARE(receiveDatagram(peer), QByteArray("getNAME"));
    QCOMPARE(WarningCounter::warnings.size(), 1);

    failing.send(OwnPeerAddress, QStringLiteral("ver"));
    QCOMPARE(WarningCounter::warnings.size(), 2);
    QVERIFY(!peer.hasPendingDatagrams());
}

void CommandChannelTest::receiveBufferGrantIsChecked_data()
{
    QTest::addColumn<int>("beyondCap");
    QTest::newRow("within the system's cap") << 0;
    // The system grants its cap and says nothing: the panel says so.
    QTest::newRow("beyond the system's cap") << 64 * 1024;
}

void CommandChannelTest::receiveBufferGrantIsChecked()
{
    QFETCH(int, beyondCap);
    const int cap = receiveBufferCap();
    QVERIFY(cap > 0);
    const int asked = (beyondCap == 0 ? qMin(cap, 256 * 1024) : cap + beyondCap);
    const auto socket = commandSocket();

    WarningCounter counter;
    WarningCounter::warnings.clear();
    const int granted = CommandPort::requestReceiveBuffer(*socket, asked);
    QCOMPARE(granted, qMin(asked, cap));
    QCOMPARE(RawSocket::receiveBufferBytes(socket->socketDescriptor()), granted);
    if (beyondCap == 0) {
        QCOMPARE(WarningCounter::warnings, QStringList());
    } else {
        QCOMPARE(WarningCounter::warnings.size(), 1);
        const QString warning = WarningCounter::warnings.first();
        QVERIFY2(warning.contains(QString::number(granted)) && warning.contains(QString::number(asked))
                     && warning.contains(QLatin1String("net.core.rmem_max")),
                 qPrintable(warning));
    }
}

LENSDESK_TEST_MAIN(CommandChannelTest)
#include "tst_commandchannel.moc"
