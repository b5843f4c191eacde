#include "cli/Cli.h"

#include "admin/FirmwareCipher.h"
#include "admin/FirmwareImage.h"
#include "admin/GatewayGuess.h"
#include "admin/TftpUpload.h"
#include "admin/UpdateMode.h"
#include "base/SettingsStore.h"
#include "cli/ControllerSession.h"
#include "cli/UploadProgress.h"
#include "discovery/LanSearch.h"
#include "lens/FNumbers.h"
#include "lens/LensWaits.h"
#include "lens/ProfileText.h"
#include "link/DottedQuad.h"
#include "link/Protocol.h"
#include "link/ReplyText.h"
#include "link/VersionRules.h"
#include "link/pingWorker.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopedPointer>
#include <QSettings>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>

#include <unistd.h>

namespace {

using Kind = ReplyFact::Kind;

using Protocol::Pacing::IdentifyLimitMs;
// The answers to the identity questions and the lens reports the controller
// volunteers after "ver" come within a second on any network it is used on.
constexpr int AnswersLimitMs = 2000;
// "send" listens this long unless told otherwise.
constexpr int SendListenMs = 1000;
// After "zoomDone" the controller confirms focus and iris held through the
// zoom move; they follow at once when they come.
constexpr int HoldConfirmationMs = 300;
using Protocol::Limits::FocusTimeoutMaximumMs;
using Protocol::Limits::FocusTimeoutMinimumMs;
using Protocol::Limits::StabiliserMaximumSeconds;
constexpr int NameLengthLimit = Protocol::Limits::NameLength;
// Relative steps beyond this are typing errors, not moves.
constexpr int NudgeLimit = 100000;
// Above f/90 the controller means "no aperture".
constexpr double LargestFNumber = 90;

QString tr(const char* text) { return QCoreApplication::translate("lensdesk-cli", text); }

void writeLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

bool readInt(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok, 10);
    return ok && *value >= low && *value <= high;
}

QString orUnknown(const QString& text) { return text.isEmpty() ? tr("unknown") : text; }

template <typename T>
QString orUnknown(const std::optional<T>& value)
{
    return value ? FNumbers::shortest(double(*value)) : tr("unknown");
}

QString positionText(const DeviceRecord& record)
{
    if (record.lensAbsent)
        return tr("no lens");
    return tr("zoom %1 mm, focus %2, f/%3")
        .arg(orUnknown(record.zoom), orUnknown(record.focus), orUnknown(record.fNumber));
}

QJsonObject positionJson(const DeviceRecord& record)
{
    return record.toJson().value(QStringLiteral("position")).toObject();
}

} // namespace

Cli::Cli(const CliArguments& arguments, QObject* parent)
    : QObject(parent)
    , m_arguments(arguments)
{ }

QString Cli::helpText(const QString& command)
{
    static const QList<QPair<QString, QString>> commands{
        {QStringLiteral("search"),
         tr("search\n    Lists the controllers on every local IPv4 network (address, product, "
            "firmware).\n    Exit status 3 when none answers.")},
        {QStringLiteral("info"),
         tr("info ADDRESS\n    Identification, boot loader, lens protocol, name, S/N, MAC, "
            "hardware, vendor,\n    IP settings, lens ranges and current positions.")},
        {QStringLiteral("move"),
         tr("move ADDRESS [--zoom MM] [--focus COUNT] [--aperture FNUMBER]\n    Absolute "
            "move of zoom, focus and aperture, in that order; waits until\n    the "
            "controller reports each move done. Zoom needs a power-zoom model.")},
        {QStringLiteral("nudge"),
         tr("nudge ADDRESS zoom|focus|aperture STEPS\n    One relative move by STEPS "
            "(negative: the other way); prints the new position.")},
        {QStringLiteral("stabilizer"),
         tr("stabilizer ADDRESS SECONDS\n    Switches image stabilisation on for "
            "SECONDS (1 to 60), or off with 0.")},
        {QStringLiteral("preset"),
         tr("preset list | preset save NAME ADDRESS | preset recall NAME ADDRESS | "
            "preset delete NAME\n    The panel's stored lens positions: list them, store "
            "the current one,\n    drive the lens to one, or delete one.")},
        {QStringLiteral("name"),
         tr("name ADDRESS TEXT\n    Sets the controller's name (at most 7 characters; an "
            "empty TEXT clears it).")},
        {QStringLiteral("focus-timeout"),
         tr("focus-timeout ADDRESS MS\n    Sets the focus time-out, 1 to 10000 "
            "ms.")},
        {QStringLiteral("protocol"),
         tr("protocol ADDRESS 0|1|2\n    Selects the lens-bus protocol; the controller "
            "restarts to apply it.")},
        {QStringLiteral("restart"), tr("restart ADDRESS\n    Restarts the controller.")},
        {QStringLiteral("network"),
         tr("network ADDRESS --address A --mask M [--gateway G]\n    Changes the "
            "controller's address, mask and gateway (by default the\n    first host of "
            "the new network), restarts it, and waits until it answers\n    at the new "
            "address.")},
        {QStringLiteral("firmware"),
         tr("firmware ADDRESS FILE [--yes] [--tftp-port PORT]\n    Checks the firmware "
            "file, then uploads it to the controller by TFTP.\n    Asks first unless "
            "--yes is given; without a terminal --yes is required.")},
        {QStringLiteral("watch"),
         tr("watch ADDRESS\n    One line per report of the controller (positions, AF, IS, "
            "errors) until\n    interrupted; exit status 1 once the controller falls "
            "silent.")},
        {QStringLiteral("send"),
         tr("send ADDRESS TEXT\n    Sends one command, verbatim, and prints the replies "
            "that arrive within\n    --timeout (default 1 s). Exit status 1 when none "
            "arrives.")},
    };
    for (const auto& entry : commands)
        if (entry.first == command)
            return tr("Usage: lensdesk-cli [--json] [--timeout SECONDS] %1").arg(entry.second);

    QStringList text{tr("Usage: lensdesk-cli [--json] [--timeout SECONDS] COMMAND ARGS...\n\n"
                        "Drives and administers ORVO Ethernet lens controllers (UDP port 1339).\n\n"
                        "  --json             every result as JSON on standard output\n"
                        "  --timeout SECONDS  bound of every wait (default: the panel's own limits)\n"
                        "  --help             this text; COMMAND --help for one command\n\n"
                        "Commands:")};
    for (const auto& entry : commands)
        text << QStringLiteral("  ") + entry.second.section(QLatin1Char('\n'), 0, 0);
    text << tr("\nExit status: 0 done; 1 the controller refused, reported an error or did not answer in time;\n"
               "2 bad usage or bad input (nothing was sent); 3 search found nothing.");
    return text.join(QLatin1Char('\n'));
}

