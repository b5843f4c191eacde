#include "link/ControllerLink.h"

#include "link/CommandPort.h"
#include "link/ReplyIntake.h"

#include <QCoreApplication>

ControllerLink::ControllerLink(const QString& address, quint16 port)
    : m_address(address)
    , m_port(port)
{ }

ControllerLink::~ControllerLink() = default;

bool ControllerLink::open()
{
    if (isOpen())
        return true;
    if (!CommandPort::bindRandom(m_socket))
        return false;
    m_channel = CommandChannel(&m_socket);
    m_intake = std::make_unique<ReplyIntake>(
        &m_socket, [this] { return m_address; },
        [this](const QString& text, const QHostAddress&) { handleReply(text, m_readingAt); });
    return isOpen();
}

qintptr ControllerLink::descriptor() const { return m_socket.socketDescriptor(); }

void ControllerLink::connectToController(qint64 now)
{
    m_questions.clear();
    m_nextPingAt = -1;
    m_reidentifying = false;
    m_refusal = Refusal::None;
    m_exchange.start(now, m_identifyLimitMs);
    setState(State::Identifying);
}

void ControllerLink::disconnectFromController()
{
    m_exchange.stop();
    m_questions.clear();
    m_nextPingAt = -1;
    m_reidentifying = false;
    m_refusal = Refusal::None;
    setState(State::Disconnected);
}

bool ControllerLink::readAvailable(qint64 now)
{
    if (!m_intake)
        return false;
    m_readingAt = now;
    return m_intake->readPass();
}

void ControllerLink::handleReply(const QString& text, qint64 now)
{
    if (onDatagram)
        onDatagram(text, false);
    for (const ReplyFact& fact : ReplyReader::read(text)) {
        m_record.apply(fact);
        noteFact(fact, now);
        if (onFact)
            onFact(fact);
    }
}

void ControllerLink::noteFact(const ReplyFact& fact, qint64 now)
{
    using Kind = ReplyFact::Kind;
    if (fact.kind == Kind::Identification) {
        m_verdict = ConnectionExchange::judge(fact.version);
        if (m_exchange.identified(fact.version, now)) {
            if (m_exchange.phase() == ConnectionExchange::Phase::TooOld)
                refuse(Refusal::FirmwareTooOld);
        } else if (m_verdict.tooOld && (m_state == State::Connected || m_state == State::Lost)) {
            // The controller at the address now runs firmware this program
            // must not drive (replaced, or flashed back).
            refuse(Refusal::FirmwareTooOld);
        }
    }
    if (fact.kind == Kind::ZoomRange)
        m_liveness.halfAnswer();
    if (fact.provesLife()) {
        m_liveness.proofOfLife();
        if (m_state == State::Lost && m_keepsAlive) {
            // Back: identified again before anything else is asked of it.
            m_reidentifying = true;
            m_nextPingAt = -1;
            m_exchange.start(now, m_identifyLimitMs);
            setState(State::Identifying);
        }
    }
}

qint64 ControllerLink::advance(qint64 now)
{
    if (m_exchange.isUnderWay()) {
        for (const QString& command : m_exchange.takeDue(now))
            send(command);
        switch (m_exchange.phase()) {
        case ConnectionExchange::Phase::Identified:
            becomeConnected(now);
            break;
        case ConnectionExchange::Phase::NoAnswer:
            if (m_reidentifying) {
                m_exchange.stop();
                m_nextPingAt = now + m_liveness.periodMs();
                setState(State::Lost);
            } else {
                refuse(Refusal::NoAnswer);
            }
            break;
        default:
            break;
        }
    }
    askDueQuestions(now);
    pingIfDue(now);

    qint64 next = m_exchange.isUnderWay() ? m_exchange.nextDeadline() : -1;
    const auto earliest = [&next](qint64 due) {
        if (due >= 0 && (next < 0 || due < next))
            next = due;
    };
    for (const Question& question : qAsConst(m_questions))
        earliest(question.due);
    earliest(m_nextPingAt);
    return next;
}

void ControllerLink::becomeConnected(qint64 now)
{
    m_exchange.stop();
    m_reidentifying = false;
    m_liveness.proofOfLife();
    m_questions.clear();
    if (m_asksIdentity) {
        using namespace Protocol::Command;
        const struct
        {
            const char* command;
            ReplyFact::Kind answer;
        } questions[] = {{GetSerial, ReplyFact::Kind::Serial}, {GetMac, ReplyFact::Kind::Mac}};
        qint64 due = now;
        for (const auto& question : questions) {
            due += IdentityQuestionSpacingMs;
            m_questions.append(
                {QLatin1String(question.command), question.answer, m_record.count(question.answer), due, IdentityAsks});
        }
    }
    // The controller has just answered: the first ping waits a period.
    m_liveness.setPeriodMs(LivenessCount::NormalPeriodMs);
    m_nextPingAt = m_keepsAlive ? now + m_liveness.periodMs() : -1;
    setState(State::Connected);
}

void ControllerLink::askDueQuestions(qint64 now)
{
    if (m_state != State::Connected) {
        m_questions.clear();
        return;
    }
    for (int i = 0; i < m_questions.size();) {
        Question& question = m_questions[i];
        const bool answered = m_record.count(question.answer) > question.answersBefore;
        if (answered || question.asksLeft == 0) {
            m_questions.removeAt(i);
            continue;
        }
        if (question.due <= now) {
            send(question.command);
            --question.asksLeft;
            question.due = now + IdentityAnswerWaitMs;
        }
        ++i;
    }
}

void ControllerLink::pingIfDue(qint64 now)
{
    const bool watched = m_keepsAlive && (m_state == State::Connected || m_state == State::Lost);
    if (!watched) {
        m_nextPingAt = -1;
        return;
    }
    // Switched on while connected: from now on.
    if (m_nextPingAt < 0)
        m_nextPingAt = now;
    if (m_nextPingAt > now)
        return;
    send(QLatin1String(Protocol::Command::Ping));
    if (m_liveness.pingSent() == LivenessCount::Verdict::Lost && m_state == State::Connected) {
        // Knock gently until the controller answers again.
        m_liveness.slowDown();
        setState(State::Lost);
    }
    m_nextPingAt = now + m_liveness.periodMs();
}

void ControllerLink::send(const QString& command)
{
    if (!isOpen())
        return;
    m_channel.send(m_address, command, m_port);
    if (onDatagram)
        onDatagram(command, true);
}

void ControllerLink::refuse(Refusal refusal)
{
    m_exchange.stop();
    m_questions.clear();
    m_nextPingAt = -1;
    m_reidentifying = false;
    m_refusal = refusal;
    setState(State::Refused);
}

void ControllerLink::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (onStateChanged)
        onStateChanged(state);
}

QString ControllerLink::refusalText() const
{
    switch (m_refusal) {
    case Refusal::None:
        break;
    case Refusal::NoAnswer:
        return QCoreApplication::translate("ControllerLink", "No controller answered at %1.").arg(m_address);
    case Refusal::FirmwareTooOld:
        return QCoreApplication::translate("ControllerLink",
                                           "The controller at %1 runs firmware %2, which is too old (1.4 or later "
                                           "is needed); update its firmware.")
            .arg(m_address, m_record.firmware.trimmed());
    }
    return QString();
}
