#include "app/Platform.h"

// Linux desktops keep no per-user text scale that the panel could read before
// the toolkit starts, so the display scale stays 1.0 and Qt's own high-DPI
// handling applies.

namespace Platform {

std::optional<int> textScalePercent()
{
    return std::nullopt;
}

std::optional<QRect> workArea()
{
    return std::nullopt;
}

int verticalDpi()
{
    return 0;
}

bool setWindowTopmost(quintptr, bool)
{
    return false;
}

} // namespace Platform
