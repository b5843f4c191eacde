#include "cli/Cli.h"

#include "cli/CompletionScript.h"
#include "cli/ControllerSession.h"
#include "cli/StopRequest.h"
#include "lens/RecallPlan.h"
#include "link/DottedQuad.h"
#include "link/Protocol.h"
#include "link/TargetAddress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcessEnvironment>
#include <QSocketNotifier>

#include <csignal>

#include <unistd.h>

namespace {

using Kind = ReplyFact::Kind;
using Reason = Output::Reason;

constexpr const char* AddressVariable = "LENSDESK_ADDRESS";

} // namespace

Cli::Cli(const CliArguments& arguments, Output& output, StopRequest& stop, QObject* parent)
    : QObject(parent)
    , m_options(arguments)
    , m_output(output)
    , m_stopRequest(stop)
{
    m_maxTime.setSingleShot(true);
    connect(&m_maxTime, &QTimer::timeout, this, [this] { this->stop(StopCause::MaxTime); });
    connect(&m_stopRequest, &StopRequest::requested, this,
            [this](int signalNumber) { this->stop(StopCause::Signal, signalNumber); });
}

QString Cli::helpText(const QStringList& words) const
{
    // One command, or every command beginning with the word ("preset").
    QStringList one;
    for (const CommandTable::Command& command : CommandTable::commands()) {
        if (!words.isEmpty() && CommandTable::find(words.value(0), words.value(1)) == &command)
            return command.usage() + QStringLiteral("\n\n") + QCoreApplication::translate("Cli", command.help);
        if (!words.isEmpty() && command.name.section(QLatin1Char(' '), 0, 0) == words.first())
            one << command.usage() + QStringLiteral("\n    ")
                    + QCoreApplication::translate("Cli", command.help)
                          .replace(QLatin1Char('\n'), QLatin1String("\n    "));
    }
    if (!one.isEmpty())
        return one.join(QLatin1String("\n\n"));

    QStringList text{tr("Usage: lensdesk-cli [OPTIONS] COMMAND ARGUMENTS...\n\n"
                        "Drives and administers ORVO Ethernet lens controllers (UDP port 1339).\n\n"
                        "Options (each command takes those that apply to it):")};
    for (const CommandTable::Option& option : CommandTable::options()) {
        QString names = QLatin1String(option.name);
        if (option.shortName)
            names = QLatin1String(option.shortName) + QLatin1String(", ") + names;
        if (option.valueName)
            names += QLatin1Char(' ') + QLatin1String(option.valueName);
        text << QStringLiteral("  %1  %2").arg(names, -26).arg(QCoreApplication::translate("Cli", option.help));
    }
    text << tr("\nCommands:");
    for (const CommandTable::Command& command : CommandTable::commands())
        text << QStringLiteral("  ") + command.synopsis();
    text << tr("\nADDRESS may be left out when LENSDESK_ADDRESS holds it.\n"
               "Exit status: 0 done; 1 the controller refused, reported an error or did not answer in time;\n"
               "2 bad usage or bad input (nothing was sent); 3 search found nothing;\n"
               "130, 143, 129 interrupted by SIGINT, SIGTERM, SIGHUP.");
    return text.join(QLatin1Char('\n'));
}

int Cli::usage(const QString& sentence) { return m_output.failure(Reason::BadInput, BadUsage, sentence); }

int Cli::checkUsage(const CommandTable::Command& command)
{
    for (const QString& option : m_options.given()) {
        if (!command.options.contains(option))
            return usage(
                tr("The option %1 does not apply to \"%2\"; see lensdesk-cli %2 --help.").arg(option, command.name));
    }
    for (const QString& option : command.requiredOptions) {
        if (!m_options.has(option))
            return usage(
                tr("Usage: lensdesk-cli %1; see lensdesk-cli %2 --help.").arg(command.synopsis(), command.name));
    }
    const int addressIndex = command.addressIndex();
    const QString fromEnvironment = QProcessEnvironment::systemEnvironment().value(QLatin1String(AddressVariable));
    if (addressIndex >= 0 && m_arguments.size() == command.arguments.size() - 1 && !fromEnvironment.isEmpty())
        m_arguments.insert(addressIndex, fromEnvironment);
    if (m_arguments.size() != command.arguments.size())
        return usage(tr("Usage: lensdesk-cli %1; see lensdesk-cli %2 --help.").arg(command.synopsis(), command.name));
    if (addressIndex < 0)
        return Done;

    const QString text = m_arguments.at(addressIndex);
    if (!DottedQuad::isValid(text))
        return usage(tr("\"%1\" is not an IPv4 address; give the controller's address as four numbers 0 to 255, "
                        "for example 192.168.0.10.")
                         .arg(Output::escaped(text)));
    const QString problem = TargetAddress::problem(DottedQuad::parse(text));
    if (!problem.isEmpty())
        return usage(tr("%1 cannot be a controller's address: %2.").arg(DottedQuad::canonical(text), problem));
    m_arguments[addressIndex] = DottedQuad::canonical(text);
    return Done;
}

