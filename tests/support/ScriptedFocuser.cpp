#include "ScriptedFocuser.h"

#include "lens/FNumbers.h"

ScriptedFocuser::ScriptedFocuser(const QString& address)
    : controllerAddress(address)
{ }

bool ScriptedFocuser::order(const QString& text, QString* why)
{
    if (!refusal.isEmpty()) {
        *why = refusal;
        return false;
    }
    orders << text;
    return true;
}

void ScriptedFocuser::reconnect()
{
    orders << QStringLiteral("reconnect");
    linkState = afterReconnect;
}

bool ScriptedFocuser::moveTo(int position, QString* why)
{
    if (!order(QStringLiteral("moveTo %1").arg(position), why))
        return false;
    motionState = Motion::Moving;
    return true;
}

void ScriptedFocuser::halt()
{
    orders << QStringLiteral("halt");
    motionState = Motion::Idle;
}

bool ScriptedFocuser::setFNumber(float fNumber, QString* why)
{
    return order(QStringLiteral("setFNumber ") + FNumbers::shortest(fNumber), why);
}

bool ScriptedFocuser::setZoom(int millimetres, QString* why)
{
    return order(QStringLiteral("setZoom %1").arg(millimetres), why);
}

bool ScriptedFocuser::setStabiliser(bool on, QString* why)
{
    return order(on ? QStringLiteral("setStabiliser on") : QStringLiteral("setStabiliser off"), why);
}
