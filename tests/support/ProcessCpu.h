#pragma once

#include <QFile>
#include <QList>
#include <QtGlobal>

#include <unistd.h>

// The CPU time in seconds that the process `pid` has used so far (user and
// system), from /proc/<pid>/stat; 0 when it cannot be read.
inline double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    // After ") ": state is field 3, utime 14 and stime 15 of the whole line.
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) / double(sysconf(_SC_CLK_TCK));
}
