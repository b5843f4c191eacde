// The commands that read: search, info, watch, send.

#include "cli/Cli.h"
#include "cli/ControllerSession.h"
#include "cli/JsonVocabulary.h"
#include "discovery/LanSearch.h"
#include "lens/FNumbers.h"
#include "link/Protocol.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>
#include <QUdpSocket>

#include <limits>

namespace {

using Kind = ReplyFact::Kind;
using Reason = Output::Reason;

// "send" listens this long unless told otherwise.
constexpr int SendListenMs = 1000;
// The panel never sends two questions closer together than this.
constexpr int LeastQuestionSpacingMs = 10;

QString tr(const char* text) { return QCoreApplication::translate("Cli", text); }

QString orUnknown(const QString& text) { return text.isEmpty() ? tr("unknown") : Output::escaped(text); }

template <typename T>
QString orUnknown(const std::optional<T>& value)
{
    return value ? FNumbers::shortest(double(*value)) : tr("unknown");
}

QString range(const std::optional<int>& from, const std::optional<int>& to)
{
    return from && to ? QStringLiteral("%1 to %2").arg(*from).arg(*to) : tr("unknown");
}

// The questions of "info" beyond the connection exchange, each with the
// answer it awaits and the pause the panel leaves after it (its service
// dialog, its network dialog, its device options).
struct Question
{
    const char* command;
    Kind answer;
    int pauseMs;
};

constexpr Question InfoQuestions[] = {
    {Protocol::Command::GetSerial, Kind::Serial, 200},
    {Protocol::Command::GetMac, Kind::Mac, 200},
    {Protocol::Command::GetHardware, Kind::Hardware, 200},
    {Protocol::Command::GetVendor, Kind::Vendor, 200},
    {Protocol::Command::GetAddress, Kind::Address, 200},
    {Protocol::Command::GetMask, Kind::Mask, 200},
    {Protocol::Command::GetGateway, Kind::Gateway, 300},
    {Protocol::Command::GetFocusTimeout, Kind::FocusTimeout, 100},
};

// Asked by the connection exchange already; asked again when unanswered.
constexpr Question ExchangeQuestions[] = {
    {Protocol::Command::BootLoaderVersion, Kind::BootLoader, 200},
    {Protocol::Command::GetProtocol, Kind::Protocol, 200},
    {Protocol::Command::GetName, Kind::Name, 200},
};

// One question, spaced as the panel spaces them: the next one goes once
// this one is answered, but never sooner than 10 ms after it, and at the
// latest after the panel's pause. Returns whether it was answered.
bool ask(ControllerSession& session, const Question& question)
{
    const DeviceRecord& record = session.record();
    const int before = record.count(question.answer);
    QElapsedTimer sent;
    sent.start();
    session.send(QLatin1String(question.command));
    const bool answered = session.waitUntil([&] { return record.count(question.answer) > before; }, question.pauseMs);
    session.pause(int(LeastQuestionSpacingMs - sent.elapsed()));
    return answered;
}

} // namespace

