#include "platform/Win32Calls.h"

// winsock2.h must precede windows.h; iphlpapi.h needs both.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

namespace Win32Calls {

std::optional<std::uint32_t> textScaleFactor()
{
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Accessibility", L"TextScaleFactor",
                                        RRF_RT_REG_DWORD, nullptr, &value, &size);
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return std::uint32_t(value);
}

std::optional<Rect> primaryWorkArea()
{
    RECT area;
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
        return std::nullopt;
    return Rect{area.left, area.top, area.right, area.bottom};
}

int screenVerticalDpi()
{
    HDC screen = GetDC(nullptr);
    if (!screen)
        return 0;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

bool setTopmost(std::uintptr_t window, bool on)
{
    return SetWindowPos(reinterpret_cast<HWND>(window), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                        SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

std::vector<std::uint32_t> adapterIndexes(unsigned long& error)
{
    // Room for the descriptions of about twenty adapters.
    constexpr ULONG AdapterListBytes = 12960;
    std::vector<unsigned char> buffer(AdapterListBytes);
    ULONG size = AdapterListBytes;
    auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
    error = GetAdaptersInfo(adapters, &size);
    std::vector<std::uint32_t> indexes;
    if (error != NO_ERROR)
        return indexes;
    for (const IP_ADAPTER_INFO* adapter = adapters; adapter; adapter = adapter->Next)
        indexes.push_back(adapter->Index);
    return indexes;
}

unsigned long flushAddressCache(std::uint32_t adapterIndex) { return FlushIpNetTable(adapterIndex); }

} // namespace Win32Calls
