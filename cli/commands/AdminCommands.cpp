// The commands that administer the controller: name, focus-timeout,
// protocol, restart, network.

#include "admin/AddressChange.h"
#include "admin/GatewayGuess.h"
#include "platform/Platform.h"
#include "cli/Cli.h"
#include "cli/ControllerSession.h"
#include "link/ConnectionExchange.h"
#include "link/DottedQuad.h"
#include "link/Protocol.h"
#include "link/TargetAddress.h"

#include <QCoreApplication>
#include <QJsonObject>

namespace {

using Kind = ReplyFact::Kind;
using Reason = Output::Reason;

using Protocol::Limits::FocusTimeoutMaximumMs;
using Protocol::Limits::FocusTimeoutMinimumMs;
constexpr int NameLengthLimit = Protocol::Limits::NameLength;

bool isPrintableAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

} // namespace

int Cli::name()
{
    QString text = argument(1);
    const auto check = [&]() -> QString {
        if (text.size() > NameLengthLimit || !isPrintableAscii(text))
            return tr("A controller name has at most 7 characters, printable ASCII only.");
        // The controller clears its name only when given blanks.
        if (text.isEmpty())
            text = QString(NameLengthLimit, QLatin1Char(' '));
        return QString();
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        // The name asked for by the connection exchange comes first.
        const DeviceRecord& record = session.record();
        session.waitUntil([&] { return record.count(Kind::Name) > 0; }, limit(AnswersLimitMs));
        session.send(QString::fromLatin1(Protocol::Command::SetName).arg(text));
        if (!sendAndAwait(session, QLatin1String(Protocol::Command::GetName), {Kind::Name}, limit(AnswersLimitMs),
                          &status))
            return status;
        if (record.name.value_or(QString()) != text.trimmed())
            return failure(Reason::Refused,
                           tr("The controller kept the name \"%1\"; try again.")
                               .arg(Output::escaped(record.name.value_or(QString()))));
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("name"), text.trimmed()},
                                  {QStringLiteral("set"), true}},
                      tr("Name set to \"%1\".").arg(text.trimmed()));
    });
}

int Cli::focusTimeout()
{
    int milliseconds = 0;
    const auto check = [&]() -> QString {
        return wholeNumber(argument(1), FocusTimeoutMinimumMs, FocusTimeoutMaximumMs, &milliseconds)
            ? QString()
            : tr("The focus time-out is a whole number of milliseconds from 1 to 10000.");
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        using namespace Protocol::Command;
        session.send(QString::fromLatin1(SetFocusTimeout).arg(milliseconds));
        if (!sendAndAwait(session, QLatin1String(GetFocusTimeout), {Kind::FocusTimeout}, limit(AnswersLimitMs),
                          &status))
            return status;
        const int now = session.record().focusTimeout.value_or(-1);
        if (now != milliseconds)
            return failure(Reason::Refused, tr("The controller kept a focus time-out of %1 ms; try again.").arg(now));
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("focusTimeout"), now},
                                  {QStringLiteral("set"), true}},
                      tr("Focus time-out set to %1 ms.").arg(now));
    });
}

int Cli::protocol()
{
    int index = 0;
    const auto check = [&]() -> QString {
        return wholeNumber(argument(1), 0, 2, &index) ? QString() : tr("The lens protocol is 0, 1 or 2.");
    };
    return onController(check, [&](ControllerSession& session) -> int {
        const DeviceRecord& record = session.record();
        const QString firmware = Output::escaped(record.firmware.trimmed());
        // The protocol in use, asked by the connection exchange.
        session.waitUntil([&] { return record.protocol.has_value(); }, limit(AnswersLimitMs));
        using Decision = ConnectionExchange::ProtocolDecision;
        switch (ConnectionExchange::decideProtocol(index, record.protocol, session.link().verdict())) {
        case Decision::Switch:
            break;
        case Decision::AlreadyInUse:
            return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                      {QStringLiteral("protocol"), index},
                                      {QStringLiteral("restarting"), false}},
                          tr("Lens protocol %1 is already in use; nothing was sent.").arg(index));
        case Decision::NoChoice:
            return failure(Reason::Refused,
                           tr("Firmware %1 cannot change the lens protocol; update the firmware first.").arg(firmware));
        case Decision::NeedsRecentFirmware:
        case Decision::NoSuchProtocol:
            return failure(
                Reason::Refused,
                tr("Firmware %1 has no lens protocol %2; it comes with firmware 1.9.").arg(firmware).arg(index));
        }
        session.send(QString::fromLatin1(Protocol::Command::SetProtocol).arg(index));
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("protocol"), index},
                                  {QStringLiteral("restarting"), true}},
                      tr("Lens protocol %1 selected; the controller restarts to apply it.").arg(index));
    });
}

