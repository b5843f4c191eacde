#include "cli/UploadProgress.h"

#include <QString>

#include <cstdio>

namespace {
constexpr int BarWidth = 30;
// Often enough to look alive, seldom enough not to flood a slow terminal.
constexpr int RedrawMs = 100;
} // namespace

UploadProgress::UploadProgress(qint64 total, bool on)
    : m_total(qMax<qint64>(total, 1))
    , m_on(on)
{
    m_clock.start();
}

void UploadProgress::show(qint64 bytes)
{
    // A run that has not started moving, or a new run: the rate is measured
    // from its first byte.
    if (bytes == 0 || bytes < m_lastBytes)
        m_clock.restart();
    m_lastBytes = bytes;
    const qint64 now = m_clock.elapsed();
    if (!m_on || (bytes < m_total && m_lastShownMs >= 0 && now - m_lastShownMs < RedrawMs))
        return;
    m_lastShownMs = now;
    const double share = qBound(0.0, double(bytes) / double(m_total), 1.0);
    const int filled = int(share * BarWidth);
    const double seconds = qMax(now, qint64(1)) / 1000.0;
    const double rate = bytes / seconds;
    const QString eta = rate > 0 ? QString::number(qMax(0.0, (m_total - bytes) / rate), 'f', 1) : QStringLiteral("?");
    const QString line = QStringLiteral("\r[%1%2] %3/%4 bytes  %5 KiB/s  ETA %6 s ")
                             .arg(QString(filled, QLatin1Char('#')), QString(BarWidth - filled, QLatin1Char('.')))
                             .arg(bytes)
                             .arg(m_total)
                             .arg(rate / 1024.0, 0, 'f', 1)
                             .arg(eta);
    std::fputs(line.toUtf8().constData(), stderr);
    std::fflush(stderr);
    m_drawn = true;
}

void UploadProgress::finish()
{
    if (m_drawn)
        std::fputs("\n", stderr);
    m_drawn = false;
}
