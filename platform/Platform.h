#pragma once

#include <QRect>
#include <QString>
#include <QtGlobal>

#include <optional>

// The few calls that differ between Windows and the other desktops. On
// Windows they use the system's own interfaces; elsewhere they do the
// equivalent or report that there is nothing to read.
namespace Platform {

// The user's accessibility text size in percent ("TextScaleFactor").
// Elsewhere there is no such per-user setting: nothing to read.
std::optional<int> textScalePercent();

// The primary display's work area in pixels, before any toolkit exists.
std::optional<QRect> workArea();

// The screen's vertical resolution in dots per inch; 0 when unknown.
int verticalDpi();

// Keeps a native window above all others (Windows only; elsewhere the
// window's stay-on-top hint does it). Returns false where not supported.
bool setWindowTopmost(quintptr window, bool on);

// What a flush of the address-resolution cache came to.
struct AddressCacheFlush
{
    // 0 when the adapters could be listed; otherwise the listing's error
    // code, and nothing was flushed.
    int listingError = 0;
    // Entries stayed because removing them needs the network-administration
    // privilege, which this process lacks (EPERM; on Windows, access denied).
    bool refused = false;
};

// Empties the IPv4 address-resolution cache of every adapter, so that a
// controller is looked up afresh after its address changed.
AddressCacheFlush flushAddressResolutionCache();

} // namespace Platform