int Cli::run()
{
    if (m_arguments.help) {
        writeLine(stdout, helpText(m_arguments.command));
        return Done;
    }
    if (m_arguments.command.isEmpty()) {
        writeLine(stderr, helpText());
        return BadUsage;
    }
    static const QHash<QString, int (Cli::*)()> commands{
        {QStringLiteral("search"), &Cli::search},
        {QStringLiteral("info"), &Cli::info},
        {QStringLiteral("move"), &Cli::move},
        {QStringLiteral("nudge"), &Cli::nudge},
        {QStringLiteral("stabilizer"), &Cli::stabilizer},
        {QStringLiteral("preset"), &Cli::preset},
        {QStringLiteral("name"), &Cli::name},
        {QStringLiteral("focus-timeout"), &Cli::focusTimeout},
        {QStringLiteral("protocol"), &Cli::protocol},
        {QStringLiteral("restart"), &Cli::restart},
        {QStringLiteral("network"), &Cli::network},
        {QStringLiteral("firmware"), &Cli::firmware},
        {QStringLiteral("watch"), &Cli::watch},
        {QStringLiteral("send"), &Cli::send},
    };
    const auto command = commands.find(m_arguments.command);
    if (command == commands.end())
        return usage(tr("Unknown command \"%1\"; see lensdesk-cli --help.").arg(m_arguments.command));
    return (this->*command.value())();
}

int Cli::usage(const QString& sentence) const
{
    writeLine(stderr, sentence);
    return BadUsage;
}

int Cli::failure(const QString& sentence) const
{
    writeLine(stderr, sentence);
    return Failed;
}

void Cli::print(const QJsonValue& json, const QString& text) const
{
    if (!m_arguments.json) {
        writeLine(stdout, text);
        return;
    }
    const QByteArray document = json.isArray() ? QJsonDocument(json.toArray()).toJson(QJsonDocument::Compact)
                                               : QJsonDocument(json.toObject()).toJson(QJsonDocument::Compact);
    writeLine(stdout, QString::fromUtf8(document));
}

int Cli::limit(int defaultMs) const { return m_arguments.timeoutMs.value_or(defaultMs); }

bool Cli::expectArguments(int count, int* status) const
{
    if (m_arguments.positional.size() == count)
        return true;
    *status = usage(tr("\"%1\" takes %2 argument(s); see lensdesk-cli %1 --help.").arg(m_arguments.command).arg(count));
    return false;
}

QString Cli::addressArgument(int index, int* status) const
{
    const QString text = m_arguments.positional.value(index);
    if (!DottedQuad::isValid(text)) {
        if (status)
            *status = usage(tr("\"%1\" is not an IPv4 address; give the controller's address as four numbers 0 to 255, "
                               "for example 192.168.0.10.")
                                .arg(text));
        return QString();
    }
    return DottedQuad::canonical(text);
}

bool Cli::connectTo(ControllerSession& session, int* status) const
{
    if (!session.isOpen()) {
        *status = failure(tr("No local UDP port from 60000 to 65000 could be opened; free one and try again."));
        return false;
    }
    if (!session.identify(limit(IdentifyLimitMs))) {
        *status = failure(
            tr("No controller answered at %1; check the address, the cable and the firewall.").arg(session.address()));
        return false;
    }
    return true;
}

