#pragma once

#include <QString>

// What the panel reads from a controller's firmware version text, the part
// after "=" in its identification answer ("1.8.3", "1.8.12 ", "2.1.0"...).
namespace VersionRules {

// Major, minor and patch from the first "digit, any character, digit, any
// character, digits" in the text; `found` is false when nothing matches.
struct VersionParts
{
    bool found = false;
    int major = 0;
    int minor = 0;
    int patch = 0;
};
VersionParts parts(const QString& version);

// Firmware older than 1.4 (and 0.0 to 0.4) cannot drive a lens reliably;
// the panel refuses it. Without parts there is nothing to judge.
bool isTooOld(const VersionParts& parts);

// Firmware 1.7.4 reports a stabiliser it cannot switch.
bool lacksStabiliserSwitch(const QString& version);

// Inserts the boot-loader version after the digits that end in a blank:
// "1.8.12 beta" with boot loader "1" becomes "1.8.12 (BL1) beta". A version
// without a blank after its last digits is returned unchanged.
QString withBootLoader(const QString& version, const QString& bootLoader);

// The first "digits.digits.digits" of the text, or the whole text without one.
QString firmwareNumber(const QString& version);

// The lens-bus protocol can be chosen from firmware 1.8 on, and on any
// major version other than 1. Missing or unreadable parts count as 0.
bool allowsProtocolChoice(const QString& version);

// Whether the version text (for example "1.9.0 (BL1.2)") names firmware 1.9
// or later, which offers a third lens-bus framing. Only the part before the
// first blank counts; a text without major and minor number is not recent.
bool isRecentFirmware(const QString& version);

} // namespace VersionRules
