#include "cli/DeviceJson.h"

#include "lens/FNumbers.h"

#include <QJsonArray>

namespace {

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

namespace DeviceJson {

QJsonObject record(const DeviceRecord& record)
{
    return QJsonObject{
        {QStringLiteral("product"), json(record.product)},
        {QStringLiteral("firmware"), json(record.firmware.trimmed())},
        {QStringLiteral("bootLoader"), json(record.bootLoader)},
        {QStringLiteral("protocol"), json(record.protocol)},
        {QStringLiteral("name"), record.name ? QJsonValue(*record.name) : QJsonValue()},
        {QStringLiteral("serial"), json(record.serial)},
        {QStringLiteral("mac"), json(record.mac)},
        {QStringLiteral("hardware"), json(record.hardware)},
        {QStringLiteral("vendor"), json(record.vendor.trimmed())},
        {QStringLiteral("address"), json(record.address)},
        {QStringLiteral("mask"), json(record.mask)},
        {QStringLiteral("gateway"), json(record.gateway)},
        {QStringLiteral("lens"),
         record.lensAbsent ? QJsonValue()
                           : QJsonValue(QJsonObject{
                               {QStringLiteral("description"), json(record.lensDescription)},
                               {QStringLiteral("zoomWide"), json(record.zoomWide)},
                               {QStringLiteral("zoomTele"), json(record.zoomTele)},
                               {QStringLiteral("focusFar"), json(record.focusFar)},
                               {QStringLiteral("focusNear"), json(record.focusNear)},
                               {QStringLiteral("widestFNumber"), json(record.widestFNumber)},
                               {QStringLiteral("narrowestFNumber"), json(record.narrowestFNumber)},
                               {QStringLiteral("autoFocus"), json(record.autoFocus)},
                               {QStringLiteral("stabiliser"), json(record.stabiliser)},
                               {QStringLiteral("stabiliserActive"), json(record.stabiliserActive)},
                           })},
        {QStringLiteral("position"),
         record.lensAbsent ? QJsonValue()
                           : QJsonValue(QJsonObject{
                               {QStringLiteral("zoom"), json(record.zoom)},
                               {QStringLiteral("focus"), json(record.focus)},
                               {QStringLiteral("aperture"), json(record.fNumber)},
                           })},
    };
}

QJsonObject fact(const ReplyFact& fact)
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

} // namespace DeviceJson
