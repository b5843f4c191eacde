#include "alpaca/AlpacaParameters.h"

#include <QList>

#include <limits>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "+" is a blank and "%HH" a byte; a "%" without two hexadecimal digits
// after it stands for itself, as browsers read it.
QString decodeFormPart(const QByteArray& part)
{
    QByteArray bytes;
    bytes.reserve(part.size());
    for (int i = 0; i < part.size(); ++i) {
        const char c = part[i];
        if (c == '+') {
            bytes += ' ';
        } else if (c == '%' && i + 2 < part.size() && hexValue(part[i + 1]) >= 0 && hexValue(part[i + 2]) >= 0) {
            bytes += char(hexValue(part[i + 1]) * 16 + hexValue(part[i + 2]));
            i += 2;
        } else {
            bytes += c;
        }
    }
    // With its length: a decoded NUL would end the text otherwise, and
    // "5%00x" would pass for "5".
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

bool isDecimal(const QString& text)
{
    if (text.isEmpty() || text.size() > 20)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

AlpacaParameters AlpacaParameters::fromForm(const QByteArray& text)
{
    AlpacaParameters parameters;
    for (const QByteArray& pair : text.split('&')) {
        if (pair.isEmpty())
            continue;
        const int equals = pair.indexOf('=');
        if (equals < 0)
            parameters.m_items.append({decodeFormPart(pair), QString()});
        else
            parameters.m_items.append({decodeFormPart(pair.left(equals)), decodeFormPart(pair.mid(equals + 1))});
    }
    return parameters;
}

std::optional<QString> AlpacaParameters::value(const QString& name) const
{
    for (const auto& item : m_items) {
        if (item.first.compare(name, Qt::CaseInsensitive) == 0)
            return item.second;
    }
    return std::nullopt;
}

quint32 AlpacaParameters::clientTransactionId() const
{
    return toUnsigned(value(QStringLiteral("ClientTransactionID")).value_or(QString())).value_or(0);
}

std::optional<bool> AlpacaParameters::toBool(const QString& text)
{
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

std::optional<int> AlpacaParameters::toInt(const QString& text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QString digits = negative ? text.mid(1) : text;
    if (!isDecimal(digits))
        return std::nullopt;
    bool ok = false;
    const qlonglong magnitude = digits.toLongLong(&ok);
    const qlonglong number = negative ? -magnitude : magnitude;
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}

std::optional<quint32> AlpacaParameters::toUnsigned(const QString& text)
{
    if (!isDecimal(text))
        return std::nullopt;
    bool ok = false;
    const qulonglong number = text.toULongLong(&ok);
    if (!ok || number > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return quint32(number);
}