int Cli::onController(int argumentCount, const std::function<QString()>& check,
                      const std::function<int(ControllerSession&)>& act, int addressIndex)
{
    int status = Done;
    if (!expectArguments(argumentCount, &status))
        return status;
    const QString address = addressArgument(addressIndex, &status);
    if (address.isEmpty())
        return status;
    if (check) {
        const QString problem = check();
        if (!problem.isEmpty())
            return usage(problem);
    }
    ControllerSession session(address);
    if (!connectTo(session, &status))
        return status;
    return act(session);
}

bool Cli::sendAndAwait(ControllerSession& session, const QString& command, const QVector<int>& doneKinds, int timeoutMs,
                       int* status) const
{
    const DeviceRecord& record = session.record();
    QVector<int> before;
    for (int kind : doneKinds)
        before << record.count(Kind(kind));
    const int errorsBefore = record.count(Kind::ControllerError);
    auto answered = [&] {
        for (int i = 0; i < doneKinds.size(); ++i)
            if (record.count(Kind(doneKinds.at(i))) > before.at(i))
                return true;
        return record.count(Kind::ControllerError) > errorsBefore;
    };
    session.send(command);
    if (!session.waitUntil(answered, timeoutMs)) {
        *status = failure(tr("The controller at %1 did not confirm \"%2\" in time; check the lens and try again.")
                              .arg(session.address(), command));
        return false;
    }
    if (record.count(Kind::ControllerError) > errorsBefore) {
        *status = failure(tr("The controller refused \"%1\": %2.").arg(command, record.lastError));
        return false;
    }
    return true;
}

bool Cli::zoomAndAwait(ControllerSession& session, const QString& command, int timeoutMs, int* status) const
{
    const DeviceRecord& record = session.record();
    const int focusDone = record.count(Kind::FocusDone);
    const int irisDone = record.count(Kind::IrisDone);
    if (!sendAndAwait(session, command, {int(Kind::ZoomDone)}, timeoutMs, status))
        return false;
    // Focus and iris were held through the zoom move; their confirmations
    // follow at once and must not be taken for the end of a later move.
    session.waitUntil(
        [&] { return record.count(Kind::FocusDone) > focusDone && record.count(Kind::IrisDone) > irisDone; },
        HoldConfirmationMs);
    return true;
}

int Cli::info()
{
    return onController(1, nullptr, [&](ControllerSession& session) -> int {
        using namespace Protocol::Command;
        for (const char* question :
             {GetSerial, GetMac, GetHardware, GetVendor, GetAddress, GetMask, GetGateway, GetFocusTimeout})
            session.send(QLatin1String(question));
        const DeviceRecord& record = session.record();
        const bool complete = session.waitUntil(
            [&] {
                for (Kind kind : {Kind::BootLoader, Kind::Protocol, Kind::Name, Kind::Serial, Kind::Mac, Kind::Hardware,
                                  Kind::Vendor, Kind::Address, Kind::Mask, Kind::Gateway, Kind::FocusTimeout})
                    if (record.count(kind) == 0)
                        return false;
                return record.lensReported();
            },
            limit(AnswersLimitMs));
        if (!complete)
            writeLine(stderr, tr("Some answers did not come in time; they are shown as unknown."));

        QJsonObject json = record.toJson();
        json.insert(QStringLiteral("focusTimeout"),
                    record.focusTimeout ? QJsonValue(*record.focusTimeout) : QJsonValue());
        auto range = [](const std::optional<int>& from, const std::optional<int>& to) {
            return from && to ? QStringLiteral("%1 to %2").arg(*from).arg(*to) : tr("unknown");
        };
        const QString aperture = !record.apertureRangeKnown ? tr("unknown")
            : record.widestFNumber                          ? QStringLiteral("f/%1 to f/%2")
                                         .arg(FNumbers::shortest(double(*record.widestFNumber)),
                                              FNumbers::shortest(double(*record.narrowestFNumber)))
                                   : tr("none");
        const QStringList lines{
            tr("Product:       %1").arg(record.product),
            tr("Firmware:      %1").arg(record.firmware.trimmed()),
            tr("Boot loader:   %1").arg(record.bootLoader),
            tr("Protocol:      %1").arg(orUnknown(record.protocol)),
            tr("Name:          %1").arg(record.name ? *record.name : tr("unknown")),
            tr("S/N:           %1").arg(orUnknown(record.serial)),
            tr("MAC:           %1").arg(orUnknown(record.mac)),
            tr("Hardware:      %1").arg(orUnknown(record.hardware)),
            tr("Vendor:        %1").arg(orUnknown(record.vendor.trimmed())),
            tr("IP:            %1").arg(orUnknown(record.address)),
            tr("Mask:          %1").arg(orUnknown(record.mask)),
            tr("Gateway:       %1").arg(orUnknown(record.gateway)),
            tr("Focus timeout: %1 ms").arg(orUnknown(record.focusTimeout)),
            tr("Lens:          %1").arg(record.lensAbsent ? tr("none") : orUnknown(record.lensDescription)),
            tr("Zoom range:    %1 mm").arg(range(record.zoomWide, record.zoomTele)),
            tr("Focus range:   %1").arg(range(record.focusFar, record.focusNear)),
            tr("Aperture:      %1").arg(aperture),
            tr("Position:      %1").arg(positionText(record)),
        };
        print(json, lines.join(QLatin1Char('\n')));
        return Done;
    });
}

