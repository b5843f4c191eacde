#include "platform/Platform.h"

#include "platform/Win32Calls.h"

namespace Platform {

std::optional<int> textScalePercent()
{
    const std::optional<std::uint32_t> value = Win32Calls::textScaleFactor();
    if (!value)
        return std::nullopt;
    return int(*value);
}

std::optional<QRect> workArea()
{
    const std::optional<Win32Calls::Rect> area = Win32Calls::primaryWorkArea();
    if (!area)
        return std::nullopt;
    return QRect(QPoint(int(area->left), int(area->top)), QPoint(int(area->right) - 1, int(area->bottom) - 1));
}

int verticalDpi() { return Win32Calls::screenVerticalDpi(); }

bool setWindowTopmost(quintptr window, bool on) { return Win32Calls::setTopmost(std::uintptr_t(window), on); }

int flushAddressResolutionCache()
{
    unsigned long error = 0;
    const std::vector<std::uint32_t> adapters = Win32Calls::adapterIndexes(error);
    if (error != 0)
        return int(error);
    // Without the administrator's right every flush is refused; nothing to do then.
    for (std::uint32_t adapter : adapters)
        Win32Calls::flushAddressCache(adapter);
    return 0;
}

} // namespace Platform
