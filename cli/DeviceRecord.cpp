#include "cli/DeviceRecord.h"

#include "lens/FNumbers.h"
#include "link/Protocol.h"

#include <QJsonArray>

namespace {

using Kind = ReplyFact::Kind;

template <typename T>
QJsonValue json(const std::optional<T>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue json(const std::optional<float>& value)
{
    // 5.6 rather than 5.599999904632568.
    return value ? QJsonValue(FNumbers::shortest(double(*value)).toDouble()) : QJsonValue();
}

QJsonValue json(const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

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

QJsonObject DeviceRecord::toJson() const
{
    return QJsonObject{
        {QStringLiteral("product"), json(product)},
        {QStringLiteral("firmware"), json(firmware.trimmed())},
        {QStringLiteral("bootLoader"), json(bootLoader)},
        {QStringLiteral("protocol"), json(protocol)},
        {QStringLiteral("name"), name ? QJsonValue(*name) : QJsonValue()},
        {QStringLiteral("serial"), json(serial)},
        {QStringLiteral("mac"), json(mac)},
        {QStringLiteral("hardware"), json(hardware)},
        {QStringLiteral("vendor"), json(vendor.trimmed())},
        {QStringLiteral("address"), json(address)},
        {QStringLiteral("mask"), json(mask)},
        {QStringLiteral("gateway"), json(gateway)},
        {QStringLiteral("lens"),
         lensAbsent ? QJsonValue()
                    : QJsonValue(QJsonObject{
                        {QStringLiteral("description"), json(lensDescription)},
                        {QStringLiteral("zoomWide"), json(zoomWide)},
                        {QStringLiteral("zoomTele"), json(zoomTele)},
                        {QStringLiteral("focusFar"), json(focusFar)},
                        {QStringLiteral("focusNear"), json(focusNear)},
                        {QStringLiteral("widestFNumber"), json(widestFNumber)},
                        {QStringLiteral("narrowestFNumber"), json(narrowestFNumber)},
                        {QStringLiteral("autoFocus"), json(autoFocus)},
                        {QStringLiteral("stabiliser"), json(stabiliser)},
                        {QStringLiteral("stabiliserActive"), json(stabiliserActive)},
                    })},
        {QStringLiteral("position"),
         lensAbsent ? QJsonValue()
                    : QJsonValue(QJsonObject{
                        {QStringLiteral("zoom"), json(zoom)},
                        {QStringLiteral("focus"), json(focus)},
                        {QStringLiteral("aperture"), json(fNumber)},
                    })},
    };
}

QJsonObject factToJson(const ReplyFact& fact)
{
    QJsonObject object{{QStringLiteral("report"), ReplyFact::kindName(fact.kind)}};
    if (!fact.text.isEmpty())
        object.insert(QStringLiteral("text"), fact.text);
    if (!fact.version.isEmpty())
        object.insert(QStringLiteral("version"), fact.version);
    if (!fact.numbers.isEmpty()) {
        QJsonArray numbers;
        for (double number : fact.numbers)
            numbers.append(FNumbers::shortest(number).toDouble());
        object.insert(QStringLiteral("values"), numbers);
    }
    if (fact.hasOnState())
        object.insert(QStringLiteral("on"), fact.on);
    return object;
}
