#pragma once

#include "alpaca/AlpacaResult.h"

#include <QString>
#include <QStringList>
#include <QVector>

class AlpacaFocuser;

// The device-specific actions of the focuser devices ("supportedactions",
// "action"): the lens's aperture, zoom, stabiliser and description. Each
// takes its argument as the "Parameters" text and answers with a text.
// Action names are matched without regard to case. None of them reaches the
// controller's network settings, firmware, name or identity.
//
// Called on the controller thread, with the controller connected.
namespace FocuserActions {

struct Action
{
    const char* name;
    // What "Parameters" holds (nullptr: nothing) and what the action
    // answers, untranslated (QT_TRANSLATE_NOOP in the context
    // "FocuserActions"): the setup page lists them.
    const char* parameters;
    const char* result;
    AlpacaResult (*run)(AlpacaFocuser& focuser, const QString& parameters);
};

const QVector<Action>& all();
QStringList names();
// The action named `name` (any case), or nullptr.
const Action* find(const QString& name);

} // namespace FocuserActions