int Cli::move()
{
    int zoom = 0;
    int focus = 0;
    double fNumber = 0;
    const QString zoomText = m_arguments.values.value(QStringLiteral("--zoom"));
    const QString focusText = m_arguments.values.value(QStringLiteral("--focus"));
    const QString apertureText = m_arguments.values.value(QStringLiteral("--aperture"));
    const auto check = [&]() -> QString {
        if (zoomText.isNull() && focusText.isNull() && apertureText.isNull())
            return tr("Say where to move: --zoom MM, --focus COUNT and/or --aperture FNUMBER.");
        if (!zoomText.isNull() && !readInt(zoomText, 0, 65535, &zoom))
            return tr("--zoom takes a focal length in mm, a whole number, for example --zoom 35.");
        if (!focusText.isNull() && !readInt(focusText, -1000000, 1000000, &focus))
            return tr("--focus takes a focus position, a whole number, for example --focus 812.");
        if (!apertureText.isNull()) {
            bool ok = false;
            fNumber = apertureText.toDouble(&ok);
            if (!ok || !(fNumber > 0 && fNumber <= LargestFNumber))
                return tr("--aperture takes an f-number, for example --aperture 5.6.");
        }
        return QString();
    };
    return onController(1, check, [&](ControllerSession& session) -> int {
        int status = Done;
        const DeviceRecord& record = session.record();
        using namespace Protocol::Command;
        if (!zoomText.isNull()) {
            if (!record.isPowerZoom())
                return failure(tr("The %1 has no power zoom; leave out --zoom.").arg(record.product));
            if (!zoomAndAwait(session, QString::fromLatin1(SetZoom).arg(zoom), limit(LensWaits::MoveConfirmTimeoutMs),
                              &status))
                return status;
        }
        if (!focusText.isNull()
            && !sendAndAwait(session, QString::fromLatin1(SetFocus).arg(focus), {int(Kind::FocusDone)},
                             limit(LensWaits::MoveConfirmTimeoutMs), &status))
            return status;
        if (!apertureText.isNull()
            && !sendAndAwait(session, QString::fromLatin1(SetAperture).arg(FNumbers::shortest(fNumber)),
                             {int(Kind::IrisDone)}, limit(LensWaits::MoveConfirmTimeoutMs), &status))
            return status;
        print(positionJson(record), positionText(record));
        return Done;
    });
}

int Cli::nudge()
{
    using namespace Protocol::Command;
    static const QHash<QString, QPair<const char*, Kind>> axes{
        {QStringLiteral("zoom"), {MoveZoom, Kind::ZoomPosition}},
        {QStringLiteral("focus"), {MoveFocus, Kind::FocusPosition}},
        {QStringLiteral("aperture"), {MoveAperture, Kind::IrisPosition}},
    };
    const QString axis = m_arguments.positional.value(1);
    int steps = 0;
    const auto check = [&]() -> QString {
        if (!axes.contains(axis))
            return tr("\"%1\" is no axis; nudge zoom, focus or aperture.").arg(axis);
        if (!readInt(m_arguments.positional.at(2), -NudgeLimit, NudgeLimit, &steps))
            return tr("STEPS is a whole number from %1 to %2, negative for the other way.")
                .arg(-NudgeLimit)
                .arg(NudgeLimit);
        return QString();
    };
    return onController(3, check, [&](ControllerSession& session) -> int {
        int status = Done;
        if (axis == QLatin1String("zoom") && !session.record().isPowerZoom())
            return failure(tr("The %1 has no power zoom; nudge focus or aperture.").arg(session.record().product));
        const auto word = axes.value(axis);
        const QString command = QString::fromLatin1(StepFormat).arg(QLatin1String(word.first)).arg(steps);
        if (!sendAndAwait(session, command, {int(word.second)}, limit(LensWaits::MoveConfirmTimeoutMs), &status))
            return status;
        print(positionJson(session.record()), positionText(session.record()));
        return Done;
    });
}

int Cli::stabilizer()
{
    int seconds = 0;
    const auto check = [&]() -> QString {
        return readInt(m_arguments.positional.at(1), 0, StabiliserMaximumSeconds, &seconds)
            ? QString()
            : tr("SECONDS is a whole number from 0 (off) to 60.");
    };
    return onController(2, check, [&](ControllerSession& session) -> int {
        int status = Done;
        const QString command = QString::fromLatin1(Protocol::Command::EnableStabiliser).arg(seconds);
        if (!sendAndAwait(session, command, {int(Kind::StabiliserActive)}, limit(AnswersLimitMs), &status))
            return status;
        const bool active = session.record().stabiliserActive.value_or(false);
        print(QJsonObject{{QStringLiteral("stabiliserActive"), active}},
              active ? tr("Stabilisation on for %1 s.").arg(seconds) : tr("Stabilisation off."));
        return Done;
    });
}

