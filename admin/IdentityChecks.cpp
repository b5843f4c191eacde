#include "admin/IdentityChecks.h"

#include <QRegularExpression>

namespace IdentityChecks {

namespace {
constexpr int HardwareVersionMaximum = 255;
constexpr int SerialNumberMinimum = 15000;
constexpr int SerialNumberMaximum = 65535;
} // namespace

bool isDecimalMac(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\A(([01]?\\d?\\d|2[0-4]\\d|25[0-5])-){5}([01]?\\d?\\d|2[0-4]\\d|25[0-5])\\z"));
    static const QRegularExpression whiteSpace(QStringLiteral("\\s"));
    QString compact = text;
    compact.remove(whiteSpace);
    return pattern.match(compact).hasMatch();
}

bool isHardwareVersionAccepted(const QString& text) { return text.toInt(nullptr, 10) <= HardwareVersionMaximum; }

bool isSerialNumberAccepted(const QString& text)
{
    const int serial = text.toInt(nullptr, 10);
    return serial >= SerialNumberMinimum && serial <= SerialNumberMaximum;
}

} // namespace IdentityChecks
