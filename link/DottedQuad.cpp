#include "link/DottedQuad.h"

#include <QRegularExpression>

namespace DottedQuad {

namespace {
const QRegularExpression& pattern()
{
    static const QRegularExpression re(
        QStringLiteral("^(([01]?\\d?\\d|2[0-4]\\d|25[0-5])\\.){3}([01]?\\d?\\d|2[0-4]\\d|25[0-5])$"));
    return re;
}
} // namespace

bool isValid(const QString& text)
{
    // "$" would also match before a final line feed; the field must hold
    // nothing but the address.
    return !text.endsWith(QLatin1Char('\n')) && pattern().match(text).hasMatch();
}

bool octets(const QString& text, int out[4])
{
    if (!isValid(text))
        return false;
    const QStringList parts = text.split(QLatin1Char('.'));
    for (int i = 0; i < 4; ++i)
        out[i] = parts.at(i).toInt(nullptr, 10);
    return true;
}

quint32 parse(const QString& text, bool* ok)
{
    int o[4];
    const bool valid = octets(text, o);
    if (ok)
        *ok = valid;
    return valid ? (quint32(o[0]) << 24) | (quint32(o[1]) << 16) | (quint32(o[2]) << 8) | quint32(o[3]) : 0;
}

QString canonical(const QString& text)
{
    int o[4];
    if (!octets(text, o))
        return text;
    return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
}

} // namespace DottedQuad
