#include "sim/SimCommand.h"

#include "link/Protocol.h"

#include <cmath>

bool SimCommand::parse(const QByteArray& datagram, SimCommand* command)
{
    const int nul = datagram.indexOf('\0');
    QByteArray bytes = nul < 0 ? datagram : datagram.left(nul);
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    if (bytes.isEmpty() || bytes.size() > MaxLength)
        return false;
    const QString text = QString::fromLatin1(bytes);
    const int equals = text.indexOf(QLatin1Char('='));
    command->hasValue = equals >= 0;
    command->word = command->hasValue ? text.left(equals) : text;
    command->value = command->hasValue ? text.mid(equals + 1) : QString();
    return true;
}

QString SimCommand::wordOf(const char* catalogueEntry)
{
    return QString::fromLatin1(catalogueEntry).section(QLatin1Char('='), 0, 0);
}

bool SimCommand::intValue(qint64* out) const
{
    bool ok = false;
    *out = value.toLongLong(&ok, 10);
    return ok;
}

bool SimCommand::realValue(double* out) const
{
    bool ok = false;
    *out = value.toDouble(&ok);
    return ok && std::isfinite(*out);
}

namespace SimAnswer {

namespace {
QByteArray error(const char* kind, const QString& detail)
{
    QString safe = detail.toLower();
    safe.replace(QLatin1Char('='), QLatin1Char(' '));
    return QByteArray(kind) + ": " + safe.toLatin1();
}
} // namespace

QByteArray errorParam(const QString& detail) { return error(Protocol::Answer::ErrorParam, detail); }
QByteArray errorRange(const QString& detail) { return error(Protocol::Answer::ErrorRange, detail); }
QByteArray errorFocus(const QString& detail) { return error(Protocol::Answer::ErrorFocus, detail); }

} // namespace SimAnswer
