// A native Windows program that runs the panel's Win32 calls (app/Win32Calls)
// on the machine it runs on and checks what it can of their results. Built by
// scripts/windows-check with the MinGW cross-compiler; it needs no toolkit.
//
//   win32_calls_check [--write-registry]
//
// --write-registry also writes, reads back and restores the user's
// TextScaleFactor: only for a throwaway user profile (a scratch Wine prefix),
// never on someone's own account. Ends with "N passed, N failed".

#include "app/Win32Calls.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what);
    ++(ok ? passed : failed);
}

const wchar_t AccessibilityKey[] = L"Software\\Microsoft\\Accessibility";

void textScaleFactorIsReadBack()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, AccessibilityKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr)
        != ERROR_SUCCESS) {
        check(false, "the accessibility key opens for writing");
        return;
    }
    DWORD previous = 0;
    DWORD size = sizeof previous;
    const bool hadValue = RegQueryValueExW(key, L"TextScaleFactor", nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(&previous), &size)
                          == ERROR_SUCCESS;
    const DWORD written = 150;
    RegSetValueExW(key, L"TextScaleFactor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&written), sizeof written);
    const std::optional<std::uint32_t> read = Win32Calls::textScaleFactor();
    check(read && *read == 150, "TextScaleFactor 150 is read as 150");

    // A value of the wrong type is no text scale.
    const wchar_t text[] = L"150";
    RegSetValueExW(key, L"TextScaleFactor", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    check(!Win32Calls::textScaleFactor(), "a TextScaleFactor that is text is not read");

    if (hadValue)
        RegSetValueExW(key, L"TextScaleFactor", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous),
                       sizeof previous);
    else
        RegDeleteValueW(key, L"TextScaleFactor");
    RegCloseKey(key);
}

void displayMetrics()
{
    const std::optional<Win32Calls::Rect> area = Win32Calls::primaryWorkArea();
    check(area && area->right > area->left && area->bottom > area->top, "the work area is a non-empty rectangle");
    const int dpi = Win32Calls::screenVerticalDpi();
    check(dpi >= 48 && dpi <= 960, "the screen's vertical DPI is plausible");
}

bool isTopmost(HWND window)
{
    return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void topmostKeepsPlaceAndSize()
{
    HWND window = CreateWindowExW(0, L"STATIC", L"win32_calls_check", WS_OVERLAPPEDWINDOW, 40, 30, 438, 173, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        check(false, "a test window can be created");
        return;
    }
    RECT before;
    GetWindowRect(window, &before);
    check(Win32Calls::setTopmost(std::uintptr_t(window), true) && isTopmost(window), "always on top: set");
    RECT after;
    GetWindowRect(window, &after);
    check(std::memcmp(&before, &after, sizeof before) == 0, "always on top keeps place and size");
    check(Win32Calls::setTopmost(std::uintptr_t(window), false) && !isTopmost(window), "always on top: released");
    DestroyWindow(window);
}

void adaptersAndAddressCache()
{
    unsigned long error = ~0ul;
    const std::vector<std::uint32_t> adapters = Win32Calls::adapterIndexes(error);
    // A host without adapters answers "no data".
    check(error == NO_ERROR || error == ERROR_NO_DATA, "the adapter list can be read");
    check(error != NO_ERROR || !adapters.empty(), "a listing that succeeded names adapters");
    for (std::uint32_t adapter : adapters) {
        const unsigned long result = Win32Calls::flushAddressCache(adapter);
        // Refused without the administrator's right; anything else is a fault.
        check(result == NO_ERROR || result == ERROR_ACCESS_DENIED || result == ERROR_NOT_SUPPORTED,
              "an adapter's address cache is flushed or the flush refused");
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--write-registry") == 0)
        textScaleFactorIsReadBack();
    displayMetrics();
    topmostKeepsPlaceAndSize();
    adaptersAndAddressCache();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
