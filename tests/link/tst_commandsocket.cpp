#include "LensDeskTestAccess.h"
#include "LoopbackAddress.h"
#include "ReceiveDatagram.h"
#include "TestMain.h"

#include "app/LensDesk.h"

#include <QUdpSocket>
#include <QtTest>

// The main window's command socket seen from the wire: the exact bytes of a
// command and the way back for the controller's answers.
class CommandSocketTest : public QObject
{
    Q_OBJECT

private slots:
    void commandLeavesAsExactBytes();
    void repliesReachTheCommandSocket();

private:
    // Binds `peer` where a controller listens, on an address of its own, and
    // aims the window at it.
    bool aimAtPeer(QUdpSocket& peer)
    {
        const QHostAddress controller = LoopbackAddress::next();
        LensDeskTestAccess::aimAt(m_window, controller.toString());
        return peer.bind(controller, 1339);
    }

    LensDesk m_window;
};

void CommandSocketTest::commandLeavesAsExactBytes()
{
    QUdpSocket peer;
    QVERIFY(aimAtPeer(peer));
    m_window.sendToController(QStringLiteral("setAper=5.6"));

    QHostAddress from;
    quint16 port = 0;
    const QByteArray datagram = receiveDatagram(peer, &from, &port);
    QCOMPARE(datagram, QByteArray("setAper=5.6"));
    QCOMPARE(datagram.size(), 11);
    QVERIFY2(port >= 60000 && port <= 65000, qPrintable(QString::number(port)));
    QCOMPARE(port, LensDeskTestAccess::commandSocket(m_window)->localPort());
    QVERIFY(from.isEqual(QHostAddress(QStringLiteral("127.0.0.1")), QHostAddress::ConvertV4MappedToIPv4));

    // Latin-1, not UTF-8: one byte per character.
    m_window.sendToController(QStringLiteral("setNAME=caf\u00e9"));
    QCOMPARE(receiveDatagram(peer), QByteArray("setNAME=caf\xe9"));
}

void CommandSocketTest::repliesReachTheCommandSocket()
{
    QUdpSocket peer;
    QVERIFY(aimAtPeer(peer));
    m_window.sendToController(QStringLiteral("getSN"));
    QHostAddress from;
    quint16 port = 0;
    QCOMPARE(receiveDatagram(peer, &from, &port), QByteArray("getSN"));
    // Answered where the command came from, the reply reaches the window's
    // reply handling.
    peer.writeDatagram("SN=15001", from, port);
    TRY_COMPARE(LensDeskTestAccess::serialNumber(m_window), QStringLiteral("15001"));
}

LENSDESK_TEST_MAIN(CommandSocketTest)
#include "tst_commandsocket.moc"