int Cli::preset()
{
    const QStringList& arguments = m_arguments.positional;
    const QString action = arguments.value(0);
    if (action == QLatin1String("list") && arguments.size() == 1)
        return presetList();
    if (action == QLatin1String("delete") && arguments.size() == 2)
        return presetDelete(arguments.at(1));
    if (action == QLatin1String("save"))
        return presetSave(arguments.value(1));
    if (action == QLatin1String("recall"))
        return presetRecall(arguments.value(1));
    return usage(tr("Use preset list, preset save NAME ADDRESS, preset recall NAME ADDRESS or preset delete NAME."));
}

int Cli::presetList()
{
    QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    QJsonArray json;
    QStringList lines;
    const QStringList keys = profiles->childKeys();
    for (const QString& key : keys) {
        const QString value = ProfileText::valueText(profiles->value(key));
        const ProfileText::Position position = ProfileText::parse(value);
        const QString name = ProfileText::nameForKey(key);
        json.append(QJsonObject{{QStringLiteral("name"), name},
                                {QStringLiteral("zoom"), position.zoom},
                                {QStringLiteral("focus"), position.focus},
                                {QStringLiteral("aperture"), FNumbers::shortest(double(position.iris)).toDouble()},
                                {QStringLiteral("complete"), position.isComplete()}});
        lines << QStringLiteral("%1\t%2").arg(name, ProfileText::describe(value));
    }
    print(json, lines.join(QLatin1Char('\n')));
    return Done;
}

int Cli::presetSave(const QString& name)
{
    const auto check = [&] { return name.isEmpty() ? tr("A preset needs a name.") : QString(); };
    return onController(
        3, check,
        [&](ControllerSession& session) -> int {
            const DeviceRecord& record = session.record();
            // The controller tells its positions unasked after "ver".
            if (!session.waitUntil([&] { return record.lensReported() && record.focus && record.fNumber; },
                                   limit(AnswersLimitMs)))
                return failure(tr("The controller at %1 did not report its lens positions in time; try again.")
                                   .arg(session.address()));
            if (record.lensAbsent)
                return failure(
                    tr("The controller at %1 sees no lens; attach one and try again.").arg(session.address()));
            const QString value = ProfileText::format(*record.zoom, *record.focus, *record.fNumber);
            QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
            SettingsStore::writeThrough(profiles.data(), ProfileText::keyForName(name), value);
            print(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}},
                  tr("Saved \"%1\": %2.").arg(name, ProfileText::describe(value)));
            return Done;
        },
        2);
}

int Cli::presetRecall(const QString& name)
{
    ProfileText::Position target;
    const auto check = [&]() -> QString {
        if (name.isEmpty())
            return tr("A preset needs a name.");
        QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
        const QString value = ProfileText::storedValue(*profiles, name);
        if (value == QLatin1String(ProfileText::NoProfile))
            return tr("There is no preset \"%1\"; see lensdesk-cli preset list.").arg(name);
        target = ProfileText::parse(value);
        if (!target.isComplete())
            return tr("The preset \"%1\" holds \"%2\", not zoom, focus and aperture; save it again.").arg(name, value);
        return QString();
    };
    return onController(
        3, check,
        [&](ControllerSession& session) -> int {
            int status = Done;
            const DeviceRecord& record = session.record();
            if (!session.waitUntil([&] { return record.lensAbsent || (record.zoomWide && record.zoomTele); },
                                   limit(AnswersLimitMs)))
                return failure(
                    tr("The controller at %1 did not report its lens in time; try again.").arg(session.address()));
            if (record.lensAbsent)
                return failure(
                    tr("The controller at %1 sees no lens; attach one and try again.").arg(session.address()));
            if (target.zoom < *record.zoomWide || target.zoom > *record.zoomTele)
                return failure(tr("The preset \"%1\" is for a different lens (zoom %2 mm, this lens %3 to %4 mm).")
                                   .arg(name)
                                   .arg(target.zoom)
                                   .arg(*record.zoomWide)
                                   .arg(*record.zoomTele));

            // The panel's recall: zoom (power-zoom model only), focus once the
            // controller has confirmed focus and iris, then the aperture.
            using namespace Protocol::Command;
            const int moveLimit = limit(LensWaits::MoveConfirmTimeoutMs);
            if (record.isPowerZoom() && target.zoom != 0) {
                session.pause(LensWaits::RecallBeforeZoomMs);
                const QString zoom = FNumbers::shortest(double(ReplyText::toFloat(target.zoomText)));
                if (!zoomAndAwait(session, QString::fromLatin1(SetZoom).arg(zoom), moveLimit, &status))
                    return status;
            }
            // A focus error still lets the aperture follow, as in the panel.
            int focusStatus = Done;
            sendAndAwait(session, QString::fromLatin1(SetFocusRecall).arg(target.focus), {int(Kind::FocusDone)},
                         moveLimit, &focusStatus);
            session.pause(LensWaits::RecallBeforeApertureMs);
            if (!sendAndAwait(session, QString::fromLatin1(SetAperture).arg(FNumbers::shortest(double(target.iris))),
                              {int(Kind::IrisDone)}, moveLimit, &status))
                return status;
            if (focusStatus != Done)
                return focusStatus;
            print(positionJson(record), tr("Recalled \"%1\": %2.").arg(name, positionText(record)));
            return Done;
        },
        2);
}

