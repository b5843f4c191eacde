#include "cli/JsonVocabulary.h"

#include "link/DeviceRecord.h"
#include "lens/FNumbers.h"

#include <QCoreApplication>
#include <QPair>
#include <QStringList>
#include <QVector>

namespace JsonVocabulary {

namespace {

using Kind = ReplyFact::Kind;
using Fields = QVector<QPair<QString, QJsonValue>>;

template <typename T>
QJsonValue orNull(const std::optional<T>& value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue orNull(const std::optional<float>& value) { return value ? fNumber(double(*value)) : QJsonValue(); }

QJsonValue orNull(const QString& text) { return text.isEmpty() ? QJsonValue() : QJsonValue(text); }

QJsonValue number(const ReplyFact& fact, int index)
{
    return index < fact.numbers.size() ? QJsonValue(fact.numbers.at(index)) : QJsonValue();
}

QJsonValue fNumberAt(const ReplyFact& fact, int index)
{
    return index < fact.numbers.size() ? fNumber(fact.numbers.at(index)) : QJsonValue();
}

// The report's name and its labelled values, in the order people read them.
QPair<QString, Fields> labelled(const ReplyFact& fact)
{
    const auto text = [&](const char* key) { return Fields{{QLatin1String(key), orNull(fact.text.trimmed())}}; };
    switch (fact.kind) {
    case Kind::Identification:
        return {QStringLiteral("identification"),
                {{QStringLiteral("product"), fact.text}, {QStringLiteral("firmware"), fact.version.trimmed()}}};
    case Kind::NoLens:
        return {QStringLiteral("noLens"), {}};
    case Kind::Positions:
        return {QStringLiteral("positions"),
                {{QStringLiteral("zoom"), number(fact, 0)},
                 {QStringLiteral("focus"), number(fact, 1)},
                 {QStringLiteral("aperture"), fNumberAt(fact, 2)}}};
    case Kind::LensDescription:
        return {QStringLiteral("lens"), text("description")};
    case Kind::Protocol:
        return {QStringLiteral("protocol"), {{QStringLiteral("protocol"), number(fact, 0)}}};
    case Kind::ApertureRange:
        return {QStringLiteral("apertureRange"),
                {{QStringLiteral("apertureWidest"), fact.on ? fNumberAt(fact, 0) : QJsonValue()},
                 {QStringLiteral("apertureNarrowest"), fact.on ? fNumberAt(fact, 1) : QJsonValue()}}};
    case Kind::ZoomRange:
        return {QStringLiteral("zoomRange"),
                {{QStringLiteral("zoomWide"), number(fact, 0)}, {QStringLiteral("zoomTele"), number(fact, 1)}}};
    case Kind::FocusRange:
        return {QStringLiteral("focusRange"),
                {{QStringLiteral("focusFar"), number(fact, 0)}, {QStringLiteral("focusNear"), number(fact, 1)}}};
    case Kind::LensSummary:
        return {QStringLiteral("lensSummary"), {}};
    case Kind::AutoFocus:
        return {QStringLiteral("autoFocus"), {{QStringLiteral("autoFocus"), fact.on}}};
    case Kind::StabiliserPresent:
        return {QStringLiteral("stabilizer"), {{QStringLiteral("stabilizer"), fact.on}}};
    case Kind::StabiliserActive:
        return {QStringLiteral("stabilizerActive"), {{QStringLiteral("stabilizerActive"), fact.on}}};
    case Kind::Name:
        return {QStringLiteral("name"), {{QStringLiteral("name"), fact.text.trimmed()}}};
    case Kind::FocusTimeout:
        return {QStringLiteral("focusTimeout"), {{QStringLiteral("focusTimeout"), number(fact, 0)}}};
    case Kind::ZoomDone:
        return {QStringLiteral("zoomDone"), {}};
    case Kind::ControllerError:
        return {QStringLiteral("error"), {{QStringLiteral("message"), fact.text}}};
    case Kind::FocusDone:
        return {QStringLiteral("focusDone"), {}};
    case Kind::IrisDone:
        return {QStringLiteral("apertureDone"), {}};
    case Kind::ZoomPosition:
        return {QStringLiteral("zoom"), {{QStringLiteral("zoom"), number(fact, 0)}}};
    case Kind::FocusPosition:
        return {QStringLiteral("focus"), {{QStringLiteral("focus"), number(fact, 0)}}};
    case Kind::IrisPosition:
        return {QStringLiteral("aperture"), {{QStringLiteral("aperture"), fNumberAt(fact, 0)}}};
    case Kind::Vendor:
        return {QStringLiteral("vendor"),
                {{QStringLiteral("vendor"), fact.on ? orNull(fact.text.trimmed()) : QJsonValue()}}};
    case Kind::Hardware:
        return {QStringLiteral("hardware"), text("hardware")};
    case Kind::BootLoader:
        return {QStringLiteral("bootLoader"), text("bootLoader")};
    case Kind::Serial:
        return {QStringLiteral("serial"), text("serial")};
    case Kind::Mac:
        return {QStringLiteral("mac"),
                {{QStringLiteral("mac"), orNull(fact.text)},
                 {QStringLiteral("macAddress"), orNull(macAddress(fact.text))}}};
    case Kind::Address:
        return {QStringLiteral("address"), text("address")};
    case Kind::Mask:
        return {QStringLiteral("mask"), text("mask")};
    case Kind::Gateway:
        return {QStringLiteral("gateway"), text("gateway")};
    }
    return {QString(), {}};
}

} // namespace

QJsonValue fNumber(double value) { return FNumbers::shortest(value).toDouble(); }

QString macAddress(const QString& reported)
{
    const QStringList octets = reported.split(QLatin1Char('-'));
    if (octets.size() != 6)
        return QString();
    QStringList hex;
    for (const QString& octet : octets) {
        bool ok = false;
        const int value = octet.toInt(&ok, 10);
        if (!ok || value < 0 || value > 255)
            return QString();
        hex << QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    return hex.join(QLatin1Char(':'));
}

QString timestamp(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QStringLiteral("+00:00");
}

QJsonValue position(const DeviceRecord& record)
{
    if (record.lensAbsent)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("zoom"), orNull(record.zoom)},
                       {QStringLiteral("focus"), orNull(record.focus)},
                       {QStringLiteral("aperture"), orNull(record.fNumber)}};
}

QString positionText(const DeviceRecord& record)
{
    if (record.lensAbsent)
        return QCoreApplication::translate("Cli", "no lens");
    const QJsonObject values = position(record).toObject();
    QStringList shown;
    for (const char* key : {"zoom", "focus", "aperture"}) {
        const QJsonValue value = values.value(QLatin1String(key));
        shown << (value.isNull() ? QCoreApplication::translate("Cli", "unknown")
                                 : FNumbers::shortest(value.toDouble()));
    }
    return QCoreApplication::translate("Cli", "zoom %1 mm, focus %2, f/%3").arg(shown.at(0), shown.at(1), shown.at(2));
}

QJsonObject info(const QString& controller, const DeviceRecord& record)
{
    const QJsonValue lens = record.lensAbsent
        ? QJsonValue()
        : QJsonObject{
            {QStringLiteral("description"), orNull(record.lensDescription)},
            {QStringLiteral("zoomWide"), orNull(record.zoomWide)},
            {QStringLiteral("zoomTele"), orNull(record.zoomTele)},
            {QStringLiteral("focusFar"), orNull(record.focusFar)},
            {QStringLiteral("focusNear"), orNull(record.focusNear)},
            {QStringLiteral("apertureWidest"), orNull(record.widestFNumber)},
            {QStringLiteral("apertureNarrowest"), orNull(record.narrowestFNumber)},
            {QStringLiteral("autoFocus"), orNull(record.autoFocus)},
            {QStringLiteral("stabilizer"), orNull(record.stabiliser)},
            {QStringLiteral("stabilizerActive"), orNull(record.stabiliserActive)},
        };
    return QJsonObject{
        {QStringLiteral("controller"), controller},
        {QStringLiteral("product"), orNull(record.product)},
        {QStringLiteral("firmware"), orNull(record.firmware.trimmed())},
        {QStringLiteral("bootLoader"), orNull(record.bootLoader)},
        {QStringLiteral("protocol"), orNull(record.protocol)},
        {QStringLiteral("name"), record.name ? QJsonValue(*record.name) : QJsonValue()},
        {QStringLiteral("serial"), orNull(record.serial)},
        {QStringLiteral("mac"), orNull(record.mac)},
        {QStringLiteral("macAddress"), orNull(macAddress(record.mac))},
        {QStringLiteral("hardware"), orNull(record.hardware)},
        {QStringLiteral("vendor"), orNull(record.vendor.trimmed())},
        {QStringLiteral("address"), orNull(record.address)},
        {QStringLiteral("mask"), orNull(record.mask)},
        {QStringLiteral("gateway"), orNull(record.gateway)},
        {QStringLiteral("focusTimeout"), orNull(record.focusTimeout)},
        {QStringLiteral("lens"), lens},
        {QStringLiteral("position"), position(record)},
    };
}

QJsonObject report(const ReplyFact& fact)
{
    const QPair<QString, Fields> shape = labelled(fact);
    QJsonObject object{{QStringLiteral("report"), shape.first}};
    for (const auto& field : shape.second)
        object.insert(field.first, field.second);
    return object;
}

QString reportText(const ReplyFact& fact)
{
    const QPair<QString, Fields> shape = labelled(fact);
    QStringList values;
    for (const auto& field : shape.second) {
        const QJsonValue& value = field.second;
        const QString shown = value.isNull() ? QStringLiteral("unknown")
            : value.isBool()                 ? QLatin1String(value.toBool() ? "on" : "off")
            : value.isDouble()               ? FNumbers::shortest(value.toDouble())
                                             : value.toString();
        values << QStringLiteral("%1 %2").arg(field.first, shown);
    }
    return values.isEmpty() ? shape.first : QStringLiteral("%1: %2").arg(shape.first, values.join(QLatin1String(", ")));
}

} // namespace JsonVocabulary