int Cli::run()
{
    if (m_options.flags.contains(QLatin1String(CommandTable::Version)))
        return m_output.line(QStringLiteral("lensdesk-cli %1").arg(QCoreApplication::applicationVersion())) ? Done
                                                                                                            : Failed;
    if (m_options.flags.contains(QLatin1String(CommandTable::Help)))
        return m_output.line(helpText(m_options.words)) ? Done : Failed;
    if (m_options.words.isEmpty()) {
        m_output.note(helpText({}));
        return BadUsage;
    }
    const QStringList& words = m_options.words;
    m_command = CommandTable::find(words.value(0), words.value(1));
    if (!m_command) {
        if (CommandTable::commandWords().contains(words.first()))
            return usage(helpText({words.first()}));
        return usage(tr("Unknown command \"%1\"; see lensdesk-cli --help.").arg(Output::escaped(words.first())));
    }
    m_arguments = words.mid(m_command->name.count(QLatin1Char(' ')) + 1);
    const int status = checkUsage(*m_command);
    if (status != Done)
        return status;

    if (m_options.maxTimeMs)
        m_maxTime.start(*m_options.maxTimeMs);
    const int outcome = (this->*m_command->handler)();
    return isStopping() ? stopStatus() : outcome;
}

int Cli::failure(Output::Reason reason, const QString& sentence)
{
    if (isStopping())
        return Failed;
    return m_output.failure(reason, Failed, sentence);
}

int Cli::finish(const QJsonValue& json, const QString& text)
{
    if (isStopping())
        return Failed;
    return m_output.result(json, text) ? Done : Failed;
}

int Cli::limit(int defaultMs) const { return m_options.timeoutMs.value_or(defaultMs); }

bool Cli::wholeNumber(const QString& text, int low, int high, int* value)
{
    bool ok = false;
    *value = text.toInt(&ok, 10);
    return ok && *value >= low && *value <= high;
}

void Cli::attach(ControllerSession& session)
{
    m_session = &session;
    connect(&session, &ControllerSession::traffic, this,
            [this](const QString& text, bool sent) { m_output.traffic(sent ? '>' : '<', text); });
    connect(this, &Cli::stopping, &session, &ControllerSession::interrupt);
    if (isStopping())
        session.interrupt();
}

bool Cli::connectTo(ControllerSession& session, int* status)
{
    if (!session.isOpen()) {
        *status = failure(Reason::Unreachable,
                          tr("No local UDP port from 60000 to 65000 could be opened; free one and try again."));
        return false;
    }
    if (session.identify(limit(Protocol::Pacing::IdentifyLimitMs)))
        return true;
    if (session.link().refusal() == ControllerLink::Refusal::FirmwareTooOld)
        *status = failure(Reason::Refused,
                          tr("The controller at %1 runs firmware %2, which is too old for this program; update its "
                             "firmware to 1.4 or later.")
                              .arg(session.address(), Output::escaped(session.record().firmware.trimmed())));
    else
        *status = failure(Reason::Timeout,
                          tr("No controller answered at %1; check the address, the cable and the "
                             "firewall.")
                              .arg(session.address()));
    return false;
}

int Cli::onController(const std::function<QString()>& check, const std::function<int(ControllerSession&)>& act)
{
    if (check) {
        const QString problem = check();
        if (!problem.isEmpty())
            return usage(problem);
    }
    if (isStopping())
        return Failed;
    ControllerSession session(argument(m_command->addressIndex()));
    attach(session);
    int status = Done;
    if (!connectTo(session, &status))
        return status;
    return act(session);
}

bool Cli::sendAndAwait(ControllerSession& session, const QString& command, const QVector<Kind>& doneKinds,
                       int timeoutMs, int* status)
{
    if (isStopping()) {
        *status = Failed;
        return false;
    }
    const DeviceRecord& record = session.record();
    QVector<int> before;
    for (Kind kind : doneKinds)
        before << record.count(kind);
    const int errorsBefore = record.count(Kind::ControllerError);
    auto answered = [&] {
        for (int i = 0; i < doneKinds.size(); ++i) {
            if (record.count(doneKinds.at(i)) > before.at(i))
                return true;
        }
        return record.count(Kind::ControllerError) > errorsBefore;
    };
    session.send(command);
    const bool confirmed = session.waitUntil(answered, timeoutMs);
    return accepted(session, command, confirmed, record.count(Kind::ControllerError) > errorsBefore, status);
}

