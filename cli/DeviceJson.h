#pragma once

#include "link/DeviceRecord.h"

#include <QJsonObject>

// The command-line client's JSON output of what it knows about a controller.
namespace DeviceJson {

// "info": every known value, null for those not reported.
QJsonObject record(const DeviceRecord& record);

// One fact for "watch": {"report": kind, ...values}.
QJsonObject fact(const ReplyFact& fact);

} // namespace DeviceJson
