#include "ScriptedController.h"

#include "LoopbackAddress.h"

#include <QNetworkDatagram>
#include <QTest>

namespace {
const QString Marker = QStringLiteral("<until now>");
} // namespace

ScriptedController::ScriptedController(const QHostAddress& address, QObject* parent)
    : QObject(parent)
    , m_address(address)
{
    m_clock.start();
    m_socket.bind(m_address, 1339, QUdpSocket::DontShareAddress);
    connect(&m_socket, &QUdpSocket::readyRead, this, &ScriptedController::readCommands);
}

ScriptedController::ScriptedController(QObject* parent)
    : ScriptedController(LoopbackAddress::next(), parent)
{ }

void ScriptedController::readCommands()
{
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        const QString text = QString::fromLatin1(datagram.data());
        m_log.append({text, m_clock.elapsed()});
        for (const QString& reply : m_script.value(text))
            m_socket.writeDatagram(reply.toUtf8(), datagram.senderAddress(), quint16(datagram.senderPort()));
        emit commandReceived(text);
    }
}

void ScriptedController::sendTo(quint16 port, const QByteArray& datagram)
{
    m_socket.writeDatagram(datagram, QHostAddress(QHostAddress::LocalHost), port);
}

QStringList ScriptedController::texts() const
{
    QStringList result;
    for (const Command& command : m_log)
        result << command.text;
    return result;
}

QStringList ScriptedController::textsStartingWith(const QString& prefix) const
{
    QStringList result;
    for (const Command& command : m_log) {
        if (command.text.startsWith(prefix))
            result << command.text;
    }
    return result;
}

QVector<ScriptedController::Command> ScriptedController::commandLog() const
{
    QVector<Command> result;
    for (const Command& command : m_log) {
        if (command.text != QLatin1String("ping"))
            result << command;
    }
    return result;
}

QStringList ScriptedController::commands() const
{
    QStringList result;
    for (const Command& command : commandLog())
        result << command.text;
    return result;
}

int ScriptedController::count(const QString& text) const { return texts().count(text); }

QVector<qint64> ScriptedController::intervals(const QString& prefix) const
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

double ScriptedController::meanInterval(const QString& prefix) const
{
    const QVector<qint64> values = intervals(prefix);
    if (values.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (qint64 value : values)
        sum += double(value);
    return sum / values.size();
}

bool ScriptedController::waitFor(const QString& text, int timeoutMs)
{
    return QTest::qWaitFor([this, &text] { return count(text) > 0; }, timeoutMs);
}

bool ScriptedController::awaitReceived()
{
    QUdpSocket marker;
    marker.writeDatagram(Marker.toLatin1(), m_address, 1339);
    const bool arrived = waitFor(Marker);
    for (int i = m_log.size() - 1; i >= 0; --i) {
        if (m_log.at(i).text == Marker)
            m_log.remove(i);
    }
    return arrived;
}

QStringList ScriptedController::receivedUntilNow()
{
    if (!awaitReceived())
        return {QStringLiteral("(marker lost)")};
    return commands();
}
