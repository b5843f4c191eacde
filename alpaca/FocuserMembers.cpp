#include "alpaca/FocuserMembers.h"

#include "alpaca/AlpacaErrors.h"
#include "alpaca/FocuserActions.h"
#include "alpaca/FocuserDevice.h"

#include <QCoreApplication>
#include <QJsonArray>

namespace FocuserMembers {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("FocuserMembers", text); }

AlpacaResult notImplemented(FocuserDevice&, const QVariantList&)
{
    return AlpacaResult::failure(AlpacaError::NotImplemented, tr("Not implemented by this focuser."));
}

AlpacaResult rawCommand(FocuserDevice&, const QVariantList&)
{
    return AlpacaResult::failure(AlpacaError::NotImplemented,
                                 tr("Raw commands are not passed to the controller; use the actions."));
}

} // namespace

const QVector<Member>& all()
{
    using Args = const QVariantList&;
    static const QVector<Member> members{
        // Common to every Alpaca device.
        {"action",
         Verb::Put,
         {{"Action", Kind::Text}, {"Parameters", Kind::Text}},
         [](FocuserDevice& d, Args a) { return d.action(a[0].toString(), a[1].toString()); }},
        {"commandblind", Verb::Put, {}, rawCommand},
        {"commandbool", Verb::Put, {}, rawCommand},
        {"commandstring", Verb::Put, {}, rawCommand},
        {"connected", Verb::Get, {}, [](FocuserDevice& d, Args) { return d.connected(); }},
        {"connected",
         Verb::Put,
         {{"Connected", Kind::Bool}},
         [](FocuserDevice& d, Args a) { return d.setConnected(a[0].toBool()); },
         true},
        {"connect", Verb::Put, {}, [](FocuserDevice& d, Args) { return d.connect(); }},
        {"connecting", Verb::Get, {}, [](FocuserDevice& d, Args) { return d.connecting(); }},
        {"disconnect", Verb::Put, {}, [](FocuserDevice& d, Args) { return d.setConnected(false); }},
        {"devicestate",
         Verb::Get,
         {},
         [](FocuserDevice& d, Args) { return d.deviceState(QDateTime::currentDateTimeUtc()); }},
        {"description", Verb::Get, {}, [](FocuserDevice& d, Args) { return AlpacaResult::of(d.description()); }},
        {"driverinfo",
         Verb::Get,
         {},
         [](FocuserDevice&, Args) {
             return AlpacaResult::of(
                 tr("LensDesk Alpaca server %1: lens controllers as focusers").arg(QStringLiteral(LENSDESK_VERSION)));
         }},
        {"driverversion",
         Verb::Get,
         {},
         [](FocuserDevice&, Args) { return AlpacaResult::of(QStringLiteral(LENSDESK_VERSION)); }},
        {"interfaceversion", Verb::Get, {}, [](FocuserDevice&, Args) { return AlpacaResult::of(InterfaceVersion); }},
        {"name", Verb::Get, {}, [](FocuserDevice& d, Args) { return AlpacaResult::of(d.name()); }},
        {"supportedactions",
         Verb::Get,
         {},
         [](FocuserDevice&, Args) { return AlpacaResult::of(QJsonArray::fromStringList(FocuserActions::names())); }},
        // The focuser's own.
        {"absolute", Verb::Get, {}, [](FocuserDevice&, Args) { return AlpacaResult::of(true); }},
        {"halt", Verb::Put, {}, [](FocuserDevice& d, Args) { return d.halt(); }},
        {"ismoving", Verb::Get, {}, [](FocuserDevice& d, Args) { return d.isMoving(); }},
        {"maxincrement", Verb::Get, {}, [](FocuserDevice& d, Args) { return d.maxStep(); }},
        {"maxstep", Verb::Get, {}, [](FocuserDevice& d, Args) { return d.maxStep(); }},
        {"move", Verb::Put, {{"Position", Kind::Int}}, [](FocuserDevice& d, Args a) { return d.move(a[0].toInt()); }},
        {"position", Verb::Get, {}, [](FocuserDevice& d, Args) { return d.position(); }},
        {"stepsize", Verb::Get, {}, notImplemented},
        {"tempcomp", Verb::Get, {}, [](FocuserDevice&, Args) { return AlpacaResult::of(false); }},
        {"tempcomp", Verb::Put, {{"TempComp", Kind::Bool}}, notImplemented},
        {"tempcompavailable", Verb::Get, {}, [](FocuserDevice&, Args) { return AlpacaResult::of(false); }},
        {"temperature", Verb::Get, {}, notImplemented},
    };
    return members;
}

const Member* find(const QByteArray& name, Verb verb, bool* otherVerb)
{
    *otherVerb = false;
    for (const Member& member : all()) {
        if (name != member.name)
            continue;
        if (member.verb == verb)
            return &member;
        *otherVerb = true;
    }
    return nullptr;
}

} // namespace FocuserMembers
