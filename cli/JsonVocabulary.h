#pragma once

#include "link/ReplyReader.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

struct DeviceRecord;

// The names lensdesk-cli gives to what it reports, in JSON and in text: one
// name per quantity across all commands (the manual page lists them all
// under JSON OUTPUT). "aperture" is the f-number everywhere; "controller"
// is the address the command was given; null is unknown, and "no lens".
namespace JsonVocabulary {

// {"zoom":…,"focus":…,"aperture":…}, null when the controller sees no lens.
QJsonValue position(const DeviceRecord& record);
// The same for people: "zoom 35 mm, focus 812, f/5.6", "no lens".
QString positionText(const DeviceRecord& record);
// Everything "info" tells about the controller and its lens.
QJsonObject info(const QString& controller, const DeviceRecord& record);
// One report of the controller, its values labelled: {"report":"zoomRange",
// "zoomWide":18,"zoomTele":55}.
QJsonObject report(const ReplyFact& fact);
// The same for people: "zoomRange: zoomWide 18, zoomTele 55".
QString reportText(const ReplyFact& fact);

// The controller's MAC text (six decimal octets joined by "-") as
// aa:bb:cc:dd:ee:ff; empty when it is not one.
QString macAddress(const QString& reported);
// UTC with its offset and milliseconds: 2026-12-09T21:05:07.042+00:00.
QString timestamp(const QDateTime& time);
// An f-number as JSON: 5.6, not 5.599999904632568.
QJsonValue fNumber(double value);

} // namespace JsonVocabulary
