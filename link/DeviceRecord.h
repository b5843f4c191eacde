#pragma once

#include "link/ReplyReader.h"

#include <QString>

#include <optional>

// What a program that talks to one controller knows about it (the
// command-line client, the drivers): the facts of every reply, applied in the
// order they were read. What the controller has not reported yet is absent
// (or an empty text): nothing is assumed, not even the boot loader's "1".
struct DeviceRecord
{
    QString product;
    QString firmware;
    QString bootLoader;
    std::optional<int> protocol;
    std::optional<QString> name;
    QString serial, mac, hardware, vendor;
    QString address, mask, gateway;
    QString lensDescription;
    bool lensAbsent = false;
    std::optional<int> zoomWide, zoomTele, focusFar, focusNear;
    std::optional<float> widestFNumber, narrowestFNumber; // absent for a lens without aperture
    bool apertureRangeKnown = false;
    std::optional<int> zoom, focus;
    std::optional<float> fNumber;
    std::optional<bool> autoFocus, stabiliser, stabiliserActive;
    std::optional<int> focusTimeout;
    QString lastError;

    // How many of each fact were read so far; a wait compares counts taken
    // before a command with the counts after it.
    int count(ReplyFact::Kind kind) const { return m_counts[int(kind)]; }

    void apply(const ReplyFact& fact);

    bool isIdentified() const { return !product.isEmpty(); }
    bool isPowerZoom() const;
    bool lensReported() const { return lensAbsent || zoom.has_value(); }

private:
    int m_counts[int(ReplyFact::Kind::Gateway) + 1] = {};
};
