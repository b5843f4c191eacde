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

AddressCacheFlush flushAddressResolutionCache()
{
    // ERROR_ACCESS_DENIED: the answer to a flush without the administrator's right.
    constexpr unsigned long AccessDenied = 5;
    AddressCacheFlush flush;
    unsigned long error = 0;
    const std::vector<std::uint32_t> adapters = Win32Calls::adapterIndexes(error);
    flush.listingError = int(error);
    if (error != 0)
        return flush;
    for (std::uint32_t adapter : adapters)
        flush.refused = Win32Calls::flushAddressCache(adapter) == AccessDenied || flush.refused;
    return flush;
}

} // namespace Platform