int Cli::restart()
{
    return onController(nullptr, [&](ControllerSession& session) -> int {
        session.send(QLatin1String(Protocol::Command::Reboot));
        return finish(
            QJsonObject{{QStringLiteral("controller"), session.address()}, {QStringLiteral("restarting"), true}},
            tr("The controller at %1 restarts.").arg(session.address()));
    });
}

int Cli::network()
{
    QString newAddress, mask, gateway;
    const auto check = [&]() -> QString {
        // Each new value as a canonical dotted quad.
        for (const auto& field : {std::make_pair("--address", &newAddress), std::make_pair("--mask", &mask),
                                  std::make_pair("--gateway", &gateway)}) {
            const QString option = QLatin1String(field.first);
            const QString text = options().values.value(option);
            if (text.isNull() && field.second == &gateway)
                continue;
            if (!DottedQuad::isValid(text))
                return tr("%1 takes four numbers 0 to 255, for example %1 192.168.0.10.").arg(option);
            *field.second = DottedQuad::canonical(text);
        }
        const QString problem = TargetAddress::problem(DottedQuad::parse(newAddress));
        if (!problem.isEmpty())
            return tr("%1 cannot be a controller's address: %2.").arg(newAddress, problem);
        if (gateway.isEmpty())
            gateway = GatewayGuess::guess(newAddress, mask);
        return QString();
    };
    // The serial number and MAC address tell one controller from another.
    const auto askIdentity = [this](ControllerSession& session, int* status) {
        using namespace Protocol::Command;
        return sendAndAwait(session, QLatin1String(GetSerial), {Kind::Serial}, limit(AnswersLimitMs), status)
            && sendAndAwait(session, QLatin1String(GetMac), {Kind::Mac}, limit(AnswersLimitMs), status);
    };
    return onController(check, [&](ControllerSession& session) -> int {
        int status = Done;
        // Who is moved is read before anything changes.
        if (!askIdentity(session, &status))
            return status;

        // The panel's address change.
        AddressChange::Means means;
        means.send = [&session](const QString& command) { session.send(command); };
        means.wait = [&session](int milliseconds) { session.pause(milliseconds); };
        means.flushAddressCache = [&] {
            const Platform::AddressCacheFlush flush = Platform::flushAddressResolutionCache();
            if (flush.listingError != 0)
                output().note(tr("Warning: the address cache could not be read (error %1); if the controller is not "
                                 "found at %2, wait a minute and run lensdesk-cli info %2.")
                                  .arg(flush.listingError)
                                  .arg(newAddress));
            else if (flush.refused)
                output().note(tr("Warning: the host's address cache could not be cleared: that needs the "
                                 "network-administration privilege. If the controller is not found at %1, wait a "
                                 "minute and run lensdesk-cli info %1.")
                                  .arg(newAddress));
        };
        AddressChange(newAddress, mask, gateway).run(means);
        if (isStopping())
            return Failed;

        ControllerSession moved(newAddress);
        attach(moved);
        if (!moved.isOpen() || !moved.identify(limit(Protocol::Pacing::IdentifyLimitMs)))
            return failure(Reason::Timeout,
                           tr("The controller did not answer at %1 after the change; check that "
                              "the new address is reachable from this host, then run "
                              "lensdesk-cli info %1.")
                               .arg(newAddress));
        if (!askIdentity(moved, &status))
            return status;
        const DeviceRecord& before = session.record();
        const DeviceRecord& after = moved.record();
        if (!AddressChange::isSameController(before, after))
            return failure(Reason::Refused,
                           tr("Another device answers at %1 (S/N %2, MAC %3), not the controller whose address was "
                              "changed (S/N %4, MAC %5); two devices may now share that address.")
                               .arg(newAddress, Output::escaped(after.serial), Output::escaped(after.mac),
                                    Output::escaped(before.serial), Output::escaped(before.mac)));
        return finish(QJsonObject{{QStringLiteral("controller"), session.address()},
                                  {QStringLiteral("address"), newAddress},
                                  {QStringLiteral("mask"), mask},
                                  {QStringLiteral("gateway"), gateway},
                                  {QStringLiteral("changed"), true}},
                      tr("The controller answers at %1 (mask %2, gateway %3).").arg(newAddress, mask, gateway));
    });
}
