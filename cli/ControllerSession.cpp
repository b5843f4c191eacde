#include "cli/ControllerSession.h"

#include "link/LinkClock.h"

#include <QEventLoop>
#include <QTimer>

namespace {
// The link ends an identification at its own limit; the follow-ups and a
// busy machine get this much more before the wait gives up.
constexpr int IdentifyMarginMs = 1000;
} // namespace

ControllerSession::ControllerSession(const QString& address, QObject* parent)
    : QObject(parent)
    , m_link(address)
{
    m_link.setAsksIdentity(false);
    m_link.setKeepsAlive(false);
    m_link.onFact = [this](const ReplyFact& fact) { emit factRead(fact); };
    m_link.onStateChanged = [this](ControllerLink::State) { emit stateChanged(); };
    m_link.onDatagram = [this](const QString& text, bool sent) {
        emit traffic(text, sent);
        if (!sent)
            emit replyReceived(text);
    };
    if (m_link.open())
        m_pump = new LinkPump(m_link, this);
}

void ControllerSession::send(const QString& text) { m_link.send(text); }

void ControllerSession::interrupt()
{
    m_interrupted = true;
    emit interrupted();
}

bool ControllerSession::waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    if (m_interrupted)
        return false;
    QEventLoop loop;
    connect(this, &ControllerSession::interrupted, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    connect(this, &ControllerSession::replyReceived, &loop, check);
    connect(this, &ControllerSession::stateChanged, &loop, check);
    limit.start(qMax(0, timeoutMs));
    loop.exec();
    return done();
}

void ControllerSession::pause(int milliseconds)
{
    if (m_interrupted)
        return;
    QEventLoop loop;
    connect(this, &ControllerSession::interrupted, &loop, &QEventLoop::quit);
    QTimer::singleShot(qMax(0, milliseconds), &loop, &QEventLoop::quit);
    loop.exec();
}

bool ControllerSession::identify(int timeoutMs)
{
    if (!m_pump)
        return false;
    m_link.setIdentifyLimitMs(timeoutMs);
    m_link.connectToController(LinkClock::now());
    m_pump->reschedule();
    waitUntil([this] { return m_link.state() != ControllerLink::State::Identifying; }, timeoutMs + IdentifyMarginMs);
    if (m_interrupted) {
        // Nothing more goes out for an exchange cut short.
        m_link.disconnectFromController();
        return false;
    }
    return m_link.state() == ControllerLink::State::Connected;
}

void ControllerSession::keepAlive()
{
    m_link.setKeepsAlive(true);
    if (m_pump)
        m_pump->reschedule();
}
