#include "SimClient.h"

#include <QElapsedTimer>

namespace {
constexpr int ReadPollMs = 20;
} // namespace

SimClient::SimClient() { m_socket.bind(QHostAddress(QHostAddress::LocalHost), 0); }

void SimClient::send(const QHostAddress& to, const QByteArray& command, quint16 port)
{
    m_socket.writeDatagram(command, to, port);
}

void SimClient::drain()
{
    while (m_socket.hasPendingDatagrams()) {
        QByteArray datagram(int(m_socket.pendingDatagramSize()), '\0');
        m_socket.readDatagram(datagram.data(), datagram.size());
        m_received << datagram;
    }
}

QList<QByteArray>& SimClient::answers()
{
    drain();
    return m_received;
}

QByteArray SimClient::waitFor(const QByteArray& prefix, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    int seen = 0;
    do {
        drain();
        for (; seen < m_received.size(); ++seen) {
            if (m_received.at(seen).startsWith(prefix))
                return m_received.at(seen);
        }
        m_socket.waitForReadyRead(ReadPollMs);
    } while (clock.elapsed() < timeoutMs);
    return QByteArray();
}

QList<QByteArray> SimClient::collectFor(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        m_socket.waitForReadyRead(ReadPollMs);
    drain();
    return m_received;
}
