#include "link/ReplyText.h"

#include <cmath>

namespace ReplyText {

QString decode(const QByteArray& datagram)
{
    const int end = datagram.indexOf('\0');
    return QString::fromUtf8(end < 0 ? datagram : datagram.left(end));
}

QString valueOfKey(const QString& text) { return text.section(QLatin1Char('='), 1, 1); }

int toInt(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

float toFloat(const QString& text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok && std::isfinite(value) ? value : 0.0f;
}

int listInt(const QStringList& fields, int index) { return index < fields.size() ? toInt(fields.at(index)) : 0; }

float listFloat(const QStringList& fields, int index)
{
    return index < fields.size() ? toFloat(fields.at(index)) : 0.0f;
}

} // namespace ReplyText
