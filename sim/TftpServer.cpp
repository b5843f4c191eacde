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
    , log(log)
    , settings(settings)
{
    connect(&requests, &QUdpSocket::readyRead, this, &TftpServer::readRequests);
    retransmitTimer.setInterval(RetransmitMs);
    connect(&retransmitTimer, &QTimer::timeout, this, &TftpServer::retransmit);
}

bool TftpServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    close();
    if (requests.bind(address, port))
        return true;
    *error = requests.errorString();
    return false;
}

void TftpServer::close()
{
    retransmitTimer.stop();
    if (transfer) {
        transfer->deleteLater();
        transfer = nullptr;
    }
    requests.close();
}

void TftpServer::readRequests()
{
    while (requests.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = requests.receiveDatagram();
        const Peer from{datagram.senderAddress(), quint16(datagram.senderPort())};
        const QByteArray packet = datagram.data();
        if (!from.isValid())
            continue;
        log.traffic("tftp-rx", from.toString(), packet.left(64));
        const quint16 opcode = packet.size() >= 2 ? word16(packet, 0) : 0;
        if (opcode == ReadRequest) {
            sendError(requests, from, AccessViolation, QStringLiteral("the image cannot be read back"));
            continue;
        }
        if (opcode != WriteRequest) {
            sendError(requests, from, IllegalOperation, QStringLiteral("expected a write request"));
            continue;
        }
        // Write request: file name NUL mode NUL, then options we ignore.
        const QList<QByteArray> fields = packet.mid(2).split('\0');
        if (!packet.endsWith('\0') || fields.size() < 3) {
            sendError(requests, from, IllegalOperation, QStringLiteral("malformed write request"));
            continue;
        }
        if (fields.at(0) != ImageName) {
            sendError(requests, from, AccessViolation, QStringLiteral("only the file bla can be written"));
            continue;
        }
        if (fields.at(1).toLower() != "octet") {
            sendError(requests, from, IllegalOperation, QStringLiteral("only octet mode is supported"));
            continue;
        }
        if (transfer && !complete) {
            sendError(requests, from, NotDefined, QStringLiteral("busy with another transfer"));
            continue;
        }
        if (refusedSoFar < settings.refuseFirst) {
            ++refusedSoFar;
            log.event(QStringLiteral("tftp refuses write request %1 of %2").arg(refusedSoFar).arg(settings.refuseFirst));
            sendError(requests, from, NotDefined, QStringLiteral("not ready, try again"));
            continue;
        }
        startTransfer(from);
    }
}

void TftpServer::startTransfer(const Peer& from)
{
    if (transfer)
        transfer->deleteLater();
    // RFC 1350: the transfer runs from a fresh port, the server's transfer id.
    transfer = new QUdpSocket(this);
    if (!transfer->bind(requests.localAddress(), 0)) {
        log.event(QStringLiteral("tftp cannot open a transfer port: %1").arg(transfer->errorString()));
        sendError(requests, from, NotDefined, QStringLiteral("no transfer port"));
        transfer->deleteLater();
        transfer = nullptr;
        return;
    }
    connect(transfer, &QUdpSocket::readyRead, this, &TftpServer::readTransfer);
    client = from;
    image.clear();
    expectedBlock = 1;
    lastAcked = 0;
    complete = false;
    retransmits = 0;
    log.event(QStringLiteral("tftp write of bla from %1 accepted").arg(from.toString()));
    sendAck(0);
    retransmitTimer.start();
}

void TftpServer::readTransfer()
{
    QUdpSocket* socket = transfer;
    while (socket && socket == transfer && socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        const Peer from{datagram.senderAddress(), quint16(datagram.senderPort())};
        const QByteArray packet = datagram.data();
        if (!from.isValid())
            continue;
        if (from.address != client.address || from.port != client.port) {
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
    if (block != expectedBlock || complete) {
        // Our acknowledgement was lost: the client sends the block again.
        if (block == lastAcked)
            sendAck(lastAcked);
        return;
    }
    if (settings.dropBlocks.contains(block) && !dropped.contains(block)) {
        dropped.insert(block);
        log.event(QStringLiteral("tftp drops block %1 on purpose").arg(block));
        return;
    }
    if (image.size() + payload.size() > settings.maxImageBytes) {
        sendError(*transfer, client, DiskFull, QStringLiteral("image too large"));
        abortTransfer(QStringLiteral("image larger than %1 bytes").arg(settings.maxImageBytes));
        return;
    }
    image.append(payload);
    sendAck(block);
    ++expectedBlock;   // wraps after 65535 like the clients' counters
    retransmits = 0;
    retransmitTimer.start();
    if (payload.size() < BlockSize) {
        complete = true;
        retransmitTimer.stop();
        log.event(QStringLiteral("tftp write of bla complete"));
        emit imageReceived(image);
    }
}

void TftpServer::sendAck(quint16 block)
{
    lastAcked = block;
    transfer->writeDatagram(packet16(Ack, block), client.address, client.port);
}

void TftpServer::sendError(QUdpSocket& socket, const Peer& to, ErrorCode code, const QString& message)
{
    log.event(QStringLiteral("tftp error %1 to %2: %3").arg(code).arg(to.toString(), message));
    socket.writeDatagram(packet16(Error, code) + message.toLatin1() + '\0', to.address, to.port);
}

void TftpServer::abortTransfer(const QString& reason)
{
    log.event(QStringLiteral("tftp transfer aborted after %1 bytes: %2").arg(image.size()).arg(reason));
    retransmitTimer.stop();
    transfer->deleteLater();
    transfer = nullptr;
    image.clear();
}

void TftpServer::retransmit()
{
    if (!transfer || complete)
        return;
    if (++retransmits > MaxRetransmits) {
        abortTransfer(QStringLiteral("the client went silent"));
        return;
    }
    sendAck(lastAcked);
}
