#include "sim/TftpServer.h"

#include "sim/SimLog.h"

#include <QNetworkDatagram>
#include <QtEndian>

namespace {

quint16 word16(const QByteArray& packet, int at)
{
    return qFromBigEndian<quint16>(reinterpret_cast<const uchar*>(packet.constData()) + at);
}

QByteArray packet16(quint16 opcode, quint16 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(opcode, reinterpret_cast<uchar*>(bytes.data()));
    qToBigEndian(value, reinterpret_cast<uchar*>(bytes.data()) + 2);
    return bytes;
}

const char* const ImageName = "bla";

} // namespace

TftpServer::TftpServer(SimLog& log, const Settings& settings, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_settings(settings)
{
    connect(&m_requests, &QUdpSocket::readyRead, this, &TftpServer::readRequests);
    m_retransmitTimer.setInterval(RetransmitMs);
    connect(&m_retransmitTimer, &QTimer::timeout, this, &TftpServer::retransmit);
}

bool TftpServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    close();
    if (m_requests.bind(address, port))
        return true;
    *error = m_requests.errorString();
    return false;
}

void TftpServer::close()
{
    m_retransmitTimer.stop();
    if (m_transfer) {
        m_transfer->deleteLater();
        m_transfer = nullptr;
    }
    m_requests.close();
}

void TftpServer::readRequests()
{
    while (m_requests.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_requests.receiveDatagram();
        const Peer from{datagram.senderAddress(), quint16(datagram.senderPort())};
        const QByteArray packet = datagram.data();
        if (!from.isValid())
            continue;
        m_log.traffic("tftp-rx", from.toString(), packet.left(64));
        const quint16 opcode = packet.size() >= 2 ? word16(packet, 0) : 0;
        if (opcode == ReadRequest) {
            sendError(m_requests, from, AccessViolation, QStringLiteral("the image cannot be read back"));
            continue;
        }
        if (opcode != WriteRequest) {
            sendError(m_requests, from, IllegalOperation, QStringLiteral("expected a write request"));
            continue;
        }
        // Write request: file name NUL mode NUL, then options we ignore.
        const QList<QByteArray> fields = packet.mid(2).split('\0');
        if (!packet.endsWith('\0') || fields.size() < 3) {
            sendError(m_requests, from, IllegalOperation, QStringLiteral("malformed write request"));
            continue;
        }
        if (fields.at(0) != ImageName) {
            sendError(m_requests, from, AccessViolation, QStringLiteral("only the file bla can be written"));
            continue;
        }
        if (fields.at(1).toLower() != "octet") {
            sendError(m_requests, from, IllegalOperation, QStringLiteral("only octet mode is supported"));
            continue;
        }
        if (m_transfer && !m_complete) {
            sendError(m_requests, from, NotDefined, QStringLiteral("busy with another transfer"));
            continue;
        }
        if (m_refusedSoFar < m_settings.refuseFirst) {
            ++m_refusedSoFar;
            m_log.event(
                QStringLiteral("tftp refuses write request %1 of %2").arg(m_refusedSoFar).arg(m_settings.refuseFirst));
            sendError(m_requests, from, NotDefined, QStringLiteral("not ready, try again"));
            continue;
        }
        startTransfer(from);
    }
}

void TftpServer::startTransfer(const Peer& from)
{
    if (m_transfer)
        m_transfer->deleteLater();
    // RFC 1350: the transfer runs from a fresh port, the server's transfer id.
    m_transfer = new QUdpSocket(this);
    if (!m_transfer->bind(m_requests.localAddress(), 0)) {
        m_log.event(QStringLiteral("tftp cannot open a transfer port: %1").arg(m_transfer->errorString()));
        sendError(m_requests, from, NotDefined, QStringLiteral("no transfer port"));
        m_transfer->deleteLater();
        m_transfer = nullptr;
        return;
    }
    connect(m_transfer, &QUdpSocket::readyRead, this, &TftpServer::readTransfer);
    m_client = from;
    m_image.clear();
    m_expectedBlock = 1;
    m_lastAcked = 0;
    m_complete = false;
    m_retransmits = 0;
    m_log.event(QStringLiteral("tftp write of bla from %1 accepted").arg(from.toString()));
    sendAck(0);
    m_retransmitTimer.start();
}

void TftpServer::readTransfer()
{
    QUdpSocket* socket = m_transfer;
    while (socket && socket == m_transfer && socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        const Peer from{datagram.senderAddress(), quint16(datagram.senderPort())};
        const QByteArray packet = datagram.data();
        if (!from.isValid())
            continue;
        if (from.address != m_client.address || from.port != m_client.port) {
            sendError(*socket, from, UnknownTransferId, QStringLiteral("unknown transfer id"));
            continue;
        }
        const quint16 opcode = packet.size() >= 4 ? word16(packet, 0) : 0;
        if (opcode == Error) {
            abortTransfer(QStringLiteral("the client gave up: %1").arg(SimLog::escaped(packet.mid(4), 100)));
            return;
        }
        if (opcode != Data || packet.size() > 4 + BlockSize) {
            sendError(*socket, from, IllegalOperation, QStringLiteral("expected a data block"));
            abortTransfer(QStringLiteral("malformed packet %1").arg(SimLog::escaped(packet.left(16))));
            return;
        }
        acceptBlock(word16(packet, 2), packet.mid(4));
    }
}

void TftpServer::acceptBlock(quint16 block, const QByteArray& payload)
{
    if (block != m_expectedBlock || m_complete) {
        // Our acknowledgement was lost: the client sends the block again.
        if (block == m_lastAcked)
            sendAck(m_lastAcked);
        return;
    }
    if (m_settings.dropBlocks.contains(block) && !m_dropped.contains(block)) {
        m_dropped.insert(block);
        m_log.event(QStringLiteral("tftp drops block %1 on purpose").arg(block));
        return;
    }
    if (m_image.size() + payload.size() > m_settings.maxImageBytes) {
        sendError(*m_transfer, m_client, DiskFull, QStringLiteral("image too large"));
        abortTransfer(QStringLiteral("image larger than %1 bytes").arg(m_settings.maxImageBytes));
        return;
    }
    m_image.append(payload);
    sendAck(block);
    ++m_expectedBlock; // wraps after 65535 like the clients' counters
    m_retransmits = 0;
    m_retransmitTimer.start();
    if (payload.size() < BlockSize) {
        m_complete = true;
        m_retransmitTimer.stop();
        m_log.event(QStringLiteral("tftp write of bla complete"));
        emit imageReceived(m_image);
    }
}

void TftpServer::sendAck(quint16 block)
{
    m_lastAcked = block;
    m_transfer->writeDatagram(packet16(Ack, block), m_client.address, m_client.port);
}

void TftpServer::sendError(QUdpSocket& socket, const Peer& to, ErrorCode code, const QString& message)
{
    m_log.event(QStringLiteral("tftp error %1 to %2: %3").arg(code).arg(to.toString(), message));
    socket.writeDatagram(packet16(Error, code) + message.toLatin1() + '\0', to.address, to.port);
}

void TftpServer::abortTransfer(const QString& reason)
{
    m_log.event(QStringLiteral("tftp transfer aborted after %1 bytes: %2").arg(m_image.size()).arg(reason));
    m_retransmitTimer.stop();
    m_transfer->deleteLater();
    m_transfer = nullptr;
    m_image.clear();
}

void TftpServer::retransmit()
{
    if (!m_transfer || m_complete)
        return;
    if (++m_retransmits > MaxRetransmits) {
        abortTransfer(QStringLiteral("the client went silent"));
        return;
    }
    sendAck(m_lastAcked);
}
