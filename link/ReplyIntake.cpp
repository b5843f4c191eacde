#include "link/ReplyIntake.h"

#include "link/DottedQuad.h"
#include "link/ReplyText.h"

#include <QHostAddress>
#include <QScopedValueRollback>
#include <QUdpSocket>

namespace {
// Room for any UDP datagram.
constexpr int LargestDatagram = 65536;
} // namespace

ReplyIntake::ReplyIntake(QUdpSocket* socket, ControllerAddress controllerAddress, Handler handler, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_controllerAddress(std::move(controllerAddress))
    , m_handler(std::move(handler))
{ }

ReplyIntake::ReplyIntake(QUdpSocket* socket, Handler handler, QObject* parent)
    : ReplyIntake(socket, ControllerAddress(), std::move(handler), parent)
{ }

bool ReplyIntake::readPass()
{
    if (m_reading)
        return m_socket->hasPendingDatagrams();
    return runPass(false);
}

void ReplyIntake::readAvailable()
{
    if (m_reading) {
        m_notifiedWhileReading = true;
        return;
    }
    m_passScheduled = false;
    m_notifiedWhileReading = false;
    if (runPass(true) || m_notifiedWhileReading)
        scheduleNextPass();
}

bool ReplyIntake::runPass(bool readEvenIfEmpty)
{
    const QScopedValueRollback<bool> reading(m_reading, true);
    for (int read = 0; read < DatagramsPerPass; ++read) {
        // A notification may come for a socket that a pass emptied in the
        // meantime; the toolkit then waits for a read before it notifies
        // again. So a notified pass always reads: a datagram that has just
        // arrived, or none (the socket reports "no datagram available").
        const bool pending = m_socket->hasPendingDatagrams();
        if (!pending && !(readEvenIfEmpty && read == 0))
            break;
        const qint64 size = pending ? m_socket->pendingDatagramSize() : LargestDatagram;
        QByteArray datagram(int(qBound(qint64(0), size, qint64(LargestDatagram))), Qt::Uninitialized);
        QHostAddress sender;
        const qint64 length = m_socket->readDatagram(datagram.data(), datagram.size(), &sender);
        if (length < 0)
            break;
        datagram.truncate(int(length));
        if (m_controllerAddress && !isFromController(sender))
            continue;
        m_handler(ReplyText::decode(datagram), sender);
    }
    return m_socket->hasPendingDatagrams();
}

bool ReplyIntake::isFromController(const QHostAddress& sender) const
{
    bool senderIsIpv4 = false;
    const quint32 senderIpv4 = sender.toIPv4Address(&senderIsIpv4);
    bool controllerIsValid = false;
    const quint32 controllerIpv4 = DottedQuad::parse(m_controllerAddress(), &controllerIsValid);
    return senderIsIpv4 && controllerIsValid && senderIpv4 == controllerIpv4;
}

void ReplyIntake::scheduleNextPass()
{
    if (m_passScheduled)
        return;
    m_passScheduled = true;
    QMetaObject::invokeMethod(this, &ReplyIntake::readAvailable, Qt::QueuedConnection);
}
