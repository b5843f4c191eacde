#pragma once

#include "alpaca/AlpacaResult.h"

#include <QVariantList>
#include <QVector>

class FocuserDevice;

// The members of the Alpaca focuser API (interface version 4) as one table:
// each member's name in the URL, its HTTP method, the parameters it takes
// and what it does to a device. The router checks the method and reads the
// parameters in the order given here before a member runs; run() gets
// their values (bool, int or QString) in that order.
//
// The raw command members answer NotImplemented: no command text of a
// client reaches a controller.
namespace FocuserMembers {

enum class Verb { Get, Put };

enum class Kind { Bool, Int, Text };

struct Parameter
{
    const char* name;
    Kind kind;
};

struct Member
{
    const char* name;
    Verb verb;
    QVector<Parameter> parameters;
    // Runs on the controller thread.
    AlpacaResult (*run)(FocuserDevice& device, const QVariantList& arguments);
    // Setting "connected" to true waits until the controller is identified.
    bool awaitsConnection = false;
};

constexpr int InterfaceVersion = 4;

// Every member, common ones first.
const QVector<Member>& all();

// The member `name` (exact: URLs are lower case) for `verb`, or nullptr;
// *otherVerb tells whether the name exists for the other method.
const Member* find(const QByteArray& name, Verb verb, bool* otherVerb);

} // namespace FocuserMembers
