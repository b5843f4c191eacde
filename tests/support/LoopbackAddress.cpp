#include "LoopbackAddress.h"

#include <QCoreApplication>

#include <atomic>

namespace LoopbackAddress {

QHostAddress host(int lastOctet)
{
    // The low 15 bits of the process id: the whole range where pid_max is
    // 32768, and a wide one elsewhere.
    const quint32 pid = quint32(QCoreApplication::applicationPid());
    const quint32 a = 128 + ((pid >> 8) & 0x7f);
    const quint32 b = pid & 0xff;
    return QHostAddress((127u << 24) | (a << 16) | (b << 8) | quint32(lastOctet & 0xff));
}

QHostAddress next()
{
    static std::atomic<int> handedOut{0};
    const int span = LastHandedOut - FirstHandedOut + 1;
    return host(FirstHandedOut + handedOut.fetch_add(1) % span);
}

} // namespace LoopbackAddress