int Cli::presetDelete(const QString& name)
{
    QScopedPointer<QSettings> profiles(SettingsStore::openProfiles(nullptr));
    const QString key = ProfileText::keyForName(name);
    if (!profiles->contains(key))
        return usage(tr("There is no preset \"%1\"; see lensdesk-cli preset list.").arg(name));
    profiles->remove(key);
    profiles->sync();
    print(QJsonObject{{QStringLiteral("deleted"), name}}, tr("Deleted \"%1\".").arg(name));
    return Done;
}

int Cli::name()
{
    QString text = m_arguments.positional.value(1);
    const auto check = [&]() -> QString {
        if (text.size() > NameLengthLimit)
            return tr("A controller name has at most 7 characters.");
        // The controller clears its name only when given blanks.
        if (text.isEmpty())
            text = QString(NameLengthLimit, QLatin1Char(' '));
        return QString();
    };
    return onController(2, check, [&](ControllerSession& session) -> int {
        int status = Done;
        // The name asked for by the connection exchange comes first.
        const DeviceRecord& record = session.record();
        session.waitUntil([&] { return record.count(Kind::Name) > 0; }, limit(AnswersLimitMs));
        session.send(QString::fromLatin1(Protocol::Command::SetName).arg(text));
        if (!sendAndAwait(session, QLatin1String(Protocol::Command::GetName), {int(Kind::Name)}, limit(AnswersLimitMs),
                          &status))
            return status;
        if (record.name.value_or(QString()) != text.trimmed())
            return failure(tr("The controller kept the name \"%1\"; try again.").arg(record.name.value_or(QString())));
        print(QJsonObject{{QStringLiteral("name"), text.trimmed()}}, tr("Name set to \"%1\".").arg(text.trimmed()));
        return Done;
    });
}

int Cli::focusTimeout()
{
    int milliseconds = 0;
    const auto check = [&]() -> QString {
        return readInt(m_arguments.positional.at(1), FocusTimeoutMinimumMs, FocusTimeoutMaximumMs, &milliseconds)
            ? QString()
            : tr("The focus time-out is a whole number of milliseconds from 1 to 10000.");
    };
    return onController(2, check, [&](ControllerSession& session) -> int {
        int status = Done;
        using namespace Protocol::Command;
        session.send(QString::fromLatin1(SetFocusTimeout).arg(milliseconds));
        if (!sendAndAwait(session, QLatin1String(GetFocusTimeout), {int(Kind::FocusTimeout)}, limit(AnswersLimitMs),
                          &status))
            return status;
        const int now = session.record().focusTimeout.value_or(-1);
        if (now != milliseconds)
            return failure(tr("The controller kept a focus time-out of %1 ms; try again.").arg(now));
        print(QJsonObject{{QStringLiteral("focusTimeout"), now}}, tr("Focus time-out set to %1 ms.").arg(now));
        return Done;
    });
}

int Cli::protocol()
{
    int index = 0;
    const auto check = [&]() -> QString {
        return readInt(m_arguments.positional.at(1), 0, 2, &index) ? QString() : tr("The lens protocol is 0, 1 or 2.");
    };
    return onController(2, check, [&](ControllerSession& session) -> int {
        const QString firmware = session.record().firmware;
        if (!VersionRules::allowsProtocolChoice(firmware))
            return failure(
                tr("Firmware %1 cannot change the lens protocol; update the firmware first.").arg(firmware.trimmed()));
        session.send(QString::fromLatin1(Protocol::Command::SetProtocol).arg(index));
        print(QJsonObject{{QStringLiteral("protocol"), index}},
              tr("Lens protocol %1 selected; the controller restarts to apply it.").arg(index));
        return Done;
    });
}

int Cli::restart()
{
    return onController(1, nullptr, [&](ControllerSession& session) -> int {
        session.send(QLatin1String(Protocol::Command::Reboot));
        print(QJsonObject{{QStringLiteral("restarted"), session.address()}},
              tr("The controller at %1 restarts.").arg(session.address()));
        return Done;
    });
}

