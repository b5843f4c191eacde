#include "admin/ProtocolTexts.h"

#include "link/ConnectionExchange.h"

#include <QCoreApplication>

namespace ProtocolTexts {

namespace {
// The submenu belongs to the main window: its texts share its translation context.
constexpr const char* Context = "LensDesk";
} // namespace

QString entryText(int index, bool recentFirmware)
{
    switch (index) {
    case 0:
        return recentFirmware ? QCoreApplication::translate(Context, "Universal (default)")
                              : QCoreApplication::translate(Context, "Standard (default)");
    case 1:
        return QCoreApplication::translate(Context, "Tail framing (Sigma / 18-135 workaround)");
    case ConnectionExchange::LegacyTimingProtocol:
        return QCoreApplication::translate(Context, "Legacy standard (FW 1.8.x timing)");
    default:
        return QString();
    }
}

QString menuToolTip()
{
    return QCoreApplication::translate(Context,
                                       "Lens bus framing. FW 1.9.0 drives all tested lenses in Universal mode.");
}

} // namespace ProtocolTexts
