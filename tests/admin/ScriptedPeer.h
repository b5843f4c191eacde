#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QStringList>
#include <QUdpSocket>
#include <QVector>

// A stand-in controller on a loopback address of its own, port 1339: it
// records every command that reaches it with its arrival time and can answer.
// It lives on the GUI thread, so it reads while the code under test waits
// with delayWithEvents.
class ScriptedPeer : public QObject
{
public:
    explicit ScriptedPeer(const QString& address)
    {
        m_bound = m_socket.bind(QHostAddress(address), 1339);
        m_clock.start();
        connect(&m_socket, &QUdpSocket::readyRead, this, [this] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = m_socket.receiveDatagram();
                m_texts << QString::fromLatin1(datagram.data());
                m_times << m_clock.elapsed();
            }
        });
    }

    bool isBound() const { return m_bound; }
    QStringList texts() const { return m_texts; }
    qint64 timeOf(int index) const { return m_times.at(index); }
    int count() const { return m_texts.size(); }
    // The commands without the liveness monitor's pings.
    QStringList commands() const
    {
        QStringList out;
        for (const QString& text : m_texts)
            if (text != QLatin1String("ping"))
                out << text;
        return out;
    }

    // Waits (handling events) until `text` has arrived; bounded in time.
    bool waitFor(const QString& text, int timeoutMs = 5000)
    {
        QElapsedTimer waited;
        waited.start();
        while (!m_texts.contains(text) && waited.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return m_texts.contains(text);
    }

private:
    QUdpSocket m_socket;
    QElapsedTimer m_clock;
    QStringList m_texts;
    QVector<qint64> m_times;
    bool m_bound = false;
};
