#include "admin/GatewayGuess.h"

#include "link/DottedQuad.h"

namespace GatewayGuess {

QString guess(const QString& address, const QString& mask)
{
    int a[4];
    int m[4];
    if (!DottedQuad::octets(address, a) || !DottedQuad::octets(mask, m))
        return QString();
    return QStringLiteral("%1.%2.%3.%4").arg(a[0] & m[0]).arg(a[1] & m[1]).arg(a[2] & m[2]).arg((a[3] & m[3]) + 1);
}

} // namespace GatewayGuess
