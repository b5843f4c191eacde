#include "alpaca/AlpacaRouter.h"

#include "alpaca/AlpacaErrors.h"
#include "alpaca/AlpacaParameters.h"
#include "alpaca/AlpacaRequest.h"
#include "alpaca/ControllerBridge.h"
#include "alpaca/FocuserDevice.h"
#include "alpaca/FocuserDevices.h"
#include "alpaca/FocuserMembers.h"
#include "alpaca/SetupPage.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <thread>

namespace {

constexpr int ConnectPollMs = 20;

// Every byte as it came, a NUL too (which would end QString::fromLatin1()
// of the whole array).
QString latin1(const QByteArray& bytes) { return QString::fromLatin1(bytes.constData(), bytes.size()); }
const QByteArray FormType = "application/x-www-form-urlencoded";

const char* kindName(FocuserMembers::Kind kind)
{
    switch (kind) {
    case FocuserMembers::Kind::Bool:
        return QT_TRANSLATE_NOOP("AlpacaRouter", "true or false");
    case FocuserMembers::Kind::Int:
        return QT_TRANSLATE_NOOP("AlpacaRouter", "an integer");
    case FocuserMembers::Kind::Text:
        break;
    }
    return QT_TRANSLATE_NOOP("AlpacaRouter", "a text");
}

} // namespace

AlpacaRouter::AlpacaRouter(FocuserDevices& devices, const ControllerBridge& bridge, const QString& location)
    : m_devices(devices)
    , m_bridge(bridge)
    , m_location(location)
{ }

HttpReply AlpacaRouter::answer(const AlpacaRequest& request)
{
    if (request.path == "/setup" || request.path.startsWith("/setup/"))
        return setup(request);
    if (request.path == "/")
        return HttpReply::seeOther("/setup");

    const bool get = request.method == "GET";
    const bool put = request.method == "PUT";
    const bool api = request.path.startsWith("/api/");
    if (!api && !request.path.startsWith("/management/"))
        return HttpReply::text(404, tr("Nothing here: the Alpaca API is under /api/v1/ and /management/."));
    if (!get && !put)
        return HttpReply::text(400, tr("Alpaca requests are GET or PUT, not %1.").arg(latin1(request.method)));

    AlpacaParameters parameters;
    if (get) {
        parameters = AlpacaParameters::fromForm(request.query);
    } else {
        const QByteArray type = request.contentType.split(';').first().trimmed().toLower();
        if (!type.isEmpty() && type != FormType)
            return HttpReply::text(400,
                                   tr("PUT parameters must be form-encoded (%1), not %2.")
                                       .arg(QString::fromLatin1(FormType), latin1(type)));
        parameters = AlpacaParameters::fromForm(request.body);
    }
    if (!api) {
        if (!get)
            return HttpReply::text(400, tr("The management API answers GET only."));
        return management(request.path, parameters);
    }
    return deviceMember(request.path.split('/'), put, parameters);
}

HttpReply AlpacaRouter::management(const QByteArray& path, const AlpacaParameters& parameters)
{
    const quint32 client = parameters.clientTransactionId();
    if (path == "/management/apiversions")
        return envelope(AlpacaResult::of(QJsonArray{1}), client);
    if (path == "/management/v1/description")
        return envelope(AlpacaResult::of(QJsonObject{
                            {QStringLiteral("ServerName"), tr("LensDesk Alpaca server")},
                            {QStringLiteral("Manufacturer"), QStringLiteral("ORVO")},
                            {QStringLiteral("ManufacturerVersion"), QStringLiteral(LENSDESK_VERSION)},
                            {QStringLiteral("Location"), m_location},
                        }),
                        client);
    if (path == "/management/v1/configureddevices") {
        const std::optional<QJsonArray> devices = m_bridge.run<QJsonArray>([this] {
            std::vector<FocuserDevices::Entry> entries = m_devices.entries();
            std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
            QJsonArray list;
            for (const FocuserDevices::Entry& entry : entries) {
                if (entry.number < 0)
                    continue;
                list.append(QJsonObject{{QStringLiteral("DeviceName"), entry.device->name()},
                                        {QStringLiteral("DeviceType"), QStringLiteral("Focuser")},
                                        {QStringLiteral("DeviceNumber"), entry.number},
                                        {QStringLiteral("UniqueID"), entry.uniqueId}});
            }
            return list;
        });
        return devices ? envelope(AlpacaResult::of(*devices), client) : threadBusy();
    }
    return HttpReply::text(400, tr("No management member %1.").arg(latin1(path)));
}

