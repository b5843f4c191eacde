#include "app/Platform.h"

// winsock2.h must precede windows.h; iphlpapi.h needs both.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <vector>

namespace Platform {

std::optional<int> textScalePercent()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Accessibility",
                                        L"TextScaleFactor", RRF_RT_REG_DWORD, nullptr, &value, &size);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return int(value);
}

std::optional<QRect> workArea()
{
    RECT area;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        return std::nullopt;
    return QRect(QPoint(area.left, area.top), QPoint(area.right - 1, area.bottom - 1));
}

int verticalDpi()
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return 0;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

bool setWindowTopmost(quintptr window, bool on)
{
    return SetWindowPos(reinterpret_cast<HWND>(window), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                        SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

int flushAddressResolutionCache()
{
    // Room for the descriptions of about twenty adapters; a host with more
    // gets the "buffer overflow" result and the flush is skipped.
    constexpr ULONG AdapterListBytes = 12960;
    std::vector<unsigned char> buffer(AdapterListBytes);
    ULONG size = AdapterListBytes;
    auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    const DWORD result = GetAdaptersInfo(adapters, &size);
    if (result != NO_ERROR)
        return int(result);
    // Without the administrator's right the flush is refused; nothing to do then.
    for (const IP_ADAPTER_INFO* adapter = adapters; adapter; adapter = adapter->Next)
        FlushIpNetTable(adapter->Index);
    return 0;
}

} // namespace Platform
