#include "link/VersionRules.h"

#include <QRegularExpression>
#include <QStringList>

namespace VersionRules {

namespace {
constexpr int RecentMajor = 1;
constexpr int RecentMinor = 9;

int decimal(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}
} // namespace

VersionParts parts(const QString& version)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d).(\\d).(\\d+)"));
    const QRegularExpressionMatch match = pattern.match(version);
    VersionParts result;
    if (!match.hasMatch())
        return result;
    result.found = true;
    result.major = decimal(match.captured(1));
    result.minor = decimal(match.captured(2));
    result.patch = decimal(match.captured(3));
    return result;
}

bool isTooOld(const VersionParts& parts) { return parts.found && parts.major < 2 && parts.major + parts.minor < 5; }

bool lacksStabiliserSwitch(const QString& version) { return version.contains(QLatin1String("1.7.4")); }

QString withBootLoader(const QString& version, const QString& bootLoader)
{
    static const QRegularExpression pattern(QStringLiteral(".(\\d+) "));
    QRegularExpressionMatchIterator matches = pattern.globalMatch(version);
    if (!matches.hasNext())
        return version;
    // Every match gets the digits of the first one. The text is built by hand
    // rather than by a replacement pattern, so that a boot-loader text from
    // the network is never read as a back-reference.
    QString result;
    QString insertion;
    qsizetype copiedUpTo = 0;
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        if (insertion.isEmpty())
            insertion = QStringLiteral(".%1 (BL%2) ").arg(match.captured(1), bootLoader);
        result += version.mid(copiedUpTo, match.capturedStart() - copiedUpTo);
        result += insertion;
        copiedUpTo = match.capturedEnd();
    }
    result += version.mid(copiedUpTo);
    return result;
}

QString firmwareNumber(const QString& version)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+\\.\\d+\\.\\d+)"));
    const QRegularExpressionMatch match = pattern.match(version);
    return match.hasMatch() ? match.captured(1) : version;
}

bool allowsProtocolChoice(const QString& version)
{
    const QStringList pieces = version.split(QLatin1Char('.'));
    const int major = decimal(pieces.value(0));
    const int minor = decimal(pieces.value(1));
    return minor >= 8 || major != 1;
}

bool isRecentFirmware(const QString& version)
{
    const QString number = version.split(QLatin1Char(' ')).first();
    const QStringList pieces = number.split(QLatin1Char('.'));
    if (pieces.size() < 2)
        return false;
    const int major = decimal(pieces.at(0));
    const int minor = decimal(pieces.at(1));
    return major > RecentMajor || (major == RecentMajor && minor >= RecentMinor);
}

} // namespace VersionRules
