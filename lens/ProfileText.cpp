#include "lens/ProfileText.h"

#include "lens/FNumbers.h"
#include "link/ReplyText.h"

#include <QCoreApplication>
#include <QSettings>
#include <QUrl>

namespace ProfileText {

namespace {
const QLatin1Char FieldSeparator(',');
const QLatin1Char EncodedMarker('%');
const QString AbsentField = QStringLiteral("0");
} // namespace

QString format(int zoom, int focus, float iris)
{
    return QStringList{QString::number(zoom), QString::number(focus), FNumbers::shortest(iris)}.join(FieldSeparator);
}

Position parse(const QString& value)
{
    const QStringList fields = value.split(FieldSeparator);
    Position position;
    position.fieldsPresent = fields.size();
    position.zoomText = fields.value(0, AbsentField);
    position.focusText = fields.value(1, AbsentField);
    position.irisText = fields.value(2, AbsentField);
    position.zoom = ReplyText::toInt(position.zoomText);
    position.focus = ReplyText::toInt(position.focusText);
    position.iris = ReplyText::toFloat(position.irisText);
    return position;
}

QString describe(const QString& value)
{
    const Position position = parse(value);
    return QCoreApplication::translate("ProfileText", "%1mm %2 f/%3")
        .arg(position.zoomText, position.focusText, position.irisText);
}

QString valueText(const QVariant& stored)
{
    if (stored.userType() == QMetaType::QStringList)
        return stored.toStringList().join(FieldSeparator);
    return stored.toString();
}

QString keyForName(const QString& name)
{
    if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.startsWith(EncodedMarker))
        return name;
    return EncodedMarker + QString::fromLatin1(QUrl::toPercentEncoding(name));
}

QString nameForKey(const QString& key)
{
    if (!key.startsWith(EncodedMarker))
        return key;
    return QUrl::fromPercentEncoding(key.mid(1).toLatin1());
}

QString storedValue(const QSettings& profiles, const QString& name)
{
    return valueText(profiles.value(keyForName(name), QLatin1String(NoProfile)));
}

} // namespace ProfileText
