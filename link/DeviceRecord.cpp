#include "link/DeviceRecord.h"

#include "link/Protocol.h"

namespace {
using Kind = ReplyFact::Kind;
} // namespace

void DeviceRecord::apply(const ReplyFact& fact)
{
    ++m_counts[int(fact.kind)];
    const double first = fact.numbers.value(0);
    const double second = fact.numbers.value(1);
    switch (fact.kind) {
    case Kind::Identification:
        product = fact.text;
        firmware = fact.version;
        break;
    case Kind::NoLens:
        lensAbsent = true;
        zoom.reset();
        focus.reset();
        fNumber.reset();
        break;
    case Kind::Positions:
        lensAbsent = false;
        zoom = int(first);
        if (fact.numbers.size() > 1)
            focus = int(second);
        if (fact.numbers.size() > 2)
            fNumber = float(fact.numbers.at(2));
        break;
    case Kind::LensDescription:
        lensDescription = fact.text;
        break;
    case Kind::Protocol:
        protocol = int(first);
        break;
    case Kind::ApertureRange:
        apertureRangeKnown = true;
        widestFNumber = fact.on ? std::optional<float>(float(first)) : std::nullopt;
        narrowestFNumber = fact.on ? std::optional<float>(float(second)) : std::nullopt;
        break;
    case Kind::ZoomRange:
        zoomWide = int(first);
        zoomTele = int(second);
        break;
    case Kind::FocusRange:
        focusFar = int(first);
        focusNear = int(second);
        break;
    case Kind::AutoFocus:
        autoFocus = fact.on;
        break;
    case Kind::StabiliserPresent:
        stabiliser = fact.on;
        break;
    case Kind::StabiliserActive:
        stabiliserActive = fact.on;
        break;
    case Kind::Name:
        name = fact.text.trimmed();
        break;
    case Kind::FocusTimeout:
        focusTimeout = int(first);
        break;
    case Kind::ControllerError:
        lastError = fact.text;
        break;
    case Kind::ZoomPosition:
        zoom = int(first);
        break;
    case Kind::FocusPosition:
        focus = int(first);
        break;
    case Kind::IrisPosition:
        fNumber = float(first);
        break;
    case Kind::Vendor:
        if (fact.on)
            vendor = fact.text;
        break;
    case Kind::Hardware:
        hardware = fact.text;
        break;
    case Kind::BootLoader:
        bootLoader = fact.text;
        break;
    case Kind::Serial:
        serial = fact.text;
        break;
    case Kind::Mac:
        mac = fact.text;
        break;
    case Kind::Address:
        address = fact.text;
        break;
    case Kind::Mask:
        mask = fact.text;
        break;
    case Kind::Gateway:
        gateway = fact.text;
        break;
    case Kind::LensSummary:
    case Kind::ZoomDone:
    case Kind::FocusDone:
    case Kind::IrisDone:
        break;
    }
}

bool DeviceRecord::isPowerZoom() const { return product.contains(QLatin1String(Protocol::Answer::PowerZoomMark)); }