HttpReply AlpacaRouter::deviceMember(const QList<QByteArray>& parts, bool put, const AlpacaParameters& parameters)
{
    // "", "api", "v1", type, number, member
    if (parts.size() != 6 || parts[2] != "v1")
        return HttpReply::text(400, tr("Device requests are /api/v1/focuser/NUMBER/MEMBER, in lower case."));
    if (parts[3] != "focuser")
        return HttpReply::text(400,
                               tr("This server has no devices of type \"%1\", only focusers (URLs are lower case).")
                                   .arg(latin1(parts[3])));
    const std::optional<quint32> number = AlpacaParameters::toUnsigned(latin1(parts[4]));
    if (!number || *number > quint32(std::numeric_limits<int>::max()))
        return HttpReply::text(400, tr("\"%1\" is not a device number.").arg(latin1(parts[4])));

    const FocuserMembers::Verb verb = put ? FocuserMembers::Verb::Put : FocuserMembers::Verb::Get;
    bool otherVerb = false;
    const FocuserMembers::Member* member = FocuserMembers::find(parts[5], verb, &otherVerb);
    if (!member) {
        if (otherVerb)
            return HttpReply::text(400,
                                   tr("%1 takes %2, not %3.")
                                       .arg(latin1(parts[5]), put ? QStringLiteral("GET") : QStringLiteral("PUT"),
                                            put ? QStringLiteral("PUT") : QStringLiteral("GET")));
        return HttpReply::text(400, tr("A focuser has no member \"%1\" (URLs are lower case).").arg(latin1(parts[5])));
    }

    QVariantList arguments;
    for (const FocuserMembers::Parameter& parameter : member->parameters) {
        const QString name = QLatin1String(parameter.name);
        const std::optional<QString> text = parameters.value(name);
        if (!text)
            return HttpReply::text(400, tr("The parameter %1 is missing.").arg(name));
        std::optional<QVariant> value;
        switch (parameter.kind) {
        case FocuserMembers::Kind::Bool:
            if (const std::optional<bool> flag = AlpacaParameters::toBool(*text))
                value = *flag;
            break;
        case FocuserMembers::Kind::Int:
            if (const std::optional<int> integer = AlpacaParameters::toInt(*text))
                value = *integer;
            break;
        case FocuserMembers::Kind::Text:
            value = *text;
            break;
        }
        if (!value)
            return HttpReply::text(400,
                                   tr("%1 must be %2, not \"%3\".").arg(name, tr(kindName(parameter.kind)), *text));
        arguments.append(*value);
    }

    const int device = int(*number);
    const std::optional<std::optional<AlpacaResult>> result =
        m_bridge.run<std::optional<AlpacaResult>>([this, device, member, arguments]() -> std::optional<AlpacaResult> {
            FocuserDevice* focuser = m_devices.device(device);
            if (!focuser)
                return std::nullopt;
            return member->run(*focuser, arguments);
        });
    if (!result)
        return threadBusy();
    if (!*result)
        return HttpReply::text(400, tr("There is no focuser %1.").arg(device));
    AlpacaResult outcome = **result;
    if (member->awaitsConnection && arguments.value(0).toBool() && outcome.succeeded())
        outcome = awaitConnection(device);
    return envelope(outcome, parameters.clientTransactionId());
}

AlpacaResult AlpacaRouter::awaitConnection(int number)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const std::optional<std::optional<AlpacaResult>> outcome =
            m_bridge.run<std::optional<AlpacaResult>>([this, number]() -> std::optional<AlpacaResult> {
                const FocuserDevice* device = m_devices.device(number);
                return device ? device->connectOutcome() : AlpacaResult::done();
            });
        if (!outcome)
            return AlpacaResult::failure(AlpacaError::ControllerUnreachable, tr("The server is too busy to connect."));
        if (*outcome)
            return **outcome;
        // The controller thread cannot make progress while it waits itself.
        if (m_bridge.onControllerThread() || waited.elapsed() > ConnectWaitMs)
            return AlpacaResult::failure(AlpacaError::ControllerUnreachable,
                                         tr("The controller has not identified itself in time."));
        std::this_thread::sleep_for(std::chrono::milliseconds(ConnectPollMs));
    }
}

HttpReply AlpacaRouter::setup(const AlpacaRequest& request)
{
    if (request.path == "/setup/search") {
        if (request.method != "POST")
            return HttpReply::text(400, tr("A search is started with POST."));
        const std::optional<bool> started = m_bridge.run<bool>(
            [this] { return m_devices.searchAllowed() && (m_devices.isSearching() || m_devices.startSearch()); });
        if (!started)
            return threadBusy();
        if (!*started)
            return HttpReply::text(403, tr("The LAN search is off: start the server with --search."));
        return HttpReply::seeOther("/setup");
    }
    if (request.method != "GET")
        return HttpReply::text(400, tr("Setup pages are read with GET."));
    const QList<QByteArray> parts = request.path.split('/');
    std::optional<int> number;
    if (parts.size() == 6 && parts[2] == "v1" && parts[3] == "focuser" && parts[5] == "setup") {
        const std::optional<quint32> given = AlpacaParameters::toUnsigned(latin1(parts[4]));
        if (!given || *given > quint32(std::numeric_limits<int>::max()))
            return HttpReply::text(404, tr("No such setup page."));
        number = int(*given);
    } else if (request.path != "/setup") {
        return HttpReply::text(404, tr("No such setup page."));
    }
    const std::optional<std::optional<QString>> page =
        m_bridge.run<std::optional<QString>>([this, number]() -> std::optional<QString> {
            if (!number)
                return SetupPage::overview(m_devices);
            return SetupPage::device(m_devices, *number);
        });
    if (!page)
        return threadBusy();
    if (!*page)
        return HttpReply::text(404, tr("There is no focuser %1.").arg(*number));
    return HttpReply::html(**page);
}

HttpReply AlpacaRouter::envelope(const AlpacaResult& result, quint32 clientTransactionId)
{
    QJsonObject reply{
        {QStringLiteral("ClientTransactionID"), qint64(clientTransactionId)},
        {QStringLiteral("ServerTransactionID"), qint64(++m_serverTransactionId)},
        {QStringLiteral("ErrorNumber"), result.errorNumber},
        {QStringLiteral("ErrorMessage"), result.errorMessage},
    };
    if (result.value)
        reply.insert(QStringLiteral("Value"), *result.value);
    return HttpReply::json(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

HttpReply AlpacaRouter::threadBusy()
{
    return HttpReply::text(500, tr("The server's controller thread did not answer in time."));
}
