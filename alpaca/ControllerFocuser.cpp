#include "alpaca/ControllerFocuser.h"

#include "link/LinkClock.h"
#include "link/LinkPump.h"

ControllerFocuser::ControllerFocuser(const QString& address)
    : m_link(address)
    , m_session(m_link)
{
    m_session.onChanged = [this] { noteChange(); };
    // Without a socket there is no pump: this timer brings the retry.
    m_openRetry.setSingleShot(true);
    QObject::connect(&m_openRetry, &QTimer::timeout, [this] { attempt(LinkClock::now()); });
    attempt(LinkClock::now());
}

ControllerFocuser::~ControllerFocuser() = default;

void ControllerFocuser::attempt(qint64 now)
{
    if (!m_link.isOpen()) {
        if (!m_link.open()) {
            planRetry(now);
            return;
        }
        m_retryAt = -1;
        m_pump = std::make_unique<LinkPump>(m_link, [this](qint64 at) { return advance(at); });
    }
    m_link.connectToController(now);
    m_pump->reschedule();
}

void ControllerFocuser::planRetry(qint64 now)
{
    m_retryAt = now + m_retryDelayMs;
    if (!m_pump)
        m_openRetry.start(m_retryDelayMs);
    m_retryDelayMs = qMin(2 * m_retryDelayMs, RetryMostMs);
}

qint64 ControllerFocuser::advance(qint64 now)
{
    if (m_retryAt >= 0 && now >= m_retryAt) {
        m_retryAt = -1;
        m_link.connectToController(now);
    }
    const qint64 next = m_session.advance(now);
    if (m_retryAt < 0)
        return next;
    return next < 0 ? m_retryAt : qMin(next, m_retryAt);
}

void ControllerFocuser::noteChange()
{
    if (m_link.state() != ControllerLink::State::Connected)
        m_identifiedAt = -1;
    switch (m_link.state()) {
    case ControllerLink::State::Connected:
        m_retryAt = -1;
        m_retryDelayMs = RetryFirstMs;
        if (m_identifiedAt < 0)
            m_identifiedAt = LinkClock::now();
        break;
    case ControllerLink::State::Refused:
        if (m_link.refusal() == ControllerLink::Refusal::NoAnswer && m_retryAt < 0)
            planRetry(LinkClock::now());
        break;
    default:
        break;
    }
}

AlpacaFocuser::Link ControllerFocuser::link() const
{
    switch (m_link.state()) {
    case ControllerLink::State::Identifying:
        return Link::Identifying;
    case ControllerLink::State::Connected:
        if (!m_link.record().lensReported() && LinkClock::now() - m_identifiedAt < LensReportWaitMs)
            return Link::Identifying;
        return Link::Connected;
    case ControllerLink::State::Lost:
        return Link::Lost;
    case ControllerLink::State::Refused:
        // Nobody answered: not refused, only not there yet.
        return m_link.refusal() == ControllerLink::Refusal::NoAnswer ? Link::Disconnected : Link::Refused;
    case ControllerLink::State::Disconnected:
        break;
    }
    return Link::Disconnected;
}

QString ControllerFocuser::linkProblem() const
{
    QString problem;
    if (!m_link.isOpen())
        problem = tr("No local port from 60000 to 65000 is free to talk to %1.").arg(m_link.address());
    else if (m_link.state() == ControllerLink::State::Refused)
        problem = m_link.refusalText();
    if (problem.isEmpty() || m_retryAt < 0)
        return problem;
    const qint64 seconds = qMax<qint64>(1, (m_retryAt - LinkClock::now() + 999) / 1000);
    return tr("%1 Asking again in %n s.", nullptr, int(seconds)).arg(problem);
}

void ControllerFocuser::reconnect()
{
    switch (m_link.state()) {
    case ControllerLink::State::Identifying:
    case ControllerLink::State::Connected:
    // A lost link asks by itself and re-identifies the controller when it
    // answers; starting over would only forget that it was up.
    case ControllerLink::State::Lost:
        return;
    case ControllerLink::State::Disconnected:
    case ControllerLink::State::Refused:
        break;
    }
    m_retryAt = -1;
    attempt(LinkClock::now());
}

AlpacaFocuser::Identity ControllerFocuser::identity() const
{
    const DeviceRecord& record = m_link.record();
    return {record.product, record.firmware, record.name.value_or(QString()), record.serial, record.mac};
}

AlpacaFocuser::Motion ControllerFocuser::motion() const
{
    switch (m_session.motion()) {
    case FocuserSession::Motion::Moving:
        return Motion::Moving;
    case FocuserSession::Motion::Failed:
        return Motion::Failed;
    case FocuserSession::Motion::Idle:
        break;
    }
    return Motion::Idle;
}

void ControllerFocuser::catchUp()
{
    // The pump's timer brings the time limit too, but a request may be
    // served a moment before it fires.
    if (m_pump)
        m_pump->reschedule();
}

bool ControllerFocuser::moveTo(int position, QString* why)
{
    if (!m_session.moveTo(position, LinkClock::now(), why))
        return false;
    m_pump->reschedule();
    return true;
}

void ControllerFocuser::halt()
{
    m_session.halt(LinkClock::now());
    if (m_pump)
        m_pump->reschedule();
}
