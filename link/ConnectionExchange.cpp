#include "link/ConnectionExchange.h"

#include "link/VersionRules.h"

QStringList ConnectionExchange::probes()
{
    using namespace Protocol::Command;
    return {QLatin1String(BootLoaderVersion), QLatin1String(GetProtocol), QLatin1String(Version)};
}

QStringList ConnectionExchange::followUps()
{
    using namespace Protocol::Command;
    return {QLatin1String(FlagNormal), QLatin1String(GetName)};
}

ConnectionExchange::Verdict ConnectionExchange::judge(const QString& version)
{
    // Development builds carry a "d" in their version ("1.8d.3"); their
    // number is read without it.
    QString number = version;
    number.remove(QLatin1Char('d'));
    Verdict verdict;
    verdict.tooOld = VersionRules::isTooOld(VersionRules::parts(number));
    verdict.stabiliserSwitch = !VersionRules::lacksStabiliserSwitch(version);
    verdict.protocolChoice = VersionRules::allowsProtocolChoice(number);
    verdict.recentFirmware = VersionRules::isRecentFirmware(number);
    return verdict;
}

bool ConnectionExchange::offersProtocol(int protocol, const Verdict& verdict)
{
    return protocol >= 0 && protocol < ProtocolCount && (protocol != LegacyTimingProtocol || verdict.recentFirmware);
}

ConnectionExchange::ProtocolDecision ConnectionExchange::decideProtocol(int chosen, std::optional<int> inUse,
                                                                        const Verdict& verdict)
{
    if (chosen < 0 || chosen >= ProtocolCount)
        return ProtocolDecision::NoSuchProtocol;
    if (inUse == chosen)
        return ProtocolDecision::AlreadyInUse;
    if (!verdict.protocolChoice)
        return ProtocolDecision::NoChoice;
    if (!offersProtocol(chosen, verdict))
        return ProtocolDecision::NeedsRecentFirmware;
    return ProtocolDecision::Switch;
}

void ConnectionExchange::start(qint64 now, int identifyLimitMs)
{
    m_schedule.clear();
    m_verdict = Verdict();
    m_phase = Phase::Identifying;
    m_limitAt = now + identifyLimitMs;
    schedule(probes(), now, ProbeSpacingMs);
}

void ConnectionExchange::stop()
{
    m_schedule.clear();
    m_phase = Phase::Idle;
}

bool ConnectionExchange::identified(const QString& version, qint64 now)
{
    if (m_phase != Phase::Identifying)
        return false;
    m_verdict = judge(version);
    if (m_verdict.tooOld) {
        // Nothing more goes to a controller that is refused.
        m_schedule.clear();
        m_phase = Phase::TooOld;
        return true;
    }
    // Probes not yet sent still go: the protocol in use and the boot loader
    // are worth knowing. The follow-ups come after them.
    const qint64 afterProbes = m_schedule.isEmpty() ? now : qMax(now, m_schedule.last().due);
    schedule(followUps(), afterProbes + FollowUpSpacingMs, FollowUpSpacingMs);
    m_phase = Phase::FollowingUp;
    return true;
}

QStringList ConnectionExchange::takeDue(qint64 now)
{
    QStringList due;
    while (!m_schedule.isEmpty() && m_schedule.first().due <= now)
        due << m_schedule.takeFirst().command;
    if (m_phase == Phase::Identifying && now >= m_limitAt) {
        m_schedule.clear();
        m_phase = Phase::NoAnswer;
    } else if (m_phase == Phase::FollowingUp && m_schedule.isEmpty()) {
        m_phase = Phase::Identified;
    }
    return due;
}

qint64 ConnectionExchange::nextDeadline() const
{
    qint64 deadline = m_schedule.isEmpty() ? -1 : m_schedule.first().due;
    if (m_phase == Phase::Identifying && (deadline < 0 || m_limitAt < deadline))
        deadline = m_limitAt;
    return deadline;
}

void ConnectionExchange::schedule(const QStringList& commands, qint64 first, int spacingMs)
{
    for (int i = 0; i < commands.size(); ++i)
        m_schedule.append({first + qint64(i) * spacingMs, commands.at(i)});
}
