#include "link/LinkPump.h"

#include "link/ControllerLink.h"
#include "link/LinkClock.h"

#include <QSocketNotifier>

#include <limits>

LinkPump::LinkPump(ControllerLink& link, QObject* parent)
    : LinkPump(
        link, [&link](qint64 now) { return link.advance(now); }, parent)
{ }

LinkPump::LinkPump(ControllerLink& link, Advance advance, QObject* parent)
    : QObject(parent)
    , m_link(link)
    , m_advance(std::move(advance))
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &LinkPump::reschedule);
    if (m_link.descriptor() >= 0) {
        m_notifier = new QSocketNotifier(m_link.descriptor(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &LinkPump::readAvailable);
    }
}

void LinkPump::readAvailable()
{
    // The notifier stays quiet while a pass runs: a handler that waits with
    // events must not spin on a socket that the pass is still reading. It
    // fires again afterwards for whatever the pass's bound left waiting.
    m_notifier->setEnabled(false);
    m_link.readAvailable(LinkClock::now());
    m_notifier->setEnabled(true);
    reschedule();
}

void LinkPump::reschedule()
{
    const qint64 now = LinkClock::now();
    const qint64 next = m_advance(now);
    if (next < 0)
        m_deadline.stop();
    else
        m_deadline.start(int(qBound(qint64(0), next - now, qint64(std::numeric_limits<int>::max()))));
    emit pumped();
}