int Cli::info()
{
    return onController(nullptr, [&](ControllerSession& session) -> int {
        const DeviceRecord& record = session.record();
        QElapsedTimer clock;
        clock.start();
        const int answersLimit = limit(AnswersLimitMs);
        for (const Question& question : InfoQuestions) {
            if (isStopping())
                return Failed;
            ask(session, question);
        }
        // One more try for each question left unanswered, within the limit.
        QVector<Question> every(std::begin(ExchangeQuestions), std::end(ExchangeQuestions));
        every += QVector<Question>(std::begin(InfoQuestions), std::end(InfoQuestions));
        for (const Question& question : qAsConst(every)) {
            if (record.count(question.answer) == 0 && clock.elapsed() < answersLimit && !isStopping())
                ask(session, question);
        }
        const auto answered = [&] {
            for (const Question& question : every) {
                if (record.count(question.answer) == 0)
                    return false;
            }
            return record.lensReported();
        };
        if (!session.waitUntil(answered, int(qMax<qint64>(0, answersLimit - clock.elapsed()))) && !isStopping())
            output().note(tr("Some answers did not come in time; they are shown as unknown."));
        if (isStopping())
            return Failed;

        const QString aperture = !record.apertureRangeKnown ? tr("unknown")
            : record.widestFNumber                          ? QStringLiteral("f/%1 to f/%2")
                                         .arg(FNumbers::shortest(double(*record.widestFNumber)),
                                              FNumbers::shortest(double(*record.narrowestFNumber)))
                                   : tr("none");
        const QStringList lines{
            tr("Product:       %1").arg(orUnknown(record.product)),
            tr("Firmware:      %1").arg(orUnknown(record.firmware.trimmed())),
            tr("Boot loader:   %1").arg(orUnknown(record.bootLoader)),
            tr("Protocol:      %1").arg(orUnknown(record.protocol)),
            tr("Name:          %1").arg(record.name ? Output::escaped(*record.name) : tr("unknown")),
            tr("S/N:           %1").arg(orUnknown(record.serial)),
            tr("MAC:           %1").arg(orUnknown(record.mac)),
            tr("Hardware:      %1").arg(orUnknown(record.hardware)),
            tr("Vendor:        %1").arg(orUnknown(record.vendor.trimmed())),
            tr("IP:            %1").arg(orUnknown(record.address)),
            tr("Mask:          %1").arg(orUnknown(record.mask)),
            tr("Gateway:       %1").arg(orUnknown(record.gateway)),
            tr("Focus timeout: %1").arg(record.focusTimeout ? tr("%1 ms").arg(*record.focusTimeout) : tr("unknown")),
            tr("Lens:          %1").arg(record.lensAbsent ? tr("none") : orUnknown(record.lensDescription)),
            tr("Zoom range:    %1")
                .arg(record.zoomWide ? tr("%1 mm").arg(range(record.zoomWide, record.zoomTele)) : tr("unknown")),
            tr("Focus range:   %1").arg(range(record.focusFar, record.focusNear)),
            tr("Aperture:      %1").arg(aperture),
            tr("Position:      %1").arg(JsonVocabulary::positionText(record)),
        };
        return finish(JsonVocabulary::info(session.address(), record), lines.join(QLatin1Char('\n')));
    });
}

int Cli::watch()
{
    return onController(nullptr, [&](ControllerSession& session) -> int {
        QStringList line;
        QJsonArray reports;
        bool writeFailed = false;
        connect(&session, &ControllerSession::factRead, this, [&](const ReplyFact& fact) {
            if (fact.kind == Kind::LensSummary)
                return;
            line << JsonVocabulary::reportText(fact);
            reports.append(JsonVocabulary::report(fact));
        });
        connect(&session, &ControllerSession::replyReceived, this, [&](const QString& text) {
            const QString time = JsonVocabulary::timestamp(QDateTime::currentDateTimeUtc());
            if (line.isEmpty())
                line << tr("(ignored) %1").arg(text);
            const QJsonObject json{{QStringLiteral("controller"), session.address()},
                                   {QStringLiteral("time"), time},
                                   {QStringLiteral("reply"), text},
                                   {QStringLiteral("reports"), reports}};
            if (!output().result(json,
                                 Output::escaped(QStringLiteral("%1 %2").arg(time, line.join(QLatin1String("; "))))))
                writeFailed = true;
            line.clear();
            reports = QJsonArray();
        });
        // The panel's liveness rule, fed with the same proofs of life; a stop
        // request ends the wait as well.
        session.keepAlive();
        session.waitUntil([&] { return writeFailed || session.link().state() == ControllerLink::State::Lost; },
                          std::numeric_limits<int>::max());
        if (output().failed())
            return Failed;
        return failure(Reason::Timeout, tr("The controller at %1 stopped answering.").arg(session.address()));
    });
}