int Cli::watch()
{
    return onController(1, nullptr, [&](ControllerSession& session) -> int {
        // The panel's liveness monitor, fed with the same proofs of life.
        pingWorker monitor(session.address(), session.socket());
        QStringList line;
        QJsonArray facts;
        connect(&session, &ControllerSession::factRead, this, [&](const ReplyFact& fact) {
            if (fact.provesLife())
                monitor.resume();
            // The panel counts a zoom range as half an answer to its pings.
            if (fact.kind == Kind::ZoomRange)
                monitor.decrementMissed();
            if (fact.kind == Kind::LensSummary)
                return;
            line << fact.describe();
            facts.append(factToJson(fact));
        });
        connect(&session, &ControllerSession::replyReceived, this, [&](const QString& text) {
            const QString time = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
            if (line.isEmpty())
                line << tr("(ignored) %1").arg(text);
            print(QJsonObject{{QStringLiteral("time"), time},
                              {QStringLiteral("reply"), text},
                              {QStringLiteral("facts"), facts}},
                  QStringLiteral("%1 %2").arg(time, line.join(QLatin1String("; "))));
            line.clear();
            facts = QJsonArray();
        });
        QEventLoop loop;
        connect(&monitor, &pingWorker::cantsendping, &loop, &QEventLoop::quit);
        monitor.start();
        loop.exec();
        monitor.pause();
        monitor.requestStop();
        monitor.wait();
        return failure(tr("The controller at %1 stopped answering.").arg(session.address()));
    });
}

int Cli::send()
{
    int status = Done;
    if (!expectArguments(2, &status))
        return status;
    const QString address = addressArgument(0, &status);
    if (address.isEmpty())
        return status;
    const QString text = m_arguments.positional.at(1);
    if (text.isEmpty())
        return usage(tr("Give the command to send, for example lensdesk-cli send 192.168.0.10 ver."));
    ControllerSession session(address);
    if (!session.isOpen())
        return failure(tr("No local UDP port from 60000 to 65000 could be opened; free one and try again."));
    QStringList replies;
    connect(&session, &ControllerSession::replyReceived, this, [&](const QString& reply) {
        replies << reply;
        if (!m_arguments.json)
            writeLine(stdout, reply);
    });
    session.send(text);
    session.pause(limit(SendListenMs));
    if (m_arguments.json)
        print(QJsonObject{{QStringLiteral("replies"), QJsonArray::fromStringList(replies)}}, QString());
    if (replies.isEmpty())
        return failure(tr("No reply from %1 within the time-out.").arg(address));
    return Done;
}

int Cli::search()
{
    int status = Done;
    if (!expectArguments(0, &status))
        return status;
    // Every local address is probed at once; the panel's listening window
    // then covers them all.
    LanSearch search;
    for (const QString& address : search.probeEverywhere())
        writeLine(stderr, tr("Cannot search from %1: no port from 60000 to 65000 is free there.").arg(address));
    QEventLoop loop;
    QTimer::singleShot(limit(LanSearch::ListeningWindowMs), &loop, &QEventLoop::quit);
    loop.exec();

    // A controller reachable from two local addresses answers twice.
    QVector<SearchResults::Responder> controllers;
    for (const SearchResults::Responder& responder : search.takeReplies())
        if (!controllers.contains(responder))
            controllers << responder;
    QJsonArray json;
    QStringList lines;
    for (const SearchResults::Responder& controller : qAsConst(controllers)) {
        json.append(QJsonObject{{QStringLiteral("address"), controller.address},
                                {QStringLiteral("product"), controller.product},
                                {QStringLiteral("firmware"), controller.version.trimmed()}});
        lines << QStringLiteral("%1\t%2\t%3").arg(controller.address, controller.product, controller.version.trimmed());
    }
    if (controllers.isEmpty()) {
        if (m_arguments.json)
            print(json, QString());
        writeLine(stderr, tr("No controller answered on any local network; check the cables and the firewall."));
        return NothingFound;
    }
    print(json, lines.join(QLatin1Char('\n')));
    return Done;
}

int Cli::network()
{
    QString newAddress, mask, gateway;
    const auto check = [&]() -> QString {
        // Each new value as a canonical dotted quad.
        for (const auto& field : {std::make_pair("--address", &newAddress), std::make_pair("--mask", &mask),
                                  std::make_pair("--gateway", &gateway)}) {
            const QString option = QLatin1String(field.first);
            const QString text = m_arguments.values.value(option);
            if (text.isNull() && field.second == &gateway)
                continue;
            if (!DottedQuad::isValid(text))
                return tr("%1 takes four numbers 0 to 255, for example %1 192.168.0.10.").arg(option);
            *field.second = DottedQuad::canonical(text);
        }
        if (gateway.isEmpty())
            gateway = GatewayGuess::guess(newAddress, mask);
        return QString();
    };
    return onController(1, check, [&](ControllerSession& session) -> int {
        // The panel's address change: the three values, then the restart that
        // applies them, one command at a time.
        using namespace Protocol::Command;
        for (const QString& command :
             {QString::fromLatin1(SetAddress).arg(newAddress), QString::fromLatin1(SetMask).arg(mask),
              QString::fromLatin1(SetGateway).arg(gateway), QString::fromLatin1(Reboot)}) {
            session.send(command);
            session.pause(Protocol::Pacing::AddressChangeCommandMs);
        }
        // The host still maps the new address to whatever answered it before (or
        // remembers it as unreachable): look the controller up afresh.
        const int listingError = Platform::flushAddressResolutionCache();
        if (listingError != 0)
            writeLine(stderr,
                      tr("The address cache could not be cleared (error %1); if the controller is not found at "
                         "%2, wait a minute and run lensdesk-cli info %2.")
                          .arg(listingError)
                          .arg(newAddress));
        session.pause(Protocol::Pacing::AddressChangeRestartMs);

        ControllerSession moved(newAddress);
        if (!moved.isOpen() || !moved.identify(limit(IdentifyLimitMs)))
            return failure(tr("The controller did not answer at %1 after the change; check that the new address is "
                              "reachable from this host, then run lensdesk-cli info %1.")
                               .arg(newAddress));
        print(QJsonObject{{QStringLiteral("address"), newAddress},
                          {QStringLiteral("mask"), mask},
                          {QStringLiteral("gateway"), gateway}},
              tr("The controller answers at %1 (mask %2, gateway %3).").arg(newAddress, mask, gateway));
        return Done;
    });
}

