#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The panel's every call into the Windows API, with plain C++ types only, so
// that this part compiles and is tested with a Windows cross-compiler and no
// toolkit. Platform_win.cpp turns the results into the toolkit's types.
namespace Win32Calls {

// A rectangle in pixels as Windows gives it: right and bottom exclusive.
struct Rect
{
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
};

// The user's text size in percent: the 32-bit value "TextScaleFactor" of
// the key Software\Microsoft\Accessibility of HKEY_CURRENT_USER, if it can
// be read.
std::optional<std::uint32_t> textScaleFactor();

// The primary display's work area (the desktop less the task bar).
std::optional<Rect> primaryWorkArea();

// The screen's vertical logical resolution in dots per inch; 0 when no
// screen device context can be had.
int screenVerticalDpi();

// Puts a top-level window above all others (or releases it) without moving,
// resizing or activating it. `window` is the native window handle.
bool setTopmost(std::uintptr_t window, bool on);

// The indexes of the host's network adapters. `error` gets 0 or the
// listing's Windows error code (a host with more adapters than fit a fixed
// buffer gets ERROR_BUFFER_OVERFLOW and an empty list).
std::vector<std::uint32_t> adapterIndexes(unsigned long& error);

// Empties one adapter's IPv4 address-resolution (ARP) cache. Returns the
// Windows result; without the administrator's right the flush is refused.
unsigned long flushAddressCache(std::uint32_t adapterIndex);

} // namespace Win32Calls
