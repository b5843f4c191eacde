#include "alpaca/ConnectionStream.h"

ConnectionStream::ConnectionStream(const Limits& limits)
    : m_limits(limits)
{
    startRequest();
}

void ConnectionStream::startRequest()
{
    m_deadline = QDeadlineTimer(m_limits.requestTimeMs);
    m_budget = m_limits.requestBytes;
    m_written = 0;
    m_overrun = Overrun::None;
}

ssize_t ConnectionStream::read(char* data, size_t size)
{
    if (m_budget <= 0) {
        m_overrun = Overrun::Bytes;
        return -1;
    }
    const ssize_t count = receive(data, size_t(qMin<qint64>(qint64(size), m_budget)), m_deadline);
    if (count < 0 && m_deadline.hasExpired())
        m_overrun = Overrun::Time;
    if (count > 0)
        m_budget -= count;
    return count;
}

ssize_t ConnectionStream::write(const char* data, size_t size)
{
    m_written += qint64(size);
    return send(data, size);
}