int Cli::send()
{
    const QString address = argument(0);
    const QString text = argument(1);
    if (text.isEmpty())
        return usage(tr("Give the command to send, for example lensdesk-cli send 192.168.0.10 ver."));
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return usage(
                tr("A command is printable ASCII only; \"%1\" holds other characters.").arg(Output::escaped(text)));
    }
    ControllerSession session(address);
    attach(session);
    if (!session.isOpen())
        return failure(Reason::Unreachable,
                       tr("No local UDP port from 60000 to 65000 could be opened; free one and try again."));
    QStringList replies;
    connect(&session, &ControllerSession::replyReceived, this, [&](const QString& reply) {
        replies << reply;
        if (!output().json() && !output().line(Output::escaped(reply)))
            session.interrupt();
    });
    session.send(text);
    session.pause(limit(SendListenMs));
    if (output().failed() || isStopping())
        return Failed;
    if (output().json()
        && !output().result(QJsonObject{{QStringLiteral("controller"), address},
                                        {QStringLiteral("command"), text},
                                        {QStringLiteral("replies"), QJsonArray::fromStringList(replies)}},
                            QString()))
        return Failed;
    if (replies.isEmpty())
        return failure(Reason::Timeout, tr("No reply from %1 within the time-out.").arg(address));
    return Done;
}

int Cli::search()
{
    // Every local address is probed at once; the panel's listening window
    // then covers them all.
    LanSearch search;
    const QVector<SearchResults::InterfaceResult> interfaces = SearchResults::searchableInterfaces();
    for (const SearchResults::InterfaceResult& interface : interfaces) {
        for (const QString& address : interface.addresses) {
            bool bound = false;
            QUdpSocket* socket = search.openSocket(QHostAddress(address), &bound);
            if (bound) {
                LanSearch::sendProbe(*socket);
                output().traffic('>',
                                 tr("%1 (broadcast from %2)").arg(QLatin1String(Protocol::Command::Version), address));
            } else {
                output().note(tr("Cannot search from %1: no port from 60000 to 65000 is free there.").arg(address));
            }
        }
    }
    int heard = 0;
    connect(&search, &LanSearch::answered, this, [&] {
        for (; heard < search.replies().size(); ++heard) {
            const SearchResults::Responder& responder = search.replies().at(heard);
            output().traffic('<', tr("%1=%2 (from %3)").arg(responder.product, responder.version, responder.address));
        }
    });
    QEventLoop loop;
    QTimer::singleShot(limit(LanSearch::ListeningWindowMs), &loop, &QEventLoop::quit);
    connect(this, &Cli::stopping, &loop, &QEventLoop::quit);
    if (!isStopping())
        loop.exec();
    if (isStopping())
        return Failed;

    // A controller reachable from two local addresses answers twice.
    QVector<SearchResults::Responder> controllers;
    for (const SearchResults::Responder& responder : search.takeReplies()) {
        if (!controllers.contains(responder))
            controllers << responder;
    }
    QJsonArray json;
    QStringList lines;
    for (const SearchResults::Responder& controller : qAsConst(controllers)) {
        json.append(QJsonObject{{QStringLiteral("controller"), controller.address},
                                {QStringLiteral("product"), controller.product},
                                {QStringLiteral("firmware"), controller.version.trimmed()}});
        lines << QStringLiteral("%1\t%2\t%3")
                     .arg(controller.address, Output::escaped(controller.product),
                          Output::escaped(controller.version.trimmed()));
    }
    if (controllers.isEmpty()) {
        if (output().json() && !output().result(json, QString()))
            return Failed;
        return output().failure(Reason::Timeout, NothingFound,
                                tr("No controller answered on any local network; check the cables and the firewall."));
    }
    return finish(json, lines.join(QLatin1Char('\n')));
}
