#include "cli/ControllerSession.h"

#include "link/CommandPort.h"
#include "link/Protocol.h"

#include <QEventLoop>
#include <QTimer>

ControllerSession::ControllerSession(const QString& address, QObject* parent)
    : QObject(parent)
    , m_address(address)
    , m_intake(
          &m_socket, [this] { return m_address; },
          [this](const QString& text, const QHostAddress&) { applyReply(text); })
{
    if (CommandPort::bindRandom(m_socket))
        m_channel = CommandChannel(&m_socket);
    connect(&m_socket, &QUdpSocket::readyRead, &m_intake, &ReplyIntake::readAvailable);
}

void ControllerSession::send(const QString& text) { m_channel.send(m_address, text); }

void ControllerSession::applyReply(const QString& text)
{
    for (const ReplyFact& fact : ReplyReader::read(text)) {
        m_record.apply(fact);
        emit factRead(fact);
    }
    emit replyReceived(text);
}

bool ControllerSession::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &ControllerSession::replyReceived, &loop, [&] {
        if (done())
            loop.quit();
    });
    limit.start(qMax(0, timeoutMs));
    loop.exec();
    return done();
}

void ControllerSession::pause(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(qMax(0, milliseconds), &loop, &QEventLoop::quit);
    loop.exec();
}

bool ControllerSession::identify(int timeoutMs)
{
    using namespace Protocol::Command;
    // The panel spaces these by 10 ms to let its window handle events in
    // between; the controller takes them back to back.
    for (const char* probe : {BootLoaderVersion, GetProtocol, Version})
        send(QLatin1String(probe));
    if (!waitUntil([this] { return m_record.isIdentified(); }, timeoutMs))
        return false;
    send(QLatin1String(FlagNormal));
    send(QLatin1String(GetName));
    return true;
}
