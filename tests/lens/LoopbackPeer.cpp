#include "LoopbackPeer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QUdpSocket>
#include <QWidget>

LoopbackPeer::LoopbackPeer(const QString& address, QObject* parent)
    : QObject(parent)
    , m_address(address)
    , m_socket(new QUdpSocket(this))
{
    m_clock.start();
    m_bound = m_socket->bind(m_address, 1339);
    connect(m_socket, &QUdpSocket::readyRead, this, &LoopbackPeer::readCommands);
}

void LoopbackPeer::readCommands()
{
    while (m_socket->hasPendingDatagrams()) {
        QByteArray datagram(int(m_socket->pendingDatagramSize()), '\0');
        m_socket->readDatagram(datagram.data(), datagram.size(), &m_lastSender, &m_lastPort);
        const QString text = QString::fromLatin1(datagram);
        m_log.append({text, m_clock.elapsed()});
        if (onCommand)
            onCommand(text);
    }
}

void LoopbackPeer::reply(const QString& text)
{
    m_socket->writeDatagram(text.toLatin1(), m_lastSender, m_lastPort);
}

void LoopbackPeer::sendTo(quint16 port, const QString& text)
{
    m_socket->writeDatagram(text.toLatin1(), QHostAddress(QHostAddress::LocalHost), port);
}

QStringList LoopbackPeer::texts() const
{
    QStringList result;
    for (const Command& command : m_log)
        result << command.text;
    return result;
}

QStringList LoopbackPeer::textsStartingWith(const QString& prefix) const
{
    QStringList result;
    for (const Command& command : m_log)
        if (command.text.startsWith(prefix))
            result << command.text;
    return result;
}

QVector<qint64> LoopbackPeer::intervals(const QString& prefix) const
{
    QVector<qint64> result;
    qint64 previous = -1;
    for (const Command& command : m_log) {
        if (!command.text.startsWith(prefix))
            continue;
        if (previous >= 0)
            result << command.atMs - previous;
        previous = command.atMs;
    }
    return result;
}

void whenModal(QObject* context, std::function<bool(QWidget*)> answer, int timeoutMs)
{
    auto* poll = new QTimer(context);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, answer, timeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && answer(modal)) || clock.elapsed() > timeoutMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(20);
}

double mean(const QVector<qint64>& values)
{
    if (values.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (qint64 value : values)
        sum += double(value);
    return sum / values.size();
}
