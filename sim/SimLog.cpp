#include "sim/SimLog.h"

#include <QByteArray>

#include <cstdio>

SimLog::SimLog(const QString& fileName, bool echoToStderr)
    : m_file(fileName)
    , m_fileWanted(!fileName.isEmpty())
    , m_echo(echoToStderr)
{
    m_clock.start();
    if (m_fileWanted && !m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        std::fprintf(stderr, "lensdesk-sim: cannot write the log %s: %s\n", qPrintable(fileName),
                     qPrintable(m_file.errorString()));
}

void SimLog::traffic(const char* direction, const QString& peer, const QByteArray& bytes)
{
    write(QStringLiteral("%1 %2 %3").arg(QLatin1String(direction), peer, escaped(bytes)), m_echo);
}

void SimLog::event(const QString& text) { write(QStringLiteral("-- %1").arg(text), true); }

QString SimLog::escaped(const QByteArray& bytes, int limit)
{
    QString text;
    const int shown = qMin(bytes.size(), limit);
    text.reserve(shown);
    for (int i = 0; i < shown; ++i) {
        const uchar c = uchar(bytes.at(i));
        if (c == '\\')
            text += QLatin1String("\\\\");
        else if (c >= 0x20 && c < 0x7f)
            text += QLatin1Char(char(c));
        else
            text += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > shown)
        text += QStringLiteral("...(%1 bytes)").arg(bytes.size());
    return text;
}

void SimLog::write(const QString& line, bool toStderr)
{
    const QByteArray stamped = QStringLiteral("%1 %2\n").arg(m_clock.elapsed(), 8).arg(line).toUtf8();
    if (m_file.isOpen()) {
        m_file.write(stamped);
        m_file.flush();
    }
    if (toStderr) {
        std::fputs(stamped.constData(), stderr);
        std::fflush(stderr);
    }
}