int Cli::firmware()
{
    std::optional<quint16> tftpPort;
    const QString fileName = m_arguments.positional.value(1);
    FirmwareImage image;
    const auto check = [&]() -> QString {
        if (m_arguments.values.contains(QStringLiteral("--tftp-port"))) {
            int port = 0;
            if (!readInt(m_arguments.values.value(QStringLiteral("--tftp-port")), 1, 65535, &port))
                return tr("--tftp-port takes a port number from 1 to 65535.");
            tftpPort = quint16(port);
        }

        // Everything that can be wrong with the file is found out before the
        // controller is told to expect an update.
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly))
            return tr("Cannot open the firmware file '%1': %2.").arg(fileName, file.errorString());
        image = FirmwareImage::fromFileBytes(file.readAll(), firmwareKey());
        if (file.error() != QFileDevice::NoError)
            return tr("Cannot read the firmware file '%1': %2.").arg(fileName, file.errorString());
        if (!image.isUploadable())
            return tr("The firmware file '%1' cannot be uploaded: %2 Nothing was sent to the controller.")
                .arg(fileName, FirmwareImage::problemText(image.problem));

        // A container without CRC or digest decodes under a wrong key to
        // random bytes of the right length: only the operator can vouch for it.
        const QString unverified = image.unverified
            ? tr("The container carries neither a CRC nor a digest, so the image cannot be verified; had it been "
                 "enciphered with another key, the controller would be flashed with random bytes. ")
            : QString();
        if (m_arguments.flags.contains(QStringLiteral("--yes"))) {
            if (image.unverified)
                writeLine(stderr, unverified + tr("Uploading it as --yes says."));
            return QString();
        }
        if (!isatty(fileno(stdin)))
            return tr("A firmware update must be confirmed; without a terminal, add --yes.");
        std::fprintf(stderr, "%s",
                     qPrintable(unverified
                                + tr("Upload %1 (%2 bytes) to the controller at %3? The controller restarts into "
                                     "update mode. [y/N] ")
                                      .arg(fileName)
                                      .arg(image.bytes.size())
                                      .arg(addressArgument(0, nullptr))));
        std::fflush(stderr);
        char answer[16] = {};
        if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y'))
            return tr("Not confirmed; nothing was sent.");
        return QString();
    };
    return onController(2, check, [&](ControllerSession& session) -> int {
        const QString address = session.address();
        const int size = image.bytes.size();
        TftpUpload upload;
        upload.setGiveUpAfterMs(limit(TftpUpload::DefaultGiveUpAfterMs));
        if (!upload.open())
            return failure(tr("The TFTP client could not be started; nothing was sent to the controller."));
        UploadProgress progress(size, isatty(fileno(stderr)) && !m_arguments.json);
        connect(&upload, &TftpUpload::progressed, this, [&](qint64 bytes) { progress.show(bytes); });

        for (const UpdateMode::Step& step : UpdateMode::Enter) {
            session.send(QLatin1String(step.command));
            session.pause(step.settleMs);
        }
        const TftpUpload::Outcome outcome = upload.upload(address, image.bytes, tftpPort);
        progress.finish();
        // Whatever happened, the controller is told that no update is pending.
        session.send(QLatin1String(Protocol::Command::FlagNormal));

        switch (outcome) {
        case TftpUpload::Outcome::Uploaded:
            print(QJsonObject{{QStringLiteral("uploaded"), size}, {QStringLiteral("runs"), upload.runs()}},
                  tr("Firmware uploaded: %1 bytes to %2.").arg(size).arg(address));
            return Done;
        case TftpUpload::Outcome::GaveUp:
            return failure(tr("The controller at %1 did not accept the firmware image in time (last error: %2); "
                              "restart it and run the update again.")
                               .arg(address, upload.lastRunError()));
        case TftpUpload::Outcome::Stopped:
        case TftpUpload::Outcome::NoHandle:
            break;
        }
        return failure(
            tr("The upload to %1 did not complete; restart the controller and run the update again.").arg(address));
    });
}