bool Cli::accepted(const ControllerSession& session, const QString& command, bool confirmed, bool refused, int* status)
{
    if (!confirmed) {
        *status = failure(Reason::Timeout,
                          tr("The controller at %1 did not confirm \"%2\" in time; check the lens and try again.")
                              .arg(session.address(), command));
        return false;
    }
    if (refused) {
        *status =
            failure(Reason::Refused,
                    tr("The controller refused \"%1\": %2.").arg(command, Output::escaped(session.record().lastError)));
        return false;
    }
    return true;
}

bool Cli::awaitLens(ControllerSession& session, const std::function<bool()>& known, int* status)
{
    const DeviceRecord& record = session.record();
    if (!session.waitUntil([&] { return record.lensAbsent || known(); }, limit(AnswersLimitMs))) {
        *status =
            failure(Reason::Timeout,
                    tr("The controller at %1 did not report its lens in time; try again.").arg(session.address()));
        return false;
    }
    if (record.lensAbsent) {
        *status = failure(Reason::Refused,
                          tr("The controller at %1 sees no lens; attach one and try again.").arg(session.address()));
        return false;
    }
    return true;
}

bool Cli::confirmMove(ControllerSession& session, const QString& command, MoveConfirmation::Await await, int timeoutMs,
                      int* status, bool* unconfirmed)
{
    if (isStopping()) {
        *status = Failed;
        return false;
    }
    MoveConfirmation confirmation(await);
    const QMetaObject::Connection noting =
        connect(&session, &ControllerSession::factRead, this,
                [&confirmation](const ReplyFact& fact) { confirmation.note(fact.kind); });
    session.send(command);
    const bool confirmed = session.waitUntil([&] { return confirmation.isComplete(); }, timeoutMs);
    // Focus and iris held through a zoom move may still be confirmed; those
    // confirmations must not be taken for the end of a later move.
    session.waitUntil([&] { return !confirmation.mayConfirmHeldAxes(); }, RecallPlan::HeldConfirmationsMs);
    disconnect(noting);
    if (unconfirmed)
        *unconfirmed = !confirmed;
    return accepted(session, command, confirmed, confirmation.endedWithError(), status);
}

bool Cli::confirm(const QString& question)
{
    m_output.ask(question + tr(" [y/N] "));
    // The answer is awaited in the event loop, where a stop request is heard.
    QSocketNotifier readable(STDIN_FILENO, QSocketNotifier::Read);
    QEventLoop loop;
    connect(&readable, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    connect(this, &Cli::stopping, &loop, &QEventLoop::quit);
    if (!isStopping())
        loop.exec();
    readable.setEnabled(false);
    if (isStopping())
        return false;
    // A terminal hands over one line per read.
    char answer[256] = {};
    const ssize_t got = ::read(STDIN_FILENO, answer, sizeof answer - 1);
    return got > 0 && (answer[0] == 'y' || answer[0] == 'Y');
}

void Cli::stop(StopCause cause, int signalNumber)
{
    if (isStopping())
        return;
    m_stopCause = cause;
    m_stopSignal = signalNumber;
    // The lens stops before anything else happens.
    if (m_command && m_command->movesLens && m_session)
        m_session->send(QLatin1String(Protocol::Command::StopFocus));
    emit stopping();
}

int Cli::stopStatus()
{
    if (m_stopCause == StopCause::MaxTime) {
        return m_output.failure(
            Reason::Timeout, Failed,
            tr("The command did not end within --max-time %1 s.").arg(double(*m_options.maxTimeMs) / 1000.0));
    }
    const QString what = m_command && m_command->movesLens ? tr(" The lens was told to stop.") : QString();
    const QString signal = m_stopSignal == SIGINT ? QStringLiteral("SIGINT")
        : m_stopSignal == SIGTERM                 ? QStringLiteral("SIGTERM")
                                                  : QStringLiteral("SIGHUP");
    return m_output.failure(Reason::Interrupted, 128 + m_stopSignal, tr("Interrupted by %1.%2").arg(signal, what));
}

int Cli::completion() { return finish(QJsonValue(), CompletionScript::bash()); }
