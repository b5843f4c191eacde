#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>

class QByteArray;

// The simulator's log: one line per received command ("rx"), sent answer
// ("tx"), dropped datagram ("drop") or event ("--"), each with the
// milliseconds since start from a monotonic clock, the peer and the exact
// text, non-printable bytes escaped as \xHH. Lines are flushed at once so
// tests can follow the file while the simulator runs.
class SimLog
{
public:
    SimLog(const QString& fileName, bool echoToStderr);

    bool isOpen() const { return m_file.isOpen() || !m_fileWanted; }

    void traffic(const char* direction, const QString& peer, const QByteArray& bytes);
    // Events also reach standard error, so someone running the simulator
    // by hand sees starts, restarts and transfers.
    void event(const QString& text);

    // Printable ASCII stays, "\" doubles, anything else becomes \xHH; long
    // datagrams are cut after `limit` bytes with their full size noted.
    static QString escaped(const QByteArray& bytes, int limit = 512);

private:
    void write(const QString& line, bool toStderr);

    QElapsedTimer m_clock;
    QFile m_file;
    bool m_fileWanted;
    bool m_echo;
};
