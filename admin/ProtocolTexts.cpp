#include "admin/ProtocolTexts.h"

#include <QCoreApplication>
#include <QStringList>

namespace ProtocolTexts {

namespace {
// The submenu belongs to the main window: its texts share its translation context.
constexpr const char* Context = "LensDesk";
constexpr int RecentMajor = 1;
constexpr int RecentMinor = 9;
constexpr int LegacyTimingIndex = 2;
} // namespace

bool isRecentFirmware(const QString& firmwareVersion)
{
    const QString number = firmwareVersion.split(QLatin1Char(' ')).first();
    const QStringList parts = number.split(QLatin1Char('.'));
    if (parts.size() < 2)
        return false;
    const int major = parts.at(0).toInt(nullptr, 10);
    const int minor = parts.at(1).toInt(nullptr, 10);
    return major > RecentMajor || (major == RecentMajor && minor >= RecentMinor);
}

QString entryText(int index, bool recentFirmware)
{
    switch (index) {
    case 0:
        return recentFirmware ? QCoreApplication::translate(Context, "Universal (default)")
                              : QCoreApplication::translate(Context, "Standard (default)");
    case 1:
        return QCoreApplication::translate(Context, "Tail framing (Sigma / 18-135 workaround)");
    case LegacyTimingIndex:
        return QCoreApplication::translate(Context, "Legacy standard (FW 1.8.x timing)");
    default:
        return QString();
    }
}

bool isEntryVisible(int index, bool recentFirmware)
{
    return index >= 0 && index < ProtocolCount && (index != LegacyTimingIndex || recentFirmware);
}

QString menuToolTip()
{
    return QCoreApplication::translate(Context,
                                       "Lens bus framing. FW 1.9.0 drives all tested lenses in Universal mode.");
}

} // namespace ProtocolTexts
