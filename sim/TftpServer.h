#pragma once

#include "sim/CommandPort.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>

class SimLog;

// The boot loader's TFTP server (RFC 1350): it takes one write request for
// the file "bla" in octet mode with 512-byte blocks, acknowledges every
// block from a transfer port of its own, and hands the image over when the
// last (short) block has arrived. Options in the request (RFC 2347) are
// ignored, which a client takes as plain 512-byte blocks. Anything else
// that arrives gets a TFTP error packet.
class TftpServer : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        int refuseFirst = 0;  // write requests answered with an error first
        QSet<int> dropBlocks; // blocks whose first arrival is ignored
        qint64 maxImageBytes = 0;
    };

    TftpServer(SimLog& log, const Settings& settings, QObject* parent = nullptr);

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    void close();
    bool isListening() const { return m_requests.state() == QAbstractSocket::BoundState; }

signals:
    void imageReceived(const QByteArray& image);

private:
    enum Opcode : quint16 { ReadRequest = 1, WriteRequest = 2, Data = 3, Ack = 4, Error = 5 };
    enum ErrorCode : quint16 {
        NotDefined = 0,
        AccessViolation = 2,
        DiskFull = 3,
        IllegalOperation = 4,
        UnknownTransferId = 5
    };
    static constexpr int BlockSize = 512;
    static constexpr int RetransmitMs = 1000;
    static constexpr int MaxRetransmits = 5;

    void readRequests();
    void readTransfer();
    void startTransfer(const Peer& client);
    void acceptBlock(quint16 block, const QByteArray& payload);
    void sendAck(quint16 block);
    void sendError(QUdpSocket& socket, const Peer& to, ErrorCode code, const QString& message);
    void abortTransfer(const QString& reason);
    void retransmit();

    SimLog& m_log;
    Settings m_settings;
    QUdpSocket m_requests;
    QUdpSocket* m_transfer = nullptr;
    Peer m_client;
    QByteArray m_image;
    quint16 m_expectedBlock = 1;
    quint16 m_lastAcked = 0;
    bool m_complete = false;
    int m_refusedSoFar = 0;
    int m_retransmits = 0;
    QSet<int> m_dropped; // blocks already dropped once, across transfers
    QTimer m_retransmitTimer;
};
