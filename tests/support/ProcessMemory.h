#pragma once

#include <QFile>
#include <QtGlobal>

#include <unistd.h>

// Whether resident memory says anything about our own use: the sanitizers'
// allocators hold on to freed memory on purpose (quarantine, shadow).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool MemoryIsMeaningful = false;
#else
constexpr bool MemoryIsMeaningful = true;
#endif

// Resident memory in KiB of this process, or of the process `pid`, from
// /proc/<pid>/statm.
inline qint64 residentKiB(qint64 pid = 0)
{
    QFile statm(pid ? QStringLiteral("/proc/%1/statm").arg(pid) : QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// The most resident memory this process has had (VmHWM) in KiB, since it
// started or since resetPeakResident().
inline qint64 peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts the peak over from the current resident memory.
inline bool resetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}
