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

// Empties the IPv4 address-resolution cache of every adapter, so that a
// controller is looked up afresh after its address changed. Returns 0 when
// the adapters could be listed (flush results are ignored: without the
// privilege to flush, nothing happens), or the listing's error code.
int flushAddressResolutionCache();

} // namespace Platform
