#include "admin/ProtocolTexts.h"

#include <QCoreApplication>

namespace ProtocolTexts {

namespace {
// The submenu belongs to the main window: its texts share its translation context.
constexpr const char* Context = "LensDesk";
constexpr int LegacyTimingIndex = 2;
} // namespace

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
